#include "frames/canvas_frames.h"

#include <cstring>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/packed_dib.h"
#include "core/placement.h"
#include "core/status.h"
#include "frames/imaging.h"

namespace {

const char kCanvasSuffix[] = "-canvas";
const char kRootFolderName[] = "canvas";  // an image at a drive's root has no folder to be named after

// The decoded image on the black canvas: DIB rows are bottom-up, the frame
// file's top-down.
void PlaceRows(PackedDib dib, uint8_t *canvasRows, uint32_t canvasStride, uint32_t canvasHeight,
               CanvasSpot spot)
{
    const uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight);
    const uint8_t *rows = reinterpret_cast<const uint8_t *>(dib) + dib->biSize;
    const uint32_t stride = DibStride(width, 24);
    std::memset(canvasRows, 0, size_t(canvasStride) * canvasHeight);
    for (uint32_t k = 0; k < height; k++)
        std::memcpy(canvasRows + size_t(spot.top + height - 1 - k) * canvasStride + size_t(spot.left) * 3,
                    rows + size_t(k) * stride, size_t(width) * 3);
}

bool WriteEach(IWICImagingFactory *factory, const Placement &placement, int count, uint8_t *canvasRows,
               uint32_t canvasStride, FrameFiles *files)
{
    for (int i = 0; i < count; i++) {
        PackedDib dib = LoadImageFile(placement.paths[i]);
        if (!IsReadablePackedDib(dib)) {
            FreePackedDib(dib);
            PrintStatus(MSG_CANT_READ_IMAGE, placement.paths[i]);
            return false;
        }
        CanvasSpot spot = {};
        const bool fits = PlaceImage(placement, i, uint32_t(dib->biWidth), uint32_t(dib->biHeight), &spot);
        if (fits)
            PlaceRows(dib, canvasRows, canvasStride, placement.height, spot);
        FreePackedDib(dib);
        if (!fits ||
            !WriteFrameFile(files, factory, canvasRows, canvasStride, placement.width, placement.height, 24))
            return false;
    }
    return true;
}

}  // namespace

bool CanvasFolderBeside(const char *imagePath, char *folder)
{
    const char *end = nullptr, *start = imagePath;  // the image's folder's name: [start, end)
    for (const char *p = imagePath; *p; p++)
        if (*p == '\\' || *p == '/') {
            start = end ? end + 1 : imagePath;
            end = p;
        }
    if (!end)
        return false;
    const bool root = start == end || end[-1] == ':';
    const char *name = root ? kRootFolderName : start;
    const size_t nameLength = root ? sizeof kRootFolderName - 1 : size_t(end - start);
    const size_t folderLength = size_t(end - imagePath) + 1;
    const size_t suffix = root ? 0 : sizeof kCanvasSuffix - 1;
    if (folderLength + nameLength + suffix + 1 > MAX_PATH)
        return false;
    std::memcpy(folder, imagePath, folderLength);
    std::memcpy(folder + folderLength, name, nameLength);
    std::memcpy(folder + folderLength + nameLength, kCanvasSuffix, suffix);
    folder[folderLength + nameLength + suffix] = '\0';
    return true;
}

bool WriteCanvasFrames(const char *const *paths, int count, const CanvasChoice &canvas, const char *directory,
                       FolderRule rule, FrameFiles *files)
{
    *files = FrameFiles{};
    ImagingSession imaging;
    IWICImagingFactory *factory = imaging.Factory();
    Placement placement = {};
    if (!factory || !PlanPlacement(canvas, paths, count, &placement))
        return false;
    const uint32_t stride = DibStride(placement.width, 24);
    const uint64_t bytes = uint64_t(stride) * placement.height;
    uint8_t *canvasRows =
        stride && bytes <= SIZE_MAX ? static_cast<uint8_t *>(CoreAlloc(size_t(bytes))) : nullptr;
    bool ok = canvasRows != nullptr;
    if (!ok)
        PrintStatus(MSG_MEMORY_ERROR);
    if (ok)
        ok = BeginFrameFiles(files, directory, uint32_t(count), rule);
    if (ok) {
        ok = WriteEach(factory, placement, count, canvasRows, stride, files);
        EndFrameFiles(files);  // takes back what was written unless every frame was
    }
    CoreFree(canvasRows);
    ReleasePlacement(&placement);
    return ok;
}
