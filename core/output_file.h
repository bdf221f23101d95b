// Writes a finished file so that a failure loses nothing and the destination
// stays what it was: the bytes go to a file beside it, which takes its place
// in one step; a link's target gets them, and a file with several names, or
// one in a folder that takes no new files, is written in place from a copy.
// A new file's name appears only with its whole contents. Where the system
// allows, the temporary is marked for deletion until it is swapped in, so a
// killed process leaves none; the next write into the folder removes any
// that a killed writer left all the same.
#pragma once
#include <cstddef>
#include <cstdint>

enum WriteResult {
    WRITE_OK,
    WRITE_CANNOT_CREATE,  // the destination name cannot be created
    WRITE_FAILED,         // short or failed write, or the replace failed; no file left
    WRITE_FAILED_KEPT,    // the same, and the destination that existed before is unchanged
    WRITE_FAILED_SAVED,   // an in-place write failed and its old bytes could not go back: they are in a copy
};

// `savedCopy` (`capacity` bytes, may be null) receives the copy's path with
// WRITE_FAILED_SAVED.
WriteResult WriteFileReplacing(const char *path, const void *data, size_t size, char *savedCopy = nullptr,
                               size_t capacity = 0);

// Test seam for the one write call: writes up to size bytes to the open file
// and reports how many were written; false on failure.
typedef bool (*OutputWriteFunction)(void *file, const void *data, uint32_t size, uint32_t *written);
extern OutputWriteFunction g_outputWrite;
bool PlatformWrite(void *file, const void *data, uint32_t size, uint32_t *written);

#ifdef _WIN32
// Test seam for the exchange of the new file and the destination, which
// leaves the old file under `backup`: ReplaceFileW's three names and result.
typedef int (*ReplaceFunction)(const wchar_t *replaced, const wchar_t *replacement, const wchar_t *backup);
extern ReplaceFunction g_replaceFile;
#endif
