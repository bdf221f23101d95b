#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/shp16_read.h"

typedef std::vector<std::pair<size_t, uint8_t>> Patches;

// Two frames of 3 x 2 pixels as the writer lays them out (80 bytes: records at
// 8 and 32, pixels at 56 and 68), cut or lengthened to `size`, then patched.
// The check is given the first `given` bytes, or all of them for 0.
static std::string CheckTwoFrames(size_t size, const Patches &patches, size_t given)
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

TEST(CheckShpLayout, AcceptsWhatTheWriterWritesAndNamesTheFirstFault)
{
    struct Case {
        size_t size;
        Patches patches;
        const char *expected;
        size_t given = 0;
    } cases[] = {
        {80, {}, "valid 3 x 2, 2 frames"},
        {80, {}, "valid 3 x 2, 2 frames", 56},  // headers and length are enough
        {7, {}, "short header: the file has 7 bytes, the header needs 8"},
        {80, {{1, 1}}, "header: first field 256, not 0"},
        {80, {{6, 0}}, "header: 0 frames of 3 x 2 pixels, nothing to hold"},
        {80, {{3, 0xFF}, {5, 0xFF}}, "header: 2 frames of 65283 x 65282 pixels need more than 4 GB"},
        {40, {}, "frame 1: record past the end of the file (40 bytes)"},
        {80, {{7, 1}}, "frame 3: record past the end of the file (80 bytes)"},
        {80, {{8, 1}}, "frame 0: placed at 1,0, not at 0,0"},
        {80, {{36, 4}}, "frame 1: 4 x 2 pixels, the header says 3 x 2"},
        {80, {{16, 0}}, "frame 0: flags or reserved bytes differ from 8, 0, 0"},
        {80, {{41, 1}}, "frame 1: flags or reserved bytes differ from 8, 0, 0"},
        {80, {{53, 1}}, "frame 1: offset 324 past the end of the file (80 bytes)"},
        {80, {{52, 56}}, "frame 1: offset 56, expected 68"},
        {79, {}, "wrong length: 79 bytes, where 2 frames of 3 x 2 pixels take 80"},
        {81, {}, "wrong length: 81 bytes, where 2 frames of 3 x 2 pixels take 80"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CheckTwoFrames(c.size, c.patches, c.given), c.expected) << "size " << c.size;
}

TEST(ConvertFrameToBgr, WidensChannelsSoThatEveryValueComesBack)
{
    // Every RGB565 value once: 256 rows of 256 pixels, rows padded to 772 bytes.
    const uint32_t stride = 772;
    std::vector<uint8_t> frame(2 * 65536), rows(stride * 256);
    for (uint32_t v = 0; v < 65536; v++)
        frame[2 * v] = uint8_t(v), frame[2 * v + 1] = uint8_t(v >> 8);
    ConvertFrameToBgr(frame.data(), 256, 256, rows.data(), stride);
    auto bgr = [&](uint32_t v) {
        const uint8_t *p = &rows[(v >> 8) * stride + (v & 0xFF) * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    for (uint32_t v = 0; v < 65536; v++)
        ASSERT_EQ(Rgb565(uint8_t(bgr(v)[2]), uint8_t(bgr(v)[1]), uint8_t(bgr(v)[0])), v);
    EXPECT_EQ(bgr(0xFFFF), (std::vector<int>{255, 255, 255})) << "the top value widens to 255";
    EXPECT_EQ(bgr(0x8204), (std::vector<int>{33, 65, 132})) << "top bits repeated below";
}
