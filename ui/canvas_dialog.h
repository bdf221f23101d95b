// The canvas every row is put on (P in the preview): its size and anchor,
// asked over the preview.
#pragma once
#include <windows.h>

#include "core/canvas.h"

struct PreviewFrame;

// A modal dialog owned by the preview that draws the shown frame placed on
// the canvas as the numbers and the anchor change. `choice` comes with what
// is offered and leaves with the answer. `shownOffset`, when every row
// records one, is where the shown frame goes back: the offsets are offered
// beside the anchors. False when cancelled.
bool AskCanvas(HWND preview, const PreviewFrame &shown, const CanvasSpot *shownOffset, CanvasChoice *choice);
