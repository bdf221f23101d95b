// Turns a filter's picture into a PackedDib.
#pragma once
#include <windows.h>

#include "core/packed_dib.h"
#include "import/metafile_bytes.h"  // FindMetafileDib, CopyDibAs24Bit for older filters

// Plays the metafile at one unit per pixel into a 24-bit bitmap of the
// bounding box's size. Null on failure or for an empty box.
PackedDib RenderMetafile(HMETAFILE metafile, int left, int top, int right, int bottom);

// For a process that renders many images on one thread: while `keep`, the
// bitmap of the last size, and its DC, are kept for the next image.
void KeepRenderCanvas(bool keep);
