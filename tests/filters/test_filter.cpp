// A stand-in graphics import filter, built once per family (FILTER_FAMILY).
// Its calls do what KESTRANE_FILTER_PLAY asks, so that one library plays
// every behaviour a test's table needs: "<call>:<action>", call info, pref or
// import; action fault, raise, overflow, none (import: no picture), or a
// number to answer. Each call it receives, and at unload what the caller
// left unreleased, goes to a line of the file KESTRANE_FILTER_LOG names.
// Image files: int32 left, top, right, bottom, then a packed 24-bit bitmap
// drawn into the picture; the older family hands the whole file back as the
// picture's metafile bytes.
#include <windows.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "import/filter_api.h"

#define FAMILY_CURRENT 1
#define FAMILY_CURRENT_ALT 2  // ImportGR instead of ImportGr
#define FAMILY_OLDER 3        // decorated names; the picture is a global block

// Exports named for the linker, so that one source has plain or decorated
// names. The older family's plain ImportGr must not make it a current one.
#if FILTER_FAMILY == FAMILY_OLDER
#define EXPORTS "GetFilterInfo@16=Info@16 -export:ImportGr@16=Import@16 -export:ImportGr=Decoy@16"
#elif FILTER_FAMILY == FAMILY_CURRENT_ALT
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
    char path[MAX_PATH];
    FILE *file = fopen(Environment("KESTRANE_FILTER_LOG", path), "ab");
    va_list arguments;
    va_start(arguments, format);
    if (file && vfprintf(file, format, arguments) >= 0)
        fputs("\n", file);
    va_end(arguments);
    if (file)
        fclose(file);
}

// Each level keeps a page of its own alive, so the stack runs out quickly.
static int Recurse(int depth)
{
    volatile char page[4096];
    page[depth % sizeof page] = char(depth);
    return depth == -1 ? 0 : Recurse(depth + 1) + page[0];
}

static int Play(const char *call, int answer)
{
    char play[MAX_PATH];
    const size_t length = strlen(call);
    const char *action = Environment("KESTRANE_FILTER_PLAY", play);
    action = strncmp(action, call, length) || action[length] != ':' ? "" : action + length + 1;
    if (!strcmp(action, "fault"))
        *static_cast<volatile int *>(nullptr) = 1;
    if (!strcmp(action, "raise"))
        RaiseException(0xE0004B53, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    if (!strcmp(action, "overflow"))
        return Recurse(0);
    return isdigit(action[0]) ? atoi(action) : answer;
}

// The whole file in a moveable global block, as the older family hands it over.
static HGLOBAL ReadFile(const char *path, DWORD *size)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return nullptr;
    fseek(file, 0, SEEK_END);
    *size = DWORD(ftell(file));
    fseek(file, 0, SEEK_SET);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, *size);
    if (block && fread(GlobalLock(block), 1, *size, file) != *size)
        block = GlobalFree(block);  // null
    if (block)
        GlobalUnlock(block);
    fclose(file);
    return block;
}

// The current family's picture: the file's bitmap drawn at its box.
static HANDLE RecordPicture(const char *path, FilterPicture *picture)
{
    HDC dc = CreateMetaFileA(nullptr);
    DWORD size = 0;
    HGLOBAL block = ReadFile(path, &size);
    const BYTE *file = block ? static_cast<const BYTE *>(GlobalLock(block)) : nullptr;
    BITMAPINFOHEADER header;
    if (file && size >= 16 + sizeof header) {
        std::memcpy(&picture->left, file, 16);
        std::memcpy(&header, file + 16, sizeof header);
        header.biSizeImage = size - 16 - sizeof header;  // without it no bits are recorded
        StretchDIBits(dc, picture->left, picture->top, header.biWidth, header.biHeight, 0, 0, header.biWidth,
                      header.biHeight, file + 16 + sizeof header, reinterpret_cast<BITMAPINFO *>(&header),
                      DIB_RGB_COLORS, SRCCOPY);
    }
    if (block) {
        GlobalUnlock(block);
        GlobalFree(block);
    }
    return CloseMetaFile(dc);
}

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

extern "C" int WINAPI Import(HDC reserved, FilterFileSpec *spec, FilterPicture *picture, HGLOBAL preferences)
{
    Log("ImportGr reserved=%p flags=%u zero=%u tail=%lu picture=%p last=%lu preferences=%s path=%s", reserved,
        spec->flags & 0x1F, spec->zero, static_cast<unsigned long>(spec->tail), picture->picture,
        static_cast<unsigned long>(picture->reserved), preferences == g_preferences ? "same" : "other",
        spec->path);
    DWORD size;
    char play[MAX_PATH];
    if (FILTER_FAMILY == FAMILY_OLDER)
        g_picture = picture->picture = ReadFile(spec->path, &size);
    else if (strcmp(Environment("KESTRANE_FILTER_PLAY", play), "import:none"))
        g_picture = picture->picture = RecordPicture(spec->path, picture);
    return Play("import", 0);
}

extern "C" int WINAPI Decoy(HDC, FilterFileSpec *, FilterPicture *, HGLOBAL)
{
    Log("decoy ImportGr");
    return 1;
}

// Whether the caller released the preferences and the picture before the library.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_DETACH)
        return TRUE;
    const bool older = FILTER_FAMILY == FAMILY_OLDER;
    const bool released =
        older ? GlobalFlags(g_picture) == GMEM_INVALID_HANDLE : GetObjectType(g_picture) != OBJ_METAFILE;
    Log("unload preferences=%s picture=%s",
        GlobalFlags(g_preferences) == GMEM_INVALID_HANDLE ? "freed" : "alive",
        !g_picture  ? "none"
        : !released ? "alive"
        : older     ? "freed"
                    : "deleted");
    return TRUE;
}
