#include "tests/support/status_capture.h"

#include "core/status.h"

static std::string g_lastStatus;

void PrintStatus(const char *format, ...)
{
    char buffer[kStatusBufferSize];
    va_list args;
    va_start(args, format);
    FormatStatus(buffer, format, args);
    va_end(args);
    g_lastStatus = buffer;
}

const std::string &LastStatus()
{
    return g_lastStatus;
}

void ClearStatus()
{
    g_lastStatus = "<no status>";
}
