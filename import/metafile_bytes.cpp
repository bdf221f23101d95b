// The bitmap inside an older filter's metafile: found by walking the records,
// then copied out of the filter's block as 24-bit bottom-up rows. Everything
// read comes from the filter, so every offset and size is checked against the
// bytes actually given, in 64-bit arithmetic that cannot wrap.
#include "import/metafile_bytes.h"

#include <climits>
#include <cstring>

namespace {

// Images larger than this are refused before anything is allocated.
constexpr uint64_t kMaxImageBytes = kMaxPackedDibBytes - kDibHeaderSize;

constexpr uint32_t kDibBitfields = 3;  // BI_BITFIELDS
constexpr uint32_t kMaskBytes = 12;    // red, green and blue masks
constexpr size_t kMetaHeaderBytes = 18;
constexpr size_t kRecordHeadBytes = 6;
constexpr uint16_t kStretchDib = 0x0F43;  // META_STRETCHDIB

uint32_t ReadU32(const uint8_t *p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint16_t ReadU16(const uint8_t *p)
{
    uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Where the packed bitmap starts in a record of this kind, or 0.
size_t BitmapOffset(uint16_t function)
{
    switch (function) {
    case 0x0940:  // META_DIBBITBLT
        return 22;
    case 0x0B41:  // META_DIBSTRETCHBLT
        return 26;
    case 0x0D33:  // META_SETDIBTODEV
        return 24;
    case kStretchDib:
        return 28;
    default:
        return 0;
    }
}

// One colour of a 16 or 32-bit pixel: a run of set bits in a mask.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t width = 0;

    // False for an empty mask or one with gaps, which name no channel.
    bool Set(uint32_t bits)
    {
        if (bits == 0)
            return false;
        mask = bits;
        for (shift = 0; !(bits & 1); shift++)
            bits >>= 1;
        for (width = 0; bits & 1; width++)
            bits >>= 1;
        return bits == 0;
    }

    // The channel's value widened (by repeating its bits) or narrowed to 8 bits,
    // so that a channel's full value becomes 255.
    uint8_t Value(uint32_t pixel) const
    {
        uint32_t value = (pixel & mask) >> shift;
        if (width >= 8)
            return uint8_t(value >> (width - 8));
        uint32_t wide = 0;
        for (int filled = 0; filled < 8; filled += int(width)) {
            int move = 8 - filled - int(width);
            wide |= move >= 0 ? value << move : value >> -move;
        }
        return uint8_t(wide);
    }
};

// What the conversion needs to know about a checked source bitmap.
struct Source {
    uint32_t bits;
    uint32_t width;
    uint32_t height;
    bool topDown;
    const uint8_t *palette;  // RGBQUADs, for 8 bits and fewer
    uint32_t colours;
    Channel red, green, blue;  // for 16 and 32 bits
    const uint8_t *rows;
    uint32_t stride;
};

void ConvertRow(const Source &source, const uint8_t *in, uint8_t *out)
{
    switch (source.bits) {
    case 24:
        std::memcpy(out, in, size_t(source.width) * 3);
        return;
    case 16:
    case 32:
        for (uint32_t x = 0; x < source.width; x++) {
            uint32_t pixel = source.bits == 16 ? ReadU16(in + 2 * size_t(x)) : ReadU32(in + 4 * size_t(x));
            *out++ = source.blue.Value(pixel);
            *out++ = source.green.Value(pixel);
            *out++ = source.red.Value(pixel);
        }
        return;
    default: {
        uint32_t perByte = 8 / source.bits, indexMask = (1u << source.bits) - 1;
        for (uint32_t x = 0; x < source.width; x++) {
            uint32_t slot = x % perByte;
            uint32_t index = (in[x / perByte] >> (8 - source.bits * (slot + 1))) & indexMask;
            // Indices beyond the colour table show black rather than whatever follows it.
            if (index < source.colours)
                std::memcpy(out, source.palette + 4 * size_t(index), 3);
            else
                std::memset(out, 0, 3);
            out += 3;
        }
        return;
    }
    }
}

// Fills `source` from the bitmap's header, or returns false when the bitmap
// is of a kind not converted or does not lie within `size` bytes.
bool ReadSource(const uint8_t *dib, size_t size, Source *source)
{
    DibHeader header;
    if (!dib || size < sizeof header)
        return false;
    std::memcpy(&header, dib, sizeof header);
    if (header.biSize < sizeof header || header.biSize > size || header.biPlanes != 1)
        return false;
    uint32_t bits = header.biBitCount;
    bool bitfields = header.biCompression == kDibBitfields;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    if (header.biCompression != kDibRgb && !(bitfields && (bits == 16 || bits == 32)))
        return false;
    // The masks follow a plain 40-byte header; longer headers hold them.
    if (bitfields && header.biSize != sizeof header && header.biSize < sizeof header + kMaskBytes)
        return false;
    int64_t width = header.biWidth;
    // A negative height marks a top-down bitmap.
    int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    if (!Fits24BitImage(width, height))
        return false;

    // Between the header and the rows: masks after a plain header, then the
    // colour table (optional, and skipped, above 8 bits).
    uint64_t colours = header.biClrUsed;
    if (bits <= 8) {
        if (colours == 0)
            colours = 1u << bits;
        if (colours > (1u << bits))
            return false;
    }
    uint64_t tableStart =
        uint64_t(header.biSize) + (bitfields && header.biSize == sizeof header ? kMaskBytes : 0);
    uint64_t rowsStart = tableStart + 4 * colours;
    uint32_t stride = DibStride(uint32_t(width), bits);
    if (stride == 0 || rowsStart > size || uint64_t(stride) * uint64_t(height) > size - rowsStart)
        return false;

    source->bits = bits;
    source->width = uint32_t(width);
    source->height = uint32_t(height);
    source->topDown = header.biHeight < 0;
    source->palette = dib + tableStart;
    source->colours = bits <= 8 ? uint32_t(colours) : 0;
    source->rows = dib + rowsStart;
    source->stride = stride;
    if (bits <= 8 || bits == 24)
        return true;
    uint32_t red = 0x00FF0000, green = 0x0000FF00, blue = 0x000000FF;  // 32 bits: B, G, R, unused
    if (bitfields) {
        const uint8_t *masks = dib + sizeof header;  // within the header or just after it
        red = ReadU32(masks);
        green = ReadU32(masks + 4);
        blue = ReadU32(masks + 8);
    } else if (bits == 16) {
        red = 0x7C00, green = 0x03E0, blue = 0x001F;  // 5-5-5
    }
    // Overlapping masks would make one bit count for two colours.
    if ((red & green) || (red & blue) || (green & blue))
        return false;
    return source->red.Set(red) && source->green.Set(green) && source->blue.Set(blue);
}

}  // namespace

bool Fits24BitImage(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX)
        return false;
    uint32_t stride = DibStride(uint32_t(width), 24);
    return stride != 0 && uint64_t(stride) * uint64_t(height) <= kMaxImageBytes;
}

const uint8_t *FindMetafileDib(const uint8_t *metafileBytes, size_t size, size_t *available)
{
    if (available)
        *available = 0;
    if (!metafileBytes || size < kMetaHeaderBytes)
        return nullptr;
    // Sizes count 16-bit words; all arithmetic stays in 64 bits and below
    // `end`, so no size can wrap the position round the address space.
    uint64_t declared = 2 * uint64_t(ReadU32(metafileBytes + 6));
    uint64_t end = declared < size ? declared : size;
    uint64_t position = 2 * uint64_t(ReadU16(metafileBytes + 2));
    while (position < end && end - position >= kRecordHeadBytes) {
        const uint8_t *record = metafileBytes + position;
        uint64_t length = 2 * uint64_t(ReadU32(record));
        // Too short to hold its own head (0 would never move on) or running
        // past the end: the rest cannot be walked.
        if (length < kRecordHeadBytes || length > end - position)
            return nullptr;
        size_t offset = BitmapOffset(ReadU16(record + 4));
        // The bitmap-less forms of the blit records (pattern fills) are too
        // short to hold a bitmap header; a later record may still carry one.
        if (offset && length >= offset + kDibHeaderSize) {
            if (available)
                *available = size_t(length - offset);
            return record + offset;
        }
        position += length;
    }
    return nullptr;
}

const uint8_t *FindWholeBoxBitmap(const uint8_t *metafileBytes, size_t size, int left, int top, int width,
                                  int height, size_t *available)
{
    *available = 0;
    constexpr uint32_t kSourceCopy = 0x00CC0020;  // SRCCOPY
    constexpr size_t kEndRecordBytes = kRecordHeadBytes;
    if (!metafileBytes || size < kMetaHeaderBytes + kRecordHeadBytes + kEndRecordBytes ||
        ReadU16(metafileBytes + 2) != kMetaHeaderBytes / 2)
        return nullptr;
    const uint64_t declared = 2 * uint64_t(ReadU32(metafileBytes + 6));
    const uint8_t *record = metafileBytes + kMetaHeaderBytes;
    const uint64_t length = 2 * uint64_t(ReadU32(record));
    // The header, this one record and the end record, nothing else.
    if (declared > size || length < BitmapOffset(kStretchDib) + kDibHeaderSize ||
        declared != kMetaHeaderBytes + length + kEndRecordBytes)
        return nullptr;
    const uint8_t *end = record + length;
    if (ReadU32(end) != kEndRecordBytes / 2 || ReadU16(end + 4) != 0 || ReadU16(record + 4) != kStretchDib)
        return nullptr;
    // rop, colour use, then source and destination heights, widths, y and x.
    const uint8_t *p = record + kRecordHeadBytes;
    const auto field = [p](size_t at) { return int(int16_t(ReadU16(p + at))); };
    if (ReadU32(p) != kSourceCopy || ReadU16(p + 4) != 0 || field(6) != height || field(8) != width ||
        field(10) != 0 || field(12) != 0 || field(14) != height || field(16) != width || field(18) != top ||
        field(20) != left)
        return nullptr;
    DibHeader header;
    const uint8_t *dib = record + BitmapOffset(kStretchDib);
    std::memcpy(&header, dib, sizeof header);
    const uint64_t bytes = length - BitmapOffset(kStretchDib);
    if (header.biSize != sizeof header || header.biWidth != width || header.biHeight != height ||
        header.biPlanes != 1 || header.biBitCount != 24 || header.biCompression != kDibRgb ||
        header.biClrUsed != 0 || !Fits24BitImage(width, height) ||
        sizeof header + uint64_t(DibStride(uint32_t(width), 24)) * uint32_t(height) > bytes)
        return nullptr;
    *available = size_t(bytes);
    return dib;
}

PackedDib CopyDibAs24Bit(const uint8_t *dib, size_t size)
{
    Source source;
    if (!ReadSource(dib, size, &source))
        return nullptr;
    uint32_t stride = DibStride(source.width, 24);
    uint32_t imageBytes = stride * source.height;  // checked by Fits24BitImage
    PackedDib result = AllocPackedDib(size_t(kDibHeaderSize) + imageBytes);
    if (!result)
        return nullptr;
    result->biSize = kDibHeaderSize;
    result->biWidth = int32_t(source.width);
    result->biHeight = int32_t(source.height);
    result->biPlanes = 1;
    result->biBitCount = 24;
    result->biCompression = kDibRgb;
    result->biSizeImage = imageBytes;
    uint8_t *out = reinterpret_cast<uint8_t *>(result) + kDibHeaderSize;
    for (uint32_t row = 0; row < source.height; row++) {
        uint32_t from = source.topDown ? source.height - 1 - row : row;  // `row` counts from the bottom
        ConvertRow(source, source.rows + size_t(from) * source.stride, out + size_t(row) * stride);
    }
    return result;
}
