#include "core/png_offsets.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/format.h"

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

// What the walk reads in the bytes.
std::string Describe(const std::string &bytes)
{
    const PngOffsets o = ReadPngOffsets(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    if (!o.isPng)
        return "not PNG";
    return Format("%ux%u", o.width, o.height) + (o.hasOffset ? Format(" at %d,%d", o.x, o.y) : "") +
           (o.hasPage ? Format(" on %ux%u", o.pageWidth, o.pageHeight) : "");
}

const std::string kHeader = std::string("\x89PNG\r\n\x1a\n", 8),
                  kPng = kHeader + Chunk("IHDR", Be32(31) + Be32(41) + "\x08\x02xyz"),
                  kIdat = Chunk("IDAT", "pixels"),
                  kCanvas = Chunk("caNv", Be32(96) + Be32(80) + Be32(20) + Be32(30)),
                  kOffset = Chunk("oFFs", Be32(5) + Be32(6) + '\0'),
                  kPage = Chunk("vpAg", Be32(64) + Be32(48) + '\0');

const struct Row {
    const char *label;
    std::string bytes, expected;
} kRows[] = {
    {"CurrentImageMagick", kPng + kCanvas + kIdat, "31x41 at 20,30 on 96x80"},
    {"OlderImageMagick", kPng + kPage + kOffset + kIdat, "31x41 at 5,6 on 64x48"},
    {"OffsetAlone", kPng + kOffset + kIdat, "31x41 at 5,6"},
    {"Negative", kPng + Chunk("oFFs", Be32(-3u) + Be32(0x80000000u) + '\0'), "31x41 at -3,-2147483648"},
    {"MicrometresIgnored", kPng + Chunk("oFFs", Be32(5) + Be32(6) + '\1') + kIdat, "31x41"},
    {"CanvasWinsEitherSide", kPng + kOffset + kCanvas + kPage + kOffset, "31x41 at 20,30 on 96x80"},
    {"AfterThePixelsIgnored", kPng + kIdat + kCanvas, "31x41"},
    {"ShortChunkIgnored", kPng + Chunk("caNv", Be32(96) + Be32(80) + Be32(20)) + kOffset, "31x41 at 5,6"},
    {"CutShort", kPng + kOffset + kCanvas.substr(0, kCanvas.size() - 1), "31x41 at 5,6"},
    {"LengthPastTheEnd", kPng + Be32(0xffffffffu) + "caNv" + kCanvas, "31x41"},
    {"HeaderNotFirst", kHeader + kOffset + kPng.substr(8), "not PNG"},
    {"NotAPng", "GIF89a" + kCanvas, "not PNG"},
};

TEST(PngOffsets, ReadsWhatTheFileRecords)
{
    for (const Row &row : kRows)
        EXPECT_EQ(Describe(row.bytes), row.expected) << row.label;
}

}  // namespace
