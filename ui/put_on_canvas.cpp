#include "ui/put_on_canvas.h"

#include "core/messages.h"
#include "core/placement.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/canvas_frames.h"
#include "ui/canvas_dialog.h"
#include "ui/preview.h"

AskCanvasFunction g_askCanvas = AskCanvas;

ToolOutcome PutRowsOnCanvas(const PreviewTarget &target)
{
    CanvasChoice canvas = {true, 0, 0, ANCHOR_CENTER, false};
    int unreadable = -1;
    if (!LargestRowSize(&canvas.width, &canvas.height, &unreadable)) {
        PrintStatus(MSG_CANT_READ_IMAGE, SourceListGet(g_sourceList, unreadable));
        return TOOL_DONE;
    }
    RecordedOffsets recorded;
    if (!ReadRecordedOffsets(g_sourceList->items, g_sourceList->count, &recorded)) {
        PrintStatus(MSG_MEMORY_ERROR);
        return TOOL_DONE;
    }
    if (recorded.spots) {
        canvas.fromFiles = true;
        canvas.width = recorded.width;
        canvas.height = recorded.height;
    }
    const bool asked = g_askCanvas(target.window, *ShownPreviewFrame(),
                                   recorded.spots ? &recorded.spots[target.row] : nullptr, &canvas);
    ReleaseRecordedOffsets(&recorded);
    if (!asked)
        return TOOL_NOTHING;
    const char *first = SourceListGet(g_sourceList, 0);
    char folder[MAX_PATH];
    if (!CanvasFolderBeside(first, folder)) {
        PrintStatus(MSG_PATH_TOO_LONG, first);
        return TOOL_DONE;
    }
    FrameFiles files;
    if (!WriteFramesAlive(target.window, [&] {
            return WriteCanvasFrames(g_sourceList->items, g_sourceList->count, canvas, folder,
                                     FOLDER_NEW_OR_EMPTY, &files);
        }))
        return TOOL_DONE;
    return ReplaceRowsOrRemove(target.owner, 0, g_sourceList->count, &files) ? TOOL_ROWS_CHANGED : TOOL_DONE;
}
