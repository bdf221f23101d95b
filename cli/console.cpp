#include "cli/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {

// Larger than any message, so that each reaches the console in one write.
constexpr size_t kConsoleBufferSize = 4096;

// The code page the console had before we changed it; 0 when we did not.
// Ctrl+C restores it from a thread of its own.
volatile LONG g_previousOutputCodePage = 0;
int g_progressLength = 0;

bool IsConsole(DWORD standardHandle)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(standardHandle), &mode) != FALSE;
}

// Our bytes go to the console unchanged, and the console decodes them in its
// code page. In text mode a C runtime may convert them by its own locale
// instead (Wine's does, as Latin-1); the console starts a new line at a bare
// line feed anyway. Unbuffered, a character of several bytes would arrive
// split over several writes, each decoded alone.
void PassBytesThrough(FILE *stream)
{
    _setmode(_fileno(stream), _O_BINARY);
    std::setvbuf(stream, nullptr, _IOFBF, kConsoleBufferSize);
}

// The console is shared with the shell that started us, so its code page is
// put back even when Ctrl+C or closing the window ends the job.
BOOL WINAPI RestoreOnBreak(DWORD)
{
    RestoreConsole();
    return FALSE;
}

}  // namespace

void PrepareConsole()
{
    bool outputIsConsole = IsConsole(STD_OUTPUT_HANDLE), errorIsConsole = IsConsole(STD_ERROR_HANDLE);
    if (!outputIsConsole && !errorIsConsole)
        return;
    if (outputIsConsole)
        PassBytesThrough(stdout);
    if (errorIsConsole)
        PassBytesThrough(stderr);
    UINT previous = GetConsoleOutputCP();
    if (previous == 0 || previous == GetACP() || !SetConsoleOutputCP(GetACP()))
        return;
    InterlockedExchange(&g_previousOutputCodePage, LONG(previous));
    SetConsoleCtrlHandler(RestoreOnBreak, TRUE);
}

void RestoreConsole()
{
    LONG previous = InterlockedExchange(&g_previousOutputCodePage, 0);
    if (previous != 0)
        SetConsoleOutputCP(UINT(previous));
}

bool ProgressWanted()
{
    return IsConsole(STD_ERROR_HANDLE);
}

void ShowProgress(const char *format, int index, int count)
{
    char line[64];
    int length = std::snprintf(line, sizeof line, format, index + 1, count);
    if (length < 0 || length >= int(sizeof line))
        return;
    // Spaces cover what is left of a longer previous line.
    std::fprintf(stderr, "\r%s%*s", line, g_progressLength > length ? g_progressLength - length : 0, "");
    std::fflush(stderr);
    g_progressLength = length;
}

void EndProgress()
{
    if (g_progressLength == 0)
        return;
    std::fprintf(stderr, "\r%*s\r", g_progressLength, "");
    std::fflush(stderr);
    g_progressLength = 0;
}
