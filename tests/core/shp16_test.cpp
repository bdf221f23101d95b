// The SHP16 layout: sizes that cannot wrap, the reader's check of a file, and
// frames widened back to 24 bits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/packed_dib.h"
#include "core/shp16_read.h"

// Sizes that do not fit in 32 bits come back as 0 or false, never wrapped.
TEST(Sizes, RoundRowsUpAndRefuseWhatPassesFourGigabytes)
{
    EXPECT_EQ(DibStride(0x7FFFFFFF, 24), 0u);
    size_t bytes = 0;
    EXPECT_TRUE(ShpFileSize(1024, 1024, 2047, &bytes));
    EXPECT_EQ(bytes, 8 + 2047 * (24 + 2 * 1024 * 1024ull));
    EXPECT_FALSE(ShpFileSize(1024, 1024, 2048, &bytes));
    EXPECT_FALSE(ShpFileSize(65535, 65535, 1, &bytes));
}

// Two frames of 3 x 2 pixels as the writer lays them out (80 bytes: records at
// 8 and 32, pixels at 56 and 68), cut or lengthened to `size`, then patched.
// The check is given the first `given` bytes, or all of them for 0.
static std::string CheckTwoFrames(size_t size, std::vector<std::pair<size_t, uint8_t>> patches, size_t given)
{
    std::vector<uint8_t> file(80, 0xA5);
    WriteShpHeaders(file.data(), 3, 2, 2);
    file.resize(size, 0);
    for (auto [at, value] : patches)
        file[at] = value;
    ShpLayout layout = {};
    char problem[160] = "(none)";
    if (!CheckShpLayout(file.data(), given ? given : size, size, &layout, problem, sizeof problem))
        return problem;
    return "valid " + std::to_string(layout.width) + " x " + std::to_string(layout.height) + ", " +
           std::to_string(layout.frameCount) + " frames";
}

TEST(CheckShpLayout, AcceptsWhatTheWriterWritesAndNamesEachKindOfDamage)
{
    const struct {
        size_t size;
        std::vector<std::pair<size_t, uint8_t>> patches;
        const char *expected;
        size_t given = 0;
    } cases[] = {
        {80, {}, "valid 3 x 2, 2 frames"},
        {80, {}, "valid 3 x 2, 2 frames", 56},  // headers and length are enough
        {7, {}, "short header: the file has 7 bytes, the header needs 8"},
        {80, {{36, 4}}, "frame 1: 4 x 2 pixels, the header says 3 x 2"},
        {80, {{53, 1}}, "frame 1: offset 324 past the end of the file (80 bytes)"},
        {80, {{52, 0x38}}, "frame 1: offset 56, expected 68"},  // inside the file, on frame 0's pixels
        {79, {}, "wrong length: 79 bytes, where 2 frames of 3 x 2 pixels take 80"},
        {81, {}, "wrong length: 81 bytes, where 2 frames of 3 x 2 pixels take 80"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CheckTwoFrames(c.size, c.patches, c.given), c.expected) << "size " << c.size;
}

// Each channel widened by repeating its top bits, so that 0 stays 0 and the
// largest value becomes 255; rows `stride` bytes apart, the padding untouched.
TEST(ConvertFrameToBgr, WidensEachChannelByRepeatingItsTopBits)
{
    const uint8_t frame[] = {0x04, 0x82, 0xFF, 0xFF};  // 0x8204 above 0xFFFF
    std::vector<uint8_t> rows(8, 0xEE);
    ConvertFrameToBgr(frame, 1, 2, rows.data(), 4);
    EXPECT_EQ(rows, (std::vector<uint8_t>{33, 65, 132, 0xEE, 255, 255, 255, 0xEE}));
}
