// P in the preview: every row of the list put on one canvas, so that rows of
// different sizes convert.
#pragma once
#include <windows.h>

#include "core/canvas.h"

struct PreviewFrame;

// The canvas asked over the preview (AskCanvas); `choice` comes with what is
// offered. Tests answer it instead of a person.
typedef bool (*AskCanvasFunction)(HWND preview, const PreviewFrame &shown, CanvasChoice *choice);
extern AskCanvasFunction g_askCanvas;

// Every row placed on `canvas` as frame files in a new folder beside the
// first row's image, named after its folder; the files then take the rows'
// place, in order. All or nothing: false after the status line says why.
bool PutRowsOnCanvas(HWND dialog, const CanvasChoice &canvas);
