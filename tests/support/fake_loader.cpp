#include "tests/support/fake_loader.h"

#include <cstring>

std::map<std::string, std::function<PackedDib()>> g_fakeImages;
int g_fakeLoads = 0;

PackedDib MakePackedDib(int width, int height, const PixelFunction &pixel)
{
    uint32_t stride = DibStride(uint32_t(width), 24);
    PackedDib dib = AllocPackedDib(kDibHeaderSize + size_t(stride) * uint32_t(height));
    if (!dib)
        return nullptr;
    dib->biSize = kDibHeaderSize;
    dib->biWidth = width;
    dib->biHeight = height;
    dib->biPlanes = 1;
    dib->biBitCount = 24;
    dib->biCompression = kDibRgb;
    dib->biSizeImage = stride * uint32_t(height);
    uint8_t *rows = reinterpret_cast<uint8_t *>(dib) + kDibHeaderSize;
    for (int k = 0; k < height; k++) {
        // Row k of the block is picture row height - 1 - k.
        uint8_t *p = rows + size_t(k) * stride;
        for (int x = 0; x < width; x++, p += 3) {
            Rgb c = pixel(x, height - 1 - k);
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
        // Padding bytes get a marker so that a reader using them shows up.
        std::memset(p, 0xAB, stride - size_t(width) * 3);
    }
    return dib;
}

PackedDib LoadImageFile(const char *path)
{
    g_fakeLoads++;
    auto it = g_fakeImages.find(path);
    if (it == g_fakeImages.end())
        return nullptr;
    return it->second();
}
