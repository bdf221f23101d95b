// P, the preview's canvas tool: every row of the list put on one canvas, so
// that rows of different sizes convert, as the job converts the images with
// the same canvas.
#pragma once
#include <windows.h>

#include "core/canvas.h"
#include "ui/frame_tools.h"

// The canvas, asked over the preview (AskCanvas); `choice` comes with what is
// offered. Tests answer it instead of a person.
struct PreviewFrame;
typedef bool (*AskCanvasFunction)(HWND preview, const PreviewFrame &shown, const CanvasSpot *shownOffset,
                                  CanvasChoice *choice);
extern AskCanvasFunction g_askCanvas;

// Every row placed on the canvas asked (offered: the largest width and
// height, the centre; or, when every row's file records where it was trimmed
// from, those offsets on the page they name) as frame files in a new folder
// beside the first row's image, named after its folder; the files then take
// the rows' place, in order. All or nothing.
ToolOutcome PutRowsOnCanvas(const PreviewTarget &target);
