#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/packed_dib.h"
#include "core/rgb565_rows.h"
#include "core/shp16.h"

// Every conversion path against the Rgb565 rule on random pixels, at every
// width up to past two 32-pixel blocks (so every tail length), and the
// frame through ConvertDibToFrame from rows with extra padding. Rows are
// allocated to their exact length so that the sanitizers see any over-read;
// a marker after the output catches an over-write.
TEST(Rgb565Rows, EveryPathFollowsTheRuleAtEveryWidth)
{
    const struct {
        const char *name;
        Rgb565RowFunction convert;
    } paths[] = {
        {"plain", Rgb565RowPlain},
#if KESTRANE_X86_ROWS
        {"sse2", Rgb565RowSse2},
        {"ssse3", ProcessorHasSsse3() ? Rgb565RowSsse3 : nullptr},
#endif
    };
    std::mt19937 random(565);
    for (uint32_t width = 1; width <= 70; width++) {
        const uint32_t stride = DibStride(width, 24) + 4, height = 2;
        std::vector<uint8_t> rows(stride * (height - 1) + 3 * width);
        for (uint8_t &byte : rows)
            byte = static_cast<uint8_t>(random());
        std::vector<uint8_t> expected(2 * width * height + 2, 0xEE);
        for (uint32_t k = 0; k < height; k++)
            for (uint32_t x = 0; x < width; x++) {
                const uint8_t *bgr = &rows[k * stride + 3 * x];
                uint16_t value = Rgb565(bgr[2], bgr[1], bgr[0]);
                expected[2 * (width * (height - 1 - k) + x)] = static_cast<uint8_t>(value);
                expected[2 * (width * (height - 1 - k) + x) + 1] = static_cast<uint8_t>(value >> 8);
            }
        // The top row of the frame, then the marker.
        std::vector<uint8_t> top(expected.begin(), expected.begin() + 2 * width);
        top.insert(top.end(), {0xEE, 0xEE});
        for (const auto &path : paths) {
            std::vector<uint8_t> out(top.size(), 0xEE);
            if (path.convert)
                path.convert(&rows[stride], width, out.data());
            EXPECT_TRUE(!path.convert || out == top) << path.name << ", width " << width;
        }
        std::vector<uint8_t> frame(expected.size(), 0xEE);
        ConvertDibToFrame(rows.data(), stride, width, height, frame.data());
        EXPECT_EQ(frame, expected) << "ConvertDibToFrame, width " << width;
    }
}
