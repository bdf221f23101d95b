// LinkClass: a blue, bold, underlined text that opens its web address when
// clicked.
#pragma once
#include <windows.h>

#define LINK_CLASS_NAME "LinkClass"
#define LCM_SETURL (WM_USER + 10)  // lParam: the address, or null for none

void RegisterLinkClass();
void DeleteLinkFont();  // at program end
LRESULT CALLBACK LinkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Test seam: ShellExecuteA by default.
typedef HINSTANCE(WINAPI *ShellExecuteFunction)(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                                LPCSTR directory, INT show);
extern ShellExecuteFunction g_shellExecute;
