// The preview's frames, made when first shown and kept (see ui/preview_frames.h).
#include "ui/preview_frames.h"

#include "core/core_alloc.h"
#include "core/packed_dib.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "frames/shp_file.h"
#include "frames/split.h"

namespace {

// 200 frames of 256 x 256 take 50 MB; frames beyond this are made again
// each time they are shown.
constexpr size_t kCacheLimitBytes = size_t(64) << 20;

// Each RGB565 value widened back to 8 bits a channel, as 0x00RRGGBB.
uint32_t *WidenFrame(const uint8_t *frame, size_t count)
{
    uint32_t *pixels = static_cast<uint32_t *>(CoreAlloc(count * 4));
    for (size_t i = 0; pixels && i < count; i++) {
        Rgb888 c = Rgb565ToRgb888(uint16_t(frame[2 * i] | frame[2 * i + 1] << 8));
        pixels[i] = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    }
    return pixels;
}

// Room for a frame of width × height and its widened copy; null when the
// count does not fit.
uint8_t *AllocFrameBytes(uint32_t width, uint32_t height)
{
    uint64_t count = uint64_t(width) * height;
    return count <= SIZE_MAX / 4 ? static_cast<uint8_t *>(CoreAlloc(size_t(count) * 2)) : nullptr;
}

// Decoded as the job decodes: a block the job could not read is unreadable here too.
PreviewFrame DecodeRow(const char *path, DitherMode view)
{
    PreviewFrame frame = {FRAME_UNREADABLE, 0, 0, nullptr, 0};
    PackedDib dib = path ? LoadImageFile(path) : nullptr;
    if (IsReadablePackedDib(dib)) {
        frame.width = uint32_t(dib->biWidth);
        frame.height = uint32_t(dib->biHeight);
        uint8_t *bytes = AllocFrameBytes(frame.width, frame.height);
        if (bytes) {
            DitherRows(view, reinterpret_cast<uint8_t *>(dib) + dib->biSize, DibStride(frame.width, 24),
                       frame.width, frame.height, bytes, size_t(2) * frame.width, 0, 0);
            frame.pixels = WidenFrame(bytes, size_t(frame.width) * frame.height);
        }
        CoreFree(bytes);
        frame.state = frame.pixels ? FRAME_SHOWN : FRAME_NO_MEMORY;
        frame.gifFrames = GifFrameCount(path);
    }
    FreePackedDib(dib);
    return frame;
}

// Read from the file as it is shown: the file is never read whole.
PreviewFrame ReadFileFrame(const ShpFile &file, uint32_t i)
{
    const ShpLayout &layout = file.layout;
    PreviewFrame frame = {FRAME_NO_MEMORY, layout.width, layout.height, nullptr, 0};
    uint8_t *bytes = AllocFrameBytes(layout.width, layout.height);
    if (bytes && !ReadShpFrame(file, i, bytes))
        frame.state = FRAME_UNREADABLE;
    else if (bytes)
        frame.pixels = WidenFrame(bytes, size_t(layout.width) * layout.height);
    if (frame.pixels)
        frame.state = FRAME_SHOWN;
    CoreFree(bytes);
    return frame;
}

void ReleaseFrame(PreviewFrame *frame)
{
    CoreFree(frame->pixels);
    *frame = PreviewFrame{FRAME_NOT_DECODED, 0, 0, nullptr, 0};
}

}  // namespace

const PreviewFrame *PreviewFrameOf(PreviewFrames *frames, int i)
{
    PreviewFrame *cached = frames->cache ? &frames->cache[i] : nullptr;
    if (cached && cached->state != FRAME_NOT_DECODED)
        return cached;
    PreviewFrame frame = frames->file ? ReadFileFrame(*frames->file, uint32_t(i))
                                      : DecodeRow(SourceListGet(g_sourceList, i), frames->view);
    size_t bytes = frame.pixels ? size_t(frame.width) * frame.height * 4 : 0;
    // A frame that ran out of memory is tried again when shown again.
    if (cached && frame.state != FRAME_NO_MEMORY && bytes <= kCacheLimitBytes - frames->cachedBytes) {
        frames->cachedBytes += bytes;
        *cached = frame;
        return cached;
    }
    ReleaseFrame(&frames->uncached);
    frames->uncached = frame;
    return &frames->uncached;
}

void ReleasePreviewFrames(PreviewFrames *frames)
{
    for (int i = 0; frames->cache && i < frames->count; i++)
        ReleaseFrame(&frames->cache[i]);
    CoreFree(frames->cache);
    frames->cache = nullptr;
    frames->cachedBytes = 0;
    ReleaseFrame(&frames->uncached);
}

void StartPreviewFrames(PreviewFrames *frames, int count)
{
    ReleasePreviewFrames(frames);
    frames->count = count;
    // Without a cache every frame is made each time it is shown.
    frames->cache = static_cast<PreviewFrame *>(CoreAlloc(sizeof(PreviewFrame) * size_t(count)));
    for (int i = 0; frames->cache && i < count; i++)
        frames->cache[i] = PreviewFrame{FRAME_NOT_DECODED, 0, 0, nullptr, 0};
}
