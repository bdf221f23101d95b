// The list a conversion takes, made final once its images are in
// g_sourceList in the order --order gave them: warnings about names in text
// order and about animated GIFs given as images, each animated GIF's frames
// in its place (--gif-frames), then --reverse and --pingpong.
#pragma once
#include "cli/arguments.h"

// The frame files of the GIFs taken apart, in folders of their own under
// the temporary folder, for as long as the job needs them.
struct GifFrameSet;
struct GifFrameSets {
    GifFrameSet *sets;
    int count, capacity;
};

// False after PrintStatus; whatever was taken apart is in `gifs` either way.
bool FinishSequence(const CliArguments &arguments, GifFrameSets *gifs);
void RemoveGifFrames(GifFrameSets *gifs);

// After a job that refused an image for its size: the line naming it (the
// GIF for one of its frames) and both sizes, added to the job's message in
// `status` (kStatusBufferSize bytes). Nothing otherwise.
void ExplainSizeRefusal(const GifFrameSets &gifs, char *status);
