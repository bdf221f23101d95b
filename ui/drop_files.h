// Paths that Explorer hands over: files and folders dragged onto the main
// dialog, or named on kestrane.exe's command line (Send To, Open with, a drop
// on the program's icon). Both are handled alike.
#pragma once
#include <windows.h>

#include <shellapi.h>

// Adds every image as Add adds one, and from a folder the images directly
// inside it; opens each SHP16 file in the preview, one after another. Files
// no import filter takes, paths of 260 bytes or more, names the program's
// code page cannot hold and paths that do not exist are skipped; the status
// line gives the counts.
// Releases the drop.
void AddDroppedFiles(HWND dialog, HDROP drop);

// The same for the paths on a command line (its first word is the program).
// A command line without paths changes nothing.
void OpenCommandLinePaths(HWND dialog, const wchar_t *commandLine);
