// Windows side of core: local-memory images and the write that replaces a
// destination while keeping what it is.
#include <windows.h>

#include <ntsecapi.h>  // after windows.h: RtlGenRandom, from a DLL every program loads anyway

#include <cstring>
#include <cwchar>

#include "core/background.h"
#include "core/core_alloc.h"
#include "core/file_head.h"
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

// Address space costs no memory: room for the block to grow to eight times
// its first size (a canvas almost three times as wide and as high) is set
// aside, but no more than kMaxExtraReserve beyond it, so that a large file
// leaves the decoders room in a 32-bit process.
constexpr size_t kMaxExtraReserve = size_t(512) << 20;

bool GrowBlock(GrowingBlock *block, size_t bytes)
{
    if (AllocationShouldFail())
        return false;
    if (bytes <= block->reserved) {
        if (bytes > block->size && !VirtualAlloc(block->data, bytes, MEM_COMMIT, PAGE_READWRITE))
            return false;
        block->size = bytes > block->size ? bytes : block->size;
        return true;
    }
    // Out of room: a new reservation, and the block moved into it.
    size_t extra = bytes <= kMaxExtraReserve / 7 ? bytes * 7 : kMaxExtraReserve;
    if (extra > SIZE_MAX - bytes)
        extra = 0;
    size_t reserve = bytes + extra;
    void *moved = VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS);
    if (!moved) {
        reserve = bytes;
        moved = VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS);
    }
    if (!moved || !VirtualAlloc(moved, bytes, MEM_COMMIT, PAGE_READWRITE)) {
        if (moved)
            VirtualFree(moved, 0, MEM_RELEASE);
        return false;
    }
    if (block->data) {
        std::memcpy(moved, block->data, block->size);
        VirtualFree(block->data, 0, MEM_RELEASE);
    }
    *block = GrowingBlock{static_cast<uint8_t *>(moved), bytes, reserve};
    return true;
}

void ReleaseBlock(GrowingBlock *block)
{
    if (block->data)
        VirtualFree(block->data, 0, MEM_RELEASE);
    *block = GrowingBlock{};
}

bool PlatformWrite(void *file, const void *data, uint32_t size, uint32_t *written)
{
    DWORD count = 0;
    BOOL ok = WriteFile(static_cast<HANDLE>(file), data, size, &count, nullptr);
    *written = count;
    return ok != FALSE;
}

OutputWriteFunction g_outputWrite = PlatformWrite;

static int PlatformReplace(const wchar_t *replaced, const wchar_t *replacement, const wchar_t *backup)
{
    return ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
}

ReplaceFunction g_replaceFile = PlatformReplace;

namespace {

constexpr size_t kWidePathCapacity = 32768;  // the longest path the wide functions take
constexpr size_t kNameRoom = 64;             // kept free behind a directory for a temporary name
// What SetFileAttributesW can give back after a replace.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE;

// A heap buffer of wide characters, released on every way out.
struct WideBuffer {
    explicit WideBuffer(size_t count) : text(static_cast<wchar_t *>(CoreAlloc(count * sizeof(wchar_t)))) {}
    ~WideBuffer() { CoreFree(text); }
    WideBuffer(const WideBuffer &) = delete;
    WideBuffer &operator=(const WideBuffer &) = delete;
    wchar_t *text;
};

// A file handle, closed on every way out.
struct ScopedFile {
    explicit ScopedFile(HANDLE opened) : handle(opened) {}
    ~ScopedFile() { Close(); }
    ScopedFile(const ScopedFile &) = delete;
    ScopedFile &operator=(const ScopedFile &) = delete;
    bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (Valid())
            CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    HANDLE handle;
};

// The length of the directory part of `path`, its last separator included.
size_t DirectoryLength(const wchar_t *path)
{
    size_t length = 0;
    for (size_t i = 0; path[i]; i++)
        if (path[i] == L'\\')
            length = i + 1;
    return length;
}

// Our temporaries are "~kst<process id>-<random>" with one of these
// endings: new bytes that nothing needs once their writer is gone, or an old
// file's bytes kept until the new ones are safely in place.
const wchar_t kNewBytes[] = L"tmp";
const wchar_t kOldBytes[] = L"bak";

// Creates a new, uniquely named file in the directory that the first
// `directoryLength` characters of `directory` name. Our own names, because
// GetTempFileNameA refuses (or, under Wine, garbles) a directory within 14
// characters of MAX_PATH that the destination itself fits; random ones from
// the system's generator, so that no one can make a file or a link under the
// next name before we do.
HANDLE CreateTemporaryIn(const wchar_t *directory, size_t directoryLength, wchar_t *temporary, DWORD access,
                         const wchar_t *ending)
{
    lstrcpynW(temporary, directory, int(directoryLength) + 1);
    for (int attempt = 0; attempt < 100; attempt++) {
        unsigned long random[2];
        if (!RtlGenRandom(random, sizeof random))
            break;
        wchar_t name[48];
        std::swprintf(name, 48, L"~kst%lx-%08lx%08lx.%ls", GetCurrentProcessId(), random[0], random[1], ending);
        lstrcpyW(temporary + directoryLength, name);
        HANDLE file = CreateFileW(temporary, access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Marks an open file for deletion when its last handle closes, or takes the
// mark off; false if the system cannot.
bool MarkForDeletion(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition = {remove};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// True while the process that a temporary's name gives may still write to it.
bool WriterMayLive(const wchar_t *name)
{
    wchar_t *end = nullptr;
    const unsigned long id = std::wcstoul(name + 4, &end, 16);
    if (end == name + 4 || *end != L'-')
        return true;  // not one of ours
    if (id == GetCurrentProcessId())
        return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

// Removes the new bytes that a killed writer left in the directory: the
// system deletes them itself where it could mark them, but not a temporary
// caught between its mark's removal and the exchange. A live writer keeps its
// temporary open without sharing delete, so no deletion can take it.
// `scratch` holds kWidePathCapacity characters.
void RemoveStaleTemporaries(const wchar_t *directory, size_t directoryLength, wchar_t *scratch)
{
    lstrcpynW(scratch, directory, int(directoryLength) + 1);
    lstrcpyW(scratch + directoryLength, L"~kst*.tmp");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(scratch, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || WriterMayLive(found.cFileName) ||
            directoryLength + std::wcslen(found.cFileName) >= kWidePathCapacity)
            continue;
        lstrcpyW(scratch + directoryLength, found.cFileName);
        DeleteFileW(scratch);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A temporary for the destination's new bytes, marked so that the system
// removes it if the process ends before it is swapped in, after any stale one
// is cleared away. `marked`: whether the system took the mark.
HANDLE CreateNewBytesFile(const wchar_t *destination, size_t directoryLength, wchar_t *temporary, bool *marked)
{
    RemoveStaleTemporaries(destination, directoryLength, temporary);
    HANDLE file = CreateTemporaryIn(destination, directoryLength, temporary, GENERIC_WRITE | DELETE, kNewBytes);
    *marked = file != INVALID_HANDLE_VALUE && MarkForDeletion(file, true);
    return file;
}

// The new bytes, whole, through the test seam; the file ends where they do.
bool WriteWhole(HANDLE file, const void *data, size_t size)
{
    uint32_t count = 0;
    bool complete = g_outputWrite(file, data, uint32_t(size), &count) && count == size;
    return complete && SetEndOfFile(file) && FlushFileBuffers(file);
}

// `from` from its start over `to` from its start, past the test seam: the old
// bytes must go back even where the new ones could not.
bool CopyWhole(HANDLE from, HANDLE to)
{
    char block[65536];
    if (SetFilePointer(from, 0, nullptr, FILE_BEGIN) != 0 || SetFilePointer(to, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(from, block, sizeof block, &read, nullptr))
            return false;
        if (read == 0)
            return SetEndOfFile(to) && FlushFileBuffers(to);
        if (!WriteFile(to, block, read, &written, nullptr) || written != read)
            return false;
    }
}

// A path the user can find, without the \\?\ prefix, in `text` (`capacity`
// bytes; empty if it does not fit).
void ShowPath(const wchar_t *path, char *text, size_t capacity)
{
    if (!text || capacity < 3)
        return;
    bool unc = std::wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0;
    const wchar_t *rest = unc ? path + 8 : std::wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
    size_t lead = unc ? 2 : 0;
    std::memcpy(text, "\\\\", lead);
    if (!WideCharToMultiByte(CP_ACP, 0, rest, -1, text + lead, int(capacity - lead), nullptr, nullptr))
        text[0] = '\0';
}

// Writes the new bytes into a file beside the destination and exchanges the
// two with ReplaceFileW, which keeps the destination's access rights and
// streams; Wine's drops its attributes, so they are set again. The old file
// waits under a backup name, from which a failed exchange puts it back.
// WRITE_CANNOT_CREATE: the folder took no new file or refused the exchange,
// and the destination is as it was.
WriteResult ReplaceWithNew(const wchar_t *destination, DWORD attributes, const void *data, size_t size,
                           char *savedCopy, size_t capacity)
{
    WideBuffer temporary(kWidePathCapacity), backup(kWidePathCapacity);
    if (!temporary.text || !backup.text)
        return WRITE_FAILED_KEPT;
    const size_t directoryLength = DirectoryLength(destination);
    bool marked = false;
    ScopedFile file(CreateNewBytesFile(destination, directoryLength, temporary.text, &marked));
    if (!file.Valid())
        return WRITE_CANNOT_CREATE;
    // The exchange opens the temporary by its name: it is closed, unmarked, first.
    bool complete = WriteWhole(file.handle, data, size) && (!marked || MarkForDeletion(file.handle, false));
    file.Close();
    // A free name for the backup: ReplaceFileW may refuse one that exists.
    ScopedFile reserved(CreateTemporaryIn(destination, directoryLength, backup.text, GENERIC_WRITE, kOldBytes));
    bool named = reserved.Valid();
    reserved.Close();
    if (named)
        DeleteFileW(backup.text);
    if (!complete || !named) {
        DeleteFileW(temporary.text);
        return WRITE_FAILED_KEPT;
    }
    if (g_replaceFile(destination, temporary.text, backup.text)) {
        DeleteFileW(backup.text);
        // Backup tools look for the archive bit, which a plain create sets.
        SetFileAttributesW(destination, (attributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE);
        return WRITE_OK;
    }
    // Whichever step failed, the old file is under its own name or the backup's.
    DeleteFileW(temporary.text);
    if (GetFileAttributesW(destination) == INVALID_FILE_ATTRIBUTES &&
        !MoveFileExW(backup.text, destination, MOVEFILE_WRITE_THROUGH)) {
        ShowPath(backup.text, savedCopy, capacity);
        return WRITE_FAILED_SAVED;
    }
    DeleteFileW(backup.text);
    return WRITE_CANNOT_CREATE;
}

// A new file for the old bytes: beside the destination, or in %TEMP% when the
// destination's path is not known or its folder takes no new files. Such a
// folder (one where we may write files but not create them) is why we are
// writing in place at all.
HANDLE CreateCopyFile(const wchar_t *destination, wchar_t *name)
{
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    HANDLE file = destination
                      ? CreateTemporaryIn(destination, DirectoryLength(destination), name, access, kOldBytes)
                      : INVALID_HANDLE_VALUE;
    wchar_t folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (file == INVALID_HANDLE_VALUE && length > 0 && length <= MAX_PATH)
        file = CreateTemporaryIn(folder, length, name, access, kOldBytes);
    return file;
}

// Writes over the destination itself, so that every name it has sees the new
// bytes and nothing else about it changes. A copy of the old bytes puts them
// back if the write fails.
WriteResult WriteInPlace(const char *path, const wchar_t *destination, const void *data, size_t size,
                         char *savedCopy, size_t capacity)
{
    ScopedFile target(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    WideBuffer copyName(kWidePathCapacity);
    if (!target.Valid() || !copyName.text)
        return WRITE_FAILED_KEPT;
    ScopedFile copy(CreateCopyFile(destination, copyName.text));
    if (!(copy.Valid() && CopyWhole(target.handle, copy.handle))) {
        if (copy.Valid()) {
            copy.Close();
            DeleteFileW(copyName.text);
        }
        return WRITE_FAILED_KEPT;
    }
    WriteResult result = WRITE_OK;
    if (SetFilePointer(target.handle, 0, nullptr, FILE_BEGIN) != 0 ||
        !WriteWhole(target.handle, data, size)) {
        result = CopyWhole(copy.handle, target.handle) ? WRITE_FAILED_KEPT : WRITE_FAILED_SAVED;
    }
    copy.Close();
    if (result == WRITE_OK) {
        // The archive bit, as a new file has, and the other attributes as they were.
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(path, (attributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    }
    if (result == WRITE_FAILED_SAVED)
        ShowPath(copyName.text, savedCopy, capacity);
    else
        DeleteFileW(copyName.text);
    return result;
}

// The destination's full path in the form that takes any length (\\?\).
bool LongFormPath(const char *path, wchar_t *full)
{
    WideBuffer wide(kWidePathCapacity);
    if (!wide.text || !MultiByteToWideChar(CP_ACP, 0, path, -1, wide.text, int(kWidePathCapacity)))
        return false;
    const DWORD room = DWORD(kWidePathCapacity - kNameRoom - 8);
    DWORD length = GetFullPathNameW(wide.text, room, full, nullptr);
    if (length == 0 || length >= room)
        return false;
    if (std::wcsncmp(full, L"\\\\?\\", 4) == 0 || std::wcsncmp(full, L"\\\\.\\", 4) == 0)
        return true;
    const bool unc = std::wcsncmp(full, L"\\\\", 2) == 0;
    const wchar_t *lead = unc ? L"\\\\?\\UNC" : L"\\\\?\\";
    const size_t skip = unc ? 1 : 0;  // of "\\server", one backslash stays
    const size_t leadLength = std::wcslen(lead);
    std::memmove(full + leadLength, full + skip, (length - skip + 1) * sizeof(wchar_t));
    std::memcpy(full, lead, leadLength * sizeof(wchar_t));
    return true;
}

// A file that did not exist: its bytes are written whole under a temporary
// name, which becomes the destination's only then, and only if no file has
// taken that name meanwhile.
WriteResult WriteNewFile(const char *path, const void *data, size_t size)
{
    WideBuffer destination(kWidePathCapacity), temporary(kWidePathCapacity);
    if (!destination.text || !temporary.text)
        return WRITE_FAILED;
    if (!LongFormPath(path, destination.text))
        return WRITE_CANNOT_CREATE;
    bool marked = false;
    ScopedFile file(
        CreateNewBytesFile(destination.text, DirectoryLength(destination.text), temporary.text, &marked));
    if (!file.Valid())
        return WRITE_CANNOT_CREATE;
    const bool complete = WriteWhole(file.handle, data, size);
    const bool kept = complete && (!marked || MarkForDeletion(file.handle, false));
    file.Close();
    if (kept && MoveFileExW(temporary.text, destination.text, MOVEFILE_WRITE_THROUGH))
        return WRITE_OK;
    DeleteFileW(temporary.text);
    return kept ? WRITE_CANNOT_CREATE : WRITE_FAILED;
}

}  // namespace

WriteResult WriteFileReplacing(const char *path, const void *data, size_t size, char *savedCopy,
                               size_t capacity)
{
    // Opened without creating: the destination's name is given only to
    // complete new contents. Its attributes are read through the same handle.
    ScopedFile target(CreateFileA(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target.Valid())
        return GetLastError() == ERROR_FILE_NOT_FOUND ? WriteNewFile(path, data, size) : WRITE_CANNOT_CREATE;

    // A device (NUL, a port) has nothing to replace and nothing to restore: it
    // takes the bytes as a plain create-and-write hands them over.
    if (GetFileType(target.handle) != FILE_TYPE_DISK) {
        uint32_t count = 0;
        return g_outputWrite(target.handle, data, uint32_t(size), &count) && count == size ? WRITE_OK
                                                                                           : WRITE_FAILED;
    }
    // Through a symbolic link or junction the final path names the file it
    // leads to: that file is replaced, and the link stays a link.
    WideBuffer destination(kWidePathCapacity);
    DWORD length = destination.text ? GetFinalPathNameByHandleW(target.handle, destination.text,
                                                                DWORD(kWidePathCapacity - kNameRoom),
                                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                                    : 0;
    const wchar_t *resolved =
        length > 0 && length < kWidePathCapacity - kNameRoom ? destination.text : nullptr;
    BY_HANDLE_FILE_INFORMATION information = {};
    bool oneName = GetFileInformationByHandle(target.handle, &information) && information.nNumberOfLinks == 1;
    target.Close();

    // A new file in place of one with several names would leave the others
    // with the old bytes: such a file is written in place, as is one whose
    // path is not known, and one whose folder takes no new file beside it but
    // lets the file itself be written.
    WriteResult result = WRITE_CANNOT_CREATE;
    if (resolved && oneName)
        result = ReplaceWithNew(resolved, information.dwFileAttributes, data, size, savedCopy, capacity);
    if (result == WRITE_CANNOT_CREATE)
        result = WriteInPlace(path, resolved, data, size, savedCopy, capacity);
    return result;
}

namespace {
struct BackgroundStart {
    HANDLE thread;
    void (*run)(void *);
    void *context;
};
DWORD WINAPI RunBackground(void *start)
{
    BackgroundStart *s = static_cast<BackgroundStart *>(start);
    s->run(s->context);
    return 0;
}
}  // namespace

bool StartBackground(BackgroundTask *task, void (*run)(void *context), void *context)
{
    auto *start = static_cast<BackgroundStart *>(CoreAlloc(sizeof(BackgroundStart)));
    if (!start)
        return false;
    start->run = run;
    start->context = context;
    start->thread = CreateThread(nullptr, 0, RunBackground, start, 0, nullptr);
    if (!start->thread) {
        CoreFree(start);
        return false;
    }
    task->handle = start;
    return true;
}

void WaitBackground(BackgroundTask *task)
{
    auto *start = static_cast<BackgroundStart *>(task->handle);
    if (!start)
        return;
    WaitForSingleObject(start->thread, INFINITE);
    CloseHandle(start->thread);
    CoreFree(start);
    task->handle = nullptr;
}

bool ReadFileHead(const char *path, uint8_t *buffer, size_t capacity, size_t *size)
{
    *size = 0;
    ScopedFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid())
        return false;
    while (*size < capacity) {
        DWORD got = 0;
        const DWORD want = capacity - *size > 0x10000000 ? 0x10000000 : DWORD(capacity - *size);
        if (!ReadFile(file.handle, buffer + *size, want, &got, nullptr))
            return false;
        if (got == 0)
            break;
        *size += got;
    }
    return true;
}
