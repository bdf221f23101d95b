#include "ui/main_dialog.h"

#include "core/convert.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"
#include "res/resource.h"
#include "ui/file_choosers.h"
#include "ui/gdi_objects.h"
#include "ui/link_control.h"
#include "ui/owner_menu.h"
#include "ui/source_commands.h"
#include "ui/ui_texts.h"
#include "version.h"

HWND g_mainDialog = nullptr;
MessageBoxFunction g_messageBox = MessageBoxA;

static HFONT g_titleFont = nullptr;

void ShowStatus(const char *text)
{
    if (g_mainDialog)
        SetDlgItemTextA(g_mainDialog, IDC_STATUS, text);
}

static void SetTitleFont(HWND dialog)
{
    g_titleFont = NewFont(32, 800, DEFAULT_CHARSET, TEXT_TITLE_FONT);
    SendDlgItemMessageA(dialog, IDC_TITLE, WM_SETFONT, WPARAM(g_titleFont), TRUE);
}

static INT_PTR OnInitDialog(HWND dialog)
{
    g_mainDialog = dialog;
    OwnerDrawMenuBar(GetMenu(dialog));
    SetTitleFont(dialog);
    SendDlgItemMessageA(dialog, IDC_LINK, LCM_SETURL, 0, LPARAM(KESTRANE_HOME_PAGE));
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    PrintStatus(MSG_STARTUP);
    // The dialog is still hidden here, so the user reads the warning alone.
    g_messageBox(dialog, TEXT_WARNING, TEXT_APP_CAPTION, MB_ICONWARNING);
    return TRUE;
}

static void ConvertCommand(HWND dialog)
{
    char destination[MAX_PATH];
    GetDlgItemTextA(dialog, IDC_DEST, destination, sizeof(destination));
    if (!g_sourceList || g_sourceList->count == 0)
        PrintStatus(MSG_NOTHING_SELECTED);
    else
        ConvertToShp(destination);
}

static void BrowseCommand(HWND dialog)
{
    if (ChooseOutputFile(dialog))
        SetDlgItemTextA(dialog, IDC_DEST, g_pathBuffer);
}

static INT_PTR OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDOK:
        ConvertCommand(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 1);
        return TRUE;
    case IDC_BROWSE:
        BrowseCommand(dialog);
        break;
    case IDC_REMOVE:
        RemoveSourceImage(dialog);
        break;
    case IDC_ADD:
        AddSourceImage(dialog);
        break;
    case IDC_UP:
        MoveSourceUp(dialog);
        break;
    case IDC_DOWN:
        MoveSourceDown(dialog);
        break;
    case IDM_ABOUT:
        g_messageBox(dialog, TEXT_ABOUT, TEXT_ABOUT_CAPTION, MB_ICONINFORMATION);
        break;
    }
    return FALSE;
}

static INT_PTR OnDrawItem(const DRAWITEMSTRUCT *item)
{
    if (item->CtlType == ODT_MENU)
        DrawMenuItem(item);
    return TRUE;
}

static INT_PTR OnMeasureItem(HWND dialog, MEASUREITEMSTRUCT *item)
{
    MeasureMenuItem(item, dialog);
    return TRUE;
}

static INT_PTR OnDestroy(HWND dialog)
{
    FreeMenuItemData(GetMenu(dialog));
    if (g_titleFont) {
        // The title must let go of the font before it is deleted.
        SendDlgItemMessageA(dialog, IDC_TITLE, WM_SETFONT, 0, FALSE);
        DeleteGdiObject(g_titleFont);
        g_titleFont = nullptr;
    }
    if (g_mainDialog == dialog)
        g_mainDialog = nullptr;
    return FALSE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_DRAWITEM:
        return OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
    case WM_MEASUREITEM:
        return OnMeasureItem(dialog, reinterpret_cast<MEASUREITEMSTRUCT *>(lParam));
    case WM_DESTROY:
        return OnDestroy(dialog);
    }
    return FALSE;
}
