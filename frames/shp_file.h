// SHP16 files read back from disk: checked whole from their headers and
// length when opened, then read a frame at a time, so that a file of any size
// the writer makes (up to 4 GB) opens at once and is never read whole.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/shp16_read.h"
#include "frames/frame_files.h"

struct ShpFile {
    HANDLE handle;
    ShpLayout layout;
};

// Opens the file and checks its layout. False after PrintStatus when the
// file cannot be read or is damaged; the message names its first fault.
bool OpenShpFile(const char *path, ShpFile *shp);
void CloseShpFile(ShpFile *shp);

// Frame i's pixels as the file holds them: 2 × width × height bytes of
// RGB565, top row first.
bool ReadShpFrame(const ShpFile &shp, uint32_t i, uint8_t *pixels);

// Every frame written as a PNG file into `directory`, each channel widened
// back to 8 bits, so that converting the files gives the same SHP16 file
// again. False after PrintStatus; a failure leaves no frame file behind.
bool ExtractShpFrames(const ShpFile &shp, const char *shpPath, const char *directory, FolderRule rule,
                      FrameFiles *files);
