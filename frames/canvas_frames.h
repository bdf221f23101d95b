// Frames of different sizes written out on one canvas, so that the frame
// files convert as the job converts the images with the same canvas.
#pragma once
#include "core/canvas.h"
#include "frames/frame_files.h"

// "C:\art\walk\f01.png" gives "C:\art\walk\walk-canvas": beside the image,
// named after its folder. False when the name does not fit in MAX_PATH bytes.
bool CanvasFolderBeside(const char *imagePath, char *folder);

// Each of the `count` images, decoded as the job decodes it, placed as the
// job places it on a canvas of canvas.width x canvas.height (at the anchor,
// or at the offsets their files record), black around, as frame files in
// `directory`, in order. All or nothing: an unreadable image or one that
// does not fit leaves no file behind. False after PrintStatus.
bool WriteCanvasFrames(const char *const *paths, int count, const CanvasChoice &canvas, const char *directory,
                       FolderRule rule, FrameFiles *files);
