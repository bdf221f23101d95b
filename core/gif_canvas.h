// An animated GIF's frames as viewers show them: each drawn in its place on
// a canvas the size of the logical screen, and disposed of as its disposal
// method says before the next is drawn. Pixels here are 4 bytes, B, G, R, A
// with straight alpha, in rows top-down without padding: what the imaging
// component's 32bppBGRA converter gives and the PNG writer takes.
#pragma once
#include <cstddef>
#include <cstdint>

// The GIF's disposal methods. 0 (none given), 1 and the undefined 4 to 7
// leave the frame where it is.
constexpr uint32_t kGifRestoreBackground = 2;  // its rectangle cleared, transparent as browsers show it
constexpr uint32_t kGifRestorePrevious = 3;    // its rectangle as it was before the frame

// One side of the picture a GIF makes: its logical screen, grown to take in
// the first frame where it stands, so that nothing of that frame is cut. Our
// import filter places frame 0 so, and splitting keeps that canvas.
constexpr uint64_t GifPictureSide(uint32_t screen, uint32_t frameStart, uint32_t frameSide)
{
    return uint64_t(frameStart) + frameSide > screen ? uint64_t(frameStart) + frameSide : screen;
}

struct GifCanvas {
    uint8_t *pixels;
    uint32_t width, height;
    // The last frame's rectangle, cut to the canvas, and its disposal, which
    // waits until the next frame is drawn.
    uint32_t left, top, right, bottom, disposal;
    uint8_t *saved;  // disposal 3: what the rectangle held before the frame
};

// A transparent canvas of width x height pixels. False when it cannot be
// allocated, its size included.
bool GifCanvasCreate(GifCanvas *canvas, uint32_t width, uint32_t height);
void GifCanvasRelease(GifCanvas *canvas);

// Disposes of the frame drawn before, then draws frameWidth x frameHeight
// pixels at (left, top); what falls outside the canvas is cut. Transparent
// pixels (alpha 0) leave the canvas as it is; the others, opaque in a GIF,
// replace it. False when the copy kept for disposal 3 cannot be allocated.
bool GifCanvasDraw(GifCanvas *canvas, const uint8_t *frame, uint32_t frameWidth, uint32_t frameHeight,
                   uint32_t left, uint32_t top, uint32_t disposal);

// True when every one of `count` pixels has alpha 255.
bool AllOpaque(const uint8_t *pixels, size_t count);

// The pixels' B, G, R bytes, 3 a pixel, into `rows`, which may be `pixels`
// itself: each pixel's bytes move only towards the start.
void DropAlpha(const uint8_t *pixels, size_t count, uint8_t *rows);
