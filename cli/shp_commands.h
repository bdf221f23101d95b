// Frame files: SHP16 files read back (--info, --extract) and pictures cut
// into frames (--split). Each reports through PrintStatus and returns false
// on failure, including a damaged file.
#pragma once
#include <cstdint>

#include "frames/split.h"

// Checks the file's whole layout, then prints its size, frame count and the
// offset of every frame on standard output.
bool ShowShpInfo(const char *path);

// Writes every frame as a PNG file into directory (made if missing), named
// frame0000.png, frame0001.png, ... so that name order is frame order.
// A folder that holds frame files already is refused.
bool ExtractFrames(const char *path, const char *directory);

// Writes the frames of an animated GIF (no cells, no data), the cells of a
// picture or the frames its data describes into directory as --extract does,
// refusing what SplitSheet refuses.
bool SplitIntoFrames(const char *path, const char *directory, const SheetCut &cut);
