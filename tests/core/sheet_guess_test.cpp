// The first cell offered for a sheet: what the drawings on it say.
#include <gtest/gtest.h>

#include <vector>

#include "core/sheet_guess.h"

namespace {

// A sheet of `cell`-pixel cells on white, the first `count` of them (left to
// right, then top to bottom) holding a centred box of `box` pixels.
std::vector<uint32_t> Sheet(uint32_t width, uint32_t height, uint32_t cell, uint32_t box, uint32_t count)
{
    std::vector<uint32_t> pixels(size_t(width) * height, 0xFFFFFF);
    const uint32_t across = width / cell, inset = (cell - box) / 2;
    for (uint32_t n = 0; n < count; n++)
        for (uint32_t y = 0; y < box; y++)
            for (uint32_t x = 0; x < box; x++)
                pixels[size_t(n / across * cell + inset + y) * width + n % across * cell + inset + x] = 0x20 * n;
    return pixels;
}

TEST(SheetGuess, OffersTheCellTheDrawingsSitInElseAStripOrTheWhole)
{
    std::vector<uint32_t> noise(200 * 100);
    for (size_t i = 0; i < noise.size(); i++)
        noise[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    const struct {
        const char *name;
        uint32_t width, height;
        std::vector<uint32_t> pixels;
        uint32_t cellWidth, cellHeight;
    } rows[] = {
        {"grid 12x8 of 96", 1152, 768, Sheet(1152, 768, 96, 60, 96), 96, 96},
        {"strip of 48", 384, 48, Sheet(384, 48, 48, 30, 8), 48, 48},
        {"square grid, last row half empty", 256, 256, Sheet(256, 256, 64, 40, 14), 64, 64},
        {"small drawings: no empty column of cells", 144, 96, Sheet(144, 96, 48, 8, 6), 48, 48},
        {"drawings touching across every line", 200, 100, noise, 100, 100},
        {"nothing drawn", 1152, 768, Sheet(1152, 768, 96, 0, 0), 1152, 768},
        {"picture not at hand", 96, 48, {}, 48, 48},
    };
    for (const auto &row : rows) {
        uint32_t width = 0, height = 0;
        GuessSheetCell(row.pixels.empty() ? nullptr : row.pixels.data(), row.width, row.height, &width, &height);
        EXPECT_EQ(std::pair(width, height), std::pair(row.cellWidth, row.cellHeight)) << row.name;
    }
}

}  // namespace
