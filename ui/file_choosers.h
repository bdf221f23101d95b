// The open and save dialogs. Both use g_pathBuffer: its content is the
// dialog's initial file name, and the chosen path is left in it.
#pragma once
#include <windows.h>

#include <commdlg.h>

#include <cstddef>

constexpr size_t kPathBufferSize = MAX_PATH;
extern char g_pathBuffer[kPathBufferSize];

int ChooseInputFile(HWND dialog);
int ChooseOutputFile(HWND dialog);

// A folder for frame files, chosen in the system's folder dialog; its path
// in `folder` (kPathBufferSize bytes). 0 when cancelled or, after
// PrintStatus, when the path does not fit.
int ChooseFolder(HWND owner, char *folder);

// The open dialog's filter for the image types found, PNG, GIF and JPG in that
// order: one description and one pattern, then the closing empty string.
constexpr size_t kOpenFilterSize = 80;
void BuildOpenFilter(char *filter, bool hasPng, bool hasGif, bool hasJpg);

// Test seams: the common dialog calls (GetOpenFileNameW, GetSaveFileNameW).
typedef BOOL(WINAPI *FileDialogFunction)(OPENFILENAMEW *dialog);
extern FileDialogFunction g_getOpenFileName;
extern FileDialogFunction g_getSaveFileName;
// Answers ChooseFolder in tests: the chosen folder's wide path in `folder`
// (MAX_PATH characters), false when cancelled.
typedef bool (*FolderDialogFunction)(HWND owner, wchar_t *folder);
extern FolderDialogFunction g_chooseFolder;
