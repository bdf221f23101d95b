// The loader's steps apart, for a caller that keeps a filter library loaded
// between images (kestrane-cli's workers).
#pragma once
#include <windows.h>

#include "core/packed_dib.h"

// The extension LoadImageFile looks a filter up by (after the last dot that
// is not the path's first character); null when the path has none or is too
// long for the filter's 260-byte field.
const char *ImageExtension(const char *path);

// What LoadImageFile does once it has loaded the filter library: the entry
// points bound and the filter's calls made, in the same order. The library
// stays loaded.
PackedDib LoadImageWithLibrary(HMODULE library, const char *path);

// A filter library by the full path the lookup found, its own dependencies
// taken from its folder and System32 only: never from our exe's folder or the
// current one, where a planted copy could be waiting.
HMODULE LoadFilterLibrary(const char *path);
