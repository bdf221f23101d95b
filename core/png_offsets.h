// Where a trimmed image sat before it was trimmed, as a PNG file records it:
// its offset (standard oFFs in pixels, or ImageMagick's caNv) and the page
// it was cut from (caNv, or the older vpAg). Read from the file's own bytes,
// since the import filters hand over pixels only.
#pragma once
#include <cstddef>
#include <cstdint>

struct PngOffsets {
    bool isPng;              // the bytes start with the PNG signature and a whole IHDR
    uint32_t width, height;  // IHDR's size
    bool hasOffset;
    int32_t x, y;  // may be negative: the image reaches left of or above its page
    bool hasPage;
    uint32_t pageWidth, pageHeight;
};

// Walks the chunks up to the first IDAT (where these chunks must stand) or
// the end of the bytes, trusting no length. caNv, ImageMagick's current
// record of both, wins over oFFs and vpAg where a file has both kinds.
PngOffsets ReadPngOffsets(const uint8_t *bytes, size_t size);

// The first bytes of a file that hold what ReadPngOffsets reads.
constexpr size_t kPngOffsetsHeadSize = 1u << 20;
