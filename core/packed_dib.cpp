#include "core/packed_dib.h"

uint32_t DibStride(uint32_t width, uint32_t bitsPerPixel)
{
    uint64_t stride = ((uint64_t(width) * bitsPerPixel + 31) >> 3) & ~uint64_t(3);
    return stride > UINT32_MAX ? 0 : static_cast<uint32_t>(stride);
}

bool IsReadablePackedDib(PackedDib dib)
{
    if (!dib)
        return false;
    size_t block = PackedDibBlockSize(dib);
    if (block < kDibHeaderSize || dib->biSize < kDibHeaderSize || dib->biSize > block)
        return false;
    if (dib->biBitCount != 24 || dib->biCompression != kDibRgb)
        return false;
    if (dib->biWidth <= 0 || dib->biHeight <= 0)
        return false;
    uint32_t stride = DibStride(uint32_t(dib->biWidth), 24);
    uint64_t pixels = uint64_t(stride) * uint32_t(dib->biHeight);
    return stride != 0 && pixels <= block - dib->biSize;
}
