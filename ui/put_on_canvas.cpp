#include "ui/put_on_canvas.h"

#include "core/messages.h"
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
    if (!g_askCanvas(target.window, *ShownPreviewFrame(), &canvas))
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
