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

// The 8-bit colour an RGB565 value shows: each 5- or 6-bit field widened by
// repeating its top bits, so that 0 stays 0 and the field's maximum gives 255.
struct Rgb888 {
    uint8_t r, g, b;
};
constexpr Rgb888 Rgb565ToRgb888(uint16_t value)
{
    uint8_t r = static_cast<uint8_t>(value >> 11), g = static_cast<uint8_t>((value >> 5) & 0x3F),
            b = static_cast<uint8_t>(value & 0x1F);
    return Rgb888{static_cast<uint8_t>((r << 3) | (r >> 2)), static_cast<uint8_t>((g << 2) | (g >> 4)),
                  static_cast<uint8_t>((b << 3) | (b >> 2))};
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
