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

// A copy of bytes that ends right before an inaccessible page, so that a read
// past their end faults instead of passing unseen.
class FencedBytes {
  public:
    explicit FencedBytes(const Bytes &bytes)
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        size_t page = system.dwPageSize, span = (bytes.size() + page - 1) / page * page + page;
        base_ = static_cast<BYTE *>(VirtualAlloc(nullptr, span, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + span - page, page, PAGE_NOACCESS, &old);
        data_ =
            static_cast<BYTE *>(std::memcpy(base_ + span - page - bytes.size(), bytes.data(), bytes.size()));
    }
    ~FencedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    FencedBytes(const FencedBytes &) = delete;
    FencedBytes &operator=(const FencedBytes &) = delete;
    const BYTE *Data() const { return data_; }

  private:
    BYTE *base_;
    const BYTE *data_;
};

TEST(RenderMetafile, RefusesEmptyOrInvertedBoxes)
{
    HDC dc = CreateMetaFileA(nullptr);
    SetPixelV(dc, 0, 0, RGB(1, 2, 3));
    HMETAFILE metafile = CloseMetaFile(dc);
    for (const RECT &box :
         {RECT{5, 5, 5, 9}, {5, 5, 9, 5}, {3, 0, 0, 2}, {0, 2, 3, 0}, {INT_MIN, 0, INT_MAX, 1}})
        EXPECT_EQ(nullptr, RenderMetafile(metafile, box.left, box.top, box.right, box.bottom)) << box.left;
    DeleteMetaFile(metafile);
}

const Bytes kSmallDib = MakeDibBytes(3, 2, 24, Gradient);

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
const auto kIndex = [](int x, int y) { return (x + 2 * y) % 5; };
const auto kFromPalette = [](int x, int y) { return kPalette[size_t(kIndex(x, y))]; };
// 16-bit pixels of 5-6-5 and 5-5-5 channels, and the colours they stand for:
// each channel widened by repeating its top bits.
const auto k565 = [](int x, int y) { return (x * 4) << 11 | (y * 9) << 5 | 31; };
const auto kFrom565 = [](int x, int y) {
    return Rgb{uint8_t(x * 32 | x), uint8_t(y * 36 | y * 9 >> 4), 255};
};
const auto k555 = [](int x, int y) { return (x * 6) << 10 | (y * 13) << 5 | 1; };
const auto kFrom555 = [](int x, int y) {
    return Rgb{uint8_t(x * 48 | x * 6 >> 2), uint8_t(y * 104 | y * 13 >> 2), 8};
};

Bytes WithBitfields(Bytes dib, uint32_t red = 0xF800, uint32_t green = 0x07E0, uint32_t blue = 0x001F)
{
    dib[16] = 3;  // BI_BITFIELDS
    const uint32_t masks[3] = {red, green, blue};
    dib.insert(dib.begin() + kDibHeaderSize, reinterpret_cast<const uint8_t *>(masks),
               reinterpret_cast<const uint8_t *>(masks + 3));
    return dib;
}

// Each bitmap in a record of one of the four kinds, after records that carry
// none (a blit without a bitmap is a pattern fill) and before another one, is
// the one found, ends with its record and comes out as the same picture.
TEST(FindMetafileDib, FindsBitmapsOfEveryKindDepthAndRowOrderThatCopyAsBottomUp24Bit)
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
        {"8-bit palette top-down", MakeDibBytes(w, -h, 8, nullptr, kPalette, kIndex), kFromPalette},
        {"4-bit palette", MakeDibBytes(w, h, 4, nullptr, kPalette, kIndex), kFromPalette},
        {"1-bit",
         MakeDibBytes(w, h, 1, nullptr, {kPalette[0], kPalette[1]}, [](int x, int y) { return (x + y) % 2; }),
         [](int x, int y) { return kPalette[size_t((x + y) % 2)]; }},
        {"16-bit bit fields", WithBitfields(MakeDibBytes(w, h, 16, nullptr, {}, k565)), kFrom565},
        {"16-bit 5-5-5", MakeDibBytes(w, h, 16, nullptr, {}, k555), kFrom555},
    };
    const uint16_t kinds[] = {kMetaDibBitBlt, kMetaDibStretchBlt, kMetaSetDibToDev, kMetaStretchDib};
    const char *seeds = std::getenv("KESTRANE_FUZZ_SEEDS");  // a folder for fuzzing seeds, if any
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].name);
        const std::vector<Bytes> records = {Record(0x0103, {8, 0}), Record(kMetaDibBitBlt, Bytes(18, 0)),
                                            BitmapRecord(kinds[i % 4], cases[i].dib),
                                            BitmapRecord(kMetaStretchDib, kSmallDib)};
        const Bytes metafile = Metafile(records);
        FencedBytes bytes(metafile);
        size_t available = 0;
        const BYTE *dib = FindMetafileDib(bytes.Data(), metafile.size(), &available);
        EXPECT_EQ(bytes.Data() + 18 + records[0].size() + records[1].size() + records[2].size(),
                  dib + available);
        FencedBytes copy(Bytes(dib, dib + available));
        EXPECT_TRUE(Shows(CopyDibAs24Bit(copy.Data(), available), w, h, cases[i].expected));
        if (seeds)
            WriteBytes(std::string(seeds) + "/" + cases[i].name, metafile);
    }
}

TEST(CopyDibAs24Bit, RefusesBitmapsThatDoNotFitTheirRecord)
{
    const Bytes paletted = MakeDibBytes(4, 2, 8, nullptr, kPalette, kIndex);
    const auto fields = [](uint32_t red, uint32_t green, uint32_t blue) {
        return WithBitfields(MakeDibBytes(4, 2, 16, nullptr, {}, k565), red, green, blue);
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
        {"more colours than the depth has", MakeDibBytes(4, 2, 1, nullptr, kPalette, kIndex)},
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
