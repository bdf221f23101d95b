// LoadImageFile: decodes one image through the import filter registered for
// its extension. The filter library is loaded and released on every call.
#include <cstring>

#include "core/packed_dib.h"
#include "core/system_library.h"
#include "import/filter_api.h"
#include "import/filter_invoke.h"
#include "import/filter_lookup.h"
#include "import/metafile.h"
#include "import/seh_guard.h"

namespace {

constexpr DWORD kPreferenceTypeString = 1;
constexpr uint16_t kFileSpecClearedFlags = 0x1F;

struct FilterEntryPoints {
    GetFilterInfoFunction getInfo;
    ImportGrFunction import;
    SetFilterPrefFunction setPreference;  // current family only, optional
    int version;
};

template <typename Function> Function BindProc(HMODULE library, const char *name)
{
    // Via void* so that the compiler accepts the change of function type.
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

bool BindEntryPoints(HMODULE library, FilterEntryPoints *entry)
{
    entry->getInfo = BindProc<GetFilterInfoFunction>(library, FILTER_GET_INFO);
    entry->import = BindProc<ImportGrFunction>(library, FILTER_IMPORT);
    if (!entry->import)
        entry->import = BindProc<ImportGrFunction>(library, FILTER_IMPORT_ALT);
    if (entry->getInfo && entry->import) {
        entry->setPreference = BindProc<SetFilterPrefFunction>(library, FILTER_SET_PREF);
        entry->version = kFilterVersionCurrent;
        return true;
    }
    entry->getInfo = BindProc<GetFilterInfoFunction>(library, FILTER_GET_INFO_OLD);
    entry->import = BindProc<ImportGrFunction>(library, FILTER_IMPORT_OLD);
    entry->setPreference = nullptr;
    entry->version = kFilterVersionOlder;
    return entry->getInfo && entry->import;
}

struct ImportCall {
    const FilterEntryPoints *entry;
    HGLOBAL preferences;
    FilterFileSpec *file;
    FilterPicture *picture;
    int result;
};

struct InfoCall {
    GetFilterInfoFunction getInfo;
    HGLOBAL *preferences;  // the filter may set it before it faults
    int result;
};

void CallGetInfo(void *context)
{
    InfoCall *call = static_cast<InfoCall *>(context);
    call->result = call->getInfo(kFilterInfoVersion, "", call->preferences, 0);
}

// The filter's own dialogs would stop a conversion waiting for a person.
void CallImport(void *context)
{
    ImportCall *call = static_cast<ImportCall *>(context);
    SetFilterPrefFunction setPreference = call->entry->setPreference;
    if (setPreference) {
        setPreference(call->preferences, FILTER_PREF_PROGRESS, "No", 2, kPreferenceTypeString);
        setPreference(call->preferences, FILTER_PREF_OPTIONS, "No", 2, kPreferenceTypeString);
    }
    call->result = call->entry->import(nullptr, call->file, call->picture, call->preferences);
    if (setPreference)
        setPreference(call->preferences, FILTER_PREF_PROGRESS, "Yes", 4, kPreferenceTypeString);
}

// The bitmap an older filter's metafile carries, copied out of the filter's
// block (which is freed afterwards) in the form the job reads.
PackedDib CopyEmbeddedBitmap(HGLOBAL picture)
{
    size_t size = GlobalSize(picture);
    const BYTE *bytes = static_cast<const BYTE *>(GlobalLock(picture));
    if (!bytes)
        return nullptr;
    size_t available = 0;
    const BYTE *dib = FindMetafileDib(bytes, size, &available);
    PackedDib result = dib ? CopyDibAs24Bit(dib, available) : nullptr;
    GlobalUnlock(picture);
    return result;
}

// Everything between binding the entry points and releasing the library.
PackedDib ImportWithFilter(const FilterEntryPoints &entry, const char *path)
{
    HGLOBAL preferences = nullptr;
    PackedDib result = nullptr;
    InfoCall info = {entry.getInfo, &preferences, 0};
    if (RunGuarded(CallGetInfo, &info) && info.result == kFilterInfoVersion) {
        FilterFileSpec file = {};
        file.flags &= uint16_t(~kFileSpecClearedFlags);
        lstrcpynA(file.path, path, sizeof file.path);
        FilterPicture picture = {};
        ImportCall call = {&entry, preferences, &file, &picture, -1};
        bool completed = RunGuarded(CallImport, &call);
        HANDLE held = picture.picture;
        if (completed && call.result == 0 && held) {
            if (entry.version == kFilterVersionCurrent)
                result = RenderMetafile(static_cast<HMETAFILE>(held), picture.left, picture.top,
                                        picture.right, picture.bottom);
            else
                result = CopyEmbeddedBitmap(held);
        }
        // A current filter's picture is a GDI metafile even when its import
        // failed: only DeleteMetaFile releases that.
        if (held) {
            if (entry.version == kFilterVersionCurrent)
                DeleteMetaFile(static_cast<HMETAFILE>(held));
            else
                GlobalFree(held);
        }
    }
    if (preferences)
        GlobalFree(preferences);
    return result;
}

}  // namespace

const char *ImageExtension(const char *path)
{
    if (!path)
        return nullptr;
    int length = lstrlenA(path);
    // The filter receives the path in a 260-byte field; a longer one would be
    // cut to another file's name.
    if (length >= int(sizeof FilterFileSpec::path))
        return nullptr;
    for (int i = length - 1; i > 0; i--)
        if (path[i] == '.')
            return path + i + 1;
    return nullptr;
}

HMODULE LoadFilterLibrary(const char *path)
{
    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, widePath, MAX_PATH))
        return nullptr;
    return LoadLibraryByFullPath(widePath, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

PackedDib LoadImageWithLibrary(HMODULE library, const char *path)
{
    FilterEntryPoints entry;
    return BindEntryPoints(library, &entry) ? ImportWithFilter(entry, path) : nullptr;
}

PackedDib LoadImageFile(const char *path)
{
    const char *extension = ImageExtension(path);
    if (!extension)
        return nullptr;
    char libraryPath[MAX_PATH] = "";
    DWORD libraryPathSize = sizeof libraryPath;
    if (!FindImportFilter(libraryPath, &libraryPathSize, extension) || !libraryPath[0])
        return nullptr;
    // A fault in the library's own start-up or shut-down (inside the load
    // or FreeLibrary) is left to the system: jumping out of the loader would
    // leave it holding its lock, and every later load would hang.
    HMODULE library = LoadFilterLibrary(libraryPath);
    if (!library)
        return nullptr;
    PackedDib result = LoadImageWithLibrary(library, path);
    FreeLibrary(library);
    return result;
}
