#include <windows.h>

#include "core/process_hardening.h"
#include "ui/main_dialog.h"

// What the themes, the file dialogs and the imaging component load by name
// when first used.
const wchar_t *const kLoadedByName[] = {L"uxtheme.dll", L"dwmapi.dll", L"msimg32.dll", L"propsys.dll",
                                        nullptr};

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HardenProcess(kLoadedByName);
    return RunKestrane(instance);
}
