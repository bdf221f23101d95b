#include <windows.h>

#include "core/process_hardening.h"
#include "ui/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HardenProcess();
    return RunKestrane(instance);
}
