// The one channel for progress and error messages. Each program decides where
// the text goes: the dialog's status line, the console, or a test's buffer.
#pragma once
#include <cstdarg>
#include <cstddef>

constexpr size_t kStatusBufferSize = 512;

#if defined(__GNUC__)
#define KESTRANE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KESTRANE_PRINTF(fmt, args)
#endif

void PrintStatus(const char *format, ...) KESTRANE_PRINTF(1, 2);

// Formats into buffer (kStatusBufferSize bytes), truncating what does not fit.
void FormatStatus(char *buffer, const char *format, va_list args);
