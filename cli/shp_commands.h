// SHP16 files read back: --info and --extract. Each reports through
// PrintStatus and returns false on failure, including a damaged file.
#pragma once

// Checks the file's whole layout, then prints its size, frame count and the
// offset of every frame on standard output.
bool ShowShpInfo(const char *path);

// Writes every frame as a PNG file into directory (made if missing), named
// frame0000.png, frame0001.png, ... so that name order is frame order.
// A folder that holds frame files already is refused.
bool ExtractFrames(const char *path, const char *directory);
