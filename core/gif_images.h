// How many images a GIF file holds, counted from its bytes alone: cheap
// enough to ask of every GIF of a job, where the imaging component would
// cost a decoder each.
#pragma once
#include <cstddef>
#include <cstdint>

// The image descriptors of a GIF stream whose every byte up to them is
// there, counted through its blocks to the trailer or the end of the data;
// 0 for data that does not start as a GIF.
uint32_t CountGifImages(const uint8_t *data, size_t size);

// The index of the first image with no colour table to show, neither its own
// nor the stream's, or kGifImagesHaveColours when each has one. Decoders make
// up colours for such an image each their own way, or refuse it.
constexpr uint32_t kGifImagesHaveColours = UINT32_MAX;
uint32_t FirstGifImageWithoutColours(const uint8_t *data, size_t size);
