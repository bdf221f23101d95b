#include "cli/worker_protocol.h"

bool ReadAll(HANDLE pipe, void *bytes, size_t size)
{
    char *p = static_cast<char *>(bytes);
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size), done = 0;
        if (!ReadFile(pipe, p, chunk, &done, nullptr) || done == 0)
            return false;
        p += done;
        size -= done;
    }
    return true;
}

bool WriteAll(HANDLE pipe, const void *bytes, size_t size)
{
    const char *p = static_cast<const char *>(bytes);
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size), done = 0;
        if (!WriteFile(pipe, p, chunk, &done, nullptr) || done == 0)
            return false;
        p += done;
        size -= done;
    }
    return true;
}
