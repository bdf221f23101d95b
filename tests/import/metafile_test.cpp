// Rendering a metafile's box into a 24-bit image, and finding and copying
// the bitmap inside an older filter's metafile bytes, which must never be
// read past their end.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "import/metafile.h"
#include "tests/import/import_support.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(RenderMetafile, RefusesEmptyOrInvertedBoxes)
{
    HDC dc = CreateMetaFileA(nullptr);
    SetPixelV(dc, 0, 0, RGB(1, 2, 3));
    HMETAFILE metafile = CloseMetaFile(dc);
    const RECT boxes[] = {{5, 5, 5, 9}, {5, 5, 9, 5}, {3, 0, 0, 2}, {0, 2, 3, 0}, {INT_MIN, 0, INT_MAX, 1}};
    for (const RECT &box : boxes)
        EXPECT_EQ(nullptr, RenderMetafile(metafile, box.left, box.top, box.right, box.bottom)) << box.left;
    DeleteMetaFile(metafile);
}

const Bytes kSmallDib = MakeDibBytes(3, 2, 24, Gradient);

TEST(FindMetafileDib, FindsTheFirstBitmapRecordAfterOtherRecords)
{
    const struct {
        uint16_t kind;
        size_t offset;  // of the bitmap in its record
    } kinds[] = {
        {kMetaDibBitBlt, 22}, {kMetaDibStretchBlt, 26}, {kMetaSetDibToDev, 24}, {kMetaStretchDib, 28}};
    for (const auto &k : kinds) {
        // A blit without a bitmap (a pattern fill) is passed over.
        std::vector<Bytes> records = {Record(0x0201, {0, 0, 0, 0}), Record(0x0103, {8, 0}),
                                      Record(kMetaDibBitBlt, Bytes(18, 0)), BitmapRecord(k.kind, kSmallDib),
                                      BitmapRecord(kMetaStretchDib, kSmallDib)};
        Bytes metafile = Metafile(records);
        FencedBytes bytes(metafile);
        size_t start = 18 + records[0].size() + records[1].size() + records[2].size(), available = 0;
        EXPECT_EQ(bytes.Data() + start + k.offset,
                  FindMetafileDib(bytes.Data(), metafile.size(), &available));
        EXPECT_EQ(records[3].size() - k.offset, available) << k.kind;
    }
}

Bytes Patched(Bytes bytes, size_t at, uint32_t value, size_t width = 4)
{
    std::memcpy(&bytes[at], &value, width);
    return bytes;
}

TEST(FindMetafileDib, MalformedMetafilesEndTheWalkInsideTheBytes)
{
    const Bytes good = Metafile({Record(0x0103, {8, 0}), BitmapRecord(kMetaStretchDib, kSmallDib)});
    const size_t second = 18 + 8;  // the bitmap record
    const struct {
        const char *name;
        Bytes bytes;
    } cases[] = {
        {"no bitmap record", Metafile({Record(0x0103, {8, 0})})},
        {"shorter than a header", Bytes(good.begin(), good.begin() + 17)},
        {"header size past the end", Patched(good, 2, 0xFFFF, 2)},
        {"record of size 0", Patched(good, 18, 0)},
        {"record of size 1", Patched(good, 18, 1)},
        {"record past the end", Patched(good, second, 0x10000)},
        {"record size wrapping round", Patched(good, 18, 0xFFFFFFFF)},
        {"record size wrapping to the start", Patched(good, 18, 0x80000000u - 9)},
        {"declared size ends before the bitmap", Patched(good, 6, second / 2 + 3)},
        {"block ends before the declared size", Bytes(good.begin(), good.begin() + second + 60)},
        {"bitmap-less blit record only", Metafile({Record(kMetaDibBitBlt, Bytes(18, 0))})},
    };
    for (const auto &c : cases) {
        FencedBytes bytes(c.bytes);
        size_t available = 99;
        EXPECT_EQ(nullptr, FindMetafileDib(bytes.Data(), c.bytes.size(), &available)) << c.name;
        EXPECT_EQ(0u, available) << c.name;
    }
    EXPECT_EQ(nullptr, FindMetafileDib(nullptr, 100, nullptr));
}

const std::vector<Rgb> kPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
int PaletteIndex(int x, int y)
{
    return (x + 2 * y) % 5;
}
Rgb FromPalette(int x, int y)
{
    return kPalette[size_t(PaletteIndex(x, y))];
}

// 16-bit pixels of 5-6-5 and 5-5-5 channels, and the colours they stand for:
// each channel widened by repeating its top bits.
int Pixel565(int x, int y)
{
    return ((x * 4) << 11) | ((y * 9) << 5) | 31;
}
Rgb From565(int x, int y)
{
    return Rgb{uint8_t(x * 4 << 3 | x * 4 >> 2), uint8_t(y * 9 << 2 | y * 9 >> 4), 255};
}
int Pixel555(int x, int y)
{
    return ((x * 6) << 10) | ((y * 13) << 5) | 1;
}
Rgb From555(int x, int y)
{
    return Rgb{uint8_t(x * 6 << 3 | x * 6 >> 2), uint8_t(y * 13 << 3 | y * 13 >> 2), 8};
}

Bytes WithBitfields(Bytes dib, uint32_t red = 0xF800, uint32_t green = 0x07E0, uint32_t blue = 0x001F)
{
    dib[16] = 3;  // BI_BITFIELDS
    const uint32_t masks[3] = {red, green, blue};
    dib.insert(dib.begin() + kDibHeaderSize, reinterpret_cast<const uint8_t *>(masks),
               reinterpret_cast<const uint8_t *>(masks + 3));
    return dib;
}

TEST(CopyDibAs24Bit, ConvertsEveryDepthAndRowOrderToBottomUp24Bit)
{
    const int w = 5, h = 3;
    const struct {
        const char *name;
        Bytes dib;
        PixelFunction expected;
    } cases[] = {
        {"24-bit bottom-up", MakeDibBytes(w, h, 24, Gradient), Gradient},
        {"24-bit top-down", MakeDibBytes(w, -h, 24, Gradient), Gradient},
        {"32-bit", MakeDibBytes(w, h, 32, Gradient), Gradient},
        {"8-bit palette top-down", MakeDibBytes(w, -h, 8, nullptr, kPalette, PaletteIndex), FromPalette},
        {"4-bit palette", MakeDibBytes(w, h, 4, nullptr, kPalette, PaletteIndex), FromPalette},
        {"1-bit",
         MakeDibBytes(w, h, 1, nullptr, {kPalette[0], kPalette[1]}, [](int x, int y) { return (x + y) % 2; }),
         [](int x, int y) { return kPalette[size_t((x + y) % 2)]; }},
        {"16-bit bit fields", WithBitfields(MakeDibBytes(w, h, 16, nullptr, {}, Pixel565)), From565},
        {"16-bit 5-5-5", MakeDibBytes(w, h, 16, nullptr, {}, Pixel555), From555},
    };
    const char *seeds = std::getenv("KESTRANE_FUZZ_SEEDS");  // where to write fuzzing seeds, if anywhere
    for (size_t i = 0; i < std::size(cases); i++) {
        FencedBytes bytes(cases[i].dib);
        EXPECT_TRUE(Shows(CopyDibAs24Bit(bytes.Data(), cases[i].dib.size()), w, h, cases[i].expected))
            << cases[i].name;
        const uint16_t kinds[] = {kMetaDibBitBlt, kMetaDibStretchBlt, kMetaSetDibToDev, kMetaStretchDib};
        if (seeds)
            WriteBytes(std::string(seeds) + "/" + cases[i].name,
                       Metafile({Record(0x0103, {8, 0}), BitmapRecord(kinds[i % 4], cases[i].dib)}));
    }
}

TEST(CopyDibAs24Bit, RefusesBitmapsThatDoNotFitTheirRecord)
{
    const Bytes paletted = MakeDibBytes(4, 2, 8, nullptr, kPalette, PaletteIndex);
    const auto fields = [](uint32_t red, uint32_t green, uint32_t blue) {
        return WithBitfields(MakeDibBytes(4, 2, 16, nullptr, {}, Pixel565), red, green, blue);
    };
    const struct {
        const char *name;
        Bytes dib;
    } cases[] = {
        {"bits cut short", Bytes(paletted.begin(), paletted.end() - 1)},
        {"colour table cut short", Bytes(paletted.begin(), paletted.begin() + 40 + 4 * kPalette.size() - 2)},
        {"header cut short", Bytes(paletted.begin(), paletted.begin() + 39)},
        {"header size past the end", Patched(paletted, 0, 5000)},
        {"header size too small", Patched(paletted, 0, 12)},
        {"more colours than the depth has", MakeDibBytes(4, 2, 1, nullptr, kPalette, PaletteIndex)},
        {"run-length compressed", Patched(paletted, 16, 1)},
        {"unknown depth", Patched(paletted, 14, 7, 2)},
        {"zero width", Patched(paletted, 4, 0)},
        {"most negative height", Patched(paletted, 8, 0x80000000u)},
        {"huge width", Patched(paletted, 4, 0x7FFFFFFF)},
        {"bit fields on 8 bits", Patched(paletted, 16, 3)},
        {"empty mask", fields(0xF800, 0, 0x001F)},
        {"overlapping masks", fields(0xF800, 0x0FE0, 0x001F)},
        {"mask with a gap", fields(0xF800, 0x07E0, 0x0015)},
    };
    for (const auto &c : cases) {
        FencedBytes bytes(c.dib);
        EXPECT_EQ(nullptr, CopyDibAs24Bit(bytes.Data(), c.dib.size())) << c.name;
    }
}

}  // namespace
