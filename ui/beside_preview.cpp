#include "ui/beside_preview.h"

#include <algorithm>
#include <initializer_list>

// The first place on the work area that leaves the whole preview in sight;
// where none does, below it, kept on the screen.
void PlaceBesidePreview(HWND dialog)
{
    RECT preview, own, work;
    GetWindowRect(GetWindow(dialog, GW_OWNER), &preview);
    GetWindowRect(dialog, &own);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    const LONG centreX = preview.left + (preview.right - preview.left - width) / 2,
               centreY = preview.top + (preview.bottom - preview.top - height) / 2;
    const POINT places[] = {{centreX, preview.bottom},
                            {centreX, preview.top - height},
                            {preview.right, centreY},
                            {preview.left - width, centreY}};
    POINT at = places[0];
    for (const POINT &place : places) {
        const LONG x = std::max(work.left, std::min(place.x, work.right - width)),
                   y = std::max(work.top, std::min(place.y, work.bottom - height));
        if (x + width <= preview.left || x >= preview.right || y + height <= preview.top ||
            y >= preview.bottom) {
            at = {x, y};
            break;
        }
    }
    at.x = std::max(work.left, std::min(at.x, work.right - width));
    at.y = std::max(work.top, std::min(at.y, work.bottom - height));
    SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
