#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/packed_dib.h"
#include "core/rgb565_rows.h"
#include "core/shp16.h"

// Every conversion path against the Rgb565 rule on random pixels at every
// width past two 32-pixel blocks (so every tail length), and ConvertDibToFrame
// on padded rows. The rows end where their block ends, so that the sanitizers
// see any over-read; a marker after the output catches an over-write.
TEST(Rgb565Rows, EveryPathFollowsTheRuleAtEveryWidth)
{
    std::vector<std::pair<const char *, Rgb565RowFunction>> paths = {{"plain", Rgb565RowPlain}};
#if KESTRANE_X86_ROWS
    if (ProcessorHasSse2())
        paths.push_back({"sse2", Rgb565RowSse2});
    if (ProcessorHasSsse3())
        paths.push_back({"ssse3", Rgb565RowSsse3});
#endif
    std::mt19937 random(565);
    for (uint32_t width = 1; width <= 70; width++) {
        const uint32_t stride = DibStride(width, 24) + 4;  // two rows
        std::vector<uint8_t> rows(stride + 3 * width);
        for (uint8_t &byte : rows)
            byte = static_cast<uint8_t>(random());
        std::vector<uint8_t> frame;  // bottom-up rows: the second comes first
        for (uint32_t start : {stride, 0u})
            for (const uint8_t *bgr = &rows[start]; bgr < &rows[start] + 3 * width; bgr += 3) {
                uint16_t value = Rgb565(bgr[2], bgr[1], bgr[0]);
                frame.insert(frame.end(), {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
            }
        frame.insert(frame.end(), {0xEE, 0xEE});
        std::vector<uint8_t> out(frame.size(), 0xEE);
        ConvertDibToFrame(rows.data(), stride, width, 2, out.data());
        EXPECT_EQ(out, frame) << "ConvertDibToFrame, width " << width;
        // Each path on the second row, whose end is the end of the block.
        std::vector<uint8_t> top(frame.begin(), frame.begin() + 2 * width);
        top.insert(top.end(), {0xEE, 0xEE});
        for (const auto &[name, convert] : paths) {
            std::vector<uint8_t> row(top.size(), 0xEE);
            convert(&rows[stride], width, row.data());
            EXPECT_EQ(row, top) << name << ", width " << width;
        }
    }
}
