// Texts only kestrane-cli.exe prints; the job's messages are in
// core/messages.h. Literals, so that the compiler checks each format.
#pragma once

#include "version.h"

#define CLI_USAGE                                                                                            \
    "Usage: kestrane-cli OUTPUT.shp IMAGE... [options]\n"                                                    \
    "       kestrane-cli --batch DIR [OUTDIR] [options]\n"                                                   \
    "       kestrane-cli --info FILE.shp\n"                                                                  \
    "       kestrane-cli --extract FILE.shp DIR\n"                                                           \
    "       kestrane-cli --split IMAGE DIR [--cell WxH [--margin M] [--spacing S]]\n"                        \
    "       kestrane-cli --split SHEET.png DIR --data SHEET.json\n"                                          \
    "       kestrane-cli --help | --version\n"                                                               \
    "\n"                                                                                                     \
    "Converts PNG, GIF or JPEG images of equal size, in the order given,\n"                                  \
    "into the frames of one 16-bit SHP file. An IMAGE with * or ? in its file\n"                             \
    "name (frames\\*.png) stands for the files it matches, in the order of\n"                                \
    "their names, as the window lists them; @FILE stands for the images FILE\n"                              \
    "lists, one a line.\n"                                                                                   \
    "--batch makes OUTDIR\\NAME.shp (OUTDIR: DIR) of each subfolder NAME of DIR\n"                           \
    "that holds images, from its images in name order.\n"                                                    \
    "--info checks FILE.shp and shows its size, frame count and frame offsets.\n"                            \
    "--extract writes each frame of FILE.shp as DIR\\frame0000.png, frame0001.png, ...\n"                    \
    "--split writes each frame of an animated GIF, as a viewer shows it, into DIR\n"                         \
    "the same way; with --cell, each cell of W x H pixels of IMAGE, left to right,\n"                        \
    "then top to bottom, the first M pixels in from the left and top and S pixels\n"                         \
    "apart; with --data, each frame the sheet's JSON data lists, in its order,\n"                            \
    "turned back if stored rotated and put where it sat before it was trimmed.\n"                            \
    "None replaces frame files already in DIR.\n"                                                            \
    "\n"                                                                                                     \
    "Options of a conversion and of --batch, anywhere on the command line\n"                                 \
    "(a value may also follow an equals sign: --canvas=64x48):\n"                                            \
    "  --canvas [WxH]   images of any size, each placed on a canvas of W x H\n"                              \
    "                   (without WxH: the largest width and height), black around;\n"                        \
    "                   PNG files that record their offset (trimmed exports) go\n"                           \
    "                   back there: on the page they name or, where the pages\n"                             \
    "                   differ, the least canvas holding them all (without WxH)\n"                           \
    "  --anchor POS     place by the anchor instead: center (the default), top,\n"                           \
    "                   bottom, left, right, top-left, top-right, bottom-left,\n"                            \
    "                   bottom-right; an odd pixel of free space goes right and below\n"                     \
    "  --dither MODE    ordered (still parts stay still) or diffusion (for stills)\n"                        \
    "                   instead of cutting each colour to 16 bits\n"                                         \
    "  -j N             read the images in N worker processes (default: one per\n"                           \
    "                   processor); an image a worker has not read in 60 s fails\n"                          \
    "  --json           one JSON summary on standard output, messages on standard\n"                         \
    "                   error\n"                                                                             \
    "  --order ORDER    how the images of each pattern, @FILE and --batch folder\n"                          \
    "                   follow one another: text (the default, as the window lists\n"                        \
    "                   them: frame10 before frame2) or natural (numbers by value)\n"                        \
    "  --gif-frames     every frame of each animated GIF in its place, as --split\n"                         \
    "                   writes them (otherwise only its first frame is taken)\n"                             \
    "  --reverse        the frames in the opposite order\n"                                                  \
    "  --pingpong       the frames forth and back: 1 ... n ... 2; both apply to\n"                           \
    "                   the final list, --reverse first\n"                                                   \
    "\n"                                                                                                     \
    "Exit codes: 0 done, 1 failed (for --info: FILE.shp is damaged), 2 wrong command line.\n"
#define CLI_VERSION "kestrane-cli " KESTRANE_VERSION_STRING "\n"
#define CLI_UNKNOWN_OPTION "Error: Unknown option: %s\n"
// Usage errors: each names the option.
#define CLI_MISSING_VALUE "Error: %s needs a value: %s\n"
#define CLI_BAD_VALUE "Error: %s takes %s, not \"%s\"\n"
#define CLI_OPTION_NOT_HERE "Error: %s does not apply to %s\n"
#define CLI_OPTION_NEEDS "Error: %s needs %s\n"
#define CLI_OPTIONS_CLASH "Error: %s and %s cannot be used together\n"
#define CLI_NO_VALUE "Error: %s takes no value: %s\n"
#define CLI_EXPECT_SIZE "two whole numbers, such as 64x48"
#define CLI_EXPECT_ANCHOR "center, top, bottom, left, right, top-left, top-right, bottom-left or bottom-right"
#define CLI_EXPECT_DITHER "ordered or diffusion"
#define CLI_EXPECT_PIXELS "a whole number of pixels"
#define CLI_EXPECT_DATA "the sheet's JSON data file"
#define CLI_EXPECT_WORKERS "a number of workers from 1 to 64"
#define CLI_EXPECT_ORDER "natural or text"
#define CLI_OUTPUT_IS_IMAGE "Error: The output file must not be an image file: %s\n"
#define CLI_OUTPUT_IS_INPUT "Error: The output file is also a source image: %s"
#define CLI_NO_MATCH "Error: No file matches %s"
#define CLI_CANT_READ_LIST "Error: Can't read list file: %s"
#define CLI_LIST_BAD_LINE "Error: %s holds a line that is not UTF-8 text: %s"
#define CLI_LIST_EMPTY "Error: %s lists no images"
#define CLI_LIST_NOT_TEXT "Error: %s is not a UTF-8 text list: it holds a zero byte"
#define CLI_CANT_READ_FOLDER "Error: Can't read folder: %s"
// A --batch subfolder passed over, and why.
#define CLI_FOLDER_PASSED_OVER "Note: Folder %s passed over: %s\n"
#define CLI_RESERVED_NAME "its name is a device's"
#define CLI_LINKED_FOLDER "it is a link or junction"
#define CLI_NO_WORKER "Warning: Can't start a worker process (%s); images are loaded in this process\n"

// Warnings of an output: each a line on standard error, and in --json.
#define CLI_WARNING "Warning: %s\n"
#define CLI_WARN_TEXT_ORDER                                                                                  \
    "%s stands before %s: numbers in the names are in text order; --order natural orders them by value"
#define CLI_WARN_ANIMATED_GIF                                                                                \
    "%s is an animated GIF of %u frames; only the first is taken (--gif-frames: all)"
// After the job's refusal of an image for its size.
#define CLI_SIZE_REFUSED "%s is %u x %u pixels; the first image is %u x %u pixels."

// The end of --batch: each output that failed, then the count.
#define CLI_OUTPUT_FAILED "Not written: %s\n  %s\n"
#define CLI_BATCH_SUMMARY "%d files written, %d failed"

#define CLI_PROGRESS_IMAGE "Image %d of %d"
#define CLI_PROGRESS_FRAME "Frame %d of %d"

#define CLI_INFO_LAYOUT "Width: %u\nHeight: %u\nFrames: %u\n"
#define CLI_INFO_FRAME "Frame %u: offset %u\n"
