// A sprite sheet's data file, as texture packers and pixel editors export
// it beside the sheet: for each frame, where it sits in the sheet (`frame`,
// stored turned 90 degrees clockwise when `rotated`) and where it sat on the
// picture it was trimmed from (`spriteSourceSize` on `sourceSize`). Frames
// come as a hash by name or as an array, kept in the order the file gives.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kSheetFrameNameSize = 96;  // longer names are cut, for messages only

struct SheetFrame {
    char name[kSheetFrameNameSize];
    uint32_t x, y;           // its top-left pixel in the sheet
    uint32_t width, height;  // unturned: a rotated frame covers height x width pixels of the sheet
    bool rotated;
    uint32_t left, top;  // where its top-left pixel goes on the source frame
};

struct SheetData {
    SheetFrame *frames;  // CoreAlloc'd, in the file's order
    uint32_t count;
    uint32_t sourceWidth, sourceHeight;  // every frame's source size
};

// Reads the data file's text (`size` bytes, named `dataPath` in messages)
// for a sheet of sheetWidth x sheetHeight pixels. False after the message
// when it is not JSON (saying where), describes no frames, or a frame lies
// outside the sheet or its source box, or has another source size.
bool ReadSheetData(const char *dataPath, const char *text, size_t size, uint32_t sheetWidth,
                   uint32_t sheetHeight, SheetData *data);
void ReleaseSheetData(SheetData *data);
