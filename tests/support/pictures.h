// Test pictures, built the one way every test builds them: packed bitmaps in
// any depth and row order, and the metafile bytes an older filter hands over.
#pragma once
#include <gtest/gtest.h>

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

// `bytes` with the 32-bit field at `at` set to `value`.
inline Bytes Patched(Bytes bytes, size_t at, uint32_t value)
{
    std::memcpy(&bytes[at], &value, 4);
    return bytes;
}

// A metafile record: its size in words, its function, then `skipped` zero
// bytes and `parameters`, padded to whole words.
inline Bytes Record(uint16_t function, const Bytes &parameters, size_t skipped = 0)
{
    const uint32_t words = uint32_t(3 + (skipped + parameters.size() + 1) / 2);
    Bytes record = Patched(Bytes(6 + skipped), 0, words);
    record[4] = uint8_t(function), record[5] = uint8_t(function >> 8);
    record.insert(record.end(), parameters.begin(), parameters.end());
    record.resize(2 * words);
    return record;
}

// Metafile bytes: header, the records, the end record.
inline Bytes Metafile(std::vector<Bytes> records)
{
    Bytes bytes = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // 9 words, version 3
    records.push_back(Record(0, {}));
    for (const Bytes &record : records)
        bytes.insert(bytes.end(), record.begin(), record.end());
    return Patched(bytes, 6, uint32_t(bytes.size() / 2));
}

// A StretchDIBits record's parameters: SRCCOPY, RGB colours, then source and
// destination heights, widths, y and x; then the bitmap.
inline Bytes StretchRecord(int16_t left, int16_t top, int16_t width, int16_t height, const Bytes &dib,
                           uint32_t rop = 0x00CC0020)
{
    const int16_t fields[] = {height, width, 0, 0, height, width, top, left};
    Bytes parameters = Patched(Bytes(6), 0, rop);
    parameters.insert(parameters.end(), reinterpret_cast<const uint8_t *>(fields),
                      reinterpret_cast<const uint8_t *>(fields + 8));
    parameters.insert(parameters.end(), dib.begin(), dib.end());
    return Record(0x0F43, parameters);
}

// True when `dib` is a readable 24-bit bottom-up image holding exactly these
// pixels. Frees it.
inline ::testing::AssertionResult Shows(PackedDib dib, int width, int height, const PixelFunction &pixel)
{
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    if (!IsReadablePackedDib(dib) || dib->biWidth != width || dib->biHeight != height)
        result = ::testing::AssertionFailure()
                 << "not a readable 24-bit bottom-up image of " << width << "x" << height;
    for (int y = 0; result && y < height; y++)
        for (int x = 0; result && x < width; x++) {
            const uint8_t *p = reinterpret_cast<const uint8_t *>(dib + 1) +
                               size_t(height - 1 - y) * DibStride(uint32_t(width), 24) + 3 * size_t(x);
            if (!(Rgb{p[2], p[1], p[0]} == pixel(x, y)))
                result = ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") differs";
        }
    FreePackedDib(dib);
    return result;
}
