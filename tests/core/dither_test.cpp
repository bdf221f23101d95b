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

Rgb Shown(uint16_t word)
{
    const Rgb888 c = Rgb565ToRgb888(word);
    return {c.r, c.g, c.b};
}

struct Ramp {
    const char *name;
    PixelFunction pixel;
};
const Ramp kRamps[] = {
    {"ramp across",
     [](int x, int) {
         return Rgb{uint8_t(x), uint8_t(x), uint8_t(255 - x)};
     }},
    {"grey ramp down",
     [](int, int y) {
         return Rgb{uint8_t(4 * y), uint8_t(4 * y), uint8_t(4 * y)};
     }},
    {"diagonal shading",
     [](int x, int y) {
         return Rgb{uint8_t((x + 3 * y) / 2), uint8_t(x / 3 + y), uint8_t(200 - y)};
     }},
    {"faint glow",
     [](int x, int y) {
         return Rgb{uint8_t(60 + x / 16), uint8_t(30 + (x + y) / 20), uint8_t(61)};
     }},
};

}  // namespace

// Each 4 × 4 block's mean colour against the source's, in 8-bit levels
// summed over red, green and blue.
TEST(Dither, GradientBlocksKeepTheirColour)
{
    const int width = 256, height = 64;
    for (const Ramp &gradient : kRamps)
        for (DitherMode mode : {DITHER_NONE, DITHER_ORDERED, DITHER_DIFFUSION}) {
            const Words frame = Dither(mode, width, height, gradient.pixel);
            double sum = 0, worst = 0;
            for (int by = 0; by < height; by += 4)
                for (int bx = 0; bx < width; bx += 4) {
                    double off[3] = {};
                    for (int y = by; y < by + 4; y++)
                        for (int x = bx; x < bx + 4; x++) {
                            const Rgb shown = Shown(frame[y * width + x]), source = gradient.pixel(x, y);
                            off[0] += shown.r - source.r, off[1] += shown.g - source.g,
                                off[2] += shown.b - source.b;
                        }
                    const double distance = (std::fabs(off[0]) + std::fabs(off[1]) + std::fabs(off[2])) / 16;
                    sum += distance, worst = std::max(worst, distance);
                }
            const double mean = sum / (width / 4 * height / 4);
            SCOPED_TRACE(testing::Message()
                         << gradient.name << ", mode " << mode << ": mean " << mean << ", worst " << worst);
            if (mode == DITHER_NONE) {
                EXPECT_GT(mean, 3);
            } else {
                EXPECT_LE(mean, 1);
                EXPECT_LE(worst, 3);
            }
        }
}

// Colours on the widened grid (black, white, primaries, random ones) at an
// offset in a larger frame: each exactly as the exact rule writes it, and
// nothing written around the image.
TEST(Dither, GridColoursAreKeptAndNothingElseIsWritten)
{
    std::mt19937 random(16);
    std::vector<uint16_t> words = {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F};
    for (int i = 0; i < 200; i++)
        words.push_back(uint16_t(random()));
    const int width = 23, height = 9;
    auto pixel = [&](int x, int y) { return Shown(words[(y * width + x) % words.size()]); };
    for (DitherMode mode : {DITHER_ORDERED, DITHER_DIFFUSION}) {
        const Words frame = Dither(mode, width, height, pixel, 5, 3, 31, 14);
        for (uint32_t y = 0; y < 14; y++)
            for (uint32_t x = 0; x < 31; x++) {
                const bool inside = x >= 5 && x < 5 + width && y >= 3 && y < 3 + height;
                const Rgb c = inside ? pixel(int(x) - 5, int(y) - 3) : Rgb{};
                ASSERT_EQ(frame[y * 31 + x], inside ? Rgb565(c.r, c.g, c.b) : 0xEEEE)
                    << "mode " << mode << " at (" << x << "," << y << ")";
            }
    }
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
    auto changed = [&](int x, int y) {
        return x >= 10 && x < 20 && y >= 7 && y < 12 ? Rgb{1, 2, 3} : pixel(x, y);
    };
    const Words whole = Dither(DITHER_ORDERED, 48, 40, pixel),
                other = Dither(DITHER_ORDERED, 48, 40, changed);
    const Words part = Dither(
        DITHER_ORDERED, 30, 25, [&](int x, int y) { return pixel(x + 13, y + 6); }, 13, 6);
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 48; x++) {
            if (!(x >= 10 && x < 20 && y >= 7 && y < 12))
                ASSERT_EQ(whole[y * 48 + x], other[y * 48 + x])
                    << "changed outside, at (" << x << "," << y << ")";
            if (x >= 13 && y >= 6 && x < 43 && y < 31)
                ASSERT_EQ(whole[y * 48 + x], part[y * 43 + x]) << "placed part, at (" << x << "," << y << ")";
        }
    for (DitherMode mode : {DITHER_ORDERED, DITHER_DIFFUSION})
        EXPECT_EQ(Dither(mode, 48, 40, pixel), Dither(mode, 48, 40, pixel)) << "mode " << mode;
}
