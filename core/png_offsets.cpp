#include "core/png_offsets.h"

#include <cstring>

static uint32_t Be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

static int32_t SignedBe32(const uint8_t *p)
{
    const uint32_t v = Be32(p);
    return v <= 0x7fffffffu ? int32_t(v) : -int32_t(~v) - 1;
}

PngOffsets ReadPngOffsets(const uint8_t *bytes, size_t size)
{
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    PngOffsets result = {};
    if (size < 8 || std::memcmp(bytes, kSignature, 8) != 0)
        return result;
    bool canvas = false;  // caNv seen: oFFs and vpAg no longer count
    for (size_t at = 8; size - at >= 12;) {
        const uint32_t length = Be32(bytes + at);
        const uint8_t *type = bytes + at + 4, *data = bytes + at + 8;
        if (length > size - at - 12)
            break;  // cut short: what came before still holds
        if (at == 8) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length < 8)
                return result;
            result.isPng = true;
            result.width = Be32(data);
            result.height = Be32(data + 4);
        } else if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) {
            break;
        } else if (std::memcmp(type, "caNv", 4) == 0 && length >= 16) {
            canvas = result.hasOffset = result.hasPage = true;
            result.pageWidth = Be32(data);
            result.pageHeight = Be32(data + 4);
            result.x = SignedBe32(data + 8);
            result.y = SignedBe32(data + 12);
        } else if (canvas) {
        } else if (std::memcmp(type, "oFFs", 4) == 0 && length >= 9) {
            // Unit 1 is micrometres, which say nothing about pixels.
            if (data[8] == 0) {
                result.hasOffset = true;
                result.x = SignedBe32(data);
                result.y = SignedBe32(data + 4);
            }
        } else if (std::memcmp(type, "vpAg", 4) == 0 && length >= 9 && data[8] == 0) {
            result.hasPage = true;
            result.pageWidth = Be32(data);
            result.pageHeight = Be32(data + 4);
        }
        at += 12 + size_t(length);
    }
    return result;
}
