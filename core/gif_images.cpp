#include "core/gif_images.h"

#include <cstring>

namespace {

constexpr uint8_t kExtension = 0x21, kImage = 0x2C, kTrailer = 0x3B;
constexpr size_t kHeaderSize = 13, kDescriptorSize = 9;

// A colour table's size from the flags of the screen or of an image.
size_t ColourTableSize(uint8_t flags)
{
    return flags & 0x80 ? size_t(3) << ((flags & 7) + 1) : 0;
}

}  // namespace

uint32_t CountGifImages(const uint8_t *data, size_t size)
{
    if (size < kHeaderSize || std::memcmp(data, "GIF8", 4) != 0)
        return 0;
    size_t p = kHeaderSize + ColourTableSize(data[10]);
    uint32_t images = 0;
    while (p < size && data[p] != kTrailer) {
        const uint8_t block = data[p++];
        if (block == kImage) {
            if (size - p < kDescriptorSize + 1)
                break;
            p += kDescriptorSize + ColourTableSize(data[p + 8]) + 1;  // and the code size
            images++;
        } else if (block == kExtension) {
            p++;  // its label
        } else {
            break;
        }
        // The data sub-blocks, each its length and bytes, up to an empty one.
        while (p < size && data[p] != 0)
            p += size_t(data[p]) + 1;
        p++;
    }
    return images;
}
