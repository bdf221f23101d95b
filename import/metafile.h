// Turns a filter's picture into a PackedDib.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/packed_dib.h"

// Plays the metafile at one unit per pixel into a 24-bit bitmap of the
// bounding box's size. Null on failure or for an empty box.
PackedDib RenderMetafile(HMETAFILE metafile, int left, int top, int right, int bottom);

// The packed bitmap (BITMAPINFO and bits) inside the first bitmap-carrying
// record of an in-memory metafile of `size` bytes, or null. Never reads
// outside the given bytes.
const BYTE *FindMetafileDib(const BYTE *metafileBytes, size_t size);
