// Windows side of core: local-memory images and the replace-in-one-step write.
#include <windows.h>

#include <cstring>

#include "core/core_alloc.h"
#include "core/output_file.h"
#include "core/packed_dib.h"

PackedDib AllocPackedDib(size_t bytes)
{
    if (AllocationShouldFail())
        return nullptr;
    return static_cast<PackedDib>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bytes));
}

void FreePackedDib(PackedDib dib)
{
    if (dib)
        LocalFree(dib);
}

size_t PackedDibBlockSize(PackedDib dib)
{
    return dib ? LocalSize(dib) : 0;
}

bool PlatformWrite(void *file, const void *data, uint32_t size, uint32_t *written)
{
    DWORD count = 0;
    BOOL ok = WriteFile(static_cast<HANDLE>(file), data, size, &count, nullptr);
    *written = count;
    return ok != FALSE;
}

OutputWriteFunction g_outputWrite = PlatformWrite;

// The directory part of path, with its trailing separator, or "" for none.
static bool DirectoryOf(const char *path, char *directory, size_t capacity)
{
    size_t length = 0;
    for (size_t i = 0; path[i]; i++)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
            length = i + 1;
    if (length >= capacity)
        return false;
    std::memcpy(directory, path, length);
    directory[length] = '\0';
    return true;
}

WriteResult WriteFileReplacing(const char *path, const void *data, size_t size)
{
    // Opening the destination without truncating proves the name can be created
    // (same rules as creating it outright) while an existing file stays intact.
    HANDLE target = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return WRITE_CANNOT_CREATE;
    bool createdTarget = GetLastError() != ERROR_ALREADY_EXISTS;
    CloseHandle(target);

    WriteResult result = WRITE_FAILED;
    char directory[MAX_PATH], temporary[MAX_PATH];
    if (DirectoryOf(path, directory, sizeof directory) &&
        GetTempFileNameA(directory[0] ? directory : ".", "ksh", 0, temporary)) {
        HANDLE file =
            CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            uint32_t written = 0;
            bool complete = g_outputWrite(file, data, uint32_t(size), &written) && written == size;
            complete = FlushFileBuffers(file) && complete;
            CloseHandle(file);
            if (complete && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                result = WRITE_OK;
        }
        if (result != WRITE_OK)
            DeleteFileA(temporary);
    }
    if (result != WRITE_OK && createdTarget)
        DeleteFileA(path);
    return result;
}
