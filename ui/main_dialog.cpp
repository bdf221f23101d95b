#include "ui/main_dialog.h"

#include "core/convert.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"
#include "res/resource.h"
#include "ui/dpi.h"
#include "ui/drop_files.h"
#include "ui/file_choosers.h"
#include "ui/gdi_objects.h"
#include "ui/link_control.h"
#include "ui/owner_menu.h"
#include "ui/preview.h"
#include "ui/source_commands.h"
#include "ui/ui_texts.h"
#include "version.h"

HWND g_mainDialog = nullptr;
MessageBoxFunction g_messageBox = MessageBoxA;

const wchar_t *g_commandLine = nullptr;

static HFONT g_titleFont = nullptr;
static bool g_conversionRunning = false;

// Posted once the start-up warning is dismissed.
constexpr UINT WM_OPEN_COMMAND_LINE = WM_APP + 1;

// Buttons and menu items (they share identifiers) that could change the list
// or open another window while a conversion runs. Close is among them: the
// job cannot be left halfway, and it ends on its own.
static const int kLockedWhileConverting[] = {IDOK,       IDCANCEL, IDC_BROWSE, IDC_ADD,
                                             IDC_REMOVE, IDC_UP,   IDC_DOWN,   IDM_ABOUT};

void ShowStatus(const char *text)
{
    if (g_mainDialog)
        SetDlgItemTextA(g_mainDialog, IDC_STATUS, text);
}

// At the dialog's scale; again when it changes. The title lets go of the old
// font before it is deleted.
static void SetTitleFont(HWND dialog)
{
    HFONT old = g_titleFont;
    g_titleFont = NewFont(Scaled(32, WindowDpi(dialog)), 800, DEFAULT_CHARSET, TEXT_TITLE_FONT);
    SendDlgItemMessageA(dialog, IDC_TITLE, WM_SETFONT, WPARAM(g_titleFont), TRUE);
    DeleteGdiObject(old);
}

// The caption's and the task switcher's icons drawn for the dialog's scale,
// not shrunk or blown up from another size; each replaced one destroyed
// (null: the dialog keeps none).
static void SetIcons(HWND dialog, bool none = false)
{
    const int sides[] = {16, 32}, dpi = WindowDpi(dialog);  // ICON_SMALL, ICON_BIG
    for (int which = ICON_SMALL; which <= ICON_BIG; which++) {
        HANDLE icon = none ? nullptr
                           : LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_KESTRANE), IMAGE_ICON,
                                        Scaled(sides[which], dpi), Scaled(sides[which], dpi), 0);
        if (HICON old = HICON(SendMessageA(dialog, WM_SETICON, WPARAM(which), LPARAM(icon))))
            DestroyIcon(old);
    }
}

// The system lays the template out again at the new scale (DefDlgProc, per
// monitor version 2); what is measured in pixels here follows.
static INT_PTR OnDpiChanged(HWND dialog)
{
    SetTitleFont(dialog);
    SetIcons(dialog);
    RemeasureMenu(GetMenu(dialog));
    DrawMenuBar(dialog);
    InvalidateRect(dialog, nullptr, TRUE);
    return FALSE;
}

static INT_PTR OnInitDialog(HWND dialog)
{
    g_mainDialog = dialog;
    OwnerDrawMenuBar(GetMenu(dialog));
    SetTitleFont(dialog);
    SetIcons(dialog);
    SendDlgItemMessageA(dialog, IDC_LINK, LCM_SETURL, 0, LPARAM(KESTRANE_HOME_PAGE));
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    DragAcceptFiles(dialog, TRUE);
    PrintStatus(MSG_STARTUP);
    // The dialog is still hidden here, so the user reads the warning alone.
    g_messageBox(dialog, TEXT_WARNING, TEXT_APP_CAPTION, MB_ICONWARNING);
    if (g_commandLine)
        PostMessageA(dialog, WM_OPEN_COMMAND_LINE, 0, 0);
    return TRUE;
}

static void LockWhileConverting(HWND dialog, bool locked)
{
    g_conversionRunning = locked;
    HMENU menu = GetMenu(dialog);
    for (int id : kLockedWhileConverting) {
        EnableWindow(GetDlgItem(dialog, id), !locked);
        EnableMenuItem(menu, UINT(id), MF_BYCOMMAND | (locked ? MF_GRAYED | MF_DISABLED : MF_ENABLED));
    }
    DragAcceptFiles(dialog, !locked);
}

// The job runs on this thread: between images, the dialog paints and answers
// what is waiting. The commands that could change the list are locked then.
static void ShowConversionProgress(int index, int count)
{
    PrintStatus(MSG_CONVERTING, index + 1, count);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));  // for the dialog's own loop, after the job
            return;
        }
        if (!IsDialogMessageA(g_mainDialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

static void ConvertCommand(HWND dialog)
{
    // Read with room to spare, so that a name too long for the job is
    // refused whole rather than cut to another file's name.
    char destination[4 * MAX_PATH];
    GetDlgItemTextA(dialog, IDC_DEST, destination, sizeof(destination));
    if (!g_sourceList || g_sourceList->count == 0) {
        PrintStatus(MSG_NOTHING_SELECTED);
        return;
    }
    if (lstrlenA(destination) >= MAX_PATH) {
        PrintStatus(MSG_PATH_TOO_LONG, destination);
        return;
    }
    // Disabling the focused button takes the focus away: it is given back after.
    HWND focus = GetFocus();
    LockWhileConverting(dialog, true);
    g_convertProgress = ShowConversionProgress;
    ConvertToShp(destination);
    g_convertProgress = nullptr;
    LockWhileConverting(dialog, false);
    if (focus && IsWindow(focus))
        SetFocus(focus);
}

static void BrowseCommand(HWND dialog)
{
    if (ChooseOutputFile(dialog))
        SetDlgItemTextA(dialog, IDC_DEST, g_pathBuffer);
}

static INT_PTR OnCommand(HWND dialog, WORD id, WORD notification)
{
    // Whatever slipped past the locks of a job, or past a modal window such
    // as the preview (which relies on the list staying as it is), is refused.
    if (g_conversionRunning || !IsWindowEnabled(dialog))
        return TRUE;
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
    case IDC_SOURCES:
        if (notification == LBN_DBLCLK)
            PreviewSelectedImage(dialog);
        break;
    case IDM_ABOUT:
        g_messageBox(dialog, TEXT_ABOUT, TEXT_ABOUT_CAPTION, MB_ICONINFORMATION);
        break;
    }
    return FALSE;
}

// A disabled dialog has a modal window open, such as the preview, which
// relies on the list staying as it is.
static INT_PTR OnDropFiles(HWND dialog, HDROP drop)
{
    if (g_conversionRunning || !IsWindowEnabled(dialog))
        DragFinish(drop);
    else
        AddDroppedFiles(dialog, drop);
    return TRUE;
}

// The dialog shows itself once its message queue is empty; a preview opened
// from here would otherwise stand alone in front of nothing.
static INT_PTR OnOpenCommandLine(HWND dialog)
{
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    OpenCommandLinePaths(dialog, g_commandLine);
    return TRUE;
}

static INT_PTR OnDrawItem(HWND dialog, const DRAWITEMSTRUCT *item)
{
    if (item->CtlType == ODT_MENU)
        DrawMenuItem(item, WindowDpi(dialog));
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
    SetIcons(dialog, true);
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
        return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_DROPFILES:
        return OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
    case WM_OPEN_COMMAND_LINE:
        return OnOpenCommandLine(dialog);
    case WM_DRAWITEM:
        return OnDrawItem(dialog, reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
    case WM_MEASUREITEM:
        return OnMeasureItem(dialog, reinterpret_cast<MEASUREITEMSTRUCT *>(lParam));
    case WM_DPICHANGED:
        return OnDpiChanged(dialog);
    case WM_DESTROY:
        return OnDestroy(dialog);
    }
    return FALSE;
}
