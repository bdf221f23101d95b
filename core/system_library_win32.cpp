#include "core/system_library.h"

HMODULE LoadSystemLibrary(const wchar_t *name)
{
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH)
        return nullptr;
    lstrcatW(path, L"\\");
    lstrcatW(path, name);
    HMODULE module = LoadLibraryByFullPath(path, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Pinned: it stays, as system DLLs usually do. If pinning is refused, the
    // reference from the load is simply kept, to the same end.
    HMODULE pinned;
    if (module)
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<const wchar_t *>(module), &pinned);
    return module;
}

HMODULE LoadLibraryByFullPath(const wchar_t *path, DWORD searchFlags)
{
    const bool flagsKnown = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
    return LoadLibraryExW(path, nullptr, flagsKnown ? searchFlags : LOAD_WITH_ALTERED_SEARCH_PATH);
}
