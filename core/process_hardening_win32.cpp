#include "core/process_hardening.h"

#include "core/system_library.h"

#include <windows.h>

namespace {

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFunction)(DWORD flags);
typedef BOOL(WINAPI *SetSearchPathModeFunction)(DWORD flags);
typedef BOOL(WINAPI *SetProcessDEPPolicyFunction)(DWORD flags);
typedef BOOL(WINAPI *SetProcessMitigationPolicyFunction)(int policy, void *buffer, SIZE_T size);

// Windows 10's image-load policy, as its SDK lays it out: one word of flags.
constexpr int kProcessImageLoadPolicy = 10;
constexpr DWORD kNoRemoteImages = 1, kNoLowMandatoryLabelImages = 2, kPreferSystem32Images = 4;
constexpr DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD kSafeSearchMode = 0x1, kSearchModePermanent = 0x8000;

template <typename Function> Function Kernel32Proc(const char *name)
{
    // kernel32 is mapped into every process before any of its code runs.
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(kernel32, name)))
                    : nullptr;
}

}  // namespace

void HardenProcess(const wchar_t *const *systemLibraries)
{
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    // Refused where the system fixes DEP itself (64-bit Windows): it is on there.
    if (auto setDep = Kernel32Proc<SetProcessDEPPolicyFunction>("SetProcessDEPPolicy"))
        setDep(PROCESS_DEP_ENABLE);
    // The system's own DLLs load theirs by bare name (the file dialogs load
    // themes, shell properties and more): a copy planted beside the exe, in a
    // Downloads folder, or in the current folder would run in our process.
    auto setDefault = Kernel32Proc<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (!setDefault || !setDefault(kSearchSystem32))
        SetDllDirectoryW(L"");  // without the update that brings it: at least not the current folder
    if (auto setSearchMode = Kernel32Proc<SetSearchPathModeFunction>("SetSearchPathMode"))
        setSearchMode(kSafeSearchMode | kSearchModePermanent);
    if (auto setPolicy = Kernel32Proc<SetProcessMitigationPolicyFunction>("SetProcessMitigationPolicy")) {
        DWORD imageLoad = kNoRemoteImages | kNoLowMandatoryLabelImages | kPreferSystem32Images;
        setPolicy(kProcessImageLoadPolicy, &imageLoad, sizeof imageLoad);
    }
    for (; systemLibraries && *systemLibraries; systemLibraries++)
        LoadSystemLibrary(*systemLibraries);
}
