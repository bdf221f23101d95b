// Images travel between the loader and the conversion job as packed DIBs:
// one block holding a 40-byte BITMAPINFOHEADER followed by the pixel rows.
#pragma once
#include <cstddef>
#include <cstdint>

// Same layout as BITMAPINFOHEADER, so that core builds without windows.h.
struct DibHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // positive: rows bottom-up
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(DibHeader) == 40, "DibHeader must match BITMAPINFOHEADER");

constexpr uint32_t kDibHeaderSize = 40;
// The largest block the loader makes: sizes stay well inside what LocalAlloc
// and the job's arithmetic take.
constexpr uint32_t kMaxPackedDibBytes = 0x7FFFFFFFu;
constexpr uint32_t kDibRgb = 0;  // BI_RGB

// A packed DIB in local memory: 24 bits per pixel, B, G, R byte order,
// bottom-up rows padded to 4 bytes, no colour table.
typedef DibHeader *PackedDib;

// The image loader: decodes one source file. The caller owns the result and
// releases it with FreePackedDib. Null on any failure.
PackedDib LoadImageFile(const char *path);

// Local-memory blocks (LocalAlloc / LocalFree / LocalSize on Windows).
PackedDib AllocPackedDib(size_t bytes);  // zero-filled; null on failure
void FreePackedDib(PackedDib dib);
size_t PackedDibBlockSize(PackedDib dib);

// Bytes in one DIB row: bits × width rounded up to a multiple of 4 bytes.
// Zero when it does not fit in 32 bits.
uint32_t DibStride(uint32_t width, uint32_t bitsPerPixel);

// True when the block holds a bottom-up, uncompressed 24-bit image whose
// header and every row lie inside the block: the only kind the job reads.
bool IsReadablePackedDib(PackedDib dib);
