#include "frames/dithered_frames.h"

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/packed_dib.h"
#include "core/shp16_read.h"
#include "core/status.h"
#include "frames/imaging.h"

namespace {

bool WriteDitheredFrame(FrameFiles *files, IWICImagingFactory *factory, const char *path, DitherMode mode)
{
    PackedDib dib = LoadImageFile(path);
    if (!IsReadablePackedDib(dib)) {
        FreePackedDib(dib);
        PrintStatus(MSG_CANT_READ_IMAGE, path);
        return false;
    }
    const uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight),
                   stride = DibStride(width, 24);
    uint8_t *rows = reinterpret_cast<uint8_t *>(dib) + dib->biSize;
    // Fewer bytes than the image's rows, which are in memory already.
    uint8_t *frame = static_cast<uint8_t *>(CoreAlloc(size_t(2) * width * height));
    bool ok = frame != nullptr;
    if (!ok) {
        PrintStatus(MSG_MEMORY_ERROR);
    } else {
        DitherRows(mode, rows, stride, width, height, frame, size_t(2) * width, 0, 0);
        // The image's rows are spent: they take the frame's widened colours, top row first.
        ConvertFrameToBgr(frame, width, height, rows, stride);
        ok = WriteFrameFile(files, factory, rows, stride, width, height, 24);
    }
    CoreFree(frame);
    FreePackedDib(dib);
    return ok;
}

}  // namespace

bool WriteDitheredFrames(const SourceList &sources, DitherMode mode, const char *directory, FrameFiles *files)
{
    if (!BeginFrameFiles(files, directory, uint32_t(sources.count), FOLDER_NEW_OR_EMPTY))
        return false;
    ImagingSession imaging;
    IWICImagingFactory *factory = imaging.Factory();
    bool ok = factory != nullptr;
    for (int i = 0; ok && i < sources.count; i++)
        ok = WriteDitheredFrame(files, factory, SourceListGet(&sources, i), mode);
    EndFrameFiles(files);
    return ok;
}
