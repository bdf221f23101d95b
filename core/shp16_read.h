// Reading SHP16 files back: a check of the whole layout that trusts no byte
// of the file, and the frame pixels turned back into 24-bit colour.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/shp16.h"

struct ShpLayout {
    uint32_t width, height, frameCount;
};

// The file header and the largest frame table a file can have: the most a
// check ever needs to see of the file's start.
constexpr size_t kShpMaxHeadersSize = kShpFileHeaderSize + size_t(kShpFrameHeaderSize) * kShpMaxField;

// Checks that a file of fileSize bytes, whose first headSize bytes are at
// head (at least min(fileSize, kShpMaxHeadersSize) of them), is laid out
// exactly as the writer lays it out. On failure, problem receives one line
// naming the first fault found, e.g. "frame 3: offset 1234 past the end of
// the file (1200 bytes)".
bool CheckShpLayout(const uint8_t *head, size_t headSize, uint64_t fileSize, ShpLayout *layout, char *problem,
                    size_t problemSize);

// Converts one frame (width × height RGB565 pixels, top row first) into
// top-down 24-bit B, G, R rows that start `stride` bytes apart. Each 5- or
// 6-bit channel is widened by repeating its top bits, so that 0 stays 0, the
// largest value becomes 255, and Rgb565 gives back exactly the same value.
void ConvertFrameToBgr(const uint8_t *frame, uint32_t width, uint32_t height, uint8_t *rows, uint32_t stride);
