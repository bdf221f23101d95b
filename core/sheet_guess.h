// The cell size first offered for cutting a still image into frames.
#pragma once
#include <cstdint>

// pixels: width x height values 0x00RRGGBB, top row first, or null when the
// picture is not at hand. The background is the top-left pixel's colour.
// The smallest square cell, a divisor of both sides and at least 8 pixels,
// whose grid runs only between drawings (no line with drawn pixels on both
// of its sides) and leaves no column or row of cells empty; failing that, a
// strip of square frames (the shorter side, when it divides the longer), or
// the whole picture.
void GuessSheetCell(const uint32_t *pixels, uint32_t width, uint32_t height, uint32_t *cellWidth,
                    uint32_t *cellHeight);
