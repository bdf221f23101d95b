// A system DLL loaded from System32 by its full path, with what it imports
// from System32 too, and kept for the life of the process.
#pragma once
#include <windows.h>

// Null when it cannot be loaded. A later load of the same name, by anyone in
// the process (a system DLL's load at its first use included), finds this one.
HMODULE LoadSystemLibrary(const wchar_t *name);

// A library loaded by its full path, what it imports looked for where
// `searchFlags` say. Systems without the update that brings the search flags
// refuse them: there, the altered search starts in the library's own folder
// (and the current folder is dropped from it by the process's hardening).
HMODULE LoadLibraryByFullPath(const wchar_t *path, DWORD searchFlags);
