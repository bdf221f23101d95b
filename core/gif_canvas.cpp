#include "core/gif_canvas.h"

#include <cstring>

#include "core/core_alloc.h"

namespace {

uint32_t Clamp(uint64_t value, uint32_t limit)
{
    return value < limit ? uint32_t(value) : limit;
}

uint8_t *Pixel(const GifCanvas &canvas, uint32_t x, uint32_t y)
{
    return canvas.pixels + (size_t(y) * canvas.width + x) * 4;
}

// Copies the rectangle's rows between the canvas and a block of its own size.
void CopyRectangle(GifCanvas *canvas, uint8_t *block, bool toCanvas)
{
    const size_t rowBytes = size_t(canvas->right - canvas->left) * 4;
    for (uint32_t y = canvas->top; y < canvas->bottom; y++, block += rowBytes) {
        uint8_t *row = Pixel(*canvas, canvas->left, y);
        std::memcpy(toCanvas ? row : block, toCanvas ? block : row, rowBytes);
    }
}

void Dispose(GifCanvas *canvas)
{
    if (canvas->disposal == kGifRestoreBackground) {
        for (uint32_t y = canvas->top; y < canvas->bottom; y++)
            std::memset(Pixel(*canvas, canvas->left, y), 0, size_t(canvas->right - canvas->left) * 4);
    } else if (canvas->disposal == kGifRestorePrevious && canvas->saved) {
        CopyRectangle(canvas, canvas->saved, true);
    }
    CoreFree(canvas->saved);
    canvas->saved = nullptr;
    canvas->disposal = 0;
}

}  // namespace

bool GifCanvasCreate(GifCanvas *canvas, uint32_t width, uint32_t height)
{
    *canvas = GifCanvas{};
    const uint64_t bytes = uint64_t(width) * height * 4;  // both below 2^32: no wrap in 64 bits
    if (width == 0 || height == 0 || bytes > SIZE_MAX)
        return false;
    canvas->pixels = static_cast<uint8_t *>(CoreAlloc(size_t(bytes)));
    if (!canvas->pixels)
        return false;
    std::memset(canvas->pixels, 0, size_t(bytes));
    canvas->width = width;
    canvas->height = height;
    return true;
}

void GifCanvasRelease(GifCanvas *canvas)
{
    CoreFree(canvas->saved);
    CoreFree(canvas->pixels);
    *canvas = GifCanvas{};
}

bool GifCanvasDraw(GifCanvas *canvas, const uint8_t *frame, uint32_t frameWidth, uint32_t frameHeight,
                   uint32_t left, uint32_t top, uint32_t disposal)
{
    Dispose(canvas);
    canvas->left = Clamp(left, canvas->width);
    canvas->top = Clamp(top, canvas->height);
    canvas->right = Clamp(uint64_t(left) + frameWidth, canvas->width);
    canvas->bottom = Clamp(uint64_t(top) + frameHeight, canvas->height);
    if (disposal == kGifRestorePrevious) {
        // The rectangle lies inside the canvas, so its size cannot wrap.
        canvas->saved = static_cast<uint8_t *>(
            CoreAlloc(size_t(canvas->right - canvas->left) * (canvas->bottom - canvas->top) * 4));
        if (!canvas->saved)
            return false;
        CopyRectangle(canvas, canvas->saved, false);
    }
    canvas->disposal = disposal;
    for (uint32_t y = canvas->top; y < canvas->bottom; y++) {
        const uint8_t *source = frame + (size_t(y - top) * frameWidth + (canvas->left - left)) * 4;
        uint8_t *target = Pixel(*canvas, canvas->left, y);
        for (uint32_t x = canvas->left; x < canvas->right; x++, source += 4, target += 4)
            if (source[3] != 0)
                std::memcpy(target, source, 4);
    }
    return true;
}

bool AllOpaque(const uint8_t *pixels, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (pixels[4 * i + 3] != 255)
            return false;
    return true;
}

void DropAlpha(const uint8_t *pixels, size_t count, uint8_t *rows)
{
    for (size_t i = 0; i < count; i++) {
        const uint8_t *pixel = pixels + 4 * i;
        uint8_t *row = rows + 3 * i;
        row[0] = pixel[0], row[1] = pixel[1], row[2] = pixel[2];
    }
}
