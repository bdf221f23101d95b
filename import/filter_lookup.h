// Finds the graphics import filter registered for a file extension.
#pragma once
#include <windows.h>

// 1 when a filter's "Extensions" list names extension (no dot, any case).
// When libraryPath is not null, the filter's "Path" is read into it, with
// *libraryPathSize as the in/out byte count.
int FindImportFilter(char *libraryPath, DWORD *libraryPathSize, const char *extension);
int ExtensionListContains(const char *list, const char *extension);
const char *FindTextNoCase(const char *text, const char *pattern);
