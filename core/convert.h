// The conversion job: every path of g_sourceList, in order, becomes one frame
// of a single SHP16 file, built in memory and written only when complete.
#pragma once

#include "core/canvas.h"
#include "core/dither.h"
#include "core/packed_dib.h"

// How images become frames. Zero-initialised: the exact rule, every image of
// the first one's size.
struct ConvertOptions {
    CanvasChoice canvas;
    DitherMode dither;
};

// 1 when the file was written, 0 otherwise; reports through PrintStatus.
int ConvertToShp(const char *outputPath);
int ConvertToShpWith(const char *outputPath, const ConvertOptions &options);

// The image the last job refused for another size than the first one's, for
// a program that says more than the status line can: index -1 when none.
struct SizeRefusal {
    int index;
    uint32_t width, height, firstWidth, firstHeight;
};
extern SizeRefusal g_sizeRefusal;

// Called before image `index` (0-based) of `count` is loaded, so that a
// program can show how far a long job has come. Null: nobody is told.
typedef void (*ConvertProgressFunction)(int index, int count);
extern ConvertProgressFunction g_convertProgress;

// Where the job gets each image, in list order. LoadImageFile unless a
// program hands the decoding to other processes (kestrane-cli's workers).
typedef PackedDib (*ImageLoaderFunction)(const char *path);
extern ImageLoaderFunction g_imageLoader;

// Where a job of images all of the first one's size, on no canvas, may take
// the images after the first in the order they are ready instead (kestrane-
// cli's workers), placing each as it comes: *index gets the image's place in
// the list, and the image is null when it could not be read. Asked once for
// each index from 1 below `limit`, which only falls (the job ends at the
// first image in list order that fails). Null: g_imageLoader, in list order.
typedef PackedDib (*ReadyImageFunction)(int limit, int *index);
extern ReadyImageFunction g_readyImage;
