// Test pictures as packed bitmaps, in any depth and row order, built the one
// way every test builds them.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "core/packed_dib.h"

using Bytes = std::vector<uint8_t>;

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
using PixelFunction = std::function<Rgb(int x, int y)>;  // y = 0 is the top row

inline Rgb Gradient(int x, int y)
{
    return Rgb{uint8_t(40 * x + 1), uint8_t(70 * y + 2), uint8_t(200 - x - y)};
}

// Header, colour table and rows. 24 and 32 bits take each colour from `pixel`;
// lower depths take palette indices (16 bits: the raw pixel value) from
// `index`. A negative height stores the rows top-down. Row padding holds a
// marker, so that a reader taking it for pixels shows up.
inline Bytes MakeDibBytes(int width, int height, int bits, const PixelFunction &pixel,
                          const std::vector<Rgb> &palette = {},
                          const std::function<int(int x, int y)> &index = {})
{
    const uint32_t rows = uint32_t(height < 0 ? -height : height),
                   stride = DibStride(uint32_t(width), uint32_t(bits));
    const uint32_t used = (uint32_t(width * bits) + 7) / 8, colours = uint32_t(palette.size());
    const DibHeader header = {40, width, height, 1, uint16_t(bits), kDibRgb, stride * rows, 0, 0, colours, 0};
    Bytes bytes(reinterpret_cast<const uint8_t *>(&header), reinterpret_cast<const uint8_t *>(&header + 1));
    for (const Rgb &c : palette)
        bytes.insert(bytes.end(), {c.b, c.g, c.r, 0});
    const size_t start = bytes.size();
    bytes.resize(start + header.biSizeImage);
    for (uint32_t row = 0; row < rows; row++) {
        uint8_t *p = &bytes[start + size_t(row) * stride];
        const int y = int(height < 0 ? row : rows - 1 - row);
        for (int x = 0; x < width; x++) {
            if (bits >= 24) {
                const Rgb c = pixel(x, y);
                const uint8_t bgr[] = {c.b, c.g, c.r};
                std::memcpy(p + x * bits / 8, bgr, 3);
            } else if (bits == 16) {
                const uint16_t value = uint16_t(index(x, y));
                std::memcpy(p + 2 * x, &value, 2);
            } else {  // most significant bits first
                p[x * bits / 8] |= uint8_t(index(x, y) << (8 - bits - x * bits % 8));
            }
        }
        std::memset(p + used, 0xAB, stride - used);
    }
    return bytes;
}

// The same bitmap in a block of the kind loaders hand over.
inline PackedDib MakePackedDib(const Bytes &dib)
{
    PackedDib block = AllocPackedDib(dib.size());
    if (block)
        std::memcpy(block, dib.data(), dib.size());
    return block;
}
