// Frames leave the programs as PNG files, made by the Windows Imaging
// Component's encoder.
#pragma once
#include <cstdint>

struct IWICImagingFactory;

// Encodes top-down rows, `stride` bytes apart, of 24-bit B, G, R pixels or
// (bitsPerPixel 32) B, G, R, A pixels with straight alpha, as a PNG file at
// path. The file is written in one step once the PNG is complete, so a
// failure never leaves half a file. False on any failure.
bool WritePng(IWICImagingFactory *factory, const char *path, const uint8_t *rows, uint32_t stride,
              uint32_t width, uint32_t height, uint32_t bitsPerPixel);
