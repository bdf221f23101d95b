// LoadImageFile for core tests: images made in memory, keyed by path.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "core/packed_dib.h"

struct Rgb {
    uint8_t r, g, b;
};

// Pixel colour at (x, y), y = 0 being the top row of the picture.
using PixelFunction = std::function<Rgb(int x, int y)>;

// A 24-bit bottom-up packed DIB in an AllocPackedDib block.
PackedDib MakePackedDib(int width, int height, const PixelFunction &pixel);

// What the fake loader hands out for a path; paths it does not know fail.
// A factory may also touch the list, to play a loader that changes it.
extern std::map<std::string, std::function<PackedDib()>> g_fakeImages;
extern int g_fakeLoads;  // LoadImageFile calls
