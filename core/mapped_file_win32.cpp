#include "core/mapped_file.h"

// Shared for deleting too: a reader of a few blocks must not stand in the way.
MappedFile::MappedFile(const char *path)
{
    Map(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                    nullptr));
}

MappedFile::MappedFile(const wchar_t *path)
{
    Map(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                    nullptr));
}

// The mapping holds the file open: the handle is closed here.
void MappedFile::Map(HANDLE file)
{
    if (file == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER length = {};
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0 && uint64_t(length.QuadPart) < SIZE_MAX)
        mapping_ = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    CloseHandle(file);
    data = mapping_ ? static_cast<const uint8_t *>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    size = data ? size_t(length.QuadPart) : 0;
}

MappedFile::~MappedFile()
{
    if (data)
        UnmapViewOfFile(data);
    if (mapping_)
        CloseHandle(mapping_);
}
