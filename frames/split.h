// Animated GIFs and sprite sheets taken apart into frame files. Pictures are
// decoded by the imaging component as our import filter decodes them, so
// that each frame file converts to the frame the job would take from the
// same part of the picture.
#pragma once
#include <cstdint>

#include "frames/frame_files.h"

struct ImageFrames {
    uint32_t width, height;  // the picture's; a GIF's is its logical screen, as our filter places frame 0
    uint32_t frameCount;     // more than 1: an animated GIF
};

// What the imaging component finds in the file. False after PrintStatus.
bool InspectImage(const char *path, ImageFrames *image);

// For a file named .gif, the frames it holds, counted from its bytes
// without a word (CountGifImages); 0 for a file of another name or one that
// cannot be read.
uint32_t GifFrameCount(const char *path);

// cellWidth 0: every frame of an animated GIF as a viewer shows it, on the
// logical screen, with each frame's offset, disposal and transparency
// applied; a still image is refused. Otherwise the picture's cells of
// cellWidth x cellHeight pixels, left to right, then top to bottom, alpha
// kept as it is. Refusals (an unreadable file, cells that do not divide the
// picture) come before anything is written. False after PrintStatus.
bool SplitImage(const char *path, uint32_t cellWidth, uint32_t cellHeight, const char *directory,
                FolderRule rule, FrameFiles *files);

// How a sheet is cut: into cells, the first `margin` pixels in from the left
// and top and each `spacing` pixels from the next (the sheet holding a whole
// number of them, with the same margin or none right and below), or, with
// `dataPath`, into the frames its data file describes, each turned back if
// stored rotated and placed where it sat on its source frame, black around.
struct SheetCut {
    uint32_t cellWidth, cellHeight, margin, spacing;
    const char *dataPath;
};

bool SplitSheet(const char *path, const SheetCut &cut, const char *directory, FolderRule rule,
                FrameFiles *files);

// How many cells of `cell` pixels, `spacing` apart from `margin` on, fill
// `side` exactly, with the same margin or none after the last; 0 when none do.
uint64_t CellsAlong(uint32_t side, uint32_t cell, uint32_t margin, uint32_t spacing);
