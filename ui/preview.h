// The preview: the source images one at a time, as their SHP16 frames will
// hold them. Each is decoded through its filter as the conversion job does,
// converted to RGB565 and shown with every value widened back to 8 bits.
#pragma once
#include <windows.h>

#include <cstdint>

#define PREVIEW_CLASS_NAME "KestranePreview"

enum PreviewFrameState { FRAME_NOT_DECODED, FRAME_SHOWN, FRAME_UNREADABLE, FRAME_NO_MEMORY };

struct PreviewFrame {
    PreviewFrameState state;
    uint32_t width, height;  // the decoded size: for FRAME_SHOWN and FRAME_NO_MEMORY
    uint32_t *pixels;        // FRAME_SHOWN: 0x00RRGGBB values, top row first
};

// Double-click on a row: shows the selected row's image until the user closes
// the preview. Modal, so the list cannot change under it; on closing, the
// row last shown is selected.
void PreviewSelectedImage(HWND dialog);

// The preview window of row `row`, shown but without a loop of its own; null
// when it cannot be opened. PreviewSelectedImage runs it modally.
HWND OpenPreview(HWND dialog, int row);
// What the open preview shows now.
const PreviewFrame *ShownPreviewFrame();
