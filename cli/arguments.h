// kestrane-cli's command line, read once: what to do, its paths in order,
// and the options, which may stand before, between or after the paths.
#pragma once
#include <cstdint>

#include "core/convert.h"

enum CliMode {
    RUN_CONVERT,
    RUN_BATCH,
    RUN_INFO,
    RUN_EXTRACT,
    RUN_SPLIT,
    RUN_HELP,
    RUN_VERSION,
    RUN_WORKER,  // started by kestrane-cli itself; not in the usage
    kCliModes
};

struct CliArguments {
    CliMode mode;
    // Every argument that is neither an option nor an option's value, in the
    // program's code page, in order. Owned (ReleaseArguments).
    char **paths;
    int pathCount;
    bool cell;  // --split --cell WxH [--margin M] [--spacing S]
    uint32_t cellWidth, cellHeight, margin, spacing;
    char *data;              // --split --data FILE.json; owned
    ConvertOptions convert;  // --canvas, --anchor, --dither
    int workers;             // -j N; 0: one per logical processor
    bool json;
    bool naturalOrder;  // --order natural
    bool gifFrames;     // --gif-frames
    bool reverse, pingpong;
};

// Reads the wide command line Windows hands over, so that a name the code
// page cannot hold is refused rather than replaced by a look-alike. 0 when
// the arguments are usable; otherwise the exit code, after the message (and
// for usage errors the usage) was printed.
int ParseArguments(int argc, wchar_t **argv, CliArguments *arguments);
void ReleaseArguments(CliArguments *arguments);

// "64x48": two whole numbers of at most 9 digits each, so neither can wrap.
bool ParseSize(const char *text, uint32_t *width, uint32_t *height);

// Prints the usage on standard error; returns the usage exit code.
int Usage();
