#include "ui/owner_menu.h"

#include "core/core_alloc.h"
#include "core/source_list.h"
#include "ui/dpi.h"
#include "ui/gdi_objects.h"

// Brushes live from start-up to program end; the button-face ones take the
// system colour once, when created.
static HBRUSH g_selectionFillBrush = nullptr;
static HBRUSH g_selectionFrameBrush = nullptr;
static HBRUSH g_bandBrush = nullptr;
static HBRUSH g_itemBackgroundBrush = nullptr;
static HBRUSH g_barBackgroundBrush = nullptr;

static int g_liveMenuItemData = 0;

// Text placement in a drop-down item: single line, vertically centred, tabs
// expanded with one character per tab stop.
static const UINT kDropDownTextFormat = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | DT_TABSTOP | (1 << 8);
static const UINT kCentredTextFormat = DT_SINGLELINE | DT_VCENTER | DT_CENTER;

void CreateMenuBrushes()
{
    g_selectionFillBrush = NewSolidBrush(kMenuSelectionFill);
    g_selectionFrameBrush = NewSolidBrush(kMenuSelectionFrame);
    g_bandBrush = NewSolidBrush(GetSysColor(COLOR_BTNFACE));
    g_itemBackgroundBrush = NewSolidBrush(kMenuItemBackground);
    g_barBackgroundBrush = NewSolidBrush(GetSysColor(COLOR_BTNFACE));
}

static void DeleteBrush(HBRUSH *brush)
{
    DeleteGdiObject(*brush);
    *brush = nullptr;
}

void DeleteMenuBrushes()
{
    DeleteBrush(&g_selectionFillBrush);
    DeleteBrush(&g_selectionFrameBrush);
    DeleteBrush(&g_bandBrush);
    DeleteBrush(&g_itemBackgroundBrush);
    DeleteBrush(&g_barBackgroundBrush);
}

int LiveMenuItemDataCount()
{
    return g_liveMenuItemData;
}

static MenuItemData *NewMenuItemData(const char *text, int isTopLevel, int isSeparator)
{
    MenuItemData *data = static_cast<MenuItemData *>(CoreAlloc(sizeof(MenuItemData)));
    if (!data)
        return nullptr;
    data->text = CopyPath(text);
    if (!data->text) {
        CoreFree(data);
        return nullptr;
    }
    data->isTopLevel = isTopLevel;
    data->isSeparator = isSeparator;
    g_liveMenuItemData++;
    return data;
}

static void DeleteMenuItemData(MenuItemData *data)
{
    CoreFree(data->text);
    CoreFree(data);
    g_liveMenuItemData--;
}

static int OwnerDrawMenu(HMENU menu, int isTopLevel)
{
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; position++) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = sizeof(text);
        if (!GetMenuItemInfoA(menu, UINT(position), TRUE, &info))
            continue;
        int isSeparator = !isTopLevel && (info.fType & MFT_SEPARATOR) ? 1 : 0;
        MenuItemData *data = NewMenuItemData(text, isTopLevel, isSeparator);
        if (!data)
            return 0;
        MENUITEMINFOA ownerDrawn = {};
        ownerDrawn.cbSize = sizeof(ownerDrawn);
        ownerDrawn.fMask = MIIM_FTYPE | MIIM_DATA;
        ownerDrawn.fType = MFT_OWNERDRAW;
        ownerDrawn.dwItemData = ULONG_PTR(data);
        if (!SetMenuItemInfoA(menu, UINT(position), TRUE, &ownerDrawn)) {
            DeleteMenuItemData(data);
            continue;
        }
        if (info.hSubMenu)
            OwnerDrawSubMenu(info.hSubMenu);
    }
    return 1;
}

int OwnerDrawMenuBar(HMENU menuBar)
{
    return OwnerDrawMenu(menuBar, 1);
}

int OwnerDrawSubMenu(HMENU menu)
{
    return OwnerDrawMenu(menu, 0);
}

void FreeMenuItemData(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; position++) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU;
        if (!GetMenuItemInfoA(menu, UINT(position), TRUE, &info))
            continue;
        if ((info.fType & MFT_OWNERDRAW) && info.dwItemData) {
            DeleteMenuItemData(reinterpret_cast<MenuItemData *>(info.dwItemData));
            MENUITEMINFOA cleared = {};
            cleared.cbSize = sizeof(cleared);
            cleared.fMask = MIIM_DATA;
            SetMenuItemInfoA(menu, UINT(position), TRUE, &cleared);
        }
        if (info.hSubMenu)
            FreeMenuItemData(info.hSubMenu);
    }
}

// An item's size at `dpi`, its text `textWidth` pixels wide.
static SIZE MenuItemSize(const MenuItemData &data, LONG textWidth, int dpi)
{
    if (data.isSeparator)
        return SIZE{0, Scaled(kMenuSeparatorHeight, dpi)};
    if (data.isTopLevel)
        return SIZE{textWidth + Scaled(kMenuBarWidthAdjust, dpi), Scaled(kMenuBarItemHeight, dpi)};
    return SIZE{textWidth + Scaled(kMenuDropDownWidthAdjust, dpi), Scaled(kMenuDropDownItemHeight, dpi)};
}

void MeasureMenuItem(MEASUREITEMSTRUCT *item, HWND dialog)
{
    if (item->CtlType != ODT_MENU || !item->itemData)
        return;
    const MenuItemData *data = reinterpret_cast<const MenuItemData *>(item->itemData);
    // Measured in the dialog's default font, the one drawing will use.
    SIZE extent = {};
    HDC dc = GetDC(dialog);
    GetTextExtentPoint32A(dc, data->text, lstrlenA(data->text), &extent);
    ReleaseDC(dialog, dc);
    SIZE size = MenuItemSize(*data, data->isSeparator ? 0 : extent.cx, WindowDpi(dialog));
    item->itemWidth = UINT(size.cx);
    item->itemHeight = UINT(size.cy);
}

void RemeasureMenu(HMENU menu)
{
    for (int position = 0, count = GetMenuItemCount(menu); position < count; position++) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_SUBMENU;
        if (!GetMenuItemInfoA(menu, UINT(position), TRUE, &info))
            continue;
        // Setting the type again drops the size the system keeps for the item.
        info.fMask = MIIM_FTYPE;
        SetMenuItemInfoA(menu, UINT(position), TRUE, &info);
        if (info.hSubMenu)
            RemeasureMenu(info.hSubMenu);
    }
}

static void FillDropDownBackground(HDC dc, const RECT &item, int dpi)
{
    FillRect(dc, &item, g_itemBackgroundBrush);
    RECT band = {item.left, item.top, item.left + Scaled(kMenuBandWidth, dpi), item.bottom};
    FillRect(dc, &band, g_bandBrush);
}

static void DrawItemText(HDC dc, const RECT &item, const MenuItemData *data, int dpi)
{
    if (data->isTopLevel) {
        RECT area = item;
        DrawTextA(dc, data->text, -1, &area, kCentredTextFormat);
    } else {
        RECT area = {item.left + Scaled(kMenuTextIndent, dpi), item.top, item.right, item.bottom};
        DrawTextA(dc, data->text, -1, &area, kDropDownTextFormat);
    }
}

// A filled line rather than a pen's: the menu's DC may hold a null pen (Wine's
// does), and the line grows thicker with the scale.
static void DrawSeparator(HDC dc, const RECT &item, int dpi)
{
    FillDropDownBackground(dc, item, dpi);
    const LONG top = item.top + Scaled(kMenuSeparatorLineOffset, dpi);
    RECT line = {item.left + Scaled(kMenuTextIndent, dpi), top, item.right, top + Scaled(1, dpi)};
    FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

static void DrawPlainItem(HDC dc, const RECT &item, const MenuItemData *data, bool disabled, int dpi)
{
    if (disabled)
        SetTextColor(dc, kMenuDisabledText);
    if (data->isTopLevel)
        FillRect(dc, &item, g_barBackgroundBrush);
    else
        FillDropDownBackground(dc, item, dpi);
    DrawItemText(dc, item, data, dpi);
}

static void DrawSelectedItem(HDC dc, const RECT &item, const MenuItemData *data, int dpi)
{
    FillRect(dc, &item, g_selectionFillBrush);
    FrameRect(dc, &item, g_selectionFrameBrush);
    DrawItemText(dc, item, data, dpi);
}

void DrawMenuItem(const DRAWITEMSTRUCT *item, int dpi)
{
    const MenuItemData *data = reinterpret_cast<const MenuItemData *>(item->itemData);
    if (!data)
        return;
    HDC dc = item->hDC;
    const RECT &rect = item->rcItem;
    // The system reuses this DC for the next item: leave it as it came.
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = GetTextColor(dc);
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    if (data->isSeparator)
        DrawSeparator(dc, rect, dpi);
    else if (item->itemAction == ODA_DRAWENTIRE)
        DrawPlainItem(dc, rect, data, disabled, dpi);
    else if (item->itemAction == ODA_SELECT && selected && !disabled)
        DrawSelectedItem(dc, rect, data, dpi);
    else if (item->itemAction == ODA_SELECT)
        DrawPlainItem(dc, rect, data, disabled, dpi);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}
