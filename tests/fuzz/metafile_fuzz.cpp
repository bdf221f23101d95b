// An older filter's metafile bytes are untrusted: walking them and copying the
// bitmap they carry must never read outside them, and whatever image comes
// out must be one the conversion job can read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/packed_dib.h"
#include "import/metafile_bytes.h"

// The one-bitmap picture, asked for the box its record names, so that the
// checks past the box's own are reached.
static void FindWholeBox(const uint8_t *data, size_t size)
{
    int16_t box[4] = {};  // destination height, width, y, x
    if (size >= 18 + 28)
        std::memcpy(box, data + 18 + 20, sizeof box);
    size_t available = 0;
    const uint8_t *dib = FindWholeBoxBitmap(data, size, box[3], box[2], box[1], box[0], &available);
    if (!dib)
        return;
    if (dib < data || available > size_t(data + size - dib))
        std::abort();
    PackedDib image = CopyDibAs24Bit(dib, available);
    if (!image || !IsReadablePackedDib(image))
        std::abort();
    FreePackedDib(image);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FindWholeBox(data, size);
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
