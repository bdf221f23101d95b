#include "core/shp16.h"

#include "core/rgb565_rows.h"

static void PutU16(uint8_t *p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

static void PutU32(uint8_t *p, uint32_t value)
{
    PutU16(p, value);
    PutU16(p + 2, value >> 16);
}

bool ShpFileSize(uint32_t width, uint32_t height, uint32_t frameCount, size_t *bytes)
{
    // 64-bit products cannot wrap for 32-bit factors; 2 * W * H alone may still
    // exceed 64 bits' worth of meaning only when it exceeds 32 bits, checked first.
    uint64_t frameBytes = 2ull * width * height;
    if (frameBytes > UINT32_MAX)
        return false;
    uint64_t total = kShpFileHeaderSize + uint64_t(frameCount) * (kShpFrameHeaderSize + frameBytes);
    if (total > UINT32_MAX || total > SIZE_MAX)
        return false;
    *bytes = static_cast<size_t>(total);
    return true;
}

uint32_t ShpFrameOffset(uint32_t width, uint32_t height, uint32_t frameCount, uint32_t frame)
{
    return kShpFileHeaderSize + kShpFrameHeaderSize * frameCount + frame * (2 * width * height);
}

void WriteShpHeaders(uint8_t *buffer, uint32_t width, uint32_t height, uint32_t frameCount)
{
    PutU16(buffer + 0, 0);
    PutU16(buffer + 2, width);
    PutU16(buffer + 4, height);
    PutU16(buffer + 6, frameCount);
    for (uint32_t i = 0; i < frameCount; i++) {
        uint8_t *record = buffer + kShpFileHeaderSize + kShpFrameHeaderSize * i;
        PutU16(record + 0, 0);  // x
        PutU16(record + 2, 0);  // y
        PutU16(record + 4, width);
        PutU16(record + 6, height);
        PutU32(record + 8, kShpFrameFlags);  // flags byte, then three zero bytes
        PutU32(record + 12, 0);
        PutU32(record + 16, 0);
        PutU32(record + 20, ShpFrameOffset(width, height, frameCount, i));
    }
}

void ConvertDibToFrame(const uint8_t *rows, uint32_t stride, uint32_t width, uint32_t height, uint8_t *frame)
{
    Rgb565RowFunction convertRow = FastestRgb565Row();
    // DIB rows are bottom-up; the file holds the top row first.
    for (uint32_t k = 0; k < height; k++)
        convertRow(rows + size_t(k) * stride, width, frame + size_t(height - 1 - k) * width * 2);
}
