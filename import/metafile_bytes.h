// Reading an older filter's metafile bytes: finding the bitmap it carries and
// copying that bitmap into the form the job reads. Plain byte handling, with
// no Windows calls, so that it also builds (and is fuzzed) on the host.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/packed_dib.h"

// True when a width × height 24-bit image is at least one pixel large and
// small enough for the job's arithmetic and a single memory block.
bool Fits24BitImage(int64_t width, int64_t height);

// The packed bitmap (BITMAPINFO and bits) inside the first bitmap-carrying
// record of an in-memory metafile of `size` bytes, or null; *available gets
// the bytes from there to the end of that record. Never reads outside the
// given bytes.
const uint8_t *FindMetafileDib(const uint8_t *metafileBytes, size_t size, size_t *available);

// The bitmap of a metafile that holds nothing but one SRCCOPY StretchDIBits
// of a whole 24-bit bottom-up bitmap, the box's size, onto the box at one
// unit per pixel: what played into a bitmap of the box gives that bitmap's
// pixels. Null for any other metafile; *available gets the bytes from the
// bitmap to the end of its record. Never reads outside the given bytes.
const uint8_t *FindWholeBoxBitmap(const uint8_t *metafileBytes, size_t size, int left, int top, int width,
                                  int height, size_t *available);

// A copy of a packed bitmap of `size` bytes as the job reads images: 24-bit,
// bottom-up, BI_RGB, no colour table. Accepts uncompressed 1, 4, 8, 16, 24
// and 32-bit bitmaps, either row order, BI_BITFIELDS included. Null when the
// header, colour table or bits do not lie within `size` bytes, or the bit
// fields are empty, overlap or have gaps. Never reads outside the given bytes.
PackedDib CopyDibAs24Bit(const uint8_t *dib, size_t size);
