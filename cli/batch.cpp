#include "cli/batch.h"

#include <windows.h>

#include <cstdio>

#include "cli/cli_texts.h"
#include "cli/console.h"
#include "cli/report.h"
#include "cli/sequence.h"
#include "cli/sources.h"
#include "cli/worker_pool.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/program_path.h"
#include "core/source_list.h"
#include "core/status.h"

namespace {

constexpr int kExitOk = 0, kExitFailed = 1;
// The workers start with the first folder that holds images.
enum { POOL_NOT_TRIED, POOL_STARTED, POOL_FAILED };

// As the window's list compares names.
bool SortsAfter(const char *name, const wchar_t *other)
{
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH))
        return false;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wide, -1, other, -1) == CSTR_GREATER_THAN;
}

// A name that Windows takes for a device whatever its folder, with or
// without an extension: NUL.shp would be "written" to nothing.
bool IsDeviceName(const wchar_t *name)
{
    static const wchar_t *const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    size_t length = 0;
    while (name[length] && name[length] != L'.')
        length++;
    while (length > 0 && name[length - 1] == L' ')
        length--;
    for (const wchar_t *device : kDevices)
        if (size_t(lstrlenW(device)) == length && CompareStringOrdinal(name, int(length), device, -1, TRUE) == CSTR_EQUAL)
            return true;
    const bool port = length == 4 && (CompareStringOrdinal(name, 3, L"COM", 3, TRUE) == CSTR_EQUAL ||
                                      CompareStringOrdinal(name, 3, L"LPT", 3, TRUE) == CSTR_EQUAL);
    return port && name[3] >= L'0' && name[3] <= L'9';
}

// Why a subfolder is not converted, or null: a device name, or a link or
// junction, which could lead anywhere, even back into the batch.
const char *PassOverReason(const WIN32_FIND_DATAW &found)
{
    if (IsDeviceName(found.cFileName))
        return CLI_RESERVED_NAME;
    return found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? CLI_LINKED_FOLDER : nullptr;
}

// The subfolders of `directory`, sorted as the window sorts names: a
// SourceList of their names. Null after PrintStatus. Each passed over is told.
SourceList *ListSubfolders(const char *directory)
{
    wchar_t pattern[MAX_PATH];
    int length = MultiByteToWideChar(CP_ACP, 0, directory, -1, pattern, MAX_PATH - 2);
    SourceList *names = length > 0 ? SourceListCreate() : nullptr;
    WIN32_FIND_DATAW found;
    HANDLE search = INVALID_HANDLE_VALUE;
    if (names) {
        lstrcatW(pattern, length > 1 && pattern[length - 2] == L'\\' ? L"*" : L"\\*");
        search = FindFirstFileW(pattern, &found);
    }
    if (search == INVALID_HANDLE_VALUE) {
        SourceListRelease(names);
        PrintStatus(CLI_CANT_READ_FOLDER, directory);
        return nullptr;
    }
    bool ok = true;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || lstrcmpW(found.cFileName, L".") == 0 ||
            lstrcmpW(found.cFileName, L"..") == 0)
            continue;
        char name[4 * MAX_PATH];
        if (ToProgramPath(found.cFileName, name, sizeof name) != PATH_CONVERTED) {
            ShowWideText(found.cFileName, name, sizeof name);
            PrintStatus(MSG_PATH_UNUSABLE, name);
            ok = false;
            break;
        }
        if (const char *reason = PassOverReason(found)) {
            std::fprintf(stderr, CLI_FOLDER_PASSED_OVER, name, reason);
            continue;
        }
        int position = 0;
        while (position < names->count && !SortsAfter(SourceListGet(names, position), found.cFileName))
            position++;
        char *copy = CopyPath(name);
        if (!copy || !SourceListInsert(names, position, copy)) {
            CoreFree(copy);
            PrintStatus(MSG_MEMORY_ERROR);
            ok = false;
        }
    } while (ok && FindNextFileW(search, &found));
    FindClose(search);
    if (!ok) {
        SourceListRelease(names);
        return nullptr;
    }
    return names;
}

// "a" and "b" joined by one separator into `path` (MAX_PATH bytes).
bool JoinPath(const char *a, const char *b, const char *suffix, char *path)
{
    int length = lstrlenA(a);
    bool separator = length > 0 && a[length - 1] != '\\' && a[length - 1] != '/';
    if (length + separator + lstrlenA(b) + lstrlenA(suffix) >= MAX_PATH)
        return false;
    lstrcpyA(path, a);
    lstrcpyA(path + length, separator ? "\\" : "");
    lstrcatA(path, b);
    lstrcatA(path, suffix);
    return true;
}

// One subfolder's file. False when it held no images (nothing recorded).
bool ConvertFolder(const CliArguments &a, const char *folder, const char *output, char *status, int *pool)
{
    status[0] = '\0';
    char outputFullPath[MAX_PATH] = "";
    g_sourceList = SourceListCreate();
    // -1: AddFolderImages told why.
    int added = !g_sourceList                       ? -2
                : !FullPath(output, outputFullPath) ? -3
                                                    : AddFolderImages(folder, outputFullPath, a.naturalOrder);
    if (added == 0) {
        SourceListRelease(g_sourceList);
        g_sourceList = nullptr;
        return false;
    }
    bool ok = false;
    if (added == -2)
        PrintStatus(MSG_MEMORY_ERROR);
    else if (added == -3)
        PrintStatus(MSG_PATH_TOO_LONG, output);
    GifFrameSets gifs = {};
    if (added > 0 && FinishSequence(a, &gifs)) {
        if (*pool == POOL_NOT_TRIED)
            *pool = StartWorkerPool(a.workers) ? POOL_STARTED : POOL_FAILED;
        ok = ConvertThroughWorkers(output, a.convert);
        if (!ok)
            ExplainSizeRefusal(gifs, status);
    }
    RemoveGifFrames(&gifs);
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    RecordOutput(outputFullPath[0] ? outputFullPath : output, ok, status);
    return true;
}

}  // namespace

int RunBatch(const CliArguments &a, char *status)
{
    const char *directory = a.paths[0], *outputDirectory = a.pathCount > 1 ? a.paths[1] : a.paths[0];
    SourceList *folders = ListSubfolders(directory);
    if (!folders)
        return kExitFailed;
    // A folder made here is taken away again when nothing was written into it.
    bool madeOutputDirectory = CreateDirectoryA(outputDirectory, nullptr) != FALSE;
    const DWORD attributes = GetFileAttributesA(outputDirectory);
    if (!madeOutputDirectory &&
        (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        SourceListRelease(folders);
        PrintStatus(MSG_CANT_CREATE_FOLDER, outputDirectory);
        return kExitFailed;
    }
    int pool = POOL_NOT_TRIED;
    for (int i = 0; i < folders->count; i++) {
        const char *name = SourceListGet(folders, i);
        char folder[MAX_PATH], output[MAX_PATH];
        if (!JoinPath(directory, name, "", folder) || !JoinPath(outputDirectory, name, ".shp", output)) {
            PrintStatus(MSG_PATH_TOO_LONG, name);
            RecordOutput(name, false, status);
            continue;
        }
        ConvertFolder(a, folder, output, status, &pool);
    }
    if (pool == POOL_STARTED)
        StopWorkerPool();
    SourceListRelease(folders);
    if (madeOutputDirectory && RecordedWritten() == 0)
        RemoveDirectoryA(outputDirectory);
    EndProgress();
    ListFailures(stderr);
    PrintStatus(CLI_BATCH_SUMMARY, RecordedWritten(), RecordedFailed());
    return RecordedFailed() ? kExitFailed : kExitOk;
}
