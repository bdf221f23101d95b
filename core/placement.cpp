#include "core/placement.h"

#include "core/core_alloc.h"
#include "core/file_head.h"
#include "core/messages.h"
#include "core/shp16.h"
#include "core/source_list.h"
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

// The canvas the offsets ask for, as it grows image by image.
struct OffsetCanvas {
    uint64_t right, bottom;  // the smallest from (0, 0) holding every image placed
    bool samePage = true;    // every image names one page, and the same
    uint32_t pageWidth, pageHeight;

    void Take(const PngOffsets &o, bool first)
    {
        right = o.x + uint64_t(o.width) > right ? o.x + uint64_t(o.width) : right;
        bottom = o.y + uint64_t(o.height) > bottom ? o.y + uint64_t(o.height) : bottom;
        const bool page = o.hasPage && o.pageWidth > 0 && o.pageHeight > 0;
        if (first) {
            pageWidth = o.pageWidth;
            pageHeight = o.pageHeight;
        }
        samePage = samePage && page && o.pageWidth == pageWidth && o.pageHeight == pageHeight;
    }
};

// One past the most the header holds: the file's allocation says so.
uint32_t Side(uint64_t side)
{
    return side > kShpMaxField ? kShpMaxField + 1 : uint32_t(side);
}

}  // namespace

bool PlanPlacement(const CanvasChoice &canvas, Placement *placement)
{
    *placement = Placement{canvas.width, canvas.height, canvas.anchor, nullptr};
    if (!canvas.fromFiles)
        return true;
    const int count = g_sourceList->count;
    CanvasSpot *spots = static_cast<CanvasSpot *>(CoreAlloc(sizeof(CanvasSpot) * size_t(count)));
    if (!spots) {
        PrintStatus(MSG_MEMORY_ERROR);
        return false;
    }
    OffsetCanvas needed = {};
    int firstWith = -1, firstWithout = -1;
    for (int i = 0; i < count; i++) {
        const char *path = SourceListGet(g_sourceList, i);
        const PngOffsets o = g_imageOffsets(path);
        if (o.hasOffset && (o.x < 0 || o.y < 0)) {
            PrintStatus(MSG_NEGATIVE_OFFSET, path, int(o.x), int(o.y));
            CoreFree(spots);
            return false;
        }
        if (o.hasOffset) {
            needed.Take(o, firstWith < 0);
            firstWith = firstWith < 0 ? i : firstWith;
            spots[i] = CanvasSpot{uint32_t(o.x), uint32_t(o.y)};
        } else {
            firstWithout = firstWithout < 0 ? i : firstWithout;
        }
        if (firstWith >= 0 && firstWithout >= 0) {
            PrintStatus(MSG_NO_OFFSET, SourceListGet(g_sourceList, firstWithout),
                        SourceListGet(g_sourceList, firstWith));
            CoreFree(spots);
            return false;
        }
    }
    if (firstWith < 0) {  // no image records one: the anchor places them, as without the files
        CoreFree(spots);
        return true;
    }
    placement->spots = spots;
    if (canvas.width == 0 && canvas.height == 0) {
        placement->width = needed.samePage ? needed.pageWidth : Side(needed.right);
        placement->height = needed.samePage ? needed.pageHeight : Side(needed.bottom);
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
    const char *path = SourceListGet(g_sourceList, index);
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
