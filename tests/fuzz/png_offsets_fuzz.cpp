// A PNG's chunks come from anywhere: the walk must never read outside the
// bytes it is given, whatever their lengths say.
#include <cstddef>
#include <cstdint>

#include "core/png_offsets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ReadPngOffsets(data, size);
    return 0;
}
