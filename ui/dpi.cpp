#include "ui/dpi.h"

int WindowDpi(HWND window)
{
    // Looked up, not imported: older systems lack it, and the program must still start there.
    typedef UINT(WINAPI * DpiForWindowFunction)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindowFunction>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow && window)
        if (UINT dpi = dpiForWindow(window))
            return int(dpi);
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}
