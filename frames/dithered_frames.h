// A list's images dithered to RGB565 and written back as frame files, whose
// colours lie on the widened RGB565 grid: converting them without dithering
// gives the bytes the dithered job writes.
#pragma once
#include "core/dither.h"
#include "core/source_list.h"
#include "frames/frame_files.h"

// "walk01.png" gives "walk01-dithered" beside it (FramesFolderBeside).
constexpr char kDitheredFolderSuffix[] = "-dithered";

// Each image of `sources` in order, dithered on its own as the job dithers
// it, into a new or empty `directory`. False after PrintStatus; a failure
// leaves no frame file behind.
bool WriteDitheredFrames(const SourceList &sources, DitherMode mode, const char *directory,
                         FrameFiles *files);
