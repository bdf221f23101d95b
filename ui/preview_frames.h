// What the preview shows of each frame: a row of the list decoded through its
// filter as the conversion job decodes it and converted to RGB565, exactly or
// dithered as the view says, or a frame read from an opened SHP16 file; each
// value widened back to 8 bits. Frames are made when first shown and kept
// while the cache has room.
#pragma once
#include <cstddef>

#include "core/dither.h"
#include "ui/preview.h"

struct ShpFile;

struct PreviewFrames {
    const ShpFile *file;  // the frames of this opened file; null: the list's rows
    DitherMode view;      // the rows as Convert writes them now, or dithered
    int count;
    PreviewFrame *cache;  // one per frame, or null when it could not be allocated
    size_t cachedBytes;
    PreviewFrame uncached;  // the frame shown last when it is not in the cache
};

// Forgets every frame made and counts `count` anew, with `file` and `view`
// as set now.
void StartPreviewFrames(PreviewFrames *frames, int count);
// Frame i, made when it is not kept; valid until the next call.
const PreviewFrame *PreviewFrameOf(PreviewFrames *frames, int i);
void ReleasePreviewFrames(PreviewFrames *frames);
