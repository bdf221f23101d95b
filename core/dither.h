// RGB565 with dithering, chosen by the user, never by default: the exact
// rule (Rgb565) truncates and bands smooth gradients.
//
// Both modes choose between the two RGB565 levels around a value as
// Rgb565ToRgb888 widens them, so a colour on that grid comes out exactly as
// the exact rule writes it, and on average an area keeps its colour.
#pragma once
#include <cstddef>
#include <cstdint>

enum DitherMode { DITHER_NONE, DITHER_ORDERED, DITHER_DIFFUSION };

// Converts an image's bottom-up 24-bit B, G, R rows (row k at k × stride)
// into top-down RGB565 words: its top row at `out`, each next row outStride
// bytes further. (left, top) is the image's place in its frame, where the
// ordered pattern is anchored. Diffusion spreads the error through the rows
// themselves and leaves them changed; the ordered mode only reads them.
// DITHER_NONE writes the exact rule.
void DitherRows(DitherMode mode, uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out,
                size_t outStride, uint32_t left, uint32_t top);
