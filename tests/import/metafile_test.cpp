// Rendering a metafile into a 24-bit image, and finding and converting the
// bitmap inside an older filter's metafile bytes.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "import/metafile.h"
#include "tests/import/import_support.h"

namespace {

// A metafile that sets single pixels at logical coordinates.
HMETAFILE MetafileWithPixels(const std::vector<std::pair<POINT, COLORREF>> &pixels)
{
    HDC dc = CreateMetaFileA(nullptr);
    for (const auto &p : pixels)
        SetPixelV(dc, p.first.x, p.first.y, p.second);
    return CloseMetaFile(dc);
}

const Rgb kBlack = {0, 0, 0};

TEST(RenderMetafile, SmallBoxGivesHeaderAndPaddedRows)
{
    HMETAFILE metafile = MetafileWithPixels({{{2, 0}, RGB(10, 20, 30)}});
    ScopedDib image(RenderMetafile(metafile, 0, 0, 3, 2));
    DeleteMetaFile(metafile);
    ASSERT_NE(nullptr, image.dib);
    EXPECT_EQ(40u, image.dib->biSize);
    EXPECT_EQ(3, image.dib->biWidth);
    EXPECT_EQ(2, image.dib->biHeight);
    EXPECT_EQ(24, image.dib->biBitCount);
    EXPECT_EQ(24u, image.dib->biSizeImage);
    EXPECT_EQ(64u, PackedDibBlockSize(image.dib));
    EXPECT_TRUE(HasPixels(image.dib, 3, 2, [](int x, int y) {
        return x == 2 && y == 0 ? Rgb{10, 20, 30} : kBlack;
    }));
}

TEST(RenderMetafile, BoxOriginMapsToFirstPixelAndBottomRowComesFirst)
{
    HMETAFILE metafile = MetafileWithPixels({{{100, 113}, RGB(255, 0, 0)}, {{163, 50}, RGB(0, 0, 255)}});
    ScopedDib image(RenderMetafile(metafile, 100, 50, 164, 114));
    DeleteMetaFile(metafile);
    ASSERT_NE(nullptr, image.dib);
    ASSERT_TRUE(IsReadablePackedDib(image.dib));
    // The first bytes after the header are logical row 113.
    const uint8_t *firstRow = reinterpret_cast<const uint8_t *>(image.dib) + 40;
    EXPECT_EQ(255, firstRow[2]);
    EXPECT_TRUE(PixelAt(image.dib, 63, 0) == (Rgb{0, 0, 255}));
    EXPECT_TRUE(PixelAt(image.dib, 1, 63) == kBlack);
}

TEST(RenderMetafile, EmptyOrInvertedBoxIsRefused)
{
    HMETAFILE metafile = MetafileWithPixels({{{0, 0}, RGB(1, 2, 3)}});
    const RECT boxes[] = {{5, 5, 5, 9}, {5, 5, 9, 5}, {3, 0, 0, 2}, {0, 2, 3, 0}, {INT_MIN, 0, INT_MAX, 1}};
    for (const RECT &box : boxes)
        EXPECT_EQ(nullptr, RenderMetafile(metafile, box.left, box.top, box.right, box.bottom)) << box.left;
    DeleteMetaFile(metafile);
}

Bytes SmallDib()
{
    return MakeDibBytes(3, 2, 24, Gradient);
}

TEST(FindMetafileDib, FindsFirstBitmapRecordAfterOtherRecords)
{
    const uint16_t kinds[] = {kMetaDibBitBlt, kMetaDibStretchBlt, kMetaSetDibToDev, kMetaStretchDib};
    const size_t offsets[] = {22, 26, 24, 28};
    for (int i = 0; i < 4; i++) {
        MetafileBytes builder;
        builder.Record(0x0201, {0, 0, 0, 0}).Record(0x0103, {8, 0}).Record(0x020B, {0, 0, 0, 0});
        builder.Record(kMetaDibBitBlt, Bytes(18, 0));  // a blit without a bitmap is passed over
        size_t recordStart = builder.Size();
        builder.BitmapRecord(kinds[i], SmallDib()).BitmapRecord(kMetaStretchDib, SmallDib());
        FencedBytes bytes(builder.Finish());
        size_t total = builder.Size(), available = 0;
        const BYTE *found = FindMetafileDib(bytes.Data(), total, &available);
        EXPECT_EQ(bytes.Data() + recordStart + offsets[i], found) << kinds[i];
        EXPECT_EQ(SmallDib().size() + (SmallDib().size() % 2), available);
    }
}

// Metafile bytes with one field overwritten.
Bytes Patched(Bytes bytes, size_t at, uint32_t value, size_t width = 4)
{
    std::memcpy(&bytes[at], &value, width);
    return bytes;
}

TEST(FindMetafileDib, MalformedMetafilesEndTheWalkInsideTheBytes)
{
    Bytes good = MetafileBytes().Record(0x0103, {8, 0}).BitmapRecord(kMetaStretchDib, SmallDib()).Finish();
    const size_t second = 18 + 8;  // the bitmap record
    Bytes pastBlockEnd = good;
    pastBlockEnd.resize(second + 60);  // the record is cut short, the header still claims it all
    struct Case {
        const char *name;
        Bytes bytes;
    } cases[] = {
        {"no bitmap record", MetafileBytes().Record(0x0103, {8, 0}).Finish()},
        {"shorter than a header", Bytes(good.begin(), good.begin() + 17)},
        {"header size past the end", Patched(good, 2, 0xFFFF, 2)},
        {"record of size 0", Patched(good, 18, 0)},
        {"record of size 1", Patched(good, 18, 1)},
        {"record past the end", Patched(good, second, 0x10000)},
        {"record size wrapping round", Patched(good, 18, 0xFFFFFFFF)},
        {"record size wrapping to the start", Patched(good, 18, 0x80000000u - 9)},
        {"declared size ends before the bitmap", Patched(good, 6, second / 2 + 3)},
        {"block ends before the declared size", pastBlockEnd},
        {"bitmap-less blit record only", MetafileBytes().Record(kMetaDibBitBlt, Bytes(18, 0)).Finish()},
    };
    for (const Case &c : cases) {
        FencedBytes bytes(c.bytes);
        size_t available = 99;
        EXPECT_EQ(nullptr, FindMetafileDib(bytes.Data(), c.bytes.size(), &available)) << c.name;
        EXPECT_EQ(0u, available) << c.name;
    }
    EXPECT_EQ(nullptr, FindMetafileDib(nullptr, 100, nullptr));
}

// Expected colours of the converted images below.
int Rgb565(int x, int y)
{
    return ((x * 4) << 11) | ((y * 9) << 5) | 31;
}
uint8_t Widen5(int v)
{
    return uint8_t((v << 3) | (v >> 2));
}
Rgb From565(int x, int y)
{
    int g = y * 9;
    return Rgb{Widen5(x * 4), uint8_t((g << 2) | (g >> 4)), 255};
}

int Rgb555(int x, int y)
{
    return ((x * 6) << 10) | ((y * 13) << 5) | 1;
}
Rgb From555(int x, int y)
{
    return Rgb{Widen5(x * 6), Widen5(y * 13), Widen5(1)};
}

Bytes WithBitfields(Bytes dib, uint32_t red = 0xF800, uint32_t green = 0x07E0, uint32_t blue = 0x001F)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof header);
    header.biCompression = BI_BITFIELDS;
    std::memcpy(dib.data(), &header, sizeof header);
    const uint32_t masks[3] = {red, green, blue};
    dib.insert(dib.begin() + sizeof header, reinterpret_cast<const uint8_t *>(masks),
               reinterpret_cast<const uint8_t *>(masks) + sizeof masks);
    return dib;
}

struct ConvertCase {
    const char *name;
    Bytes dib;
    PixelFunction expected;
};

TEST(CopyDibAs24Bit, ConvertsDepthsAndRowOrdersToBottomUp24Bit)
{
    const int w = 5, h = 3;
    ConvertCase cases[] = {
        {"24-bit bottom-up", MakeDibBytes(w, h, 24, Gradient), Gradient},
        {"24-bit top-down", MakeDibBytes(w, -h, 24, Gradient), Gradient},
        {"32-bit", MakeDibBytes(w, h, 32, Gradient), Gradient},
        {"8-bit palette top-down", MakeDibBytes(w, -h, 8, nullptr, kPalette, PaletteIndex), FromPalette},
        {"4-bit palette", MakeDibBytes(w, h, 4, nullptr, kPalette, PaletteIndex), FromPalette},
        {"1-bit",
         MakeDibBytes(w, h, 1, nullptr, {kPalette[0], kPalette[1]}, [](int x, int y) { return (x + y) % 2; }),
         [](int x, int y) { return kPalette[size_t((x + y) % 2)]; }},
        {"16-bit bit fields", WithBitfields(MakeDibBytes(w, h, 16, nullptr, {}, Rgb565)), From565},
        {"16-bit 5-5-5", MakeDibBytes(w, h, 16, nullptr, {}, Rgb555), From555},
    };
    for (const ConvertCase &c : cases) {
        FencedBytes bytes(c.dib);
        ScopedDib image(CopyDibAs24Bit(bytes.Data(), c.dib.size()));
        EXPECT_TRUE(HasPixels(image.dib, w, h, c.expected)) << c.name;
    }
}

TEST(CopyDibAs24Bit, RefusesBitmapsThatDoNotFitTheirRecord)
{
    Bytes paletted = MakeDibBytes(4, 2, 8, nullptr, kPalette, PaletteIndex);
    const size_t bitsStart = 40 + 4 * kPalette.size();
    auto fields = [](uint32_t red, uint32_t green, uint32_t blue) {
        return WithBitfields(MakeDibBytes(4, 2, 16, nullptr, {}, Rgb565), red, green, blue);
    };
    struct Case {
        const char *name;
        Bytes dib;
        size_t size = 0;  // 0: all of dib
    } cases[] = {
        {"bits cut short", paletted, paletted.size() - 1},
        {"colour table cut short", paletted, bitsStart - 2},
        {"header cut short", paletted, 39},
        {"header size past the end", Patched(paletted, 0, 5000, 4)},
        {"header size too small", Patched(paletted, 0, 12, 4)},
        {"more colours than the depth has", Patched(paletted, 32, 257, 4)},
        {"run-length compressed", Patched(paletted, 16, BI_RLE8, 4)},
        {"unknown depth", Patched(paletted, 14, 7, 2)},
        {"zero width", Patched(paletted, 4, 0, 4)},
        {"most negative height", Patched(paletted, 8, 0x80000000u, 4)},
        {"huge width", Patched(paletted, 4, 0x7FFFFFFF, 4)},
        {"bit fields on 8 bits", Patched(paletted, 16, BI_BITFIELDS, 4)},
        {"empty mask", fields(0xF800, 0, 0x001F)},
        {"overlapping masks", fields(0xF800, 0x0FE0, 0x001F)},
        {"mask with a gap", fields(0xF800, 0x07E0, 0x0015)},
    };
    for (const Case &c : cases) {
        size_t size = c.size ? c.size : c.dib.size();
        FencedBytes bytes(Bytes(c.dib.begin(), c.dib.begin() + size));
        EXPECT_EQ(nullptr, CopyDibAs24Bit(bytes.Data(), size)) << c.name;
    }
}

}  // namespace
