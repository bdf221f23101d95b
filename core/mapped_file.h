// A file's bytes mapped read-only, for readers of a few header blocks that
// should not load a whole file to look at them.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

struct MappedFile {
    const uint8_t *data = nullptr;  // null when the file cannot be opened or is empty
    size_t size = 0;
    explicit MappedFile(const char *path);
    explicit MappedFile(const wchar_t *path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

  private:
    void Map(HANDLE file);
    HANDLE mapping_ = nullptr;
};
