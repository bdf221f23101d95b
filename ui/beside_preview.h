// Where the preview's small dialogs go.
#pragma once
#include <windows.h>

// Under the dialog's owner, the preview, where there is room, else above
// it: what the dialog draws on or beside the picture stays in view.
void PlaceBesidePreview(HWND dialog);
