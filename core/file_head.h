// The first bytes of a file, for what the program reads itself beside the
// import filters (a PNG's offsets).
#pragma once
#include <cstddef>
#include <cstdint>

// Up to `capacity` bytes from the start of the file at `path` into `buffer`;
// *size gets how many. False when the file cannot be opened or read.
bool ReadFileHead(const char *path, uint8_t *buffer, size_t capacity, size_t *size);
