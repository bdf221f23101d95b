#include "core/sheet_guess.h"

#include <cstdlib>
#include <vector>

namespace {

// Drawn: away from the background by more than a JPEG's noise in a channel.
bool Drawn(uint32_t pixel, uint32_t background)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int(pixel >> shift & 0xFF) - int(background >> shift & 0xFF)) > 24)
            return true;
    return false;
}

struct Sheet {
    const uint32_t *pixels;
    uint32_t width, height;
    std::vector<bool> drawn;  // width x height
    bool At(uint32_t x, uint32_t y) const { return drawn[size_t(y) * width + x]; }
};

// Every line of a square grid of `side` runs between drawings, and every
// column and row of its cells holds something drawn.
bool GridFits(const Sheet &sheet, uint32_t side)
{
    std::vector<bool> columnUsed(sheet.width / side), rowUsed(sheet.height / side);
    for (uint32_t y = 0; y < sheet.height; y++)
        for (uint32_t x = 0; x < sheet.width; x++) {
            if (!sheet.At(x, y))
                continue;
            columnUsed[x / side] = rowUsed[y / side] = true;
            if ((x % side == 0 && x > 0 && sheet.At(x - 1, y)) ||
                (y % side == 0 && y > 0 && sheet.At(x, y - 1)))
                return false;
        }
    for (bool used : columnUsed)
        if (!used)
            return false;
    for (bool used : rowUsed)
        if (!used)
            return false;
    return true;
}

uint32_t CommonDivisor(uint32_t a, uint32_t b)
{
    while (b) {
        uint32_t rest = a % b;
        a = b, b = rest;
    }
    return a;
}

}  // namespace

void GuessSheetCell(const uint32_t *pixels, uint32_t width, uint32_t height, uint32_t *cellWidth,
                    uint32_t *cellHeight)
{
    uint32_t side = width < height ? width : height;
    bool strip = side && width % side == 0 && height % side == 0;
    *cellWidth = strip ? side : width;
    *cellHeight = strip ? side : height;
    if (!pixels || !side)
        return;
    Sheet sheet = {pixels, width, height, std::vector<bool>(size_t(width) * height)};
    bool anything = false;
    for (size_t i = 0; i < sheet.drawn.size(); i++)
        anything |= sheet.drawn[i] = Drawn(pixels[i], pixels[0]);
    if (!anything)
        return;
    const uint32_t common = CommonDivisor(width, height);
    for (uint32_t candidate = 8; candidate <= common; candidate++)
        if (common % candidate == 0 && GridFits(sheet, candidate)) {
            *cellWidth = *cellHeight = candidate;
            return;
        }
}
