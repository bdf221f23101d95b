// Creation and deletion of the program's own fonts and brushes, counted, so
// that a session can be shown to delete every object it creates.
#pragma once
#include <windows.h>

HBRUSH NewSolidBrush(COLORREF colour);
HFONT NewFont(int height, int weight, DWORD charSet, const char *face);  // underlined, variable pitch
// The system's font for windows (DEFAULT_GUI_FONT), made for `dpi`: the stock
// one has the system's scale, not a monitor's.
HFONT NewGuiFont(int dpi);
void DeleteGdiObject(HGDIOBJ object);
// Objects created and not yet deleted.
int LiveGdiObjectCount();
