#include "core/shp16_read.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "core/status.h"

static uint32_t GetU16(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

static uint32_t GetU32(const uint8_t *p)
{
    return GetU16(p) | GetU16(p + 2) << 16;
}

static bool Fault(char *problem, size_t problemSize, const char *format, ...) KESTRANE_PRINTF(3, 4);

static bool Fault(char *problem, size_t problemSize, const char *format, ...)
{
    if (problemSize > 0) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(problem, problemSize, format, args);
        va_end(args);
        problem[problemSize - 1] = '\0';
    }
    return false;
}

// Every field of frame i's record, in file order, against what the writer puts there.
static bool CheckFrameRecord(const uint8_t *record, uint32_t i, const ShpLayout &layout, uint64_t fileSize,
                             char *problem, size_t problemSize)
{
    uint32_t x = GetU16(record), y = GetU16(record + 2);
    uint32_t width = GetU16(record + 4), height = GetU16(record + 6);
    if (x != 0 || y != 0)
        return Fault(problem, problemSize, "frame %u: placed at %u,%u, not at 0,0", i, x, y);
    if (width != layout.width || height != layout.height)
        return Fault(problem, problemSize, "frame %u: %u x %u pixels, the header says %u x %u", i, width,
                     height, layout.width, layout.height);
    if (GetU32(record + 8) != kShpFrameFlags || GetU32(record + 12) != 0 || GetU32(record + 16) != 0)
        return Fault(problem, problemSize, "frame %u: flags or reserved bytes differ from 8, 0, 0", i);
    uint32_t offset = GetU32(record + 20);
    if (offset >= fileSize)
        return Fault(problem, problemSize, "frame %u: offset %u past the end of the file (%" PRIu64 " bytes)",
                     i, offset, fileSize);
    uint32_t expected = ShpFrameOffset(layout.width, layout.height, layout.frameCount, i);
    if (offset != expected)
        return Fault(problem, problemSize, "frame %u: offset %u, expected %u", i, offset, expected);
    return true;
}

bool CheckShpLayout(const uint8_t *head, size_t headSize, uint64_t fileSize, ShpLayout *layout, char *problem,
                    size_t problemSize)
{
    if (headSize < kShpFileHeaderSize)
        return Fault(problem, problemSize,
                     "short header: the file has %" PRIu64 " bytes, the header needs %u", fileSize,
                     kShpFileHeaderSize);
    if (GetU16(head) != 0)
        return Fault(problem, problemSize, "header: first field %u, not 0", GetU16(head));
    ShpLayout found = {GetU16(head + 2), GetU16(head + 4), GetU16(head + 6)};
    if (found.width == 0 || found.height == 0 || found.frameCount == 0)
        return Fault(problem, problemSize, "header: %u frames of %u x %u pixels, nothing to hold",
                     found.frameCount, found.width, found.height);
    // Beyond 4 GB the frame offsets, which are 32-bit, could not point at the frames.
    size_t expectedSize = 0;
    if (!ShpFileSize(found.width, found.height, found.frameCount, &expectedSize))
        return Fault(problem, problemSize, "header: %u frames of %u x %u pixels need more than 4 GB",
                     found.frameCount, found.width, found.height);

    // A table cut short is named before anything its records say.
    size_t tableEnd = kShpFileHeaderSize + size_t(kShpFrameHeaderSize) * found.frameCount;
    if (tableEnd > headSize)
        return Fault(problem, problemSize, "frame %u: record past the end of the file (%" PRIu64 " bytes)",
                     unsigned((headSize - kShpFileHeaderSize) / kShpFrameHeaderSize), fileSize);
    for (uint32_t i = 0; i < found.frameCount; i++) {
        const uint8_t *record = head + kShpFileHeaderSize + size_t(kShpFrameHeaderSize) * i;
        if (!CheckFrameRecord(record, i, found, fileSize, problem, problemSize))
            return false;
    }
    if (fileSize != expectedSize)
        return Fault(problem, problemSize,
                     "wrong length: %" PRIu64 " bytes, where %u frames of %u x %u pixels take %" PRIu64,
                     fileSize, found.frameCount, found.width, found.height, uint64_t(expectedSize));
    *layout = found;
    return true;
}

void ConvertFrameToBgr(const uint8_t *frame, uint32_t width, uint32_t height, uint8_t *rows, uint32_t stride)
{
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t *src = frame + size_t(y) * width * 2;
        uint8_t *dst = rows + size_t(y) * stride;
        for (uint32_t x = 0; x < width; x++, src += 2, dst += 3) {
            const Rgb888 colour = Rgb565ToRgb888(uint16_t(GetU16(src)));
            dst[0] = colour.b, dst[1] = colour.g, dst[2] = colour.r;
        }
    }
}
