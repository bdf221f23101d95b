#include "core/convert.h"

#include <cstring>

#include "core/background.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/output_file.h"
#include "core/packed_dib.h"
#include "core/placement.h"
#include "core/rgb565_rows.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"

ConvertProgressFunction g_convertProgress = nullptr;
ImageLoaderFunction g_imageLoader = LoadImageFile;
ReadyImageFunction g_readyImage = nullptr;
SizeRefusal g_sizeRefusal = {-1, 0, 0, 0, 0};

static void RefuseSize(const SizeRefusal &refusal)
{
    g_sizeRefusal = refusal;
    PrintStatus(MSG_SIZE_MISMATCH, refusal.index);
}

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
    const uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight);
    uint8_t *rows = reinterpret_cast<uint8_t *>(dib) + dib->biSize;
    const size_t stride = DibStride(width, 24), frameStride = size_t(place.frameWidth) * 2;
    uint8_t *topLeft = place.frame + place.top * frameStride + size_t(place.left) * 2;
    if (options.dither != DITHER_NONE) {
        // (left, top) ties the ordered pattern to the frame's pixels, where the image is placed.
        DitherRows(options.dither, rows, stride, width, height, topLeft, frameStride, place.left, place.top);
        return;
    }
    Rgb565RowFunction convertRow = FastestRgb565Row();
    for (uint32_t k = 0; k < height; k++)
        convertRow(rows + k * stride, width, topLeft + (height - 1 - k) * frameStride);
}

// Diffusion costs a fifth of a fast decode and more, each pixel waiting for
// the one before it: it makes an image's frame on a thread of its own while
// the next image is decoded on this one (filters never leave this thread).
// Two decoded images are held then, the one being made into its frame and
// the next.
class FrameConversion {
  public:
    explicit FrameConversion(const ConvertOptions &options) : options_(options) {}
    ~FrameConversion() { Finish(); }
    FrameConversion(const FrameConversion &) = delete;
    FrameConversion &operator=(const FrameConversion &) = delete;

    // Makes the image's frame at `place`, then frees the image: now, or
    // beside the next decode.
    void Start(PackedDib dib, const ImagePlace &place)
    {
        Finish();
        dib_ = dib;
        place_ = place;
        if (options_.dither != DITHER_DIFFUSION || !StartBackground(&task_, Run, this))
            Run(this);
    }
    // Waits for the frame being made, if any: before its buffer goes.
    void Finish() { WaitBackground(&task_); }

  private:
    static void Run(void *self)
    {
        auto *conversion = static_cast<FrameConversion *>(self);
        ConvertImageInto(conversion->dib_, conversion->options_, conversion->place_);
        FreePackedDib(conversion->dib_);
    }
    const ConvertOptions &options_;
    PackedDib dib_ = nullptr;
    ImagePlace place_ = {};
    BackgroundTask task_ = {};
};

// The whole file's buffer with its headers written, or null after the
// message. The header keeps width, height and count in 16 bits: a larger
// value would contradict the data.
static uint8_t *AllocShpFile(uint32_t width, uint32_t height, uint32_t count, size_t *fileSize)
{
    if (width > kShpMaxField || height > kShpMaxField || count > kShpMaxField) {
        PrintStatus(MSG_TOO_LARGE);
        return nullptr;
    }
    uint8_t *buffer =
        ShpFileSize(width, height, count, fileSize) ? static_cast<uint8_t *>(CoreAlloc(*fileSize)) : nullptr;
    if (buffer)
        WriteShpHeaders(buffer, width, height, count);
    else
        PrintStatus(MSG_MEMORY_ERROR);
    return buffer;
}

// The images after the first as g_readyImage hands them over, each placed as
// it comes. What fails is told as in list order: the job ends at the first
// image in the list that cannot be read or has another size, once every
// image before it is in. False after the message.
static bool ConvertAsReady(FrameConversion &conversion, uint8_t *buffer, uint32_t width, uint32_t height,
                           uint32_t count)
{
    uint8_t *arrived = static_cast<uint8_t *>(CoreAlloc(count));
    if (!arrived) {
        PrintStatus(MSG_MEMORY_ERROR);
        return false;
    }
    std::memset(arrived, 0, count);
    uint32_t limit = count, missing = count - 1, done = 1;
    bool unreadable = false;                 // the image at `limit` could not be read (else: another size)
    SizeRefusal refused = {-1, 0, 0, 0, 0};  // the image at `limit`, when of another size
    while (missing > 0) {
        if (g_convertProgress)
            g_convertProgress(int(done), int(count));
        int index = -1;
        PackedDib dib = g_readyImage(int(limit), &index);
        uint32_t i = uint32_t(index);
        if (index < 1 || i >= limit || arrived[i]) {
            // Not one asked for: the first image still missing is taken for unreadable.
            FreePackedDib(dib);
            dib = nullptr;
            for (i = 1; arrived[i]; i++) {
            }
        }
        arrived[i] = 1;
        missing--;
        done++;
        const bool readable = dib && IsReadablePackedDib(dib);
        if (readable && uint32_t(dib->biHeight) == height && uint32_t(dib->biWidth) == width) {
            conversion.Start(dib, {buffer + ShpFrameOffset(width, height, count, i), width, 0, 0});
            continue;
        }
        if (readable)
            refused = {int(i), uint32_t(dib->biWidth), uint32_t(dib->biHeight), width, height};
        FreePackedDib(dib);
        // The job now ends here: what is still to come after it is not waited for.
        for (uint32_t j = i + 1; j < limit; j++)
            missing -= arrived[j] ? 0 : 1;
        limit = i;
        unreadable = !readable;
    }
    conversion.Finish();
    CoreFree(arrived);
    if (limit == count)
        return true;
    if (unreadable)
        PrintStatus(MSG_CANT_READ_IMAGE, SourceListGet(g_sourceList, int(limit)));
    else
        RefuseSize(refused);
    return false;
}

// Every image of the first one's size. Null after the message, or for an
// empty list.
static uint8_t *ConvertSameSize(const ConvertOptions &options, size_t *fileSize)
{
    const char *path = SourceListGet(g_sourceList, 0);
    if (!path)
        return nullptr;
    PackedDib dib = LoadReadableImage(path, 0);
    if (!dib)
        return nullptr;

    uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight);
    uint32_t count = uint32_t(g_sourceList->count);
    uint8_t *buffer = AllocShpFile(width, height, count, fileSize);
    if (!buffer) {
        FreePackedDib(dib);
        return nullptr;
    }
    FrameConversion conversion(options);
    conversion.Start(dib, {buffer + ShpFrameOffset(width, height, count, 0), width, 0, 0});
    if (g_readyImage && count > 1) {
        if (ConvertAsReady(conversion, buffer, width, height, count))
            return buffer;
        conversion.Finish();  // the first frame may still be in the making
        CoreFree(buffer);
        return nullptr;
    }

    for (uint32_t i = 1; i < count; i++) {
        path = SourceListGet(g_sourceList, int(i));
        dib = path ? LoadReadableImage(path, int(i)) : nullptr;
        const bool sameSize = dib && uint32_t(dib->biHeight) == height && uint32_t(dib->biWidth) == width;
        if (!sameSize) {
            conversion.Finish();
            CoreFree(buffer);
            if (dib) {
                RefuseSize({int(i), uint32_t(dib->biWidth), uint32_t(dib->biHeight), width, height});
                FreePackedDib(dib);
            }
            return nullptr;
        }
        conversion.Start(dib, {buffer + ShpFrameOffset(width, height, count, i), width, 0, 0});
    }
    conversion.Finish();
    return buffer;
}

// Image `index` of the list, of a size the header can hold; null after the
// message.
static PackedDib LoadCanvasImage(int index)
{
    const char *path = SourceListGet(g_sourceList, index);
    PackedDib dib = path ? LoadReadableImage(path, index) : nullptr;
    if (dib && (uint32_t(dib->biWidth) > kShpMaxField || uint32_t(dib->biHeight) > kShpMaxField)) {
        FreePackedDib(dib);
        PrintStatus(MSG_TOO_LARGE);
        return nullptr;
    }
    return dib;
}

// Black on the canvas frame wherever the image placed at `spot` is not.
static void BlackAround(uint8_t *frame, uint32_t canvasWidth, uint32_t canvasHeight, uint32_t width,
                        uint32_t height, CanvasSpot spot)
{
    const size_t stride = size_t(canvasWidth) * 2;
    std::memset(frame, 0, spot.top * stride);
    for (uint32_t y = spot.top; y < spot.top + height; y++) {
        std::memset(frame + y * stride, 0, size_t(spot.left) * 2);
        std::memset(frame + y * stride + (size_t(spot.left) + width) * 2, 0,
                    size_t(canvasWidth - spot.left - width) * 2);
    }
    std::memset(frame + (spot.top + height) * stride, 0, (canvasHeight - spot.top - height) * stride);
}

// A canvas known in advance: each image goes straight to its place.
static uint8_t *ConvertOnFixedCanvas(const ConvertOptions &options, const Placement &placement,
                                     size_t *fileSize)
{
    const uint32_t width = placement.width, height = placement.height;
    const uint32_t count = uint32_t(g_sourceList->count);
    uint8_t *buffer = AllocShpFile(width, height, count, fileSize);
    if (!buffer)
        return nullptr;
    FrameConversion conversion(options);
    for (uint32_t i = 0; i < count; i++) {
        PackedDib dib = LoadCanvasImage(int(i));
        CanvasSpot spot = {};
        if (!dib || !PlaceImage(placement, int(i), uint32_t(dib->biWidth), uint32_t(dib->biHeight), &spot)) {
            FreePackedDib(dib);
            conversion.Finish();
            CoreFree(buffer);
            return nullptr;
        }
        uint8_t *frame = buffer + ShpFrameOffset(width, height, count, i);
        BlackAround(frame, width, height, uint32_t(dib->biWidth), uint32_t(dib->biHeight), spot);
        conversion.Start(dib, {frame, width, spot.left, spot.top});
    }
    conversion.Finish();
    return buffer;
}

// Where an image's own size waits in the compact stage: its frame record's
// width and height fields, rewritten once the canvas is known.
static void KeepImageSize(uint8_t *buffer, uint32_t index, uint32_t width, uint32_t height)
{
    uint8_t *record = buffer + kShpFileHeaderSize + kShpFrameHeaderSize * index;
    const uint8_t size[4] = {uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8)};
    std::memcpy(record + 4, size, sizeof size);
}

static void KeptImageSize(const uint8_t *buffer, uint32_t index, uint32_t *width, uint32_t *height)
{
    const uint8_t *record = buffer + kShpFileHeaderSize + kShpFrameHeaderSize * index;
    *width = uint32_t(record[4] | record[5] << 8);
    *height = uint32_t(record[6] | record[7] << 8);
}

// Moves the compact frames to their canvas places, last first. Frame i's
// compact pixels start at or before its canvas frame (each earlier image is
// at most a canvas in size), and within a frame each row's new place starts
// at or after its old one, so moving rows from the bottom up never
// overwrites pixels still to be moved.
static void SpreadFrames(uint8_t *buffer, size_t compactEnd, uint32_t width, uint32_t height, uint32_t count,
                         CanvasAnchor anchor)
{
    size_t compact = compactEnd;
    for (uint32_t i = count; i-- > 0;) {
        uint32_t w = 0, h = 0;
        KeptImageSize(buffer, i, &w, &h);
        compact -= size_t(w) * h * 2;
        const CanvasSpot spot = PlaceOnCanvas(width, height, w, h, anchor);
        uint8_t *frame = buffer + ShpFrameOffset(width, height, count, i);
        for (uint32_t y = h; y-- > 0;)
            std::memmove(frame + ((size_t(spot.top) + y) * width + spot.left) * 2,
                         buffer + compact + size_t(y) * w * 2, size_t(w) * 2);
        BlackAround(frame, width, height, w, h, spot);
    }
}

// Writes the finished file.
static int WriteOutput(const char *outputPath, const uint8_t *buffer, size_t fileSize)
{
    char savedCopy[kStatusBufferSize] = "";
    WriteResult written = WriteFileReplacing(outputPath, buffer, fileSize, savedCopy, sizeof savedCopy);
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

// Every image in list order, each decoded once and handed to `keep` (false
// after the message) once the canvas has grown to take it in.
template <typename Keep>
static bool ReadEveryImage(uint32_t count, uint32_t *width, uint32_t *height, Keep keep)
{
    if (count > kShpMaxField) {
        PrintStatus(MSG_TOO_LARGE);
        return false;
    }
    for (uint32_t i = 0; i < count; i++) {
        PackedDib dib = LoadCanvasImage(int(i));
        if (!dib)
            return false;
        GrowCanvas(width, height, uint32_t(dib->biWidth), uint32_t(dib->biHeight));
        const bool kept = keep(i, dib);
        FreePackedDib(dib);
        if (!kept)
            return false;
    }
    return true;
}

// The automatic canvas is known only after the last image, and each image
// is decoded once. Memory stays what the job needs anyway, the file plus one
// decoded image: the frames are kept compactly, each at its own size, in a
// block the size of a file on the canvas seen so far (never more than the
// final file), which grows in place as the canvas does; then they are
// spread to their places within it.
static int ConvertOnGrowingCanvas(const char *outputPath, const ConvertOptions &options)
{
    const uint32_t count = uint32_t(g_sourceList->count);
    uint32_t width = 0, height = 0;
    size_t used = kShpFileHeaderSize + size_t(kShpFrameHeaderSize) * count;
    GrowingBlock block = {};
    const bool read = ReadEveryImage(count, &width, &height, [&](uint32_t i, PackedDib dib) {
        const uint32_t w = uint32_t(dib->biWidth), h = uint32_t(dib->biHeight);
        size_t needed = 0;
        if (!ShpFileSize(width, height, count, &needed) ||
            (needed > block.size && !GrowBlock(&block, needed))) {
            PrintStatus(MSG_MEMORY_ERROR);
            return false;
        }
        KeepImageSize(block.data, i, w, h);
        // Diffusion does not depend on where the image goes; ordered dithering waits (below).
        ConvertImageInto(dib, options, {block.data + used, w, 0, 0});
        used += size_t(w) * h * 2;
        return true;
    });
    int written = 0;
    if (read) {
        SpreadFrames(block.data, used, width, height, count, options.canvas.anchor);
        WriteShpHeaders(block.data, width, height, count);
        written = WriteOutput(outputPath, block.data, block.size);
    }
    ReleaseBlock(&block);
    return written;
}

// A whole DIB, rounded up so that the next one kept after it is aligned.
static size_t KeptDibBytes(PackedDib dib)
{
    return (dib->biSize + size_t(DibStride(uint32_t(dib->biWidth), 24)) * uint32_t(dib->biHeight) + 3) &
           ~size_t(3);
}

// Ordered dithering ties its pattern to the canvas, so an image's frame can
// only be made once its place is known, after the last image: the decoded
// images wait as they came (about one and a half times the frames in memory,
// besides the file), each still decoded once.
static int ConvertOrderedOnGrowingCanvas(const char *outputPath, const ConvertOptions &options)
{
    const uint32_t count = uint32_t(g_sourceList->count);
    uint32_t width = 0, height = 0;
    size_t used = 0;
    GrowingBlock images = {};
    const bool read = ReadEveryImage(count, &width, &height, [&](uint32_t, PackedDib dib) {
        const size_t bytes = KeptDibBytes(dib);
        if (used + bytes < used || !GrowBlock(&images, used + bytes)) {
            PrintStatus(MSG_MEMORY_ERROR);
            return false;
        }
        std::memcpy(images.data + used, dib,
                    dib->biSize + size_t(DibStride(uint32_t(dib->biWidth), 24)) * uint32_t(dib->biHeight));
        used += bytes;
        return true;
    });
    if (!read) {
        ReleaseBlock(&images);
        return 0;
    }
    size_t fileSize = 0;
    uint8_t *buffer = AllocShpFile(width, height, count, &fileSize);
    if (buffer) {
        for (size_t at = 0, i = 0; i < count; i++) {
            PackedDib dib = reinterpret_cast<PackedDib>(images.data + at);
            const uint32_t w = uint32_t(dib->biWidth), h = uint32_t(dib->biHeight);
            const CanvasSpot spot = PlaceOnCanvas(width, height, w, h, options.canvas.anchor);
            uint8_t *frame = buffer + ShpFrameOffset(width, height, count, uint32_t(i));
            BlackAround(frame, width, height, w, h, spot);
            ConvertImageInto(dib, options, {frame, width, spot.left, spot.top});
            at += KeptDibBytes(dib);
        }
    }
    ReleaseBlock(&images);
    if (!buffer)
        return 0;
    const int written = WriteOutput(outputPath, buffer, fileSize);
    CoreFree(buffer);
    return written;
}

int ConvertToShp(const char *outputPath)
{
    return ConvertToShpWith(outputPath, ConvertOptions{});
}

int ConvertToShpWith(const char *outputPath, const ConvertOptions &options)
{
    g_sizeRefusal.index = -1;
    if (!SourceListGet(g_sourceList, 0))
        return 0;
    if (!options.canvas.enabled) {
        size_t fileSize = 0;
        uint8_t *buffer = ConvertSameSize(options, &fileSize);
        const int written = buffer ? WriteOutput(outputPath, buffer, fileSize) : 0;
        CoreFree(buffer);
        return written;
    }
    Placement placement = {};
    if (!PlanPlacement(options.canvas, g_sourceList->items, g_sourceList->count, &placement))
        return 0;
    int written = 0;
    if (placement.width == 0 && placement.height == 0) {
        written = options.dither == DITHER_ORDERED ? ConvertOrderedOnGrowingCanvas(outputPath, options)
                                                   : ConvertOnGrowingCanvas(outputPath, options);
    } else {
        size_t fileSize = 0;
        uint8_t *buffer = ConvertOnFixedCanvas(options, placement, &fileSize);
        written = buffer ? WriteOutput(outputPath, buffer, fileSize) : 0;
        CoreFree(buffer);
    }
    ReleasePlacement(&placement);
    return written;
}
