#include "core/dither.h"

#include "core/rgb565_rows.h"
#include "core/shp16.h"

namespace {

// Bayer's 8 × 8 matrix: every threshold once, neighbours far apart in order.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

constexpr int Widen(int level, int bits)
{
    return (level << (8 - bits)) | (level >> (2 * bits - 8));
}

// Per 5- and 6-bit field: the level each threshold picks for each value.
struct Tables {
    uint8_t ordered[2][64][256];
};

Tables BuildTables()
{
    Tables t = {};
    for (int f = 0; f < 2; f++) {
        const int bits = 5 + f, top = (1 << bits) - 1;
        int below = 0;  // the highest level whose widened value is at most v
        for (int v = 0; v < 256; v++) {
            while (below < top && Widen(below + 1, bits) <= v)
                below++;
            const int low = Widen(below, bits), gap = below < top ? Widen(below + 1, bits) - low : 1;
            // Upwards when the value's share of the way to the next level
            // passes the threshold (b + 1/2) / 64: on a level, never.
            for (int b = 0; b < 64; b++)
                t.ordered[f][b][v] =
                    uint8_t(below < top && (v - low) * 128 > (2 * b + 1) * gap ? below + 1 : below);
        }
    }
    return t;
}

const Tables &GetTables()
{
    static const Tables tables = BuildTables();
    return tables;
}

inline void Store(uint8_t *out, unsigned value)
{
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
}

void OrderedRows(const uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out,
                 size_t outStride, uint32_t left, uint32_t top)
{
    const Tables &t = GetTables();
    for (uint32_t y = 0; y < height; y++, out += outStride) {
        const uint8_t *bgr = rows + size_t(height - 1 - y) * stride;
        const uint8_t *row = kBayer[(top + y) & 7];
        const uint8_t *fives[8], *sixes[8];
        for (int i = 0; i < 8; i++) {
            fives[i] = t.ordered[0][row[(left + i) & 7]];
            sixes[i] = t.ordered[1][row[(left + i) & 7]];
        }
        uint8_t *o = out;
        for (uint32_t x = 0; x < width; x++, bgr += 3, o += 2) {
            const uint8_t *five = fives[x & 7], *six = sixes[x & 7];
            Store(o, unsigned(five[bgr[2]]) << 11 | unsigned(six[bgr[1]]) << 5 | five[bgr[0]]);
        }
    }
}

// Diffusion looks up all it needs by the value wanted: the pixel's own plus
// the error carried to it, a few levels at most (an error is at most half a
// gap, or what lies beyond 0..255), well within kReach.
constexpr int kReach = 64, kWanted = 256 + 2 * kReach;

// For one wanted value: the nearest level, and the error's Floyd and
// Steinberg shares (7, 3, 5 and 1 sixteenths), rounded so that they add up
// to the whole error: no colour is lost or gained on average.
struct alignas(8) Quantised {  // 8 bytes: an index scales in the address
    uint8_t level;
    int8_t ahead, belowBehind, below, belowAhead;
};

struct DiffusionTables {
    Quantised quantised[2][kWanted];  // [6-bit field][wanted + kReach]
    uint8_t clamped[kWanted];
};

// The level whose widened value is nearest to `value`: the highest one at or
// below it (widening may lift the truncated level above the value), or the
// next.
constexpr int NearestLevel(int value, int bits)
{
    int below = value >> (8 - bits);
    if (Widen(below, bits) > value)
        below--;
    if (below == (1 << bits) - 1)
        return below;
    return 2 * (value - Widen(below, bits)) > Widen(below + 1, bits) - Widen(below, bits) ? below + 1 : below;
}

// Made by the compiler, at fixed addresses: the 32-bit build then needs no
// register to reach them.
constexpr DiffusionTables MakeDiffusionTables()
{
    DiffusionTables d = {};
    for (int i = 0; i < kWanted; i++) {
        const int wanted = i - kReach, value = wanted < 0 ? 0 : wanted > 255 ? 255 : wanted;
        d.clamped[i] = uint8_t(value);
        for (int f = 0; f < 2; f++) {
            const int level = NearestLevel(value, 5 + f), error = wanted - Widen(level, 5 + f);
            const int seven = (error * 7 + 8) >> 4, three = (error * 3 + 8) >> 4, five = (error * 5 + 8) >> 4;
            d.quantised[f][i] = {uint8_t(level), int8_t(seven), int8_t(three), int8_t(five),
                                 int8_t(error - seven - three - five)};
        }
    }
    return d;
}

constexpr DiffusionTables kDiffusion = MakeDiffusionTables();

// One row, `kStep` bytes from pixel to pixel. Each channel's lookups carry
// the error ahead as a pointer to the last entry, the one value each pixel
// waits for; the row below, whose bytes take what comes down to them, is
// written once a pixel, when its last share is known. At the image's edges a
// share is dropped.
template <int kStep, bool kHasBelow>
void DiffuseRow(uint8_t *bgr, uint8_t *below, uint32_t width, uint8_t *out)
{
    const Quantised *fives = kDiffusion.quantised[0] + kReach, *sixes = kDiffusion.quantised[1] + kReach;
    const uint8_t *clamped = kDiffusion.clamped + kReach;
    const ptrdiff_t first = kStep > 0 ? 0 : ptrdiff_t(width) - 1;
    uint8_t *p = bgr + 3 * first, *n = below + 3 * first, *o = out + 2 * first;
    const Quantised *b = fives + p[0], *g = sixes + p[1], *r = fives + p[2];
    Store(o, unsigned(r->level) << 11 | unsigned(g->level) << 5 | b->level);
    // What the pixel below this one and the one after it have been given so far.
    int next[3] = {b->below, g->below, r->below}, after[3] = {b->belowAhead, g->belowAhead, r->belowAhead};
    for (uint32_t left = width - 1; left > 0; left--) {
        p += kStep, n += kStep, o += kStep / 3 * 2;
        b = fives + p[0] + b->ahead, g = sixes + p[1] + g->ahead, r = fives + p[2] + r->ahead;
        Store(o, unsigned(r->level) << 11 | unsigned(g->level) << 5 | b->level);
        if (kHasBelow) {
            n[0 - kStep] = clamped[n[0 - kStep] + next[0] + b->belowBehind];
            n[1 - kStep] = clamped[n[1 - kStep] + next[1] + g->belowBehind];
            n[2 - kStep] = clamped[n[2 - kStep] + next[2] + r->belowBehind];
            next[0] = after[0] + b->below, next[1] = after[1] + g->below, next[2] = after[2] + r->below;
            after[0] = b->belowAhead, after[1] = g->belowAhead, after[2] = r->belowAhead;
        }
    }
    for (int c = 0; kHasBelow && c < 3; c++)
        n[c] = clamped[n[c] + next[c]];
}

// Serpentine: even rows left to right, odd rows back. The error goes into the
// bytes of the row below, still to be converted; the last row has none (its
// own bytes stand in, untouched).
void DiffusionRows(uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out,
                   size_t outStride)
{
    for (uint32_t y = 0; y < height; y++, out += outStride) {
        uint8_t *bgr = rows + size_t(height - 1 - y) * stride;
        const bool forwards = (y & 1) == 0;
        if (y + 1 < height)
            (forwards ? DiffuseRow<3, true> : DiffuseRow<-3, true>)(bgr, bgr - stride, width, out);
        else
            (forwards ? DiffuseRow<3, false> : DiffuseRow<-3, false>)(bgr, bgr, width, out);
    }
}

}  // namespace

void DitherRows(DitherMode mode, uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out,
                size_t outStride, uint32_t left, uint32_t top)
{
    if (width == 0)
        return;
    if (mode == DITHER_ORDERED) {
        OrderedRows(rows, stride, width, height, out, outStride, left, top);
    } else if (mode == DITHER_DIFFUSION) {
        DiffusionRows(rows, stride, width, height, out, outStride);
    } else {
        Rgb565RowFunction convertRow = FastestRgb565Row();
        for (uint32_t y = 0; y < height; y++)
            convertRow(rows + size_t(height - 1 - y) * stride, width, out + y * outStride);
    }
}
