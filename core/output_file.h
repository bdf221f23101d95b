// Writes a finished file so that a failure loses nothing: the bytes go to a
// file beside the destination, which replaces the destination in one step.
#pragma once
#include <cstddef>
#include <cstdint>

enum WriteResult {
    WRITE_OK,
    WRITE_CANNOT_CREATE,  // the destination name cannot be created
    WRITE_FAILED,         // short or failed write, or the replace failed; no file left
    WRITE_FAILED_KEPT,    // the same, and the destination that existed before is unchanged
};

WriteResult WriteFileReplacing(const char *path, const void *data, size_t size);

// Test seam for the one write call: writes up to size bytes to the open file
// and reports how many were written; false on failure.
typedef bool (*OutputWriteFunction)(void *file, const void *data, uint32_t size, uint32_t *written);
extern OutputWriteFunction g_outputWrite;
bool PlatformWrite(void *file, const void *data, uint32_t size, uint32_t *written);
