// Frames leave the programs as numbered PNG files in a folder: frame0000.png
// onwards, with as many digits as the count needs, so that the names sort as
// the frames follow and a wildcard or a drop takes them back in order.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

struct IWICImagingFactory;

enum FolderRule {
    FOLDER_WITHOUT_FRAME_FILES,  // made when missing; refused while it holds frame*.png files
    FOLDER_NEW_OR_EMPTY,         // made when missing; refused while it holds anything
};

struct FrameFiles {
    char folder[MAX_PATH];  // full path, without a closing backslash
    uint32_t count, written;
    int digits;
    size_t madeFrom;  // the length of the outermost folder made for them; 0: none
};

// Called before frame `index` of `count` is written, so that a program can
// show how far it has come; false cancels the set. Null: nobody is told.
typedef bool (*FrameProgressFunction)(int index, int count);
extern FrameProgressFunction g_frameProgress;

// Prepares `directory` for `count` frame files: every name must fit, and the
// folder must pass the rule; it is made when missing. False after PrintStatus.
bool BeginFrameFiles(FrameFiles *files, const char *directory, uint32_t count, FolderRule rule);

// Full path of frame i's file, in MAX_PATH bytes (BeginFrameFiles proved it fits).
void FrameFilePath(const FrameFiles &files, uint32_t i, char *path);

// Writes the next frame: top-down rows `stride` bytes apart, 24-bit B, G, R
// or 32-bit B, G, R, A with straight alpha. False after PrintStatus.
bool WriteFrameFile(FrameFiles *files, IWICImagingFactory *factory, const uint8_t *rows, uint32_t stride,
                    uint32_t width, uint32_t height, uint32_t bitsPerPixel);

// Every frame written: says so in the status line. Otherwise the files
// written are removed again (RemoveFrameFiles), so that a failure leaves no
// half set behind.
void EndFrameFiles(FrameFiles *files);

// The files written, and every folder made for them: for a set that fails
// or cannot be used after all.
void RemoveFrameFiles(FrameFiles *files);

// "walk.shp" and "walk.png" give "walk-frames" (the stem and `suffix`),
// beside them. False when the name does not fit in MAX_PATH bytes.
bool FramesFolderBeside(const char *path, char *folder, const char *suffix = "-frames");
