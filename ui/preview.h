// The preview window, its painting, keys and playing: frames one at a time,
// as the SHP16 file holds or will hold them, the list's rows or the frames of
// an opened SHP16 file. How each frame is made and kept: ui/preview_frames.h.
// The tools its keys start (E, L, S, W) are in ui/frame_tools.h, P in
// ui/put_on_canvas.h; N orders the rows by the numbers in their names.
#pragma once
#include <windows.h>

#include <cstdint>

#define PREVIEW_CLASS_NAME "KestranePreview"

enum PreviewFrameState { FRAME_NOT_DECODED, FRAME_SHOWN, FRAME_UNREADABLE, FRAME_NO_MEMORY };

struct PreviewFrame {
    PreviewFrameState state;
    uint32_t width, height;  // the decoded size: for FRAME_SHOWN and FRAME_NO_MEMORY
    uint32_t *pixels;        // FRAME_SHOWN: 0x00RRGGBB values, top row first
    uint32_t gifFrames;      // a row's GIF: its frame count (Convert takes the first); else 0
};

// Double-click on a row: shows the selected row's image until the user closes
// the preview. Modal, so the list changes only through its own keys; on
// closing, the row last shown is selected.
void PreviewSelectedImage(HWND dialog);

// An SHP16 file dropped or named on the command line: its frames until the
// user closes the preview. A file that cannot be read or is damaged does not
// open: the status line says why.
void PreviewShpFile(HWND dialog, const char *path);

// The preview window of row `row`, or of an SHP16 file, shown but without a
// loop of its own; null when it cannot be opened. The functions above run it
// modally.
HWND OpenPreview(HWND dialog, int row);
HWND OpenShpPreview(HWND dialog, const char *path);
// What the open preview shows now.
const PreviewFrame *ShownPreviewFrame();

// The largest width and height among the list's rows, each decoded as it is
// shown. False, with the first row that cannot be read, when one cannot.
bool LargestRowSize(uint32_t *width, uint32_t *height, int *unreadable);

// The grid of cells drawn over the picture, the first `margin` pixels in
// from the left and top and `spacing` pixels apart; 0 x 0: none.
void SetPreviewGrid(uint32_t cellWidth, uint32_t cellHeight, uint32_t margin = 0, uint32_t spacing = 0);

// The band's second line until the next key, drawn at once: what a tool is
// doing or did.
void SetPreviewNotice(const char *text);
