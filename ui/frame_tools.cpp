// The preview's frame tools E, L, S and W, and the runner that writes frame
// files while the preview stays alive (see ui/frame_tools.h).
#include "ui/frame_tools.h"

#include <cstdio>
#include <cstring>

#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/dithered_frames.h"
#include "frames/frame_files.h"
#include "frames/shp_file.h"
#include "frames/split.h"
#include "res/resource.h"
#include "ui/cell_size_dialog.h"
#include "ui/file_choosers.h"
#include "ui/main_dialog.h"
#include "ui/preview.h"
#include "ui/source_commands.h"
#include "ui/ui_texts.h"

AskCellSizeFunction g_askCellSize = AskCellSize;

namespace {

HWND g_writingPreview;  // the preview whose tool writes now; null when none does
bool g_writeCancelled;

bool IsInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Before each frame file: the band says how far the set has come, and what
// waits is handled, so that the window repaints and Windows never finds it
// hung. Keys and clicks are dropped rather than replayed afterwards (a second
// S would split the first frame again); Esc cancels.
bool KeepAlive(int index, int count)
{
    char text[kStatusBufferSize];
    std::snprintf(text, sizeof text, TEXT_PREVIEW_WRITING, index + 1, count);
    SetPreviewNotice(text);
    MSG message;
    while (!g_writeCancelled && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));  // for the loops outside ours
            g_writeCancelled = true;
        } else if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
            g_writeCancelled = true;
        } else if (!IsInput(message.message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return !g_writeCancelled;
}

// A folder named after `path` beside it ("walk.shp" gives "walk-frames");
// false after PrintStatus when the name does not fit.
bool FolderBeside(const char *path, char *folder, const char *suffix = "-frames")
{
    if (FramesFolderBeside(path, folder, suffix))
        return true;
    PrintStatus(MSG_PATH_TOO_LONG, path);
    return false;
}

}  // namespace

void BeginFrameWrite(HWND preview)
{
    g_writingPreview = preview;
    g_writeCancelled = false;
    g_frameProgress = KeepAlive;
}

void EndFrameWrite()
{
    g_frameProgress = nullptr;
    g_writingPreview = nullptr;
}

bool FrameWriteRunning()
{
    return g_writingPreview != nullptr;
}

void CancelFrameWrite()
{
    g_writeCancelled = true;
}

bool ReplaceRowsOrRemove(HWND dialog, int first, int removed, FrameFiles *files)
{
    if (ReplaceRowsWithFrames(dialog, first, removed, *files))
        return true;
    RemoveFrameFiles(files);
    return false;
}

// E: the file's frames as PNG files, into a folder the user picks.
ToolOutcome ExtractToChosenFolder(const PreviewTarget &target)
{
    char folder[kPathBufferSize];
    if (!target.file || !ChooseFolder(target.window, folder))
        return TOOL_NOTHING;
    FrameFiles files;
    WriteFramesAlive(target.window, [&] {
        return ExtractShpFrames(*target.file, target.filePath, folder, FOLDER_WITHOUT_FRAME_FILES, &files);
    });
    return TOOL_DONE;
}

// L: the file's frames become the list and the file the destination, so that
// Convert makes the same file again, or, once a frame is edited, the file
// with that frame changed.
ToolOutcome LoadIntoList(const PreviewTarget &target)
{
    if (!target.file)
        return TOOL_DONE;
    if (g_sourceList->count > 0) {
        char question[kStatusBufferSize];
        std::snprintf(question, sizeof question, TEXT_LOAD_REPLACES_LIST, g_sourceList->count,
                      SourceRowText(target.filePath));
        if (g_messageBox(target.window, question, TEXT_APP_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return TOOL_NOTHING;
    }
    char folder[MAX_PATH];
    FrameFiles files;
    if (!FolderBeside(target.filePath, folder) || !WriteFramesAlive(target.window, [&] {
            return ExtractShpFrames(*target.file, target.filePath, folder, FOLDER_NEW_OR_EMPTY, &files);
        }))
        return TOOL_DONE;
    if (!ReplaceRowsOrRemove(target.owner, 0, g_sourceList->count, &files))
        return TOOL_DONE;
    SetDlgItemTextA(target.owner, IDC_DEST, target.filePath);
    return TOOL_CLOSE;
}

// NAME.json beside NAME.png, a packer's data for the sheet; false when there
// is none.
bool DataFileBeside(const char *path, char *data)
{
    if (!FramesFolderBeside(path, data, ".json"))
        return false;
    const DWORD attributes = GetFileAttributesA(data);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// S: the shown row's image becomes frames in its place: an animated GIF's
// frames at once, a still image's cells or the frames its data describes
// once asked.
ToolOutcome SplitShownRow(const PreviewTarget &target)
{
    const char *path = SourceListGet(g_sourceList, target.row);
    ImageFrames image = {};
    if (!path || !InspectImage(path, &image))
        return TOOL_DONE;
    SheetCut cut = {};
    char data[MAX_PATH];
    if (image.frameCount < 2 &&
        !g_askCellSize(target.window, image, DataFileBeside(path, data) ? data : nullptr, &cut))
        return TOOL_NOTHING;
    char folder[MAX_PATH];
    FrameFiles files;
    if (!FolderBeside(path, folder) || !WriteFramesAlive(target.window, [&] {
            return SplitSheet(path, cut, folder, FOLDER_NEW_OR_EMPTY, &files);
        }))
        return TOOL_DONE;
    return ReplaceRowsOrRemove(target.owner, target.row, 1, &files) ? TOOL_ROWS_CHANGED : TOOL_DONE;
}

// W: the dithered view kept. The rows' images, dithered as shown, become
// frame files beside the first row's image and take the rows' places; their
// colours are RGB565 colours already, so Convert writes what the view shows.
ToolOutcome WriteDitheredRows(const PreviewTarget &target)
{
    const char *first = SourceListGet(g_sourceList, 0);
    char folder[MAX_PATH];
    FrameFiles files;
    if (!first || target.view == DITHER_NONE || !FolderBeside(first, folder, kDitheredFolderSuffix) ||
        !WriteFramesAlive(target.window,
                          [&] { return WriteDitheredFrames(*g_sourceList, target.view, folder, &files); }))
        return TOOL_DONE;
    return ReplaceRowsOrRemove(target.owner, 0, g_sourceList->count, &files) ? TOOL_ROWS_CHANGED : TOOL_DONE;
}
