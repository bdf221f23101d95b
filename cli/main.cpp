// kestrane-cli: the conversion job for scripts and batch builds. Images are
// decoded by the same registered import filters as in the dialog program.
// It also reads SHP16 files back (--info checks one, --extract unpacks it)
// and cuts sprite sheets and animated GIFs into frame files (--split).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/cli_texts.h"
#include "cli/console.h"
#include "cli/report.h"
#include "cli/sequence.h"
#include "cli/shp_commands.h"
#include "cli/sources.h"
#include "cli/worker.h"
#include "cli/worker_pool.h"
#include "core/convert.h"
#include "core/messages.h"
#include "core/process_hardening.h"
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

void ShowImageProgress(int index, int count)
{
    ShowProgress(CLI_PROGRESS_IMAGE, index, count);
}

int Convert(const CliArguments &arguments)
{
    const char *output = arguments.paths[0];
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
    bool ok = AddImageArguments(arguments.paths + 1, arguments.pathCount - 1, outputFullPath,
                                arguments.naturalOrder);
    if (ok && !outputFits) {
        PrintStatus(MSG_CANT_CREATE_OUTPUT);
        ok = false;
    }
    GifFrameSets gifs = {};
    ok = ok && FinishSequence(arguments, &gifs);
    // Workers are started only for a list that holds up.
    if (ok && StartWorkerPool(arguments.workers)) {
        ok = ConvertThroughWorkers(output, arguments.convert);
        StopWorkerPool();
    } else {
        ok = ok && ConvertToShpWith(output, arguments.convert);
    }
    g_convertProgress = nullptr;
    if (!ok)
        ExplainSizeRefusal(gifs, g_status);
    RemoveGifFrames(&gifs);
    if (arguments.json)
        RecordOutput(outputFits ? outputFullPath : output, ok, g_status);
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    return ok ? kExitOk : kExitFailed;
}

// --split IMAGE DIR [--cell WxH [--margin M] [--spacing S] | --data FILE.json]
int Split(const CliArguments &arguments)
{
    // 0 x 0 would otherwise ask for a GIF's frames.
    if (arguments.cell && (arguments.cellWidth == 0 || arguments.cellHeight == 0)) {
        PrintStatus(MSG_CELL_EMPTY, arguments.cellWidth, arguments.cellHeight);
        return kExitFailed;
    }
    const SheetCut cut = {arguments.cellWidth, arguments.cellHeight, arguments.margin, arguments.spacing,
                          arguments.data};
    return SplitIntoFrames(arguments.paths[0], arguments.paths[1], cut) ? kExitOk : kExitFailed;
}

int Run(const CliArguments &arguments)
{
    const char *const *paths = arguments.paths;
    switch (arguments.mode) {
    case RUN_HELP:
    case RUN_VERSION:
        std::fputs(arguments.mode == RUN_HELP ? CLI_USAGE : CLI_VERSION, stdout);
        return kExitOk;
    case RUN_INFO:
        return ShowShpInfo(paths[0]) ? kExitOk : kExitFailed;
    case RUN_EXTRACT:
        return ExtractFrames(paths[0], paths[1]) ? kExitOk : kExitFailed;
    case RUN_SPLIT:
        return Split(arguments);
    case RUN_BATCH:
        if (ProgressWanted())
            g_convertProgress = ShowImageProgress;
        return RunBatch(arguments, g_status);
    case RUN_WORKER:
        return RunWorker(paths[0]);
    default:
        return Convert(arguments);
    }
}

}  // namespace

void ShowStatus(const char *text)
{
    lstrcpynA(g_status, text, sizeof g_status);
}

int wmain(int argc, wchar_t **argv)
{
    // Workers too: they load the filters. The imaging component loads the
    // shell's property library by name when first used.
    static const wchar_t *const loadedByName[] = {L"propsys.dll", nullptr};
    HardenProcess(loadedByName);
    // Nobody is there to close an error box when a script runs us.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    PrepareConsole();
    CliArguments arguments;
    int code = ParseArguments(argc, argv, &arguments);
    if (code == 0)
        code = Run(arguments);
    g_convertProgress = nullptr;
    EndProgress();
    if (g_status[0] && arguments.mode != RUN_WORKER) {
        // With --json, standard output holds the summary alone.
        FILE *stream = code == kExitOk && !arguments.json ? stdout : stderr;
        std::fputs(g_status, stream);
        std::fputc('\n', stream);
    }
    if (arguments.json && code != kExitUsage)
        PrintJsonSummary(stdout);
    ReleaseRecords();
    ReleaseArguments(&arguments);
    std::fflush(stdout);
    std::fflush(stderr);
    RestoreConsole();
    return code;
}
