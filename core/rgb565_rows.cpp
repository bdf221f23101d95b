#include "core/rgb565_rows.h"

#include "core/shp16.h"

void Rgb565RowPlain(const uint8_t *bgr, uint32_t width, uint8_t *out)
{
    for (uint32_t x = 0; x < width; x++, bgr += 3, out += 2) {
        uint16_t value = Rgb565(bgr[2], bgr[1], bgr[0]);
        out[0] = static_cast<uint8_t>(value);
        out[1] = static_cast<uint8_t>(value >> 8);
    }
}

#if KESTRANE_X86_ROWS
#include <tmmintrin.h>

// Only the vector functions may use vector instructions: the rest of the
// program stays runnable on any processor. 32-bit Windows guarantees the
// stack only 4-byte alignment, so their entry points realign it for spills.
#if defined(__i386__)
#define VECTOR_ENTRY(isa) __attribute__((target(isa), force_align_arg_pointer))
#else
#define VECTOR_ENTRY(isa) __attribute__((target(isa)))
#endif

namespace {

// Sixteen pixels as planes of B, G and R bytes to 32 bytes of RGB565: the
// high byte is R & 0xF8 | G >> 5, the low byte (G << 3) & 0xE0 | B >> 3.
// The shifts work on 16-bit lanes; the masks drop what crossed a byte.
__attribute__((target("sse2"))) inline void StorePlanesAs565(__m128i b, __m128i g, __m128i r, uint8_t *out)
{
    __m128i high = _mm_or_si128(_mm_and_si128(r, _mm_set1_epi8(char(0xF8))),
                                _mm_and_si128(_mm_srli_epi16(g, 5), _mm_set1_epi8(0x07)));
    __m128i low = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(g, 3), _mm_set1_epi8(char(0xE0))),
                               _mm_and_si128(_mm_srli_epi16(b, 3), _mm_set1_epi8(0x1F)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(low, high));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16), _mm_unpackhi_epi8(low, high));
}

// Byte shuffles that gather plane c of 16 pixels (48 bytes in three
// vectors): byte i takes source byte 3i + c from vector v when v holds it,
// otherwise a zero (index -128).
struct PlaneShuffles {
    alignas(16) int8_t index[3][3][16];  // [plane][source vector][byte]
};

constexpr PlaneShuffles MakePlaneShuffles()
{
    PlaneShuffles shuffles = {};
    for (int c = 0; c < 3; c++)
        for (int v = 0; v < 3; v++)
            for (int i = 0; i < 16; i++) {
                int at = 3 * i + c - 16 * v;
                shuffles.index[c][v][i] = static_cast<int8_t>(at >= 0 && at < 16 ? at : -128);
            }
    return shuffles;
}

constexpr PlaneShuffles kPlaneShuffles = MakePlaneShuffles();

__attribute__((target("sse2"))) inline __m128i Load(const uint8_t *bytes)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
}

__attribute__((target("ssse3"))) inline __m128i GatherPlane(int c, __m128i in0, __m128i in1, __m128i in2)
{
    const __m128i *index = reinterpret_cast<const __m128i *>(kPlaneShuffles.index[c]);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in0, _mm_load_si128(index)),
                                     _mm_shuffle_epi8(in1, _mm_load_si128(index + 1))),
                        _mm_shuffle_epi8(in2, _mm_load_si128(index + 2)));
}

}  // namespace

VECTOR_ENTRY("sse2") void Rgb565RowSse2(const uint8_t *bgr, uint32_t width, uint8_t *out)
{
    uint32_t x = 0;
    for (; x + 32 <= width; x += 32, bgr += 96, out += 64) {
        __m128i v0 = Load(bgr), v1 = Load(bgr + 16), v2 = Load(bgr + 32);
        __m128i v3 = Load(bgr + 48), v4 = Load(bgr + 64), v5 = Load(bgr + 80);
        // Without a byte shuffle: interleaving the first three vectors with
        // the last three moves the byte at position p of the 96 to 2p mod 95.
        // Five rounds move it to 32p mod 95, which puts channel c of pixel i
        // (p = 3i + c) at 32c + i: two vectors of B, two of G, two of R.
        for (int round = 0; round < 5; round++) {
            __m128i a0 = v0, a1 = v1, a2 = v2;
            v0 = _mm_unpacklo_epi8(a0, v3);
            v1 = _mm_unpackhi_epi8(a0, v3);
            v3 = _mm_unpackhi_epi8(a1, v4);
            v2 = _mm_unpacklo_epi8(a1, v4);
            v4 = _mm_unpacklo_epi8(a2, v5);
            v5 = _mm_unpackhi_epi8(a2, v5);
        }
        StorePlanesAs565(v0, v2, v4, out);
        StorePlanesAs565(v1, v3, v5, out + 32);
    }
    Rgb565RowPlain(bgr, width - x, out);
}

VECTOR_ENTRY("ssse3") void Rgb565RowSsse3(const uint8_t *bgr, uint32_t width, uint8_t *out)
{
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16, bgr += 48, out += 32) {
        __m128i in0 = Load(bgr), in1 = Load(bgr + 16), in2 = Load(bgr + 32);
        StorePlanesAs565(GatherPlane(0, in0, in1, in2), GatherPlane(1, in0, in1, in2),
                         GatherPlane(2, in0, in1, in2), out);
    }
    Rgb565RowPlain(bgr, width - x, out);
}

bool ProcessorHasSse2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}

bool ProcessorHasSsse3()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
#endif

Rgb565RowFunction FastestRgb565Row()
{
#if KESTRANE_X86_ROWS
    return ProcessorHasSsse3() ? Rgb565RowSsse3 : ProcessorHasSse2() ? Rgb565RowSse2 : Rgb565RowPlain;
#else
    return Rgb565RowPlain;
#endif
}
