#include "ui/beside_preview.h"

#include <algorithm>

void PlaceBesidePreview(HWND dialog)
{
    RECT preview, own, work;
    GetWindowRect(GetWindow(dialog, GW_OWNER), &preview);
    GetWindowRect(dialog, &own);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    LONG x = preview.left + (preview.right - preview.left - width) / 2, y = preview.bottom;
    if (y + height > work.bottom)
        y = preview.top - height;
    x = std::max(work.left, std::min(x, work.right - width));
    y = std::max(work.top, std::min(y, work.bottom - height));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
