// Wide paths, as the shell and the wide functions hand them over, in the
// 8-bit code page every ...A call of the programs takes: never cut, never
// changed. A character the code page lacks is refused, not replaced by a
// look-alike ("ł" by "l"), which would name another file.
#pragma once
#include <cstddef>

enum ProgramPathResult { PATH_CONVERTED, PATH_TOO_LONG, PATH_UNUSABLE };

// `wide` in code page `codePage` into `capacity` bytes (emptied on failure).
// PATH_TOO_LONG when it needs more bytes, PATH_UNUSABLE when the code page
// cannot hold one of its characters exactly.
ProgramPathResult WideToCodePage(unsigned codePage, const wchar_t *wide, char *text, size_t capacity);

// The same in the program's code page (UTF-8 under its manifest on Windows 10
// version 1903 and later, the system's before).
ProgramPathResult ToProgramPath(const wchar_t *wide, char *path, size_t capacity);

// For messages only: the text as near as the code page comes, never refused.
void ShowWideText(const wchar_t *wide, char *text, size_t capacity);
