// Windows side of core: local-memory images and the replace-in-one-step write.
#include <windows.h>

#include <cstring>
#include <cwchar>

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

namespace {

constexpr size_t kWidePathCapacity = 32768;  // the longest path the wide functions take

// A heap buffer of wide characters, released on every way out.
struct WideBuffer {
    explicit WideBuffer(size_t count) : text(static_cast<wchar_t *>(CoreAlloc(count * sizeof(wchar_t)))) {}
    ~WideBuffer() { CoreFree(text); }
    WideBuffer(const WideBuffer &) = delete;
    WideBuffer &operator=(const WideBuffer &) = delete;
    wchar_t *text;
};

// The destination's full path in the extended form (\\?\ or \\?\UNC\), so that
// the temporary name beside it may exceed MAX_PATH where the name itself did
// not. Its directory part, with the separator, is `*directoryLength` long.
bool ExtendedPath(const char *path, wchar_t *extended, size_t capacity, size_t *directoryLength)
{
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, MAX_PATH))
        return false;
    const wchar_t *prefix = L"\\\\?\\";
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(wide, MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2)
        return false;
    const wchar_t *rest = full;
    if (full[0] == L'\\' && full[1] == L'\\') {
        if (full[2] == L'?' || full[2] == L'.')
            prefix = L"";  // already a device or extended path
        else {
            prefix = L"\\\\?\\UNC\\";
            rest = full + 2;
        }
    }
    if (size_t(lstrlenW(prefix)) + length + 1 > capacity)
        return false;
    lstrcpyW(extended, prefix);
    lstrcatW(extended, rest);
    size_t separator = 0;
    for (size_t i = 0; extended[i]; i++)
        if (extended[i] == L'\\')
            separator = i + 1;
    *directoryLength = separator;
    return separator > 0;
}

// Creates a new, uniquely named file in the destination's directory. Our own
// names, because GetTempFileNameA refuses (or, under Wine, garbles) a
// directory within 14 characters of MAX_PATH that the destination itself fits.
HANDLE CreateTemporaryBeside(const wchar_t *destination, size_t directoryLength, wchar_t *temporary)
{
    static unsigned long serial;
    lstrcpynW(temporary, destination, int(directoryLength) + 1);
    for (int attempt = 0; attempt < 100; attempt++) {
        wchar_t name[40];
        std::swprintf(name, 40, L"~kst%lx-%lx.tmp", GetCurrentProcessId(), ++serial);
        lstrcpyW(temporary + directoryLength, name);
        HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

WriteResult WriteFileReplacing(const char *path, const void *data, size_t size)
{
    // Opening the destination without truncating proves the name can be created
    // (same rules as creating it outright) while an existing file stays intact.
    HANDLE target = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return WRITE_CANNOT_CREATE;
    bool createdTarget = GetLastError() != ERROR_ALREADY_EXISTS;
    CloseHandle(target);

    bool written = false;
    WideBuffer destination(kWidePathCapacity), temporary(kWidePathCapacity);
    size_t directoryLength = 0;
    if (destination.text && temporary.text &&
        ExtendedPath(path, destination.text, kWidePathCapacity - 64, &directoryLength)) {
        HANDLE file = CreateTemporaryBeside(destination.text, directoryLength, temporary.text);
        if (file != INVALID_HANDLE_VALUE) {
            uint32_t count = 0;
            bool complete = g_outputWrite(file, data, uint32_t(size), &count) && count == size;
            complete = FlushFileBuffers(file) && complete;
            CloseHandle(file);
            written = complete && MoveFileExW(temporary.text, destination.text,
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            if (!written)
                DeleteFileW(temporary.text);
        }
    }
    if (written)
        return WRITE_OK;
    if (!createdTarget)
        return WRITE_FAILED_KEPT;
    DeleteFileA(path);
    return WRITE_FAILED;
}
