// Where the job puts each image on a canvas: at the anchor, or, for trimmed
// exports, at the offset its file records, so that each goes back where it
// was. Decided once for the whole list, from the files' heads, before any
// image is decoded.
#pragma once
#include <cstdint>

#include "core/canvas.h"
#include "core/png_offsets.h"

struct Placement {
    const char *const *paths;  // the images, for messages
    uint32_t width, height;    // the canvas; 0 x 0: grown to the images (by the anchor only)
    CanvasAnchor anchor;
    CanvasSpot *spots;  // null: by the anchor; else where image i goes
};

// What the file of an image records, read from the file itself; a test seam.
typedef PngOffsets (*ImageOffsetsFunction)(const char *path);
extern ImageOffsetsFunction g_imageOffsets;
PngOffsets ReadImageOffsets(const char *path);

// What the files of a list of images record, looked at without a word.
struct RecordedOffsets {
    int firstWith, firstWithout;  // -1: none
    int negative;                 // the first image left of or above its page; -1: none
    PngOffsets negativeOffsets;
    uint32_t width, height;  // the page they agree on, else the smallest canvas holding them
    CanvasSpot *spots;       // when every image records one: where each goes (CoreAlloc'd)
};
// False only when memory runs out.
bool ReadRecordedOffsets(const char *const *paths, int count, RecordedOffsets *offsets);
void ReleaseRecordedOffsets(RecordedOffsets *offsets);

// How the `count` images at `paths` go on the canvas chosen (enabled). By
// the offsets when the choice leaves it to the files and every image records
// one: on the page they name when they agree, else on the smallest canvas
// from (0, 0) holding them all, unless the choice names the canvas. False
// after the message: some images record an offset and others not, or one
// lies left of or above its page.
bool PlanPlacement(const CanvasChoice &canvas, const char *const *paths, int count, Placement *placement);
void ReleasePlacement(Placement *placement);

// Where image `index`, of width x height pixels, goes; false after the
// message when it would reach past the canvas (nothing is ever cut).
bool PlaceImage(const Placement &placement, int index, uint32_t width, uint32_t height, CanvasSpot *spot);
