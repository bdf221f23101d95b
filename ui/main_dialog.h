// The main dialog: its procedure, the status line and the start-up state
// shared with the other parts of the user interface.
#pragma once
#include <windows.h>

extern HWND g_mainDialog;
extern HINSTANCE g_instance;  // for the dialog box and the file dialogs
// The program's command line: its paths are handled as a drop once the
// start-up warning is dismissed. Null: none (as in tests).
extern const wchar_t *g_commandLine;

// Every message box of the program goes through this, so that tests can
// answer it instead of a person. MessageBoxA by default.
typedef int(WINAPI *MessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
extern MessageBoxFunction g_messageBox;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The start-up sequence of WinMain: checks the filters, runs the dialog,
// releases everything. Always 0.
int RunKestrane(HINSTANCE instance);
// 1 when a graphics import filter is registered for the extension.
int HasImportFilter(const char *extension);
