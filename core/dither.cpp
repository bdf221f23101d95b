#include "core/dither.h"

#include "core/rgb565_rows.h"
#include "core/shp16.h"

namespace {

// Bayer's 8 × 8 matrix: every threshold once, neighbours far apart in order.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

constexpr int Widen(int level, int bits)
{
    return (level << (8 - bits)) | (level >> (2 * bits - 8));
}

// Per 5- and 6-bit field: the level each threshold picks for each value, the
// nearest level to each value, and the value each level widens to.
struct Tables {
    uint8_t ordered[2][64][256];
    uint8_t nearest[2][256];
    uint8_t widened[2][64];
};

Tables BuildTables()
{
    Tables t = {};
    for (int f = 0; f < 2; f++) {
        const int bits = 5 + f, top = (1 << bits) - 1;
        for (int level = 0; level <= top; level++)
            t.widened[f][level] = uint8_t(Widen(level, bits));
        int below = 0;  // the highest level whose widened value is at most v
        for (int v = 0; v < 256; v++) {
            while (below < top && Widen(below + 1, bits) <= v)
                below++;
            const int low = Widen(below, bits), gap = below < top ? Widen(below + 1, bits) - low : 1;
            t.nearest[f][v] = uint8_t(below < top && 2 * (v - low) > gap ? below + 1 : below);
            // Upwards when the value's share of the way to the next level
            // passes the threshold (b + 1/2) / 64: on a level, never.
            for (int b = 0; b < 64; b++)
                t.ordered[f][b][v] = uint8_t(below < top && (v - low) * 128 > (2 * b + 1) * gap ? below + 1 : below);
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

void OrderedRows(const uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out, size_t outStride,
                 uint32_t left, uint32_t top)
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

inline uint8_t Clamp(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Floyd and Steinberg's 7, 3, 5, 1 sixteenths, rounded so that the four
// shares add up to the whole error: no colour is lost or gained on average.
inline void Spread(int error, uint8_t *ahead, uint8_t *belowBehind, uint8_t *below, uint8_t *belowAhead)
{
    const int seven = (error * 7 + 8) >> 4, three = (error * 3 + 8) >> 4, five = (error * 5 + 8) >> 4;
    *ahead = Clamp(*ahead + seven);
    if (below) {
        *belowBehind = Clamp(*belowBehind + three);
        *below = Clamp(*below + five);
        *belowAhead = Clamp(*belowAhead + error - seven - three - five);
    }
}

// Serpentine: even rows left to right, odd rows back. The error goes into the
// bytes still to be converted; at the image's edges its share is dropped, and
// a spare byte takes what would fall outside.
void DiffusionRows(uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out, size_t outStride)
{
    const Tables &t = GetTables();
    for (uint32_t y = 0; y < height; y++, out += outStride) {
        uint8_t *bgr = rows + size_t(height - 1 - y) * stride;
        uint8_t *next = y + 1 < height ? bgr - stride : nullptr;
        const bool forwards = (y & 1) == 0;
        for (uint32_t i = 0; i < width; i++) {
            const uint32_t x = forwards ? i : width - 1 - i;
            const bool hasAhead = i + 1 < width, hasBehind = i > 0;
            const ptrdiff_t step = forwards ? 3 : -3;
            uint8_t *p = bgr + 3 * size_t(x);
            unsigned levels[3];
            for (int c = 0; c < 3; c++) {
                const int f = c == 1, level = t.nearest[f][p[c]];
                levels[c] = unsigned(level);
                uint8_t spare[3] = {0, 0, 0};
                uint8_t *n = next ? next + 3 * size_t(x) + c : nullptr;
                Spread(p[c] - t.widened[f][level], hasAhead ? p + step + c : spare, n && hasBehind ? n - step : spare,
                       n, n && hasAhead ? n + step : spare + 1);
            }
            Store(out + 2 * size_t(x), levels[2] << 11 | levels[1] << 5 | levels[0]);
        }
    }
}

}  // namespace

void DitherRows(DitherMode mode, uint8_t *rows, size_t stride, uint32_t width, uint32_t height, uint8_t *out,
                size_t outStride, uint32_t left, uint32_t top)
{
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
