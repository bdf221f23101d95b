#include "ui/put_on_canvas.h"

#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/canvas_frames.h"
#include "ui/canvas_dialog.h"
#include "ui/source_commands.h"

AskCanvasFunction g_askCanvas = AskCanvas;

bool PutRowsOnCanvas(HWND dialog, const CanvasChoice &canvas)
{
    const char *first = SourceListGet(g_sourceList, 0);
    char folder[MAX_PATH];
    if (!first)
        return false;
    if (!CanvasFolderBeside(first, folder)) {
        PrintStatus(MSG_PATH_TOO_LONG, first);
        return false;
    }
    FrameFiles files;
    return WriteCanvasFrames(g_sourceList->items, g_sourceList->count, canvas, folder, FOLDER_NEW_OR_EMPTY,
                             &files) &&
           ReplaceRowsWithFrames(dialog, 0, g_sourceList->count, files);
}
