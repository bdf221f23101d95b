#include "core/status.h"

#include <cstdio>

void FormatStatus(char *buffer, const char *format, va_list args)
{
    // Bounded formatting: a long path shortens the message instead of
    // overrunning the buffer. Some C runtimes leave a truncated result
    // unterminated and return -1, so terminate it here in every case.
    buffer[0] = '\0';
    std::vsnprintf(buffer, kStatusBufferSize, format, args);
    buffer[kStatusBufferSize - 1] = '\0';
}
