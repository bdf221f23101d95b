#include "core/mapped_file.h"

MappedFile::MappedFile(HANDLE file)
{
    LARGE_INTEGER length = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &length) || length.QuadPart <= 0 ||
        uint64_t(length.QuadPart) >= SIZE_MAX)
        return;
    mapping_ = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
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
