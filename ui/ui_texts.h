// Texts of the program's message boxes and fixed captions; status line texts
// live in core/messages.h.
#pragma once

#define TEXT_APP_CAPTION "Kestrane"
#define TEXT_NO_FILTER "Not one graphic filter isn't found"
#define TEXT_WARNING                                                                                         \
    "For test only, because SHP16 format is not declared yet\n"                                              \
    "You can try it with Vellumor version 1.08 or 1.08 SE,\n"                                                \
    "in future versions of Vellumor format will be changed.\n"                                               \
    "Remapping and transparent colors is NOT supported.\n"                                                   \
    "in any case you need a dummy palette."
#define TEXT_ABOUT_CAPTION "About..."
#define TEXT_ABOUT "Kestrane.\nTest version; Please not use 16-bit SHPs in mods!\nCreated by Dorvale"
#define TEXT_TITLE_FONT "Comic Sans MS"
#define TEXT_CHOOSE_INPUT L"Choose input file"
#define TEXT_CHOOSE_OUTPUT L"Choose output file"

// The preview window: its caption and the band under the picture.
#define TEXT_PREVIEW_CAPTION "Preview - %s"
#define TEXT_PREVIEW_FRAME "%d of %d: %s - %u x %u"
#define TEXT_PREVIEW_UNREADABLE "%d of %d: %s - can't be read"
#define TEXT_PREVIEW_SIZE_DIFFERS " - not the size of the first image (%u x %u): Convert would stop here"
#define TEXT_PREVIEW_KEYS                                                                                    \
    "Left/Right: step    Space: play at %d frames a second    +/-: rate    S: split into frames    Esc: "    \
    "close"
// In the red band, where P is what makes the rows fit.
#define TEXT_PREVIEW_KEYS_CANVAS                                                                             \
    "Left/Right: step    Space: play at %d frames a second    S: split    P: one canvas    Esc: close"
// Rows whose names differ in numbers of different widths, in text order.
#define TEXT_PREVIEW_KEYS_TEXT_ORDER                                                                         \
    "%s before %s: numbers in the names in text order    N: order by number    Space: play    Esc: close"
#define TEXT_PREVIEW_ANIMATED_GIF " - an animated GIF of %u frames: Convert takes the first (S: split)"
#define TEXT_PREVIEW_PLAYING "Playing at %d frames a second    +/-: rate    any other key: stop"
// What the rows show, after the row's name: D changes it.
#define TEXT_PREVIEW_VIEW " - %s"
#define TEXT_VIEW_EXACT "exact colours (D: dither)"
#define TEXT_VIEW_ORDERED "ordered dithering"
#define TEXT_VIEW_DIFFUSION "diffusion dithering"
#define TEXT_PREVIEW_DITHERED_KEYS                                                                           \
    "Left/Right: step    Space: play at %d frames a second    +/-: rate    D: next view    W: write these "  \
    "frames    Esc: close"
#define TEXT_PREVIEW_WRITING "Writing frame %d of %d..."

// The preview of an opened SHP16 file: "walk.shp - frame 3 of 12 - 64 x 64".
#define TEXT_FILE_PREVIEW_FRAME "%s - frame %d of %d - %u x %u"
#define TEXT_FILE_PREVIEW_KEYS                                                                               \
    "Left/Right: step    Space: play at %d frames a second    +/-: rate    E: extract    L: load into the "  \
    "list    Esc: close"
#define TEXT_LOAD_REPLACES_LIST "Replace the %d images of the list with the frames of %s?"
#define TEXT_CHOOSE_FOLDER L"Choose the folder for the frames"

// The canvas dialog, when every row's file records where it was trimmed from.
#define TEXT_CANVAS_OFFSETS "Every row records where it was trimmed from: offered, each goes back there."
#define TEXT_ANCHOR_OFFSETS "where it was trimmed from"

// The cell size dialog, under its numbers.
#define TEXT_CELLS "%u x %u cells: %llu frames"
#define TEXT_CELLS_DO_NOT_FIT "The image (%u x %u) is not a whole number of these cells."
#define TEXT_CUT_BY_DATA "Cut by its data: %s"
