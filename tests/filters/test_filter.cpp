// A stand-in graphics import filter for the tests, built once per family
// (FILTER_FAMILY). What its calls do comes from the environment, so that one
// library plays every behaviour a test's table asks for:
//   KESTRANE_FILTER_LOG   a file that gets a line for each call received, and
//                         at unload what the caller left unreleased;
//   KESTRANE_FILTER_PLAY  "<call>:<action>", call info, pref or import, action
//                         fault, raise, overflow, none (import: no picture), or
//                         a number the call answers instead.
// Image files: int32 left, top, right, bottom, then a packed 24-bit bitmap,
// drawn into the picture with one StretchDIBits. The older family hands the
// file's bytes back as the picture's metafile bytes.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "import/filter_api.h"

#define FAMILY_CURRENT 1
#define FAMILY_CURRENT_ALT 2  // ImportGR instead of ImportGr
#define FAMILY_OLDER 3        // decorated names; the picture is a global block

// The exports go to the linker directly, so that one source exports plain or
// decorated names. The older family's plain ImportGr must not pull it into
// the current family: it lacks the plain GetFilterInfo.
#if FILTER_FAMILY == FAMILY_OLDER
#define EXPORTS                                                                                              \
    "GetFilterInfo@16=FilterInfo@16 -export:ImportGr@16=FilterImport@16 -export:ImportGr=DecoyImport@16"
#elif FILTER_FAMILY == FAMILY_CURRENT_ALT
#define EXPORTS                                                                                              \
    "GetFilterInfo=FilterInfo@16 -export:SetFilterPref=FilterPreference@20 -export:ImportGR=FilterImport@16"
#else
#define EXPORTS                                                                                              \
    "GetFilterInfo=FilterInfo@16 -export:SetFilterPref=FilterPreference@20 -export:ImportGr=FilterImport@16"
#endif
__asm__(".section .drectve\n.ascii \" -export:" EXPORTS "\"\n.text\n");

static HGLOBAL g_preferences;
static HANDLE g_picture;

static std::string Environment(const char *name)
{
    char value[MAX_PATH];
    return GetEnvironmentVariableA(name, value, sizeof value) ? value : "";
}

static void Log(const char *format, ...)
{
    FILE *file = fopen(Environment("KESTRANE_FILTER_LOG").c_str(), "ab");
    if (!file)
        return;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(file, format, arguments);
    va_end(arguments);
    fputs("\n", file);
    fclose(file);
}

// Each level keeps a page of its own alive, so the stack runs out quickly.
static int Recurse(int depth)
{
    volatile char page[4096];
    page[depth % sizeof page] = char(depth);
    return depth == -1 ? 0 : Recurse(depth + 1) + page[0];
}

// Does what KESTRANE_FILTER_PLAY asks of `call`; returns `answer` unless
// asked for another.
static int Play(const std::string &call, int answer)
{
    const std::string play = Environment("KESTRANE_FILTER_PLAY");
    if (play.compare(0, call.size() + 1, call + ":"))
        return answer;
    const std::string action = play.substr(call.size() + 1);
    if (action == "fault")
        *static_cast<volatile int *>(nullptr) = 1;
    if (action == "raise")
        RaiseException(0xE0004B53, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    if (action == "overflow")
        return Recurse(0);
    return isdigit(action[0]) ? atoi(action.c_str()) : answer;
}

// The current family's picture: the file's bitmap drawn at its box.
static HANDLE RecordPicture(const std::string &file, FilterPicture *picture)
{
    HDC dc = CreateMetaFileA(nullptr);
    if (file.size() >= 16 + sizeof(BITMAPINFOHEADER)) {
        std::memcpy(&picture->left, file.data(), 16);
        BITMAPINFOHEADER header;
        std::memcpy(&header, file.data() + 16, sizeof header);
        header.biSizeImage = DWORD(file.size() - 16 - sizeof header);  // without it no bits are recorded
        StretchDIBits(dc, picture->left, picture->top, header.biWidth, header.biHeight, 0, 0, header.biWidth,
                      header.biHeight, file.data() + 16 + sizeof header,
                      reinterpret_cast<BITMAPINFO *>(&header), DIB_RGB_COLORS, SRCCOPY);
    }
    return CloseMetaFile(dc);
}

// The file's bytes in a moveable global block, as the older family hands them over.
static HANDLE CopyToGlobal(const std::string &file)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, file.size());
    std::memcpy(GlobalLock(block), file.data(), file.size());
    GlobalUnlock(block);
    return block;
}

extern "C" {

int WINAPI FilterInfo(int version, const char *reserved, HGLOBAL *preferences, DWORD flags)
{
    Log("GetFilterInfo %d '%s' %s %lu", version, reserved, *preferences ? "set" : "null", flags);
    g_preferences = *preferences = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
    return Play("info", 2);
}

int WINAPI FilterPreference(HGLOBAL preferences, const char *name, const void *value, DWORD size, DWORD type)
{
    Log("SetFilterPref %s %s %lu %lu %s", name, static_cast<const char *>(value), size, type,
        preferences == g_preferences ? "same" : "other");
    return Play("pref", 0);
}

int WINAPI FilterImport(HDC reserved, FilterFileSpec *spec, FilterPicture *picture, HGLOBAL preferences)
{
    Log("ImportGr reserved=%p flags=%u zero=%u tail=%lu picture=%p last=%lu preferences=%s path=%s", reserved,
        spec->flags & 0x1F, spec->zero, static_cast<unsigned long>(spec->tail), picture->picture,
        static_cast<unsigned long>(picture->reserved), preferences == g_preferences ? "same" : "other",
        spec->path);
    std::ifstream in(spec->path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (FILTER_FAMILY == FAMILY_OLDER)
        g_picture = picture->picture = CopyToGlobal(file);
    else if (Environment("KESTRANE_FILTER_PLAY") != "import:none")
        g_picture = picture->picture = RecordPicture(file, picture);
    return Play("import", 0);
}

int WINAPI DecoyImport(HDC, FilterFileSpec *, FilterPicture *, HGLOBAL)
{
    Log("decoy ImportGr");
    return 1;
}

}  // extern "C"

// What unloading can still observe: whether the caller released the
// preferences and the picture before it released the library.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_DETACH)
        return TRUE;
    const bool metafile = FILTER_FAMILY != FAMILY_OLDER;
    const bool alive =
        metafile ? GetObjectType(g_picture) == OBJ_METAFILE : GlobalFlags(g_picture) != GMEM_INVALID_HANDLE;
    Log("unload preferences=%s picture=%s",
        GlobalFlags(g_preferences) == GMEM_INVALID_HANDLE ? "freed" : "alive",
        !g_picture ? "none"
        : alive    ? "alive"
        : metafile ? "deleted"
                   : "freed");
    return TRUE;
}
