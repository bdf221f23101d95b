#include "ui/drop_files.h"

#include <cstdio>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/program_path.h"
#include "core/status.h"
#include "ui/file_choosers.h"
#include "ui/main_dialog.h"
#include "ui/preview.h"
#include "ui/source_commands.h"

namespace {

enum SkipReason { SKIP_NO_FILTER, SKIP_LONG_PATH, SKIP_UNUSABLE_NAME, SKIP_NOT_FOUND, kSkipReasons };
const char *const kReasonAlone[kSkipReasons] = {MSG_SKIP_NO_FILTER, MSG_SKIP_LONG_PATH,
                                                MSG_SKIP_UNUSABLE_NAME, MSG_SKIP_NOT_FOUND};
const char *const kReasonCounted[kSkipReasons] = {MSG_SKIP_COUNT_NO_FILTER, MSG_SKIP_COUNT_LONG_PATH,
                                                  MSG_SKIP_COUNT_UNUSABLE_NAME, MSG_SKIP_COUNT_NOT_FOUND};
constexpr DWORD kWidePathCapacity = 32768;  // the longest path the wide functions take

struct HandOver {
    int added, skipped[kSkipReasons];
    bool failed;  // an allocation failed: the status line already says so
};

// The i-th path handed over, in a heap block; null when it cannot be had.
typedef wchar_t *(*PathAtFunction)(const void *source, UINT i);

wchar_t *AllocWide(size_t count)
{
    return static_cast<wchar_t *>(CoreAlloc(count * sizeof(wchar_t)));
}

// A path the program cannot hold whole is skipped and counted.
bool ConvertOrCount(const wchar_t *wide, char *path, HandOver *h)
{
    ProgramPathResult result = ToProgramPath(wide, path, kPathBufferSize);
    if (result != PATH_CONVERTED)
        h->skipped[result == PATH_TOO_LONG ? SKIP_LONG_PATH : SKIP_UNUSABLE_NAME]++;
    return result == PATH_CONVERTED;
}

// The extension of the file-name part, or null.
template <typename Char> const Char *ExtensionOf(const Char *path)
{
    const Char *dot = nullptr;
    for (const Char *p = path; *p; p++)
        if (*p == '.')
            dot = p + 1;
        else if (*p == '\\')
            dot = nullptr;
    return dot && *dot ? dot : nullptr;
}

bool IsShpPath(const wchar_t *path)
{
    const wchar_t *extension = ExtensionOf(path);
    return extension && lstrcmpiW(extension, L"shp") == 0;
}

void AddImage(HWND dialog, const wchar_t *wide, HandOver *h)
{
    char path[kPathBufferSize];
    if (!ConvertOrCount(wide, path, h))
        return;
    const char *extension = ExtensionOf(path);
    if (!extension || !HasImportFilter(extension)) {
        h->skipped[SKIP_NO_FILTER]++;
        return;
    }
    // Explorer hands over full paths: only a long one is refused.
    switch (AddSourcePath(dialog, path)) {
    case ADD_DONE:
        h->added++;
        break;
    case ADD_REFUSED:
        h->skipped[SKIP_LONG_PATH]++;
        break;
    case ADD_FAILED:
        h->failed = true;
        break;
    }
}

// The files directly inside the folder; subfolders are not entered, and a
// name that cannot be used is counted and passed over.
void AddFolderImages(HWND dialog, const wchar_t *folder, HandOver *h)
{
    size_t length = size_t(lstrlenW(folder));
    wchar_t *path = length + 3 <= kWidePathCapacity ? AllocWide(kWidePathCapacity) : nullptr;
    if (!path) {
        PrintStatus(MSG_MEMORY_ERROR);
        h->failed = true;
        return;
    }
    lstrcpyW(path, folder);
    if (length > 0 && path[length - 1] != L'\\')
        path[length++] = L'\\';
    lstrcpyW(path + length, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more && !h->failed;
         more = FindNextFileW(search, &found)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (length + size_t(lstrlenW(found.cFileName)) >= kWidePathCapacity) {
            h->skipped[SKIP_LONG_PATH]++;
            continue;
        }
        lstrcpyW(path + length, found.cFileName);
        AddImage(dialog, path, h);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    CoreFree(path);
}

void ReportHandOver(const HandOver &h)
{
    int skipped = 0, reasons = 0;
    for (int count : h.skipped) {
        skipped += count;
        reasons += count > 0;
    }
    if (skipped == 0) {
        PrintStatus(MSG_DROP_ADDED, h.added);
        return;
    }
    char why[kStatusBufferSize] = "";
    for (int r = 0; r < kSkipReasons; r++) {
        if (h.skipped[r] == 0)
            continue;
        if (reasons == 1) {
            lstrcpynA(why, kReasonAlone[r], sizeof why);
            break;
        }
        char part[128];
        std::snprintf(part, sizeof part, kReasonCounted[r], h.skipped[r]);
        if (why[0])
            lstrcatA(why, ", ");
        lstrcatA(why, part);
    }
    PrintStatus(MSG_DROP_SKIPPED, h.added, skipped, why);
}

// Images and folders first, so that the status line counts them, then each
// SHP16 file in the preview: a modal window of its own.
void HandOverPaths(HWND dialog, UINT count, PathAtFunction pathAt, const void *source)
{
    HandOver h = {};
    int handled = 0, shpFiles = 0;
    for (UINT i = 0; i < count && !h.failed; i++) {
        wchar_t *wide = pathAt(source, i);
        char path[kPathBufferSize];
        if (!wide) {
            PrintStatus(MSG_MEMORY_ERROR);
            h.failed = true;
        } else if (IsShpPath(wide)) {
            shpFiles += ConvertOrCount(wide, path, &h);
        } else {
            // Explorer hands over what exists; a command line may name what does not.
            DWORD attributes = GetFileAttributesW(wide);
            if (attributes == INVALID_FILE_ATTRIBUTES)
                h.skipped[SKIP_NOT_FOUND]++;
            else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                AddFolderImages(dialog, wide, &h);
            else
                AddImage(dialog, wide, &h);
            handled++;
        }
        CoreFree(wide);
    }
    if (h.failed)
        return;
    if (handled > 0 || shpFiles == 0)
        ReportHandOver(h);
    for (UINT i = 0; i < count && shpFiles > 0; i++) {
        wchar_t *wide = pathAt(source, i);
        char path[kPathBufferSize];
        HandOver ignored = {};
        if (wide && IsShpPath(wide) && ConvertOrCount(wide, path, &ignored)) {
            PreviewShpFile(dialog, path);
            shpFiles--;
        }
        CoreFree(wide);
    }
}

wchar_t *DroppedPath(const void *source, UINT i)
{
    HDROP drop = HDROP(const_cast<void *>(source));
    UINT length = DragQueryFileW(drop, i, nullptr, 0);
    wchar_t *path = AllocWide(size_t(length) + 1);
    if (path && DragQueryFileW(drop, i, path, length + 1) != length) {
        CoreFree(path);
        path = nullptr;
    }
    return path;
}

// Made full, as Explorer's are: a row needs the folder part. One without a
// full path (an empty argument) comes back empty, a path to nothing that is
// counted as such; null stays for a failed allocation.
wchar_t *ArgumentPath(const void *source, UINT i)
{
    const wchar_t *argument = static_cast<wchar_t *const *>(source)[i + 1];
    DWORD length = GetFullPathNameW(argument, 0, nullptr, nullptr);
    wchar_t *path = AllocWide(length ? length : 1);
    if (path && length == 0)
        path[0] = L'\0';
    else if (path && GetFullPathNameW(argument, length, path, nullptr) >= length) {
        CoreFree(path);
        path = nullptr;
    }
    return path;
}

}  // namespace

void AddDroppedFiles(HWND dialog, HDROP drop)
{
    HandOverPaths(dialog, DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), DroppedPath, drop);
    DragFinish(drop);
}

void OpenCommandLinePaths(HWND dialog, const wchar_t *commandLine)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(commandLine, &count);
    if (!arguments)
        return;
    if (count > 1)
        HandOverPaths(dialog, UINT(count - 1), ArgumentPath, arguments);
    LocalFree(arguments);
}
