// Helpers for tests of the import: filter registrations that clean up after
// themselves, image files for the stand-in filters, metafile bytes, and a
// whole-image comparison.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/pictures.h"

// Filter subkeys made by one test under the filter root; the destructor
// deletes them, and the root (and its parents) if this object made it.
class FilterRegistrations {
  public:
    FilterRegistrations();
    ~FilterRegistrations();
    FilterRegistrations(const FilterRegistrations &) = delete;
    FilterRegistrations &operator=(const FilterRegistrations &) = delete;

    // A subkey "KestraneTest <name>"; a null path or extensions writes no value.
    void Add(const std::string &name, const char *extensions, const char *path,
             DWORD extensionsType = REG_SZ);

  private:
    std::vector<std::string> subkeys_, madeKeys_;  // madeKeys_: deepest last
};

// A file the current-family stand-in filter reads: its picture's bounding
// box, then a 24-bit bottom-up bitmap of the box's size.
Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel);

constexpr uint16_t kMetaDibBitBlt = 0x0940, kMetaDibStretchBlt = 0x0B41, kMetaSetDibToDev = 0x0D33,
                   kMetaStretchDib = 0x0F43;

// A metafile record: its size in words, its function, its parameters padded
// to whole words.
inline Bytes Record(uint16_t function, const Bytes &parameters)
{
    const uint32_t words = uint32_t(3 + (parameters.size() + 1) / 2);
    Bytes record = {uint8_t(words),       uint8_t(words >> 8), uint8_t(words >> 16),
                    uint8_t(words >> 24), uint8_t(function),   uint8_t(function >> 8)};
    record.insert(record.end(), parameters.begin(), parameters.end());
    record.resize(2 * words);
    return record;
}

// A bitmap record of one of the four kinds, `dib` after the parameters that
// come before it.
inline Bytes BitmapRecord(uint16_t function, const Bytes &dib)
{
    Bytes parameters(function == kMetaDibBitBlt       ? 16
                     : function == kMetaDibStretchBlt ? 20
                     : function == kMetaSetDibToDev   ? 18
                                                      : 22);
    parameters.insert(parameters.end(), dib.begin(), dib.end());
    return Record(function, parameters);
}

// Metafile bytes: header, the records, the end record.
inline Bytes Metafile(std::vector<Bytes> records)
{
    records.insert(records.begin(),
                   Bytes{1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // 9 words, version 3
    records.push_back(Record(0, {}));
    Bytes bytes;
    for (const Bytes &record : records)
        bytes.insert(bytes.end(), record.begin(), record.end());
    const uint32_t words = uint32_t(bytes.size() / 2);
    std::memcpy(&bytes[6], &words, 4);
    return bytes;
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
