// Finds the graphics import filter registered for a file extension: one rule
// for the programs' lookup and for our filter's registration, which must
// leave an extension only to a filter the lookup will then pick.
#pragma once
#include <windows.h>

constexpr DWORD kFilterNameCapacity = 260;  // a subkey name and its terminator

// 1 for the first filter subkey, in name order and other than `passOver` (may
// be null), whose "Extensions" list names extension (no dot, any case) and
// whose "Path" names a file that exists as written, in full (from a drive
// letter) and on a drive of this machine, not a network share. Its subkey name goes to
// filterName (kFilterNameCapacity bytes) and its Path to libraryPath, with
// *libraryPathSize as the in/out byte count, when they are not null; a Path
// longer than the caller's buffer leaves it as it was.
int FindFilterServing(const char *extension, const char *passOver, char *filterName, char *libraryPath,
                      DWORD *libraryPathSize);
// The same for the programs: every subkey counts.
int FindImportFilter(char *libraryPath, DWORD *libraryPathSize, const char *extension);
int ExtensionListContains(const char *list, const char *extension);
const char *FindTextNoCase(const char *text, const char *pattern);
