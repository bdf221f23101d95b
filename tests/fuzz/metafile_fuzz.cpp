// An older filter's metafile bytes are untrusted: walking them and copying the
// bitmap they carry must never read outside them, and whatever image comes
// out must be one the conversion job can read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/packed_dib.h"
#include "import/metafile_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t available = 0;
    const uint8_t *dib = FindMetafileDib(data, size, &available);
    if (!dib)
        return 0;
    if (dib < data || available > size_t(data + size - dib))
        std::abort();
    PackedDib image = CopyDibAs24Bit(dib, available);
    if (image && !IsReadablePackedDib(image))
        std::abort();
    FreePackedDib(image);
    return 0;
}
