// Add, Remove, Up and Down: each edits the list box and g_sourceList together,
// so that row i always names the file of entry i.
#pragma once
#include <windows.h>

void AddSourceImage(HWND dialog);
void RemoveSourceImage(HWND dialog);
void MoveSourceUp(HWND dialog);
void MoveSourceDown(HWND dialog);
