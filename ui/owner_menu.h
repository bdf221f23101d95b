// The menu bar and its drop-down menus, drawn in the program's own colours.
#pragma once
#include <windows.h>

struct MenuItemData {
    char *text;       // owned copy of the item's text
    int isTopLevel;   // 1 on the menu bar
    int isSeparator;  // 1 for a former separator: owner-drawn, the system no longer knows
};

constexpr COLORREF kMenuSelectionFill = RGB(193, 210, 238);
constexpr COLORREF kMenuSelectionFrame = RGB(49, 106, 197);
constexpr COLORREF kMenuItemBackground = RGB(255, 255, 255);
constexpr COLORREF kMenuDisabledText = RGB(197, 194, 184);
// At 96 DPI; scaled with the dialog's DPI (ui/dpi.h).
constexpr int kMenuBandWidth = 23;  // the left band spans left .. left + 23
constexpr int kMenuTextIndent = 30;
constexpr int kMenuSeparatorLineOffset = 2;
constexpr int kMenuSeparatorHeight = 4;
constexpr int kMenuBarItemHeight = 20;
constexpr int kMenuDropDownItemHeight = 23;
constexpr int kMenuBarWidthAdjust = -5;
constexpr int kMenuDropDownWidthAdjust = 60;

// 1, or 0 when a record could not be allocated: the rest of that menu then
// stays drawn by the system, while the menu above goes on with its next item.
int OwnerDrawMenuBar(HMENU menuBar);
int OwnerDrawSubMenu(HMENU menu);
void FreeMenuItemData(HMENU menu);
void MeasureMenuItem(MEASUREITEMSTRUCT *item, HWND dialog);
void DrawMenuItem(const DRAWITEMSTRUCT *item, int dpi);
// Every item measured again (WM_MEASUREITEM) before it is next shown: after a change of scale.
void RemeasureMenu(HMENU menu);

void CreateMenuBrushes();
void DeleteMenuBrushes();

// Records allocated and not yet released; 0 once every menu has been freed.
int LiveMenuItemDataCount();
