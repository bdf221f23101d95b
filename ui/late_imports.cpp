// The common controls create windows as they start, and the system then loads
// themes and more for them by name: imported as usual, they would start before
// the program's first line (HardenProcess) and look beside the exe, where
// anything may lie in a Downloads folder. So they, and the dialogs and the
// shell that import them, are loaded at the first call of one of these
// functions, from System32 then. Each import slot the calls go through is
// defined here, pointing at a stand-in that loads the library and puts the
// real function in the slot. (mingw's delay-load libraries would do this, but
// leave their slots empty for 32-bit programs.)
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

namespace {

// The real function for `slot`, which then holds it; the process ends if a
// system library lacks it, as it would at start-up with a normal import.
void *Resolve(void *volatile *slot, void *standIn, const wchar_t *library, const char *name)
{
    void *function = *slot;
    if (function != standIn)
        return function;
    HMODULE module = LoadLibraryW(library);
    function = module ? reinterpret_cast<void *>(GetProcAddress(module, name)) : nullptr;
    if (!function)
        FatalAppExitA(0, name);
    InterlockedExchangePointer(slot, function);
    return function;
}

}  // namespace

// The slot is the import symbol the compiler calls through (`__imp__Name@bytes`);
// the stand-in is also the symbol an address taken at start-up names (`_Name@bytes`).
#define LATE_IMPORT(library, Return, name, symbol, parameters, arguments)                                    \
    extern "C" void *volatile late_##name __asm__("__imp__" symbol);                                         \
    extern "C" Return WINAPI StandIn##name parameters __asm__("_" symbol);                                   \
    Return WINAPI StandIn##name parameters                                                                   \
    {                                                                                                        \
        void *function = Resolve(&late_##name, reinterpret_cast<void *>(&StandIn##name), library, #name);    \
        return reinterpret_cast<decltype(&name)>(function) arguments;                                        \
    }                                                                                                        \
    void *volatile late_##name = reinterpret_cast<void *>(&StandIn##name);

LATE_IMPORT(L"comctl32.dll", void, InitCommonControls, "InitCommonControls@0", (), ())
LATE_IMPORT(L"comdlg32.dll", BOOL, GetOpenFileNameW, "GetOpenFileNameW@4", (OPENFILENAMEW * dialog), (dialog))
LATE_IMPORT(L"comdlg32.dll", BOOL, GetSaveFileNameW, "GetSaveFileNameW@4", (OPENFILENAMEW * dialog), (dialog))
LATE_IMPORT(L"shell32.dll", LPWSTR *, CommandLineToArgvW, "CommandLineToArgvW@8", (LPCWSTR line, int *count),
            (line, count))
LATE_IMPORT(L"shell32.dll", void, DragAcceptFiles, "DragAcceptFiles@8", (HWND window, BOOL accept),
            (window, accept))
LATE_IMPORT(L"shell32.dll", void, DragFinish, "DragFinish@4", (HDROP drop), (drop))
LATE_IMPORT(L"shell32.dll", UINT, DragQueryFileW, "DragQueryFileW@16",
            (HDROP drop, UINT index, LPWSTR path, UINT size), (drop, index, path, size))
LATE_IMPORT(L"shell32.dll", HINSTANCE, ShellExecuteA, "ShellExecuteA@24",
            (HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show),
            (window, verb, file, parameters, folder, show))
