// kestrane-cli: the conversion job for scripts and batch builds. Images are
// decoded by the same registered import filters as in the dialog program.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/convert.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"

namespace {

const char kUsage[] = "Usage: kestrane-cli OUTPUT.shp IMAGE...\n"
                      "Converts PNG, GIF or JPEG images of equal size, in the order given,\n"
                      "into the frames of one 16-bit SHP file.\n";
const char kOutputIsImage[] = "Error: The output file must not be an image file: %s\n";
const char kOutputIsInput[] = "Error: The output file is also a source image: %s";

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// The job's last status message; the dialog's status line keeps only the
// last one too.
char g_status[kStatusBufferSize];

// Forgetting the output name would turn the first image into the output and
// overwrite it, so an output named like an image is refused.
bool HasImageExtension(const char *path)
{
    static const char *const kImageExtensions[] = {".png", ".gif", ".jpg", ".jpeg", ".jpe", ".jfif"};
    const char *dot = std::strrchr(path, '.');
    if (!dot || std::strpbrk(dot, "\\/"))
        return false;
    for (const char *extension : kImageExtensions)
        if (lstrcmpiA(dot, extension) == 0)
            return true;
    return false;
}

// Full path of a source image, as the dialog would list it. False when it
// does not fit the 260-byte path the filters receive.
bool FullPath(const char *path, char *fullPath)
{
    DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    return length > 0 && length < MAX_PATH;
}

bool FillSourceList(char **images, int count, const char *outputFullPath)
{
    for (int i = 0; i < count; i++) {
        char fullPath[MAX_PATH];
        if (!FullPath(images[i], fullPath)) {
            PrintStatus(MSG_CANT_READ_IMAGE, images[i]);
            return false;
        }
        if (outputFullPath[0] && lstrcmpiA(fullPath, outputFullPath) == 0) {
            PrintStatus(kOutputIsInput, images[i]);
            return false;
        }
        char *copy = CopyPath(fullPath);
        if (!copy || !SourceListInsert(g_sourceList, g_sourceList->count, copy)) {
            CoreFree(copy);
            PrintStatus(MSG_MEMORY_ERROR);
            return false;
        }
    }
    return true;
}

int Run(int argc, char **argv)
{
    if (argc == 2 && (lstrcmpA(argv[1], "--help") == 0 || lstrcmpA(argv[1], "/?") == 0)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const char *output = argv[1];
    if (HasImageExtension(output)) {
        std::fprintf(stderr, kOutputIsImage, output);
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    char outputFullPath[MAX_PATH] = "";
    if (!FullPath(output, outputFullPath))
        outputFullPath[0] = '\0';  // the job reports what it cannot create

    g_sourceList = SourceListCreate();
    if (!g_sourceList) {
        PrintStatus(MSG_MEMORY_ERROR);
        return kExitFailed;
    }
    bool ok = FillSourceList(argv + 2, argc - 2, outputFullPath) && ConvertToShp(output);
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

void ShowStatus(const char *text)
{
    lstrcpynA(g_status, text, sizeof g_status);
}

int main(int argc, char **argv)
{
    // Nobody is there to close an error box when a script runs us.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    int code = Run(argc, argv);
    if (g_status[0]) {
        FILE *stream = code == kExitOk ? stdout : stderr;
        std::fputs(g_status, stream);
        std::fputc('\n', stream);
    }
    return code;
}
