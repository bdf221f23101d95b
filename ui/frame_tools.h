// The preview's frame tools: E extracts an opened SHP16 file's frames, L
// loads them into the list, S splits a row's image into frames, W keeps the
// dithered view of the rows as frames. Each writes
// frame files beside its source while the preview stays alive (progress in
// its band, keys dropped, Esc cancels), then changes the list all or nothing.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/dither.h"
#include "frames/frame_files.h"

struct ShpFile;

// What the preview shows when a tool runs.
struct PreviewTarget {
    HWND window, owner;    // the preview and the main dialog
    int row;               // the row shown (the list's preview)
    const ShpFile *file;   // the opened SHP16 file, or null
    const char *filePath;  // its path
    DitherMode view;       // how the rows are shown: exact or dithered
};

// What the preview does after a tool.
enum ToolOutcome {
    TOOL_NOTHING,       // the user changed their mind: nothing to report
    TOOL_DONE,          // the list is as it was; the status line says what happened
    TOOL_ROWS_CHANGED,  // rows were replaced from `row` on: count the frames anew
    TOOL_CLOSE,         // the list was replaced: the preview closes
};

// How to cut a still image into frames: its cells (size, margin, spacing),
// asked in a small dialog over the preview whose grid follows the numbers as
// they are typed, or the data file `dataPath` (null: none) beside it. False
// when cancelled. Tests answer it instead of a person.
struct ImageFrames;
struct SheetCut;
typedef bool (*AskCellSizeFunction)(HWND preview, const ImageFrames &image, const char *dataPath,
                                    SheetCut *cut);
extern AskCellSizeFunction g_askCellSize;

ToolOutcome ExtractToChosenFolder(const PreviewTarget &target);
ToolOutcome LoadIntoList(const PreviewTarget &target);
ToolOutcome SplitShownRow(const PreviewTarget &target);
ToolOutcome WriteDitheredRows(const PreviewTarget &target);

// A set of frame files made by `write` (as SplitImage or ExtractShpFrames
// make them) while the preview stays alive: the band shows how far it has
// come, keys typed meanwhile are dropped, Esc (or closing the preview)
// cancels and the set is removed. Tools to come use it too.
void BeginFrameWrite(HWND preview);
void EndFrameWrite();
template <typename Write> bool WriteFramesAlive(HWND preview, Write write)
{
    BeginFrameWrite(preview);
    bool written = write();
    EndFrameWrite();
    return written;
}

// Rows first … first + removed − 1 give way to the set; a set the rows
// cannot take is removed again, so that the next tool finds no debris.
bool ReplaceRowsOrRemove(HWND dialog, int first, int removed, FrameFiles *files);

// True while a set is written: the preview then takes no other key, and
// closing it cancels the set.
bool FrameWriteRunning();
void CancelFrameWrite();
