#include "core/png_offsets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Be32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A chunk with any CRC: the walk does not check it.
std::string Chunk(const char *type, const std::string &data)
{
    return Be32(uint32_t(data.size())) + type + data + "CRC!";
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", Be32(31) + Be32(41) + "\x08\x02xyz");
const std::string kIdat = Chunk("IDAT", "pixels");
const std::string kCanvas = Chunk("caNv", Be32(96) + Be32(80) + Be32(20) + Be32(30));
const std::string kOffset = Chunk("oFFs", Be32(5) + Be32(6) + std::string(1, '\0'));
const std::string kPage = Chunk("vpAg", Be32(64) + Be32(48) + std::string(1, '\0'));

const PngOffsets kBare = {true, 31, 41, false, 0, 0, false, 0, 0};

struct Row {
    const char *label;
    std::string bytes;
    PngOffsets expected;
};

const Row kRows[] = {
    {"CurrentImageMagick", kPng + kCanvas + kIdat, {true, 31, 41, true, 20, 30, true, 96, 80}},
    {"OlderImageMagick", kPng + kPage + kOffset + kIdat, {true, 31, 41, true, 5, 6, true, 64, 48}},
    {"OffsetAlone", kPng + kOffset + kIdat, {true, 31, 41, true, 5, 6, false, 0, 0}},
    {"NegativeOffset", kPng + Chunk("oFFs", Be32(uint32_t(-3)) + Be32(uint32_t(-2147483647 - 1)) + '\0'),
     {true, 31, 41, true, -3, -2147483647 - 1, false, 0, 0}},
    {"MicrometresIgnored", kPng + Chunk("oFFs", Be32(5) + Be32(6) + '\1') + kIdat, kBare},
    {"CanvasWinsEitherSide", kPng + kOffset + kCanvas + kPage + kOffset, {true, 31, 41, true, 20, 30, true, 96, 80}},
    {"ShortChunkIgnored", kPng + Chunk("caNv", Be32(96) + Be32(80) + Be32(20)) + kOffset,
     {true, 31, 41, true, 5, 6, false, 0, 0}},
    {"CutShort", kPng + kOffset + kCanvas.substr(0, kCanvas.size() - 1), {true, 31, 41, true, 5, 6, false, 0, 0}},
    {"LengthPastTheEnd", kPng + Be32(0xffffffffu) + "caNv" + kCanvas, kBare},
    {"NotAPng", "GIF89a" + kCanvas, {}},
};

class PngOffsetsRow : public testing::TestWithParam<Row> {};

TEST_P(PngOffsetsRow, ReadsWhatTheFileRecords)
{
    const Row &row = GetParam();
    const PngOffsets got = ReadPngOffsets(reinterpret_cast<const uint8_t *>(row.bytes.data()), row.bytes.size());
    const PngOffsets &e = row.expected;
    EXPECT_EQ(std::vector<int64_t>({got.isPng, got.width, got.height, got.hasOffset, got.x, got.y, got.hasPage,
                                    got.pageWidth, got.pageHeight}),
              std::vector<int64_t>({e.isPng, e.width, e.height, e.hasOffset, e.x, e.y, e.hasPage, e.pageWidth,
                                    e.pageHeight}));
}

INSTANTIATE_TEST_SUITE_P(Png, PngOffsetsRow, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row> &info) { return std::string(info.param.label); });

}  // namespace
