// Finding the bitmap inside an older filter's metafile bytes and copying it as
// the job reads images. Run on the host too, where the sanitizers see every
// read; the fuzz target proves that no input makes either read outside.
#include <gtest/gtest.h>

#include "import/metafile_bytes.h"
#include "tests/support/pictures.h"

namespace {

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

Bytes WithBitfields(Bytes dib, uint32_t red, uint32_t green, uint32_t blue)
{
    const uint32_t masks[3] = {red, green, blue};
    dib.insert(dib.begin() + kDibHeaderSize, reinterpret_cast<const uint8_t *>(masks),
               reinterpret_cast<const uint8_t *>(masks + 3));
    return Patched(dib, 16, 3);  // BI_BITFIELDS
}

// Each bitmap in a record of one of the four kinds, after records that carry
// none (a blit without a bitmap is a pattern fill) and before another one, is
// the one found, ends with its record and copies as the same picture; or, with
// no `expected` pixels, is refused although it lies inside its bytes.
TEST(MetafileBytes, FindsTheFirstBitmapOfAnyKindAndCopiesItAsBottomUp24Bit)
{
    const int w = 5, h = 3;
    const Bytes fields = MakeDibBytes(w, h, 16, nullptr, {}, k565);
    const struct {
        const char *name;
        Bytes dib;
        PixelFunction expected;
    } cases[] = {
        {"24-bit", MakeDibBytes(w, h, 24, Gradient), Gradient},
        {"32-bit", MakeDibBytes(w, h, 32, Gradient), Gradient},
        {"8-bit palette top-down", MakeDibBytes(w, -h, 8, nullptr, kPalette, kIndex), kFromPalette},
        {"4-bit palette", MakeDibBytes(w, h, 4, nullptr, kPalette, kIndex), kFromPalette},
        {"1-bit",
         MakeDibBytes(w, h, 1, nullptr, {kPalette[0], kPalette[1]}, [](int x, int y) { return (x + y) % 2; }),
         [](int x, int y) { return kPalette[size_t((x + y) % 2)]; }},
        {"16-bit bit fields", WithBitfields(fields, 0xF800, 0x07E0, 0x001F), kFrom565},
        {"16-bit 5-5-5", MakeDibBytes(w, h, 16, nullptr, {}, k555), kFrom555},
        {"run-length compressed", Patched(MakeDibBytes(w, h, 8, nullptr, kPalette, kIndex), 16, 1), nullptr},
        {"more colours than the depth has", MakeDibBytes(w, h, 1, nullptr, kPalette, kIndex), nullptr},
        {"overlapping masks", WithBitfields(fields, 0xF800, 0x0FE0, 0x001F), nullptr},
        {"mask with a gap", WithBitfields(fields, 0xF800, 0x07E0, 0x0015), nullptr},
    };
    // META_DIBBITBLT, META_DIBSTRETCHBLT, META_SETDIBTODEV and META_STRETCHDIB,
    // and the bytes of parameters before their bitmap.
    const std::pair<uint16_t, size_t> kinds[] = {{0x0940, 16}, {0x0B41, 20}, {0x0D33, 18}, {0x0F43, 22}};
    const Bytes second = MakeDibBytes(3, 2, 24, Gradient);
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].name);
        const std::vector<Bytes> records = {Record(0x0103, {8, 0}), Record(0x0940, Bytes(18, 0)),
                                            Record(kinds[i % 4].first, cases[i].dib, kinds[i % 4].second),
                                            Record(0x0F43, second, 22)};
        const Bytes metafile = Metafile(records);
        size_t available = 0;
        const uint8_t *dib = FindMetafileDib(metafile.data(), metafile.size(), &available);
        ASSERT_EQ(metafile.data() + 18 + records[0].size() + records[1].size() + records[2].size(),
                  dib + available);
        const Bytes bitmap(dib, dib + available);  // a block of its own, ending where the record ends
        const PackedDib copy = CopyDibAs24Bit(bitmap.data(), bitmap.size());
        if (cases[i].expected)
            EXPECT_TRUE(Shows(copy, w, h, cases[i].expected));
        else
            EXPECT_EQ(nullptr, copy);
    }
    // A record of size 0 would never move the walk on.
    const Bytes stuck = Patched(Metafile({Record(0x0103, {8, 0}), Record(0x0F43, second, 22)}), 18, 0);
    EXPECT_EQ(nullptr, FindMetafileDib(stuck.data(), stuck.size(), nullptr));
}

// Only one whole bitmap drawn 1:1 over the box, and nothing else, is the
// picture itself; its copy has the pixels and no padding marker.
TEST(MetafileBytes, FindsTheBitmapThatIsTheWholePictureAndNothingElse)
{
    const Bytes dib = MakeDibBytes(5, 3, 24, Gradient);
    const Bytes exact = Metafile({StretchRecord(-4, 7, 5, 3, dib)});
    size_t available = 0;
    const uint8_t *found = FindWholeBoxBitmap(exact.data(), exact.size(), -4, 7, 5, 3, &available);
    ASSERT_EQ(exact.data() + 18 + 28, found);
    const PackedDib copy = CopyDibAs24Bit(found, available);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(0, reinterpret_cast<const uint8_t *>(copy + 1)[15]);  // the first row's padding
    EXPECT_TRUE(Shows(copy, 5, 3, Gradient));

    const struct {
        const char *name;
        Bytes metafile;
    } others[] = {
        {"another record first", Metafile({Record(0x0102, {1, 0}), StretchRecord(-4, 7, 5, 3, dib)})},
        {"another record after", Metafile({StretchRecord(-4, 7, 5, 3, dib), Record(0x0102, {1, 0})})},
        {"elsewhere", Metafile({StretchRecord(-4, 8, 5, 3, dib)})},
        {"stretched", Metafile({StretchRecord(-4, 7, 5, 4, dib)})},
        {"not a copy", Metafile({StretchRecord(-4, 7, 5, 3, dib, 0x00EE0086)})},
        {"top-down", Metafile({StretchRecord(-4, 7, 5, 3, MakeDibBytes(5, -3, 24, Gradient))})},
        {"32-bit", Metafile({StretchRecord(-4, 7, 5, 3, MakeDibBytes(5, 3, 32, Gradient))})},
        {"rows cut short", Metafile({StretchRecord(-4, 7, 5, 3, Bytes(dib.begin(), dib.end() - 4))})},
        {"size past the bytes", Patched(exact, 6, uint32_t(exact.size()))},
    };
    for (const auto &other : others) {
        SCOPED_TRACE(other.name);
        EXPECT_EQ(nullptr,
                  FindWholeBoxBitmap(other.metafile.data(), other.metafile.size(), -4, 7, 5, 3, &available));
    }
    EXPECT_EQ(nullptr, FindWholeBoxBitmap(exact.data(), exact.size() - 1, -4, 7, 5, 3, &available));
}

}  // namespace
