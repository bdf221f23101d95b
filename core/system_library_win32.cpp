#include "core/system_library.h"

HMODULE LoadSystemLibrary(const wchar_t *name)
{
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(name) >= MAX_PATH)
        return nullptr;
    lstrcatW(path, L"\\");
    lstrcatW(path, name);
    // Without the search flags (a system lacking the update that brings
    // them), the altered search starts in the library's own folder: System32.
    const bool searchFlags = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
    HMODULE module = LoadLibraryExW(
        path, nullptr, searchFlags ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
    // Pinned: it stays, as system DLLs usually do. If pinning is refused, the
    // reference from the load is simply kept, to the same end.
    HMODULE pinned;
    if (module)
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<const wchar_t *>(module), &pinned);
    return module;
}
