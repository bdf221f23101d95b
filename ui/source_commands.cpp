#include "ui/source_commands.h"

#include <cstring>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/natural_order.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/frame_files.h"
#include "res/resource.h"
#include "ui/file_choosers.h"

static LRESULT SendToList(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(dialog, IDC_SOURCES, message, wParam, lParam);
}

// Convert is enabled exactly while there is something to convert.
static void UpdateConvertButton(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDOK), g_sourceList && g_sourceList->count > 0);
}

const char *SourceRowText(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\')
            name = p + 1;
    return name;
}

AddResult AddSourcePath(HWND dialog, const char *path)
{
    const char *name = SourceRowText(path);
    if (name - path < 2 || lstrlenA(path) >= int(kPathBufferSize))  // no folder part
        return ADD_REFUSED;
    char rowText[MAX_PATH];
    lstrcpynA(rowText, name, sizeof(rowText));

    // The copy is made first, so that once the row exists only the insertion
    // can fail, and then the row is taken back: rows and entries stay one to one.
    char *copy = CopyPath(path);
    if (!copy) {
        PrintStatus(MSG_MEMORY_ERROR);
        return ADD_FAILED;
    }
    LRESULT row = SendToList(dialog, LB_ADDSTRING, 0, LPARAM(rowText));
    if (row < 0) {
        CoreFree(copy);
        PrintStatus(MSG_MEMORY_ERROR);
        return ADD_FAILED;
    }
    if (!SourceListInsert(g_sourceList, int(row), copy)) {
        SendToList(dialog, LB_DELETESTRING, WPARAM(row), 0);
        CoreFree(copy);
        PrintStatus(MSG_MEMORY_ERROR);
        return ADD_FAILED;
    }
    UpdateConvertButton(dialog);
    return ADD_DONE;
}

bool ReplaceRowsWithFrames(HWND dialog, int first, int removed, const FrameFiles &files)
{
    // The new rows go in after the old ones, which are deleted only once the
    // entries have changed too; on a refusal the new rows go again instead.
    int count = int(files.count), at = first + removed, made = 0;
    char **paths = static_cast<char **>(CoreAlloc(sizeof(char *) * files.count));
    bool done = paths != nullptr;
    SendToList(dialog, WM_SETREDRAW, FALSE, 0);
    for (; done && made < count; made++) {
        char path[MAX_PATH];
        FrameFilePath(files, uint32_t(made), path);
        paths[made] = CopyPath(path);
        if (!paths[made] ||
            SendToList(dialog, LB_INSERTSTRING, WPARAM(at + made), LPARAM(SourceRowText(path))) < 0) {
            CoreFree(paths[made]);
            done = false;
            break;
        }
    }
    done = done && SourceListReplace(g_sourceList, first, removed, paths, count);
    for (int i = 0; i < (done ? removed : made); i++)
        SendToList(dialog, LB_DELETESTRING, WPARAM(done ? first : at), 0);
    for (int i = 0; !done && i < made; i++)
        CoreFree(paths[i]);
    CoreFree(paths);
    SendToList(dialog, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(GetDlgItem(dialog, IDC_SOURCES), nullptr, TRUE);
    if (!done)
        PrintStatus(MSG_MEMORY_ERROR);
    UpdateConvertButton(dialog);
    return done;
}

int SortRowsNaturally(HWND dialog, int row)
{
    const int count = g_sourceList->count;
    char **sorted = static_cast<char **>(CoreAlloc(sizeof(char *) * size_t(count + 1)));
    if (!sorted) {
        PrintStatus(MSG_MEMORY_ERROR);
        return -1;
    }
    std::memcpy(sorted, g_sourceList->items, sizeof(char *) * size_t(count));
    SortNaturally(sorted, count);
    // The new rows go in after the old ones, as in ReplaceRowsWithFrames.
    SendToList(dialog, WM_SETREDRAW, FALSE, 0);
    int made = 0;
    while (made < count && SendToList(dialog, LB_INSERTSTRING, WPARAM(count + made),
                                      LPARAM(SourceRowText(sorted[made]))) >= 0)
        made++;
    const bool done = made == count;
    for (int i = 0; i < (done ? count : made); i++)
        SendToList(dialog, LB_DELETESTRING, WPARAM(done ? 0 : count), 0);
    int moved = -1;
    for (int i = 0; done && i < count; i++)
        moved = sorted[i] == g_sourceList->items[row] ? i : moved;
    if (done)
        std::memcpy(g_sourceList->items, sorted, sizeof(char *) * size_t(count));
    else
        PrintStatus(MSG_MEMORY_ERROR);
    CoreFree(sorted);
    SendToList(dialog, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(GetDlgItem(dialog, IDC_SOURCES), nullptr, TRUE);
    return moved;
}

void AddSourceImage(HWND dialog)
{
    if (ChooseInputFile(dialog))
        AddSourcePath(dialog, g_pathBuffer);
}

void RemoveSourceImage(HWND dialog)
{
    LRESULT row = SendToList(dialog, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR)
        return;
    // The row goes only with its entry, or Convert would write other frames
    // than the ones the user sees.
    if (!SourceListRemove(g_sourceList, int(row))) {
        PrintStatus(MSG_MEMORY_ERROR);
        return;
    }
    SendToList(dialog, LB_DELETESTRING, WPARAM(row), 0);
    SendToList(dialog, LB_SETCURSEL, WPARAM(row), 0);
    UpdateConvertButton(dialog);
}

// Moves row `row` to `row + offset` (offset ±1) and selects it. The copy is
// inserted before the original is deleted, so a refused insertion loses no row.
static bool MoveRow(HWND dialog, int row, int offset, char *text)
{
    LRESULT length = SendToList(dialog, LB_GETTEXTLEN, WPARAM(row), 0);
    if (length < 0 || length >= LRESULT(kPathBufferSize))
        return false;
    SendToList(dialog, LB_GETTEXT, WPARAM(row), LPARAM(text));
    int insertAt = offset < 0 ? row - 1 : row + 2;
    if (SendToList(dialog, LB_INSERTSTRING, WPARAM(insertAt), LPARAM(text)) < 0)
        return false;
    SendToList(dialog, LB_DELETESTRING, WPARAM(offset < 0 ? row + 1 : row), 0);
    SendToList(dialog, LB_SETCURSEL, WPARAM(row + offset), 0);
    return true;
}

void MoveSourceUp(HWND dialog)
{
    LRESULT row = SendToList(dialog, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR || row < 1)
        return;
    char text[kPathBufferSize];
    if (MoveRow(dialog, int(row), -1, text))
        SourceListSwap(g_sourceList, int(row), int(row) - 1);
}

void MoveSourceDown(HWND dialog)
{
    LRESULT count = SendToList(dialog, LB_GETCOUNT, 0, 0);
    LRESULT row = SendToList(dialog, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR || row > count - 2)
        return;
    // The moved row's text stays in the shared buffer: the next file dialog
    // opens with it.
    if (MoveRow(dialog, int(row), +1, g_pathBuffer) && row + 1 < g_sourceList->count)
        SourceListSwap(g_sourceList, int(row), int(row) + 1);
}
