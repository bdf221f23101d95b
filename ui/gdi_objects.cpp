#include "ui/gdi_objects.h"

#include "ui/dpi.h"

static int g_liveGdiObjects = 0;

HBRUSH NewSolidBrush(COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush)
        g_liveGdiObjects++;
    return brush;
}

HFONT NewFont(int height, int weight, DWORD charSet, const char *face)
{
    HFONT font = CreateFontA(height, 0, 0, 0, weight, FALSE, TRUE, FALSE, charSet, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, face);
    if (font)
        g_liveGdiObjects++;
    return font;
}

HFONT NewGuiFont(int dpi)
{
    LOGFONTA font = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfHeight = MulDiv(font.lfHeight, dpi, WindowDpi(nullptr));  // the stock font is the system's
    HFONT made = CreateFontIndirectA(&font);
    if (made)
        g_liveGdiObjects++;
    return made;
}

void DeleteGdiObject(HGDIOBJ object)
{
    if (object && DeleteObject(object))
        g_liveGdiObjects--;
}

int LiveGdiObjectCount()
{
    return g_liveGdiObjects;
}
