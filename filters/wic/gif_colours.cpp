#include "filters/wic/gif_colours.h"

#include "core/gif_images.h"
#include "core/mapped_file.h"

bool GifFirstFrameLacksColours(const wchar_t *path)
{
    MappedFile bytes(path);
    return FirstGifImageWithoutColours(bytes.data, bytes.size) == 0;
}
