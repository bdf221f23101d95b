#include "ui/drop_files.h"

#include "core/messages.h"
#include "core/status.h"
#include "ui/file_choosers.h"
#include "ui/main_dialog.h"
#include "ui/source_commands.h"

namespace {

struct DropCounts {
    int added, noFilter, longPath;
    bool failed;  // an allocation failed: the status line already says so
};

// A filter is registered for the extension of the file-name part.
bool HasFilterFor(const char *path)
{
    const char *dot = nullptr;
    for (const char *p = path; *p; p++)
        if (*p == '.')
            dot = p;
        else if (*p == '\\')
            dot = nullptr;
    return dot && dot[1] && HasImportFilter(dot + 1);
}

void AddDroppedImage(HWND dialog, const char *path, DropCounts *counts)
{
    if (!HasFilterFor(path)) {
        counts->noFilter++;
        return;
    }
    // Explorer hands over full paths: only a long one is refused.
    switch (AddSourcePath(dialog, path)) {
    case ADD_DONE:
        counts->added++;
        break;
    case ADD_REFUSED:
        counts->longPath++;
        break;
    case ADD_FAILED:
        counts->failed = true;
        break;
    }
}

// The files directly inside the folder; subfolders are not entered.
void AddFolderImages(HWND dialog, const char *folder, DropCounts *counts)
{
    char path[2 * kPathBufferSize];
    int length = lstrlenA(folder);
    lstrcpyA(path, folder);
    if (length > 0 && path[length - 1] != '\\')
        path[length++] = '\\';
    lstrcpyA(path + length, "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (length + lstrlenA(found.cFileName) >= int(kPathBufferSize)) {
            counts->longPath++;
            continue;
        }
        lstrcpyA(path + length, found.cFileName);
        AddDroppedImage(dialog, path, counts);
    } while (!counts->failed && FindNextFileA(search, &found));
    FindClose(search);
}

void ReportDrop(const DropCounts &counts)
{
    int skipped = counts.noFilter + counts.longPath;
    if (skipped == 0)
        PrintStatus(MSG_DROP_ADDED, counts.added);
    else if (counts.longPath == 0)
        PrintStatus(MSG_DROP_SKIPPED_NO_FILTER, counts.added, skipped);
    else if (counts.noFilter == 0)
        PrintStatus(MSG_DROP_SKIPPED_LONG_PATH, counts.added, skipped);
    else
        PrintStatus(MSG_DROP_SKIPPED_BOTH, counts.added, skipped, counts.noFilter, counts.longPath);
}

}  // namespace

void AddDroppedFiles(HWND dialog, HDROP drop)
{
    DropCounts counts = {};
    UINT dropped = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < dropped && !counts.failed; i++) {
        // Asked for its length first: a long path is refused, never cut.
        char path[kPathBufferSize];
        if (DragQueryFileA(drop, i, nullptr, 0) >= kPathBufferSize) {
            counts.longPath++;
            continue;
        }
        DragQueryFileA(drop, i, path, sizeof(path));
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            AddFolderImages(dialog, path, &counts);
        else
            AddDroppedImage(dialog, path, &counts);
    }
    DragFinish(drop);
    if (!counts.failed)
        ReportDrop(counts);
}
