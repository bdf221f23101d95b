#include <windows.h>

#include <commctrl.h>

#include "core/messages.h"
#include "core/source_list.h"
#include "import/filter_lookup.h"
#include "res/resource.h"
#include "ui/link_control.h"
#include "ui/main_dialog.h"
#include "ui/owner_menu.h"
#include "ui/ui_texts.h"

HINSTANCE g_instance = nullptr;

int HasImportFilter(const char *extension)
{
    char libraryPath[256];
    DWORD size = sizeof(libraryPath);
    return FindImportFilter(libraryPath, &size, extension);
}

int RunKestrane(HINSTANCE instance)
{
    InitCommonControls();
    // The dialog template holds a LinkClass control: the class must exist first.
    RegisterLinkClass();
    if (!HasImportFilter("PNG") && !HasImportFilter("GIF") && !HasImportFilter("JPG")) {
        g_messageBox(nullptr, TEXT_NO_FILTER, TEXT_APP_CAPTION, MB_ICONERROR);
        DeleteLinkFont();
        return 0;
    }
    CreateMenuBrushes();
    g_instance = instance;
    g_commandLine = GetCommandLineW();
    g_sourceList = SourceListCreate();
    if (g_sourceList)
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    else
        g_messageBox(nullptr, MSG_MEMORY_ERROR, TEXT_APP_CAPTION, MB_ICONERROR);
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    DeleteMenuBrushes();
    DeleteLinkFont();
    return 0;
}
