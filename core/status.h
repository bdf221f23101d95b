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

// Formats the message into kStatusBufferSize bytes (a longer one is cut
// short, never overrun) and hands it to ShowStatus.
void PrintStatus(const char *format, ...) KESTRANE_PRINTF(1, 2);

// Where the text goes: defined by each program (dialog, console, tests).
void ShowStatus(const char *text);
