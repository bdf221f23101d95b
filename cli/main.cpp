// kestrane-cli: the conversion job for scripts and batch builds. Images are
// decoded by the same registered import filters as in the dialog program.
// It also reads SHP16 files back (--info checks one, --extract unpacks it)
// and cuts sprite sheets and animated GIFs into frame files (--split).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cli/cli_texts.h"
#include "cli/console.h"
#include "cli/shp_commands.h"
#include "cli/sources.h"
#include "core/convert.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"

namespace {

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

int Usage()
{
    std::fputs(CLI_USAGE, stderr);
    return kExitUsage;
}

void ShowImageProgress(int index, int count)
{
    ShowProgress(CLI_PROGRESS_IMAGE, index, count);
}

int Convert(int argc, char **argv)
{
    const char *output = argv[1];
    if (HasImageExtension(output)) {
        std::fprintf(stderr, CLI_OUTPUT_IS_IMAGE, output);
        return Usage();
    }
    // A name longer than the 260 bytes every path is held in is refused whole,
    // as the job would refuse it, but before any image is decoded.
    char outputFullPath[MAX_PATH] = "";
    bool outputFits = FullPath(output, outputFullPath);

    g_sourceList = SourceListCreate();
    if (!g_sourceList) {
        PrintStatus(MSG_MEMORY_ERROR);
        return kExitFailed;
    }
    if (ProgressWanted())
        g_convertProgress = ShowImageProgress;
    bool ok = AddImageArguments(argv + 2, argc - 2, outputFullPath);
    if (ok && !outputFits) {
        PrintStatus(MSG_CANT_CREATE_OUTPUT);
        ok = false;
    }
    ok = ok && ConvertToShp(output);
    g_convertProgress = nullptr;
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    return ok ? kExitOk : kExitFailed;
}

// "64x48": two whole numbers of at most 9 digits each, so neither can wrap.
bool ParseCellSize(const char *text, uint32_t *width, uint32_t *height)
{
    uint32_t *number = width;
    int digits = 0;
    *width = *height = 0;
    for (const char *p = text;; p++) {
        if (*p >= '0' && *p <= '9' && digits < 9) {
            *number = *number * 10 + uint32_t(*p - '0');
            digits++;
        } else if ((*p == 'x' || *p == 'X') && number == width && digits > 0) {
            number = height;
            digits = 0;
        } else {
            return *p == '\0' && number == height && digits > 0;
        }
    }
}

// --split IMAGE DIR [--cell WxH]
int Split(int argc, char **argv)
{
    uint32_t cellWidth = 0, cellHeight = 0;
    const bool cells = argc == 6 && lstrcmpA(argv[4], "--cell") == 0;
    if (argc != 4 && !cells)
        return Usage();
    if (cells && !ParseCellSize(argv[5], &cellWidth, &cellHeight)) {
        std::fprintf(stderr, CLI_BAD_CELL, argv[5]);
        return Usage();
    }
    // 0 x 0 would otherwise ask for a GIF's frames.
    if (cells && (cellWidth == 0 || cellHeight == 0)) {
        PrintStatus(MSG_CELL_EMPTY, cellWidth, cellHeight);
        return kExitFailed;
    }
    return SplitIntoFrames(argv[2], argv[3], cellWidth, cellHeight) ? kExitOk : kExitFailed;
}

// Options come first and take a fixed number of arguments.
int RunOption(int argc, char **argv)
{
    const char *option = argv[1];
    bool help = lstrcmpA(option, "--help") == 0 || lstrcmpA(option, "/?") == 0;
    if (help || lstrcmpA(option, "--version") == 0) {
        if (argc != 2)
            return Usage();
        std::fputs(help ? CLI_USAGE : CLI_VERSION, stdout);
        return kExitOk;
    }
    if (lstrcmpA(option, "--info") == 0)
        return argc != 3 ? Usage() : (ShowShpInfo(argv[2]) ? kExitOk : kExitFailed);
    if (lstrcmpA(option, "--extract") == 0)
        return argc != 4 ? Usage() : (ExtractFrames(argv[2], argv[3]) ? kExitOk : kExitFailed);
    if (lstrcmpA(option, "--split") == 0)
        return Split(argc, argv);
    std::fprintf(stderr, CLI_UNKNOWN_OPTION, option);
    return Usage();
}

int Run(int argc, char **argv)
{
    if (argc >= 2 && (std::strncmp(argv[1], "--", 2) == 0 || lstrcmpA(argv[1], "/?") == 0))
        return RunOption(argc, argv);
    return argc < 3 ? Usage() : Convert(argc, argv);
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
    PrepareConsole();
    int code = Run(argc, argv);
    EndProgress();
    if (g_status[0]) {
        FILE *stream = code == kExitOk ? stdout : stderr;
        std::fputs(g_status, stream);
        std::fputc('\n', stream);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    RestoreConsole();
    return code;
}
