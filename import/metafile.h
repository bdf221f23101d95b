// Turns a filter's picture into a PackedDib.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/packed_dib.h"

// Plays the metafile at one unit per pixel into a 24-bit bitmap of the
// bounding box's size. Null on failure or for an empty box.
PackedDib RenderMetafile(HMETAFILE metafile, int left, int top, int right, int bottom);

// The packed bitmap (BITMAPINFO and bits) inside the first bitmap-carrying
// record of an in-memory metafile of `size` bytes, or null; *available gets
// the bytes from there to the end of that record. Never reads outside the
// given bytes.
const BYTE *FindMetafileDib(const BYTE *metafileBytes, size_t size, size_t *available);

// A copy of a packed bitmap of `size` bytes as the job reads images: 24-bit,
// bottom-up, BI_RGB, no colour table. Accepts uncompressed 1, 4, 8, 16, 24
// and 32-bit bitmaps, either row order, BI_BITFIELDS included. Null when the
// header, colour table or bits do not lie within `size` bytes.
PackedDib CopyDibAs24Bit(const BYTE *dib, size_t size);
