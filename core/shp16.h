// The SHP16 sprite file: an 8-byte file header, one 24-byte record per frame,
// then every frame's RGB565 pixels, top row first, no row padding.
// All fields little-endian.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t kShpFileHeaderSize = 8;
constexpr uint32_t kShpFrameHeaderSize = 24;
constexpr uint8_t kShpFrameFlags = 8;
constexpr uint32_t kShpMaxField = 0xFFFF;  // width, height and count are u16

// value = ((R & 0xF8) << 8) | ((G & 0xFC) << 3) | (B >> 3): truncated, never rounded.
constexpr uint16_t Rgb565(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}

// Size of a whole file of frameCount frames of width × height pixels, computed
// without wrapping. False when it does not fit in 32 bits (frame offsets are u32).
bool ShpFileSize(uint32_t width, uint32_t height, uint32_t frameCount, size_t *bytes);

// Offset of frame i's pixels from the start of the file.
uint32_t ShpFrameOffset(uint32_t width, uint32_t height, uint32_t frameCount, uint32_t frame);

// Writes the file header and all frame records at the start of buffer.
void WriteShpHeaders(uint8_t *buffer, uint32_t width, uint32_t height, uint32_t frameCount);

// Converts bottom-up 24-bit B, G, R rows (rows[k] starts at k × stride) into
// one frame of top-down RGB565 pixels.
void ConvertDibToFrame(const uint8_t *rows, uint32_t stride, uint32_t width, uint32_t height, uint8_t *frame);
