// Texts only kestrane-cli.exe prints; the job's messages are in
// core/messages.h. Literals, so that the compiler checks each format.
#pragma once

#include "version.h"

#define CLI_USAGE                                                                                            \
    "Usage: kestrane-cli OUTPUT.shp IMAGE...\n"                                                              \
    "       kestrane-cli --info FILE.shp\n"                                                                  \
    "       kestrane-cli --extract FILE.shp DIR\n"                                                           \
    "       kestrane-cli --split IMAGE DIR [--cell WxH]\n"                                                   \
    "       kestrane-cli --help | --version\n"                                                               \
    "\n"                                                                                                     \
    "Converts PNG, GIF or JPEG images of equal size, in the order given,\n"                                  \
    "into the frames of one 16-bit SHP file. An IMAGE with * or ? in its file\n"                             \
    "name (frames\\*.png) stands for the files it matches, in the order of\n"                                \
    "their names, as the window lists them.\n"                                                               \
    "--info checks FILE.shp and shows its size, frame count and frame offsets.\n"                            \
    "--extract writes each frame of FILE.shp as DIR\\frame0000.png, frame0001.png, ...\n"                    \
    "--split writes each frame of an animated GIF, as a viewer shows it, into DIR\n"                         \
    "the same way; with --cell, each cell of W x H pixels of IMAGE, left to right,\n"                        \
    "then top to bottom. Neither replaces frame files already in DIR.\n"                                     \
    "\n"                                                                                                     \
    "Exit codes: 0 done, 1 failed (for --info: FILE.shp is damaged), 2 wrong command line.\n"
#define CLI_VERSION "kestrane-cli " KESTRANE_VERSION_STRING "\n"
#define CLI_UNKNOWN_OPTION "Error: Unknown option: %s\n"
#define CLI_BAD_CELL "Error: A cell size is two whole numbers, such as 64x48: %s\n"
#define CLI_OUTPUT_IS_IMAGE "Error: The output file must not be an image file: %s\n"
#define CLI_OUTPUT_IS_INPUT "Error: The output file is also a source image: %s"
#define CLI_NO_MATCH "Error: No file matches %s"

#define CLI_PROGRESS_IMAGE "Image %d of %d"
#define CLI_PROGRESS_FRAME "Frame %d of %d"

#define CLI_INFO_LAYOUT "Width: %u\nHeight: %u\nFrames: %u\n"
#define CLI_INFO_FRAME "Frame %u: offset %u\n"
