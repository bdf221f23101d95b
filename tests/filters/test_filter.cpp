// A stand-in graphics import filter, built once per family. KESTRANE_FILTER_PLAY
// makes one of its calls (info, pref or import) "fault" under a handler frame
// of its own, "overflow" the stack, "exit" its process, "hang", "print" 2 MB to
// standard output, or answer a number; in a kestrane-cli worker, an import can
// also "announce" a reply in the pipe and send none, or overwrite the section's
// "handles", and hang; with KESTRANE_FILTER_PLAY_ON, an import plays only for that file name. Each call it
// receives, and at unload what the caller left unreleased, goes to a line of
// the file KESTRANE_FILTER_LOG names. Image files: int32 left, top, right,
// bottom, then a packed 24-bit bitmap drawn into the picture; the older family
// hands the whole file back as the picture's metafile bytes.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/worker_protocol.h"
#include "import/filter_api.h"
#include "tests/support/temp_dir.h"

// Exports named for the linker, so that one source has plain or decorated
// names. The older family's plain ImportGr must not make it a current one.
#if OLDER  // decorated names; the picture is a global block
#define EXPORTS "GetFilterInfo@16=Info@16 -export:ImportGr@16=Import@16 -export:ImportGr=Decoy@16"
#elif defined(FAMILY_current_alt)  // ImportGR instead of ImportGr
#define EXPORTS "GetFilterInfo=Info@16 -export:SetFilterPref=Preference@20 -export:ImportGR=Import@16"
#else
#define EXPORTS "GetFilterInfo=Info@16 -export:SetFilterPref=Preference@20 -export:ImportGr=Import@16"
#endif
__asm__(".section .drectve\n.ascii \" -export:" EXPORTS "\"\n.text\n");

static HGLOBAL g_preferences;
static HANDLE g_picture;

static const char *Environment(const char *name, char (&value)[MAX_PATH])
{
    return GetEnvironmentVariableA(name, value, MAX_PATH) ? value : "";
}

static void Log(const char *format, ...)
{
    char path[MAX_PATH], line[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::ofstream(Environment("KESTRANE_FILTER_LOG", path), std::ios::app) << line << "\n";
}

// Each level keeps a page of its own alive, so the stack runs out quickly.
static int Recurse(int depth)
{
    volatile char page[4096];
    page[depth % sizeof page] = char(depth);
    return depth == -1 ? 0 : Recurse(depth + 1) + page[0];
}

// The handler of a frame such as a filter built with structured exception
// handling pushes: whoever ends the fault must give it its unwind call.
static EXCEPTION_DISPOSITION __cdecl OwnHandler(EXCEPTION_RECORD *exception, void *, CONTEXT *, void *)
{
    if (exception->ExceptionFlags & EXCEPTION_UNWINDING)
        Log("unwound");
    return ExceptionContinueSearch;
}

// The worker's section, found as any code in its process could find it, and
// the request for `path` in it.
static WorkerSection *FindSection(const char *path, int *request)
{
    MEMORY_BASIC_INFORMATION region;
    for (char *at = nullptr; VirtualQuery(at, &region, sizeof region); at += region.RegionSize) {
        auto *shared = static_cast<WorkerSection *>(region.BaseAddress);
        if (region.Type != MEM_MAPPED || region.State != MEM_COMMIT || region.RegionSize < sizeof *shared ||
            !(region.Protect & PAGE_READWRITE) || shared->started != 1)
            continue;
        for (*request = 0; *request < 2; ++*request)
            if (shared->requests[*request].pathBytes == strlen(path) &&
                !memcmp(shared->requests[*request].path, path, strlen(path)))
                return shared;
    }
    return nullptr;
}

static void PlayInWorker(const char *action, const char *path)
{
    int request = 0;
    WorkerSection *shared = FindSection(path, &request);
    if (!shared)
        return;
    if (!strcmp(action, "announce")) {
        shared->replies[request] = {shared->requests[request].index, 4 << 20, kInPipe};
        RaiseCounter(&shared->answered, reinterpret_cast<HANDLE>(uintptr_t(shared->answered.event)));
    } else {
        // The parent's own pseudo-handle, on which it would wait for ever.
        shared->posted.event = shared->answered.event = uint32_t(uintptr_t(GetCurrentProcess()));
        shared->parent = 0;
    }
    Sleep(INFINITE);
}

static int Play(const char *call, int answer, const char *path = nullptr)
{
    char play[MAX_PATH];
    const size_t length = strlen(call);
    const char *action = Environment("KESTRANE_FILTER_PLAY", play);
    action = strncmp(action, call, length) || action[length] != ':' ? "" : action + length + 1;
    if (!strcmp(action, "fault")) {
        EXCEPTION_REGISTRATION_RECORD frame = {nullptr, reinterpret_cast<PEXCEPTION_ROUTINE>(OwnHandler)};
        __asm__ __volatile__("movl %%fs:0, %0" : "=r"(frame.Next));
        __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&frame) : "memory");
        *static_cast<volatile int *>(nullptr) = 1;
    }
    if (!strcmp(action, "overflow"))
        return Recurse(0);
    if (!strcmp(action, "exit"))
        ExitProcess(3);
    if (!strcmp(action, "hang"))
        Sleep(INFINITE);
    if (!strcmp(action, "print")) {
        static char line[2 << 20];
        memset(line, 'p', sizeof line);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, sizeof line, &written, nullptr);
        return answer;
    }
    if (path && (!strcmp(action, "announce") || !strcmp(action, "handles")))
        PlayInWorker(action, path);
    return action[0] ? atoi(action) : answer;  // a number to answer
}

// The older family's picture: the whole file in a moveable global block.
static HGLOBAL GlobalCopy(const std::vector<unsigned char> &file)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, file.size());
    if (block) {
        std::memcpy(GlobalLock(block), file.data(), file.size());
        GlobalUnlock(block);
    }
    return block;
}

// The current family's picture: the file's bitmap drawn at its box.
static HMETAFILE RecordPicture(std::vector<unsigned char> file, FilterPicture *picture)
{
    HDC dc = CreateMetaFileA(nullptr);
    if (file.size() >= 16 + sizeof(BITMAPINFOHEADER)) {
        std::memcpy(&picture->left, file.data(), 16);
        auto *header = reinterpret_cast<BITMAPINFOHEADER *>(&file[16]);
        header->biSizeImage = DWORD(file.size() - 16 - sizeof *header);  // without it no bits are recorded
        StretchDIBits(dc, picture->left, picture->top, header->biWidth, header->biHeight, 0, 0,
                      header->biWidth, header->biHeight, header + 1, reinterpret_cast<BITMAPINFO *>(header),
                      DIB_RGB_COLORS, SRCCOPY);
    }
    return CloseMetaFile(dc);
}

#ifdef FAMILY_neighbour  // a DLL beside the filter, which only a search of the filter's folder finds
extern "C" __declspec(dllimport) int KstNeighbour();
static const int g_neighbour = KstNeighbour();
#endif

extern "C" int WINAPI Info(int version, const char *reserved, HGLOBAL *preferences, DWORD flags)
{
    Log("GetFilterInfo %d '%s' %s %lu", version, reserved, *preferences ? "set" : "null", flags);
    g_preferences = *preferences = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
    return Play("info", 2);
}

extern "C" int WINAPI Preference(HGLOBAL preferences, const char *name, const void *value, DWORD size,
                                 DWORD type)
{
    Log("SetFilterPref %s %s %lu %lu %s", name, static_cast<const char *>(value), size, type,
        preferences == g_preferences ? "same" : "other");
    return Play("pref", 0);
}

extern "C" int WINAPI Import(HDC reserved, FilterFileSpec *file, FilterPicture *picture, HGLOBAL preferences)
{
    Log("ImportGr reserved=%p flags=%u zero=%u tail=%lu picture=%p last=%lu preferences=%s path=%s", reserved,
        file->flags & 0x1F, file->zero, static_cast<unsigned long>(file->tail), picture->picture,
        static_cast<unsigned long>(picture->reserved), preferences == g_preferences ? "same" : "other",
        file->path);
    const std::vector<unsigned char> bytes = ReadBytes(file->path);
    g_picture = picture->picture = OLDER ? HANDLE(GlobalCopy(bytes)) : HANDLE(RecordPicture(bytes, picture));
    char value[MAX_PATH];
    const char *only = Environment("KESTRANE_FILTER_PLAY_ON", value);
    const size_t length = strlen(file->path), onlyLength = strlen(only);
    const bool plays =
        !only[0] || (length >= onlyLength && !lstrcmpiA(file->path + length - onlyLength, only));
    return plays ? Play("import", 0, file->path) : 0;
}

extern "C" int WINAPI Decoy(HDC, FilterFileSpec *, FilterPicture *, HGLOBAL)
{
    Log("decoy ImportGr");
    return 1;
}

// Whether the caller deleted a current filter's metafile before releasing the
// library (an older filter's block shows in the caller's GlobalFree calls).
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_DETACH)
        Log("unload picture=%s", !g_picture                                 ? "none"
                                 : GetObjectType(g_picture) == OBJ_METAFILE ? "alive"
                                                                            : "released");
    return TRUE;
}
