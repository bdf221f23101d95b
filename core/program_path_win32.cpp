#include "core/program_path.h"

#include <windows.h>

ProgramPathResult WideToCodePage(unsigned codePage, const wchar_t *wide, char *text, size_t capacity)
{
    // UTF-8 holds every character but a lone surrogate. Any other code page
    // maps what it lacks to a look-alike unless told not to, and to its
    // default character then, which only the flag reveals.
    const bool utf8 = codePage == CP_UTF8;
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(codePage, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide, -1,
                                    text, int(capacity), nullptr, utf8 ? nullptr : &lossy);
    if (bytes > 0 && !lossy)
        return PATH_CONVERTED;
    const bool tooLong = bytes == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    if (capacity > 0)
        text[0] = '\0';
    return tooLong ? PATH_TOO_LONG : PATH_UNUSABLE;
}

ProgramPathResult ToProgramPath(const wchar_t *wide, char *path, size_t capacity)
{
    return WideToCodePage(GetACP(), wide, path, capacity);
}

void ShowWideText(const wchar_t *wide, char *text, size_t capacity)
{
    if (capacity > 0 && !WideCharToMultiByte(CP_ACP, 0, wide, -1, text, int(capacity), nullptr, nullptr))
        text[capacity - 1] = '\0';
}
