#include "cli/sequence.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cli/cli_texts.h"
#include "cli/report.h"
#include "core/convert.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/natural_order.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/split.h"

struct GifFrameSet {
    char gif[MAX_PATH];
    FrameFiles files;
};

namespace {

void WarnOfTextOrder()
{
    int first = 0, second = 0;
    if (FindNumbersInTextOrder(g_sourceList->items, g_sourceList->count, &first, &second))
        Warn(CLI_WARN_TEXT_ORDER, SourceListGet(g_sourceList, first),
             NameOfPath(SourceListGet(g_sourceList, second)));
}

GifFrameSet *NewSet(GifFrameSets *gifs)
{
    if (gifs->count == gifs->capacity) {
        int capacity = gifs->capacity ? 2 * gifs->capacity : 4;
        auto *grown = static_cast<GifFrameSet *>(CoreAlloc(sizeof(GifFrameSet) * size_t(capacity)));
        if (!grown)
            return nullptr;
        if (gifs->sets)
            std::memcpy(grown, gifs->sets, sizeof(GifFrameSet) * size_t(gifs->count));
        CoreFree(gifs->sets);
        gifs->sets = grown;
        gifs->capacity = capacity;
    }
    return &gifs->sets[gifs->count];
}

// A new, empty folder under the temporary folder. Made at once, in the place
// of the file that reserved its name: a folder or link someone else puts
// there first fails it.
bool TemporaryFolder(char *folder)
{
    char temporary[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temporary);
    if (length == 0 || length >= MAX_PATH || !GetTempFileNameA(temporary, "kst", 0, folder))
        return false;
    return DeleteFileA(folder) && CreateDirectoryA(folder, nullptr);
}

// Entry `index`, an animated GIF, gives way to its frame files, written as
// --split writes them. How many entries now stand in its place, or 0 after
// PrintStatus.
int PutFramesInPlace(int index, GifFrameSets *gifs)
{
    const char *gif = SourceListGet(g_sourceList, index);
    GifFrameSet *set = NewSet(gifs);
    char folder[MAX_PATH];
    if (!set || !TemporaryFolder(folder)) {
        PrintStatus(MSG_MEMORY_ERROR);
        return 0;
    }
    lstrcpynA(set->gif, gif, MAX_PATH);
    if (!SplitImage(gif, 0, 0, folder, FOLDER_NEW_OR_EMPTY, &set->files)) {
        RemoveDirectoryA(folder);
        return 0;
    }
    gifs->count++;
    const int count = int(set->files.count);
    char **paths = static_cast<char **>(CoreAlloc(sizeof(char *) * size_t(count)));
    int made = 0;
    for (; paths && made < count; made++) {
        char path[MAX_PATH];
        FrameFilePath(set->files, uint32_t(made), path);
        if (!(paths[made] = CopyPath(path)))
            break;
    }
    const bool replaced = made == count && SourceListReplace(g_sourceList, index, 1, paths, count);
    for (int i = 0; !replaced && i < made; i++)
        CoreFree(paths[i]);
    CoreFree(paths);
    if (!replaced)
        PrintStatus(MSG_MEMORY_ERROR);
    return replaced ? count : 0;
}

// Every animated GIF among the entries: its frames in its place, or a warning.
bool TakeGifFrames(bool gifFrames, GifFrameSets *gifs)
{
    for (int i = 0; i < g_sourceList->count; i++) {
        const char *path = SourceListGet(g_sourceList, i);
        // One the imaging component cannot read is the job's to refuse.
        const uint32_t frames = GifFrameCount(path);
        if (frames < 2)
            continue;
        if (!gifFrames) {
            Warn(CLI_WARN_ANIMATED_GIF, path, frames);
            continue;
        }
        const int taken = PutFramesInPlace(i, gifs);
        if (taken == 0)
            return false;
        i += taken - 1;
    }
    return true;
}

void Reverse()
{
    for (int i = 0, j = g_sourceList->count - 1; i < j; i++, j--)
        SourceListSwap(g_sourceList, i, j);
}

// 1 … n … 2: a loop then shows neither end twice.
bool PingPong()
{
    const int count = g_sourceList->count, back = count > 2 ? count - 2 : 0;
    char **paths = static_cast<char **>(CoreAlloc(sizeof(char *) * size_t(back + 1)));
    int made = 0;
    for (; paths && made < back; made++)
        if (!(paths[made] = CopyPath(SourceListGet(g_sourceList, count - 2 - made))))
            break;
    const bool added = paths && made == back && SourceListReplace(g_sourceList, count, 0, paths, back);
    for (int i = 0; !added && i < made; i++)
        CoreFree(paths[i]);
    CoreFree(paths);
    if (!added)
        PrintStatus(MSG_MEMORY_ERROR);
    return added;
}

}  // namespace

bool FinishSequence(const CliArguments &a, GifFrameSets *gifs)
{
    WarnOfTextOrder();
    if (!TakeGifFrames(a.gifFrames, gifs))
        return false;
    if (a.reverse)
        Reverse();
    return !a.pingpong || PingPong();
}

void RemoveGifFrames(GifFrameSets *gifs)
{
    for (int i = 0; i < gifs->count; i++) {
        RemoveFrameFiles(&gifs->sets[i].files);
        RemoveDirectoryA(gifs->sets[i].files.folder);  // made by TemporaryFolder, not by the split
    }
    CoreFree(gifs->sets);
    *gifs = GifFrameSets{};
}

void ExplainSizeRefusal(const GifFrameSets &gifs, char *status)
{
    const SizeRefusal &r = g_sizeRefusal;
    const char *image = SourceListGet(g_sourceList, r.index);
    if (r.index < 0 || !image)
        return;
    for (int i = 0; i < gifs.count; i++) {
        const char *folder = gifs.sets[i].files.folder;
        const size_t length = std::strlen(folder);
        if (std::strncmp(image, folder, length) == 0 && image[length] == '\\')
            image = gifs.sets[i].gif;
    }
    const size_t used = std::strlen(status);
    if (used + 1 < kStatusBufferSize)
        std::snprintf(status + used, kStatusBufferSize - used, "\n" CLI_SIZE_REFUSED, image, r.width,
                      r.height, r.firstWidth, r.firstHeight);
}
