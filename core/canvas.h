// Frames of different sizes put on one canvas: each image placed at an
// anchor, the rest of the canvas black.
#pragma once
#include <cstdint>

enum CanvasAnchor {
    ANCHOR_CENTER,
    ANCHOR_TOP,
    ANCHOR_BOTTOM,
    ANCHOR_LEFT,
    ANCHOR_RIGHT,
    ANCHOR_TOP_LEFT,
    ANCHOR_TOP_RIGHT,
    ANCHOR_BOTTOM_LEFT,
    ANCHOR_BOTTOM_RIGHT,
    kAnchorCount
};

// The names both programs show and read, in CanvasAnchor's order.
extern const char *const kAnchorNames[kAnchorCount];

// The anchor named `name`, in any case; false when there is none.
bool AnchorFromName(const char *name, CanvasAnchor *anchor);

struct CanvasChoice {
    bool enabled;            // off: every image must have the first one's size
    uint32_t width, height;  // 0 x 0: the largest width and height among the images
    CanvasAnchor anchor;
    // Each image at the offset its file records, when every image records
    // one (trimmed exports); the anchor places them when none does.
    bool fromFiles;
};

struct CanvasSpot {
    uint32_t left, top;
};

// Where the top-left pixel of an image that fits goes; an odd pixel of free
// space goes to the right and below.
CanvasSpot PlaceOnCanvas(uint32_t canvasWidth, uint32_t canvasHeight, uint32_t width, uint32_t height,
                         CanvasAnchor anchor);

// Nothing is ever cut: an image larger on either side is refused.
inline bool FitsOnCanvas(uint32_t canvasWidth, uint32_t canvasHeight, uint32_t width, uint32_t height)
{
    return width <= canvasWidth && height <= canvasHeight;
}

// The automatic canvas grown to take in one more image.
inline void GrowCanvas(uint32_t *canvasWidth, uint32_t *canvasHeight, uint32_t width, uint32_t height)
{
    if (width > *canvasWidth)
        *canvasWidth = width;
    if (height > *canvasHeight)
        *canvasHeight = height;
}
