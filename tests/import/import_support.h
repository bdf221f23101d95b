// Helpers for tests of the import: filter registrations that clean up after
// themselves, image files for the stand-in filters, metafile bytes, and
// bytes that fault when read past their end.
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
    std::vector<std::string> subkeys_;
    std::vector<std::string> madeKeys_;  // deepest last
};

// A file the current-family stand-in filter reads: its picture's bounding
// box, then a 24-bit bottom-up bitmap of the box's size.
Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel);

constexpr uint16_t kMetaDibBitBlt = 0x0940;
constexpr uint16_t kMetaDibStretchBlt = 0x0B41;
constexpr uint16_t kMetaSetDibToDev = 0x0D33;
constexpr uint16_t kMetaStretchDib = 0x0F43;

// Metafile bytes: one record (its parameters padded to whole words); a
// bitmap record of one of the four kinds, `dib` at its bitmap offset; a
// whole metafile of header, records and end record.
Bytes Record(uint16_t function, Bytes parameters);
Bytes BitmapRecord(uint16_t function, const Bytes &dib);
Bytes Metafile(const std::vector<Bytes> &records);

// True when `dib` is a readable 24-bit bottom-up image holding exactly these
// pixels. Frees it.
::testing::AssertionResult Shows(PackedDib dib, int width, int height, const PixelFunction &pixel);

// A copy of bytes that ends right before an inaccessible page, so that a read
// past their end faults instead of passing unseen.
class FencedBytes {
  public:
    explicit FencedBytes(const Bytes &bytes);
    ~FencedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    FencedBytes(const FencedBytes &) = delete;
    FencedBytes &operator=(const FencedBytes &) = delete;
    const BYTE *Data() const { return data_; }

  private:
    BYTE *base_ = nullptr;
    const BYTE *data_ = nullptr;
};
