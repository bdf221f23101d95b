// SHP16 files come from anywhere: the layout check must never read outside
// the bytes it is given, must name what it refuses, and every frame of a
// file it accepts must lie inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/shp16_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ShpLayout layout = {};
    char problem[160] = "";
    if (!CheckShpLayout(data, size, size, &layout, problem, sizeof problem)) {
        if (!problem[0])
            std::abort();
        return 0;
    }
    uint32_t stride = (3 * layout.width + 3) & ~3u;
    std::vector<uint8_t> rows(size_t(stride) * layout.height);
    for (uint32_t i = 0; i < layout.frameCount; i++)
        ConvertFrameToBgr(data + ShpFrameOffset(layout.width, layout.height, layout.frameCount, i),
                          layout.width, layout.height, rows.data(), stride);
    return 0;
}
