#include <gtest/gtest.h>

#include "core/packed_dib.h"
#include "core/shp16.h"

// Sizes that do not fit in 32 bits come back as 0 or false, never wrapped.
TEST(Sizes, RoundRowsUpAndRefuseWhatPassesFourGigabytes)
{
    const uint32_t strides[][3] = {{1, 24, 4},  {2, 24, 8}, {3, 24, 12}, {4, 24, 12},
                                   {5, 24, 16}, {1, 1, 4},  {33, 1, 8},  {0x7FFFFFFF, 24, 0}};
    for (const auto &s : strides)
        EXPECT_EQ(DibStride(s[0], s[1]), s[2]) << s[0] << " pixels of " << s[1] << " bits";
    const struct {
        uint32_t width, height, frames;
        size_t bytes;  // 0: refused
    } files[] = {{3, 2, 2, 80},
                 {1024, 1024, 2047, 8 + 2047 * (24 + 2 * 1024 * 1024ull)},
                 {1024, 1024, 2048, 0},
                 {65535, 65535, 1, 0},
                 {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0}};
    for (const auto &f : files) {
        size_t bytes = 0;
        EXPECT_EQ(ShpFileSize(f.width, f.height, f.frames, &bytes) ? bytes : 0, f.bytes)
            << f.width << " " << f.frames;
    }
}
