#include <gtest/gtest.h>

#include <vector>

#include "core/packed_dib.h"
#include "core/shp16.h"

TEST(Rgb565, TruncatesEachChannel)
{
    struct Case {
        uint8_t r, g, b;
        uint16_t expected;
    } cases[] = {
        {255, 255, 255, 0xFFFF}, {255, 0, 0, 0xF800}, {0, 255, 0, 0x07E0}, {0, 0, 255, 0x001F},
        {128, 64, 32, 0x8204},   {7, 3, 7, 0x0000},   {8, 4, 8, 0x0821},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Rgb565(c.r, c.g, c.b), c.expected) << int(c.r) << "," << int(c.g) << "," << int(c.b);
}

TEST(DibStride, RoundsRowsUpToFourBytes)
{
    EXPECT_EQ(DibStride(1, 24), 4u);
    EXPECT_EQ(DibStride(2, 24), 8u);
    EXPECT_EQ(DibStride(3, 24), 12u);
    EXPECT_EQ(DibStride(5, 24), 16u);
    EXPECT_EQ(DibStride(4, 24), 12u);
    EXPECT_EQ(DibStride(1, 1), 4u);
    EXPECT_EQ(DibStride(0x7FFFFFFF, 24), 0u) << "a stride past 32 bits is refused";
}

TEST(ShpFileSize, RefusesSizesThatWrapOrPassFourGigabytes)
{
    size_t bytes = 0;
    ASSERT_TRUE(ShpFileSize(3, 2, 2, &bytes));
    EXPECT_EQ(bytes, 80u);
    ASSERT_TRUE(ShpFileSize(1, 1, 1, &bytes));
    EXPECT_EQ(bytes, 34u);
    EXPECT_FALSE(ShpFileSize(65535, 65535, 1, &bytes)) << "8 GiB frame";
    EXPECT_FALSE(ShpFileSize(1024, 1024, 2048, &bytes)) << "4 GiB + headers";
    EXPECT_FALSE(ShpFileSize(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, &bytes));
    ASSERT_TRUE(ShpFileSize(1024, 1024, 2047, &bytes));
    EXPECT_EQ(bytes, 8u + 2047u * (24u + 2u * 1024u * 1024u));
}

TEST(ShpHeaders, TwoFramesOfThreeByTwo)
{
    std::vector<uint8_t> buffer(80, 0xEE);
    WriteShpHeaders(buffer.data(), 3, 2, 2);
    const std::vector<uint8_t> expected = {
        0, 0, 3, 0, 2, 0, 2, 0,                                                   // file header
        0, 0, 0, 0, 3, 0, 2, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 56, 0, 0, 0,  // frame 0
        0, 0, 0, 0, 3, 0, 2, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 68, 0, 0, 0,  // frame 1
    };
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 56), expected);
    EXPECT_EQ(buffer[56], 0xEE) << "headers must stop where the pixels start";
    EXPECT_EQ(ShpFrameOffset(3, 2, 2, 1), 68u);
}
