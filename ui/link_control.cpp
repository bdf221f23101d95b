#include "ui/link_control.h"

#include <shellapi.h>

#include "core/core_alloc.h"
#include "core/source_list.h"
#include "ui/dpi.h"
#include "ui/gdi_objects.h"

ShellExecuteFunction g_shellExecute = ShellExecuteA;

static const char kUrlProperty[] = "URL";
static const COLORREF kLinkColour = RGB(0, 0, 255);
static HFONT g_linkFont = nullptr;
static int g_linkFontDpi = 0;

void RegisterLinkClass()
{
    WNDCLASSEXA linkClass = {};
    linkClass.cbSize = sizeof(linkClass);
    linkClass.style = CS_HREDRAW | CS_VREDRAW;
    linkClass.lpfnWndProc = LinkWndProc;
    linkClass.cbWndExtra = 4;
    linkClass.hInstance = GetModuleHandleA(nullptr);
    linkClass.hCursor = LoadCursorA(nullptr, IDC_HAND);
    linkClass.lpszClassName = LINK_CLASS_NAME;
    RegisterClassExA(&linkClass);
}

// Made for the scale the link is shown at, again when that changes.
static HFONT LinkFont(HWND window)
{
    const int dpi = WindowDpi(window);
    if (!g_linkFont || dpi != g_linkFontDpi) {
        DeleteGdiObject(g_linkFont);
        g_linkFont = NewFont(Scaled(15, dpi), 800, ANSI_CHARSET, nullptr);
        g_linkFontDpi = dpi;
    }
    return g_linkFont;
}

void DeleteLinkFont()
{
    DeleteGdiObject(g_linkFont);
    g_linkFont = nullptr;
    g_linkFontDpi = 0;
}

// Releases the address held by the control, if any.
static void ForgetUrl(HWND window)
{
    char *url = static_cast<char *>(RemovePropA(window, kUrlProperty));
    CoreFree(url);
}

static LRESULT OnSetUrl(HWND window, const char *url)
{
    ForgetUrl(window);
    if (url) {
        char *copy = CopyPath(url);
        if (copy && !SetPropA(window, kUrlProperty, copy))
            CoreFree(copy);
    }
    return 1;
}

static void OnClick(HWND window)
{
    const char *url = static_cast<const char *>(GetPropA(window, kUrlProperty));
    if (url)
        g_shellExecute(window, nullptr, url, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

static void OnPaint(HWND window)
{
    char text[255];
    GetWindowTextA(window, text, sizeof(text));
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HGDIOBJ oldFont = SelectObject(dc, LinkFont(window));
    SetTextColor(dc, kLinkColour);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text, -1, &client, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    SelectObject(dc, oldFont);
    EndPaint(window, &paint);
}

LRESULT CALLBACK LinkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case LCM_SETURL:
        return OnSetUrl(window, reinterpret_cast<const char *>(lParam));
    case WM_LBUTTONUP:
        OnClick(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_DESTROY:
        ForgetUrl(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
