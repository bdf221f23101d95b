// How a sprite sheet is cut, asked over the preview of its row.
#pragma once
#include <windows.h>

#include <cstdint>

struct ImageFrames;
struct SheetCut;

// A modal dialog owned by the preview, whose grid follows the numbers (cell
// size, margin, spacing) as they are typed; with `dataPath` (null: none), it
// offers cutting by that data file instead. False when cancelled.
bool AskCellSize(HWND preview, const ImageFrames &image, const char *dataPath, SheetCut *cut);
