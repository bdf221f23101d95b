// The cell size of a sprite sheet, asked over the preview of its row.
#pragma once
#include <windows.h>

#include <cstdint>

struct ImageFrames;

// A modal dialog owned by the preview, whose grid follows the numbers as
// they are typed. False when cancelled.
bool AskCellSize(HWND preview, const ImageFrames &image, uint32_t *width, uint32_t *height);
