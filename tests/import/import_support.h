// Helpers for the import tests: filter registrations that clean up after
// themselves, and builders for bitmaps, metafile bytes and image files.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/packed_dib.h"

using Bytes = std::vector<uint8_t>;

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
using PixelFunction = std::function<Rgb(int x, int y)>;  // y = 0 is the top row

// Filter subkeys made by one test under the filter root; the destructor
// deletes them, and the root (and its parents) if this object created it.
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
    std::vector<std::string> subkeys_;
    std::vector<std::string> createdKeys_;  // deepest last
};

// A packed DIB's bytes: header, colour table, rows. bits 24 or 32 take the
// colour straight from `pixel`; lower depths take palette indices (16 bits:
// the raw pixel value) from `index`. A negative height stores the rows top-down.
Bytes MakeDibBytes(int width, int height, int bits, const PixelFunction &pixel,
                   const std::vector<Rgb> &palette = {}, const std::function<int(int x, int y)> &index = {});

// Metafile bytes: header, records in order, then the end record.
class MetafileBytes {
  public:
    MetafileBytes();
    MetafileBytes &Record(uint16_t function, const Bytes &parameters);
    // A bitmap record of one of the four kinds, with `dib` at its bitmap offset.
    MetafileBytes &BitmapRecord(uint16_t function, const Bytes &dib);
    Bytes Finish();
    size_t Size() const { return bytes_.size(); }

  private:
    Bytes bytes_;
};

constexpr uint16_t kMetaDibBitBlt = 0x0940;
constexpr uint16_t kMetaDibStretchBlt = 0x0B41;
constexpr uint16_t kMetaSetDibToDev = 0x0D33;
constexpr uint16_t kMetaStretchDib = 0x0F43;

// The image file the current-family test filter reads: its bounding box and
// a 24-bit bottom-up bitmap of the box's size.
Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel);

// Test pictures: a gradient, and palette indices with the colours they stand for.
Rgb Gradient(int x, int y);
extern const std::vector<Rgb> kPalette;
int PaletteIndex(int x, int y);
Rgb FromPalette(int x, int y);

Rgb PixelAt(PackedDib dib, int x, int y);  // y = 0 is the top row
// Every pixel of a 24-bit bottom-up packed DIB equals `pixel`.
::testing::AssertionResult HasPixels(PackedDib dib, int width, int height, const PixelFunction &pixel);

// A copy of bytes ending right before an inaccessible page, so that a read
// past their end faults instead of passing unseen.
class FencedBytes {
  public:
    explicit FencedBytes(const Bytes &bytes);
    ~FencedBytes();
    FencedBytes(const FencedBytes &) = delete;
    FencedBytes &operator=(const FencedBytes &) = delete;
    const BYTE *Data() const { return data_; }

  private:
    BYTE *base_ = nullptr;
    const BYTE *data_ = nullptr;
};

// Owns a PackedDib for the length of a test.
struct ScopedDib {
    explicit ScopedDib(PackedDib d) : dib(d) {}
    ~ScopedDib() { FreePackedDib(dib); }
    ScopedDib(const ScopedDib &) = delete;
    ScopedDib &operator=(const ScopedDib &) = delete;
    PackedDib dib;
};
