#include "core/status.h"

#include <cstdio>

void PrintStatus(const char *format, ...)
{
    // Bounded formatting: a long path shortens the message instead of
    // overrunning the buffer. Some C runtimes leave a truncated result
    // unterminated and return -1, so terminate it here in every case.
    char buffer[kStatusBufferSize];
    buffer[0] = '\0';
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, kStatusBufferSize, format, args);
    va_end(args);
    buffer[kStatusBufferSize - 1] = '\0';
    ShowStatus(buffer);
}
