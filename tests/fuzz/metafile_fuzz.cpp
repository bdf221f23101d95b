// An older filter's metafile bytes are untrusted: walking them and copying the
// bitmap they carry must never read outside them, and whatever image comes
// out must be one the conversion job can read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/packed_dib.h"
#include "import/metafile_bytes.h"

// A bitmap found must lie inside the bytes; `whole` ones must copy as well.
static void CheckFound(const uint8_t *data, size_t size, const uint8_t *dib, size_t available, bool whole)
{
    if (!dib)
        return;
    if (dib < data || available > size_t(data + size - dib))
        std::abort();
    PackedDib image = CopyDibAs24Bit(dib, available);
    if (image ? !IsReadablePackedDib(image) : whole)
        std::abort();
    FreePackedDib(image);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The one-bitmap picture, asked for the box its record names, so that the
    // checks past the box's own are reached.
    int16_t box[4] = {};  // destination height, width, y, x
    if (size >= 18 + 28)
        std::memcpy(box, data + 18 + 20, sizeof box);
    size_t available = 0;
    const uint8_t *dib = FindWholeBoxBitmap(data, size, box[3], box[2], box[1], box[0], &available);
    CheckFound(data, size, dib, available, true);
    dib = FindMetafileDib(data, size, &available);
    CheckFound(data, size, dib, available, false);
    return 0;
}
