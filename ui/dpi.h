// Lengths in pixels at the scale of the monitor a window is on. Every length
// is given as it is at 96 DPI (100 %), where it keeps its exact value.
#pragma once
#include <windows.h>

constexpr int kBaseDpi = 96;

// The window's DPI: its monitor's where the system tells it (Windows 10 1607
// and later), else the system's.
int WindowDpi(HWND window);

inline int Scaled(int pixels, int dpi)
{
    return MulDiv(pixels, dpi, kBaseDpi);
}
