// Every text the status line can show. Kept as literals so that the compiler
// checks each format against its arguments.
#pragma once

#define MSG_CANT_READ_IMAGE "Can't read image file: %s"
#define MSG_MEMORY_ERROR "Memory allocation error."
#define MSG_SIZE_MISMATCH "Error: All images must be the same size.\nImage %d have another size."
#define MSG_CANT_CREATE_OUTPUT "Error: Can't create output file!\nCheck file name!"
#define MSG_CANT_WRITE_OUTPUT "Error: Can't write output file!\nNo file was written."
#define MSG_CANT_WRITE_OUTPUT_KEPT "Error: Can't write output file!\nThe existing file was left unchanged."
#define MSG_CANT_WRITE_OUTPUT_SAVED                                                                          \
    "Error: Can't write output file, nor put its old contents back!\nThey are saved in %s."
#define MSG_TOO_LARGE "Error: SHP files hold at most 65535 images of at most 65535 x 65535 pixels."
#define MSG_SUCCESS "Successfully finished"
#define MSG_NOTHING_SELECTED "Nothing selected."
#define MSG_STARTUP "Test version; Please not use 16-Bit SHPs in mods!"
// Every path is held in 260 bytes; a longer one is refused whole, never cut.
#define MSG_PATH_TOO_LONG "Error: The path is too long: %s"
#define MSG_PATH_UNUSABLE "Error: The path holds characters this system's code page cannot: %s"

// SHP16 files read back, and frames written out as PNG files.
#define MSG_CANT_READ_SHP "Error: Can't read SHP file: %s"
#define MSG_INVALID_SHP "Error: %s is not a valid SHP16 file: %s"
#define MSG_CANT_CREATE_FOLDER "Error: Can't create folder: %s"
#define MSG_NO_IMAGING "Error: The Windows Imaging Component is not available."
#define MSG_CANT_WRITE_FRAME "Error: Can't write %s"
#define MSG_FRAMES_WRITTEN "Frames written to %s: %s to %s (%u files)"
#define MSG_FRAME_FILES_EXIST "Error: %s already holds frame files (%s); nothing was written."
#define MSG_FRAMES_CANCELLED "Cancelled: nothing was written."
#define MSG_FOLDER_NOT_EMPTY "Error: The folder %s already exists and is not empty (%s); nothing was written."

// Sprite sheets and animated GIFs cut into frame files, and frames of
// different sizes put on one canvas.
#define MSG_NOT_ANIMATED "Error: %s is a single picture; give the size of its cells to cut it into frames."
#define MSG_CELL_EMPTY "Error: Cells of %u x %u pixels are empty; a cell is at least 1 x 1."
#define MSG_CELL_TOO_LARGE "Error: Cells of %u x %u pixels are larger than the picture of %u x %u pixels."
#define MSG_CELLS_DONT_DIVIDE                                                                                \
    "Error: Cells of %u x %u pixels do not divide the picture of %u x %u pixels evenly."
// A sheet cut by its data file.
#define MSG_DATA_NOT_JSON "Error: %s is not JSON: it goes wrong at line %u, column %u."
#define MSG_DATA_WITHOUT_FRAMES "Error: %s describes no frames."
#define MSG_FRAME_WITHOUT_RECT "Error: Frame %s has no whole numbers for its place and size."
#define MSG_FRAME_OUTSIDE_SHEET                                                                              \
    "Error: Frame %s (%u x %u pixels at %u, %u) lies outside the sheet of %u x %u pixels."
#define MSG_FRAME_OUTSIDE_SOURCE                                                                             \
    "Error: Frame %s (%u x %u pixels at %u, %u) does not fit its source size of %u x %u pixels."
#define MSG_SOURCE_SIZES_DIFFER                                                                              \
    "Error: Frame %s has a source size of %u x %u pixels, frame %s one of %u x %u; all must be the same."
#define MSG_CELLS_DONT_FILL                                                                                  \
    "Error: Cells of %u x %u pixels, the first %u pixels in and %u apart, do not fill the picture of %u x "  \
    "%u pixels."
#define MSG_CANT_READ_DATA "Error: Can't read data file: %s"
#define MSG_LARGER_THAN_CANVAS "Error: %s (%u x %u pixels) is larger than the canvas of %u x %u pixels."
// Trimmed images placed back at the offsets their files record.
#define MSG_PAST_CANVAS "Error: %s (%u x %u pixels at %u, %u) reaches past the canvas of %u x %u pixels."
#define MSG_NEGATIVE_OFFSET "Error: %s lies at %d, %d, left of or above its page."
#define MSG_NO_OFFSET                                                                                        \
    "Error: %s records no offset, unlike %s; --anchor places every image by the anchor instead."

// The dialog's own reports: a running conversion, and what a drop added.
#define MSG_CONVERTING "Converting image %d of %d..."
#define MSG_DROP_ADDED "Images added: %d."
#define MSG_DROP_SKIPPED "Images added: %d; skipped: %d (%s)."
// Why paths were skipped: the reason alone when all share it, else each counted.
#define MSG_SKIP_NO_FILTER "no import filter for their type"
#define MSG_SKIP_LONG_PATH "path too long"
#define MSG_SKIP_UNUSABLE_NAME "name outside the system's code page"
#define MSG_SKIP_NOT_FOUND "not found"
#define MSG_SKIP_COUNT_NO_FILTER "%d with no import filter for their type"
#define MSG_SKIP_COUNT_LONG_PATH "%d with a path too long"
#define MSG_SKIP_COUNT_UNUSABLE_NAME "%d with a name outside the system's code page"
#define MSG_SKIP_COUNT_NOT_FOUND "%d not found"
