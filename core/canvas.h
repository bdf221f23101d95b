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

struct CanvasChoice {
    bool enabled;            // off: every image must have the first one's size
    uint32_t width, height;  // 0 x 0: the largest width and height among the images
    CanvasAnchor anchor;
};
