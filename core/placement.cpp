#include "core/placement.h"


#include "core/core_alloc.h"
#include "core/file_head.h"
#include "core/messages.h"
#include "core/shp16.h"
#include "core/status.h"

ImageOffsetsFunction g_imageOffsets = ReadImageOffsets;

PngOffsets ReadImageOffsets(const char *path)
{
    PngOffsets offsets = {};
    uint8_t *head = static_cast<uint8_t *>(CoreAlloc(kPngOffsetsHeadSize));
    size_t size = 0;
    // A file that cannot be read records nothing; its decode will say why.
    if (head && ReadFileHead(path, head, kPngOffsetsHeadSize, &size))
        offsets = ReadPngOffsets(head, size);
    CoreFree(head);
    return offsets;
}

namespace {

// One past the most the header holds: the file's allocation says so.
uint32_t Side(uint64_t side)
{
    return side > kShpMaxField ? kShpMaxField + 1 : uint32_t(side);
}

}  // namespace

bool ReadRecordedOffsets(const char *const *paths, int count, RecordedOffsets *offsets)
{
    *offsets = RecordedOffsets{-1, -1, -1, {}, 0, 0, nullptr};
    CanvasSpot *spots =
        static_cast<CanvasSpot *>(CoreAlloc(sizeof(CanvasSpot) * size_t(count > 0 ? count : 1)));
    if (!spots)
        return false;
    uint64_t right = 0, bottom = 0;  // the smallest canvas from (0, 0) holding every image placed
    bool samePage = true;            // every image names one page, and the same
    for (int i = 0; i < count && offsets->negative < 0; i++) {
        const PngOffsets o = g_imageOffsets(paths[i]);
        if (!o.hasOffset) {
            offsets->firstWithout = offsets->firstWithout < 0 ? i : offsets->firstWithout;
            continue;
        }
        if (o.x < 0 || o.y < 0) {
            offsets->negative = i;
            offsets->negativeOffsets = o;
            break;
        }
        const bool page = o.hasPage && o.pageWidth > 0 && o.pageHeight > 0;
        if (offsets->firstWith < 0) {
            offsets->firstWith = i;
            offsets->width = o.pageWidth;
            offsets->height = o.pageHeight;
        }
        samePage = samePage && page && o.pageWidth == offsets->width && o.pageHeight == offsets->height;
        right = o.x + uint64_t(o.width) > right ? o.x + uint64_t(o.width) : right;
        bottom = o.y + uint64_t(o.height) > bottom ? o.y + uint64_t(o.height) : bottom;
        spots[i] = CanvasSpot{uint32_t(o.x), uint32_t(o.y)};
    }
    if (!samePage) {
        offsets->width = Side(right);
        offsets->height = Side(bottom);
    }
    if (offsets->firstWith >= 0 && offsets->firstWithout < 0 && offsets->negative < 0)
        offsets->spots = spots;
    else
        CoreFree(spots);
    return true;
}

void ReleaseRecordedOffsets(RecordedOffsets *offsets)
{
    CoreFree(offsets->spots);
    offsets->spots = nullptr;
}

bool PlanPlacement(const CanvasChoice &canvas, const char *const *paths, int count, Placement *placement)
{
    *placement = Placement{paths, canvas.width, canvas.height, canvas.anchor, nullptr};
    if (!canvas.fromFiles)
        return true;
    RecordedOffsets offsets;
    if (!ReadRecordedOffsets(paths, count, &offsets)) {
        PrintStatus(MSG_MEMORY_ERROR);
        return false;
    }
    const PngOffsets &o = offsets.negativeOffsets;
    // Told in list order: what the first image in the list that cannot go back shows.
    // The offsets are read up to the first negative one, so images of both kinds
    // found by then come before it.
    if (offsets.firstWith >= 0 && offsets.firstWithout >= 0) {
        PrintStatus(MSG_NO_OFFSET, paths[offsets.firstWithout], paths[offsets.firstWith]);
        return false;
    }
    if (offsets.negative >= 0) {
        PrintStatus(MSG_NEGATIVE_OFFSET, paths[offsets.negative], int(o.x), int(o.y));
        return false;
    }
    placement->spots = offsets.spots;  // null when no image records one: the anchor places them
    if (placement->spots && canvas.width == 0 && canvas.height == 0) {
        placement->width = offsets.width;
        placement->height = offsets.height;
    }
    return true;
}

void ReleasePlacement(Placement *placement)
{
    CoreFree(placement->spots);
    placement->spots = nullptr;
}

bool PlaceImage(const Placement &placement, int index, uint32_t width, uint32_t height, CanvasSpot *spot)
{
    const char *path = placement.paths[index];
    if (!placement.spots) {
        if (!FitsOnCanvas(placement.width, placement.height, width, height)) {
            PrintStatus(MSG_LARGER_THAN_CANVAS, path, width, height, placement.width, placement.height);
            return false;
        }
        *spot = PlaceOnCanvas(placement.width, placement.height, width, height, placement.anchor);
        return true;
    }
    *spot = placement.spots[index];
    if (uint64_t(spot->left) + width > placement.width || uint64_t(spot->top) + height > placement.height) {
        PrintStatus(MSG_PAST_CANVAS, path, width, height, spot->left, spot->top, placement.width,
                    placement.height);
        return false;
    }
    return true;
}
