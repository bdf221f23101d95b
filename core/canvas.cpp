#include "core/canvas.h"

const char *const kAnchorNames[kAnchorCount] = {
    "center", "top", "bottom", "left", "right", "top-left", "top-right", "bottom-left", "bottom-right"};

// Core builds without windows.h, so no lstrcmpi; the names are ASCII.
static bool SameIgnoringCase(const char *a, const char *b)
{
    for (;; a++, b++) {
        const char x = *a >= 'A' && *a <= 'Z' ? char(*a - 'A' + 'a') : *a;
        if (x != *b)
            return false;
        if (!x)
            return true;
    }
}

bool AnchorFromName(const char *name, CanvasAnchor *anchor)
{
    for (int i = 0; i < kAnchorCount; i++)
        if (SameIgnoringCase(name, kAnchorNames[i])) {
            *anchor = CanvasAnchor(i);
            return true;
        }
    return false;
}

namespace {

enum Side { SIDE_START, SIDE_MIDDLE, SIDE_END };

struct AnchorSides {
    Side horizontal, vertical;
};

const AnchorSides kSides[kAnchorCount] = {
    {SIDE_MIDDLE, SIDE_MIDDLE}, {SIDE_MIDDLE, SIDE_START}, {SIDE_MIDDLE, SIDE_END},
    {SIDE_START, SIDE_MIDDLE},  {SIDE_END, SIDE_MIDDLE},   {SIDE_START, SIDE_START},
    {SIDE_END, SIDE_START},     {SIDE_START, SIDE_END},    {SIDE_END, SIDE_END},
};

// Rounding the half down leaves the odd pixel after the image.
uint32_t Offset(uint32_t free, Side side)
{
    return side == SIDE_START ? 0 : side == SIDE_MIDDLE ? free / 2 : free;
}

}  // namespace

CanvasSpot PlaceOnCanvas(uint32_t canvasWidth, uint32_t canvasHeight, uint32_t width, uint32_t height,
                         CanvasAnchor anchor)
{
    const AnchorSides sides = kSides[anchor < kAnchorCount ? anchor : ANCHOR_CENTER];
    return CanvasSpot{Offset(canvasWidth - width, sides.horizontal),
                      Offset(canvasHeight - height, sides.vertical)};
}
