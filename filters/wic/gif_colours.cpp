#include "filters/wic/gif_colours.h"

#include "core/gif_images.h"
#include "core/mapped_file.h"

bool GifFirstFrameLacksColours(const wchar_t *path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    MappedFile bytes(file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return FirstGifImageWithoutColours(bytes.data, bytes.size) == 0;
}
