// Dithering to RGB565, measured by what the preview shows: each word widened
// back to 8 bits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/dither.h"
#include "core/shp16.h"
#include "tests/support/pictures.h"

namespace {

using Words = std::vector<uint16_t>;

// The image's pixels dithered into a frameWidth × frameHeight frame of
// 0xEEEE sentinels at (left, top).
Words Dither(DitherMode mode, int width, int height, const PixelFunction &pixel, uint32_t left = 0,
             uint32_t top = 0, uint32_t frameWidth = 0, uint32_t frameHeight = 0)
{
    frameWidth = std::max(frameWidth, left + width), frameHeight = std::max(frameHeight, top + height);
    Bytes dib = MakeDibBytes(width, height, 24, pixel);
    Words frame(size_t(frameWidth) * frameHeight, 0xEEEE);
    DitherRows(mode, &dib[sizeof(DibHeader)], DibStride(uint32_t(width), 24), uint32_t(width),
               uint32_t(height), reinterpret_cast<uint8_t *>(&frame[top * frameWidth + left]),
               2 * size_t(frameWidth), left, top);
    return frame;
}

// Each channel (base + perX × x + perY × y) / divisor, as R, G, B.
struct Ramp {
    const char *name;
    int divisor, base[3], perX[3], perY[3];
    Rgb At(int x, int y) const
    {
        const auto c = [&](int i) { return uint8_t((base[i] + perX[i] * x + perY[i] * y) / divisor); };
        return {c(0), c(1), c(2)};
    }
};
const Ramp kRamps[] = {
    {"ramp across", 1, {0, 0, 255}, {1, 1, -1}, {0, 0, 0}},
    {"grey ramp down", 1, {0, 0, 0}, {0, 0, 0}, {4, 4, 4}},
    {"diagonal shading", 6, {0, 0, 1200}, {3, 2, 0}, {9, 6, -6}},
    {"faint glow", 80, {4800, 2400, 4880}, {5, 4, 0}, {0, 4, 0}},
};

}  // namespace

// Each 4 × 4 block's mean colour against the source's, in 8-bit levels
// summed over red, green and blue.
TEST(Dither, GradientBlocksKeepTheirColour)
{
    const int width = 256, height = 64;
    for (const Ramp &gradient : kRamps)
        for (DitherMode mode : {DITHER_NONE, DITHER_ORDERED, DITHER_DIFFUSION}) {
            const Words frame = Dither(mode, width, height, [&](int x, int y) { return gradient.At(x, y); });
            double sum = 0, worst = 0;
            for (int by = 0; by < height; by += 4)
                for (int bx = 0; bx < width; bx += 4) {
                    double off[3] = {};
                    for (int y = by; y < by + 4; y++)
                        for (int x = bx; x < bx + 4; x++) {
                            const Rgb888 shown = Rgb565ToRgb888(frame[y * width + x]);
                            const Rgb source = gradient.At(x, y);
                            off[0] += shown.r - source.r, off[1] += shown.g - source.g,
                                off[2] += shown.b - source.b;
                        }
                    const double distance = (std::fabs(off[0]) + std::fabs(off[1]) + std::fabs(off[2])) / 16;
                    sum += distance, worst = std::max(worst, distance);
                }
            const double mean = sum / (width / 4 * height / 4);
            SCOPED_TRACE(testing::Message()
                         << gradient.name << ", mode " << mode << ": mean " << mean << ", worst " << worst);
            EXPECT_TRUE(mode == DITHER_NONE ? mean > 3
                                            : mean <= 1 && worst <= 3);  // the trace says by how much
        }
}

// Colours on the widened grid (black, white, primaries, random ones), at an
// offset in a frame of sentinels: as the exact rule writes them, and nothing
// written around them.
TEST(Dither, GridColoursAreKeptAndNothingElseIsWritten)
{
    std::mt19937 random(16);
    std::vector<uint16_t> words = {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F};
    for (int i = 0; i < 200; i++)
        words.push_back(uint16_t(random()));
    auto pixel = [&](int x, int y) {
        const Rgb888 c = Rgb565ToRgb888(words[(y * 23 + x) % words.size()]);
        return Rgb{c.r, c.g, c.b};
    };
    for (DitherMode mode : {DITHER_ORDERED, DITHER_DIFFUSION})
        EXPECT_EQ(Dither(mode, 23, 9, pixel, 5, 3), Dither(DITHER_NONE, 23, 9, pixel, 5, 3))
            << "mode " << mode;
}

// The ordered pattern belongs to the frame: a pixel's word depends only on
// its colour and its place there, so a change stays where it is, and a part
// of an image placed where it stood in the whole gives the whole's words.
// Both modes give the same bytes on every run.
TEST(Dither, OrderedIsLocalAndBothRepeat)
{
    std::mt19937 random(8);
    std::vector<Rgb> noise(48 * 40);
    for (Rgb &c : noise)
        c = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
    auto pixel = [&](int x, int y) { return noise[y * 48 + x]; };
    auto changed = [](int x, int y) { return x >= 10 && x < 20 && y >= 7 && y < 12; };
    auto patched = [&](int x, int y) { return changed(x, y) ? Rgb{1, 2, 3} : pixel(x, y); };
    auto placed = [&](int x, int y) { return pixel(x + 13, y + 6); };
    const Words whole = Dither(DITHER_ORDERED, 48, 40, pixel),
                other = Dither(DITHER_ORDERED, 48, 40, patched),
                part = Dither(DITHER_ORDERED, 30, 25, placed, 13, 6, 48, 40);
    for (size_t i = 0; i < whole.size(); i++) {
        ASSERT_TRUE(changed(int(i % 48), int(i / 48)) || whole[i] == other[i]) << "changed outside, at " << i;
        ASSERT_TRUE(part[i] == 0xEEEE || whole[i] == part[i]) << "placed part, at " << i;
    }
    for (DitherMode mode : {DITHER_ORDERED, DITHER_DIFFUSION})
        EXPECT_EQ(Dither(mode, 48, 40, pixel), Dither(mode, 48, 40, pixel)) << "mode " << mode;
}

// Diffusion runs serpentine: below a row that carries no error, a row is
// diffused right to left, the mirror of the same row diffused alone.
TEST(Dither, DiffusionTurnsAtEveryRow)
{
    const int width = 20;
    for (const Rgb colour : {Rgb{70, 130, 90}, Rgb{3, 250, 202}}) {
        const Words alone = Dither(DITHER_DIFFUSION, width, 1, [&](int, int) { return colour; });
        const Words below =
            Dither(DITHER_DIFFUSION, width, 2, [&](int, int y) { return y ? colour : Rgb{}; });
        const Words mirrored(alone.rbegin(), alone.rend());
        ASSERT_NE(alone, mirrored) << "a colour whose row is its own mirror shows nothing";
        EXPECT_EQ(Words(below.begin() + width, below.end()), mirrored);
    }
}
