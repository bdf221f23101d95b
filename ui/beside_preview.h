// Where the preview's small dialogs go.
#pragma once
#include <windows.h>

// Beside the dialog's owner, the preview (under it where there is room, else
// above, right or left of it): the picture the dialog asks about stays in view.
void PlaceBesidePreview(HWND dialog);
