// A stand-in graphics import filter for the import tests. Built several times,
// each build (FILTER_KIND) playing one behaviour. Every call it receives is
// appended to the file named by KESTRANE_FILTER_LOG, so that tests can check
// what the program did to it, including what was released before unload.
//
// Image files it reads: int32 left, top, right, bottom, then a packed 24-bit
// bottom-up DIB, recorded into the metafile as one StretchDIBits. The older
// family instead hands back the file's bytes as the metafile's bytes.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "import/filter_api.h"

#define KIND_CURRENT 1
#define KIND_CURRENT_ALT 2  // ImportGR instead of ImportGr
#define KIND_OLDER 3        // decorated names, picture is a global block
#define KIND_INFO3 4        // GetFilterInfo answers 3
#define KIND_NO_PICTURE 5   // success without a picture
#define KIND_FAULT 6        // null dereference after setting a picture
#define KIND_RAISE 7        // RaiseException after setting a picture
#define KIND_FAIL_WITH_PICTURE 8
#define KIND_INFO_FAULT 9  // null dereference in GetFilterInfo, after handing out preferences
#define KIND_OVERFLOW 10   // endless recursion after setting a picture

#ifndef FILTER_KIND
#error "FILTER_KIND selects the behaviour"
#endif

// The export names are given to the linker directly, so that one source can
// export the plain or the decorated forms without a .def file per build.
#if FILTER_KIND == KIND_OLDER
__asm__(".section .drectve\n"
        ".ascii \" -export:GetFilterInfo@16=FilterInfo@16 -export:ImportGr@16=FilterImport@16\"\n"
        ".ascii \" -export:ImportGr=DecoyImport@16\"\n"
        ".text\n");
#else
__asm__(".section .drectve\n"
        ".ascii \" -export:GetFilterInfo=FilterInfo@16 -export:SetFilterPref=FilterSetPreference@20\"\n"
#if FILTER_KIND == KIND_CURRENT_ALT
        ".ascii \" -export:ImportGR=FilterImport@16\"\n"
#else
        ".ascii \" -export:ImportGr=FilterImport@16\"\n"
#endif
        ".text\n");
#endif

static HGLOBAL g_preferences;
static HANDLE g_picture;

static void Log(const char *format, ...)
{
    char path[MAX_PATH];
    FILE *file =
        GetEnvironmentVariableA("KESTRANE_FILTER_LOG", path, sizeof path) ? fopen(path, "ab") : nullptr;
    if (!file)
        return;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(file, format, arguments);
    va_end(arguments);
    fputs("\n", file);
    fclose(file);
}

// The whole file in a moveable global block, as the older family hands it over.
[[maybe_unused]] static HGLOBAL ReadWholeFile(const char *path, DWORD *size)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return nullptr;
    fseek(file, 0, SEEK_END);
    *size = DWORD(ftell(file));
    fseek(file, 0, SEEK_SET);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, *size ? *size : 1);
    bool ok = block && fread(GlobalLock(block), 1, *size, file) == *size;
    if (block)
        GlobalUnlock(block);
    fclose(file);
    return ok ? block : (block ? GlobalFree(block) : nullptr);
}

// The picture of the current family: the image file's bitmap drawn at its box.
[[maybe_unused]] static HMETAFILE RecordPicture(const char *path, FilterPicture *picture)
{
    HDC dc = CreateMetaFileA(nullptr);
    DWORD size = 0;
    HGLOBAL block = ReadWholeFile(path, &size);
    if (block && size >= 16 + sizeof(BITMAPINFOHEADER)) {
        const BYTE *bytes = static_cast<const BYTE *>(GlobalLock(block));
        int32_t box[4];
        std::memcpy(box, bytes, sizeof box);
        picture->left = box[0];
        picture->top = box[1];
        picture->right = box[2];
        picture->bottom = box[3];
        BITMAPINFOHEADER header;
        std::memcpy(&header, bytes + 16, sizeof header);
        // Without biSizeImage the metafile records no bits.
        header.biSizeImage = size - 16 - sizeof header;
        StretchDIBits(dc, box[0], box[1], header.biWidth, header.biHeight, 0, 0, header.biWidth,
                      header.biHeight, bytes + 16 + sizeof header, reinterpret_cast<BITMAPINFO *>(&header),
                      DIB_RGB_COLORS, SRCCOPY);
        GlobalUnlock(block);
    }
    if (block)
        GlobalFree(block);
    return CloseMetaFile(dc);
}

// Each level keeps a page of its own alive, so the stack runs out quickly.
[[maybe_unused]] static int Recurse(int depth)
{
    volatile char page[4096];
    page[depth % sizeof page] = char(depth);
    return depth == -1 ? 0 : Recurse(depth + 1) + page[0];
}

extern "C" int WINAPI FilterInfo(int version, const char *reserved, HGLOBAL *preferences, DWORD flags);
extern "C" int WINAPI FilterImport(HDC reserved, FilterFileSpec *file, FilterPicture *picture,
                                   HGLOBAL preferences);

int WINAPI FilterInfo(int version, const char *reserved, HGLOBAL *preferences, DWORD flags)
{
    Log("GetFilterInfo %d '%s' %s %lu", version, reserved, *preferences ? "set" : "null", flags);
    g_preferences = *preferences = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
#if FILTER_KIND == KIND_INFO_FAULT
    *static_cast<volatile int *>(nullptr) = 1;
#endif
    return FILTER_KIND == KIND_INFO3 ? 3 : 2;
}

int WINAPI FilterImport(HDC reserved, FilterFileSpec *file, FilterPicture *picture, HGLOBAL preferences)
{
    Log("ImportGr reserved=%p flags=%u zero=%u tail=%lu picture=%p last=%lu preferences=%s path=%s", reserved,
        file->flags & 0x1F, file->zero, static_cast<unsigned long>(file->tail), picture->picture,
        static_cast<unsigned long>(picture->reserved), preferences == g_preferences ? "same" : "other",
        file->path);
#if FILTER_KIND == KIND_OLDER
    DWORD size;
    g_picture = picture->picture = ReadWholeFile(file->path, &size);
    return g_picture ? 0 : 1;
#elif FILTER_KIND == KIND_NO_PICTURE
    return 0;
#else
    g_picture = picture->picture = RecordPicture(file->path, picture);
#if FILTER_KIND == KIND_FAULT
    volatile int *nowhere = nullptr;
    *nowhere = 1;
#elif FILTER_KIND == KIND_RAISE
    RaiseException(0xE0004B53, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#elif FILTER_KIND == KIND_FAIL_WITH_PICTURE
    return 5;
#elif FILTER_KIND == KIND_OVERFLOW
    return Recurse(0);
#endif
    return 0;
#endif
}

#if FILTER_KIND != KIND_OLDER
extern "C" int WINAPI FilterSetPreference(HGLOBAL preferences, const char *name, const void *value,
                                          DWORD size, DWORD type);

int WINAPI FilterSetPreference(HGLOBAL preferences, const char *name, const void *value, DWORD size,
                               DWORD type)
{
    Log("SetFilterPref %s %s %lu %lu %s", name, static_cast<const char *>(value), size, type,
        preferences == g_preferences ? "same" : "other");
    return 0;
}
#else
// A plain ImportGr next to the decorated names must not pull the filter into
// the current family: it lacks the plain GetFilterInfo.
extern "C" int WINAPI DecoyImport(HDC, FilterFileSpec *, FilterPicture *, HGLOBAL);

int WINAPI DecoyImport(HDC, FilterFileSpec *, FilterPicture *, HGLOBAL)
{
    Log("decoy ImportGr");
    return 1;
}
#endif

// What unloading can still observe: whether the program released the
// preference memory and the picture before it released the library.
static const char *HandleState(HANDLE handle, bool metafile)
{
    if (!handle)
        return "none";
    if (metafile)
        return GetObjectType(handle) == OBJ_METAFILE ? "alive" : "deleted";
    return GlobalFlags(handle) == GMEM_INVALID_HANDLE ? "freed" : "alive";
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_DETACH)
        Log("unload preferences=%s picture=%s", HandleState(g_preferences, false),
            HandleState(g_picture, FILTER_KIND != KIND_OLDER));
    return TRUE;
}
