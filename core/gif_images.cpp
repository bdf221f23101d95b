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

// Walks the image descriptors of a GIF stream whose every byte up to them is
// there, through its blocks to the trailer or the end of the data, handing
// each image's flags to `image`, which returns whether to go on.
template <typename ImageFlags> void WalkImages(const uint8_t *data, size_t size, ImageFlags image)
{
    if (size < kHeaderSize || std::memcmp(data, "GIF8", 4) != 0)
        return;
    size_t p = kHeaderSize + ColourTableSize(data[10]);
    while (p < size && data[p] != kTrailer) {
        const uint8_t block = data[p++];
        if (block == kImage) {
            if (size - p < kDescriptorSize + 1 || !image(data[p + 8]))
                return;
            p += kDescriptorSize + ColourTableSize(data[p + 8]) + 1;  // and the code size
        } else if (block == kExtension) {
            p++;  // its label
        } else {
            return;
        }
        // The data sub-blocks, each its length and bytes, up to an empty one.
        while (p < size && data[p] != 0)
            p += size_t(data[p]) + 1;
        p++;
    }
}

}  // namespace

uint32_t CountGifImages(const uint8_t *data, size_t size)
{
    uint32_t images = 0;
    WalkImages(data, size, [&](uint8_t) {
        images++;
        return true;
    });
    return images;
}

uint32_t FirstGifImageWithoutColours(const uint8_t *data, size_t size)
{
    const bool global = size >= kHeaderSize && ColourTableSize(data[10]) > 0;
    uint32_t index = 0, lacking = kGifImagesHaveColours;
    WalkImages(data, size, [&](uint8_t flags) {
        if (!global && ColourTableSize(flags) == 0) {
            lacking = index;
            return false;
        }
        index++;
        return true;
    });
    return lacking;
}
