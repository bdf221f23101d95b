// Add, Remove, Up and Down: each edits the list box and g_sourceList together,
// so that row i always names the file of entry i.
#pragma once
#include <windows.h>

void AddSourceImage(HWND dialog);
void RemoveSourceImage(HWND dialog);
void MoveSourceUp(HWND dialog);
void MoveSourceDown(HWND dialog);

// The part of Add after the open dialog, shared with drops: the file-name part
// of `path` becomes a row at its sorted place and the path the entry at the
// same index. A path with no folder part, or of 260 bytes or more, is refused;
// a failed allocation is reported in the status line and changes nothing.
// What a row shows of its entry's path: the part after the last backslash.
const char *SourceRowText(const char *path);

// Rows first … first + removed − 1 and their entries give way to the frame
// files, in order, in their place; all or nothing: on failure (reported in
// the status line) the list is as it was.
struct FrameFiles;
bool ReplaceRowsWithFrames(HWND dialog, int first, int removed, const FrameFiles &files);

// The rows and their entries in NaturalCompare's order of the rows' names,
// all or nothing; the list box's own sorting, for rows added, stays by text.
// Where entry `row` went, or -1 after PrintStatus (the list as it was).
int SortRowsNaturally(HWND dialog, int row);

enum AddResult { ADD_DONE, ADD_REFUSED, ADD_FAILED };
AddResult AddSourcePath(HWND dialog, const char *path);
