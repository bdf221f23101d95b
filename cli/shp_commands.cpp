#include "cli/shp_commands.h"

#include <cstdio>

#include "cli/cli_texts.h"
#include "cli/console.h"
#include "frames/shp_file.h"
#include "frames/split.h"

bool ShowShpInfo(const char *path)
{
    ShpFile shp;
    if (!OpenShpFile(path, &shp))
        return false;
    CloseShpFile(&shp);
    // The check proved every record's offset to be the one computed here.
    const ShpLayout &l = shp.layout;
    std::printf(CLI_INFO_LAYOUT, l.width, l.height, l.frameCount);
    for (uint32_t i = 0; i < l.frameCount; i++)
        std::printf(CLI_INFO_FRAME, i, ShpFrameOffset(l.width, l.height, l.frameCount, i));
    return true;
}

static bool ShowFrameProgress(int index, int count)
{
    ShowProgress(CLI_PROGRESS_FRAME, index, count);
    return true;
}

bool ExtractFrames(const char *path, const char *directory)
{
    ShpFile shp;
    if (!OpenShpFile(path, &shp))
        return false;
    if (ProgressWanted())
        g_frameProgress = ShowFrameProgress;
    FrameFiles files;
    bool ok = ExtractShpFrames(shp, path, directory, FOLDER_WITHOUT_FRAME_FILES, &files);
    g_frameProgress = nullptr;
    CloseShpFile(&shp);
    return ok;
}

bool SplitIntoFrames(const char *path, const char *directory, const SheetCut &cut)
{
    if (ProgressWanted())
        g_frameProgress = ShowFrameProgress;
    FrameFiles files;
    bool ok = SplitSheet(path, cut, directory, FOLDER_WITHOUT_FRAME_FILES, &files);
    g_frameProgress = nullptr;
    return ok;
}
