// One row of 24-bit B, G, R pixels to little-endian RGB565 words by the
// Rgb565 rule, in plain code and with x86 vector instructions.
// ConvertDibToFrame takes the fastest the processor has; tests and the
// benchmark call each one directly.
#pragma once
#include <cstdint>

// Reads exactly 3 × width bytes and writes exactly 2 × width bytes.
typedef void (*Rgb565RowFunction)(const uint8_t *bgr, uint32_t width, uint8_t *out);

void Rgb565RowPlain(const uint8_t *bgr, uint32_t width, uint8_t *out);

#if defined(__i386__) || defined(__x86_64__)
#define KESTRANE_X86_ROWS 1
// Only where the processor has the instructions: a 32-bit program may run on
// one without them.
void Rgb565RowSse2(const uint8_t *bgr, uint32_t width, uint8_t *out);
void Rgb565RowSsse3(const uint8_t *bgr, uint32_t width, uint8_t *out);
bool ProcessorHasSse2();
bool ProcessorHasSsse3();
#endif

Rgb565RowFunction FastestRgb565Row();
