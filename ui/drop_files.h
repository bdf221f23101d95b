// Files and folders dragged from Explorer onto the main dialog.
#pragma once
#include <windows.h>

#include <shellapi.h>

// Adds every dropped image as Add adds one, and from a dropped folder the
// images directly inside it. Files no import filter takes, and paths of 260
// bytes or more, are skipped; the status line gives the counts. Releases the drop.
void AddDroppedFiles(HWND dialog, HDROP drop);
