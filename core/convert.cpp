#include "core/convert.h"

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/output_file.h"
#include "core/packed_dib.h"
#include "core/rgb565_rows.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"

ConvertProgressFunction g_convertProgress = nullptr;
ImageLoaderFunction g_imageLoader = LoadImageFile;

// Loads one image the job can read; anything else counts as undecodable, so a
// loader that hands over a short or foreign block can never make us read past it.
static PackedDib LoadReadableImage(const char *path, int index)
{
    if (g_convertProgress)
        g_convertProgress(index, g_sourceList->count);
    PackedDib dib = g_imageLoader(path);
    if (dib && !IsReadablePackedDib(dib)) {
        FreePackedDib(dib);
        dib = nullptr;
    }
    if (!dib)
        PrintStatus(MSG_CANT_READ_IMAGE, path);
    return dib;
}

// Where an image's pixels go: at (left, top) of a frame frameWidth pixels
// wide, or the whole frame when the image has the frame's size.
struct ImagePlace {
    uint8_t *frame;
    uint32_t frameWidth, left, top;
};

// DIB rows are bottom-up; the file holds the top row first.
static void ConvertImageInto(PackedDib dib, const ConvertOptions &options, const ImagePlace &place)
{
    (void)options;
    const uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight);
    const uint8_t *rows = reinterpret_cast<const uint8_t *>(dib) + dib->biSize;
    const size_t stride = DibStride(width, 24), frameStride = size_t(place.frameWidth) * 2;
    uint8_t *topLeft = place.frame + place.top * frameStride + size_t(place.left) * 2;
    Rgb565RowFunction convertRow = FastestRgb565Row();
    for (uint32_t k = 0; k < height; k++)
        convertRow(rows + k * stride, width, topLeft + (height - 1 - k) * frameStride);
}

int ConvertToShp(const char *outputPath)
{
    return ConvertToShpWith(outputPath, ConvertOptions{});
}

int ConvertToShpWith(const char *outputPath, const ConvertOptions &options)
{
    const char *path = SourceListGet(g_sourceList, 0);
    if (!path)
        return 0;
    PackedDib dib = LoadReadableImage(path, 0);
    if (!dib)
        return 0;

    uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight);
    uint32_t count = uint32_t(g_sourceList->count);
    // The header keeps these in 16 bits; a larger value would contradict the data.
    if (width > kShpMaxField || height > kShpMaxField || count > kShpMaxField) {
        FreePackedDib(dib);
        PrintStatus(MSG_TOO_LARGE);
        return 0;
    }
    size_t fileSize = 0;
    uint8_t *buffer = nullptr;
    if (ShpFileSize(width, height, count, &fileSize))
        buffer = static_cast<uint8_t *>(CoreAlloc(fileSize));
    if (!buffer) {
        PrintStatus(MSG_MEMORY_ERROR);
        FreePackedDib(dib);
        return 0;
    }

    WriteShpHeaders(buffer, width, height, count);
    ConvertImageInto(dib, options, {buffer + ShpFrameOffset(width, height, count, 0), width, 0, 0});
    FreePackedDib(dib);

    for (uint32_t i = 1; i < count; i++) {
        path = SourceListGet(g_sourceList, int(i));
        if (!path) {
            CoreFree(buffer);
            return 0;
        }
        dib = LoadReadableImage(path, int(i));
        if (!dib) {
            CoreFree(buffer);
            return 0;
        }
        if (uint32_t(dib->biHeight) != height || uint32_t(dib->biWidth) != width) {
            FreePackedDib(dib);
            CoreFree(buffer);
            PrintStatus(MSG_SIZE_MISMATCH, int(i));
            return 0;
        }
        ConvertImageInto(dib, options, {buffer + ShpFrameOffset(width, height, count, i), width, 0, 0});
        FreePackedDib(dib);
    }

    char savedCopy[kStatusBufferSize] = "";
    WriteResult written = WriteFileReplacing(outputPath, buffer, fileSize, savedCopy, sizeof savedCopy);
    CoreFree(buffer);
    if (written == WRITE_CANNOT_CREATE) {
        PrintStatus(MSG_CANT_CREATE_OUTPUT);
        return 0;
    }
    if (written == WRITE_FAILED_SAVED) {
        PrintStatus(MSG_CANT_WRITE_OUTPUT_SAVED, savedCopy);
        return 0;
    }
    if (written != WRITE_OK) {
        PrintStatus(written == WRITE_FAILED_KEPT ? MSG_CANT_WRITE_OUTPUT_KEPT : MSG_CANT_WRITE_OUTPUT);
        return 0;
    }
    PrintStatus(MSG_SUCCESS);
    return 1;
}
