// The hyperlink control, the owner-drawn menus and the objects of a whole
// session.
#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "core/core_alloc.h"
#include "core/source_list.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/gdi_objects.h"
#include "ui/link_control.h"
#include "ui/main_dialog.h"
#include "ui/owner_menu.h"
#include "ui/ui_texts.h"
#include "version.h"

namespace {

std::vector<std::string> g_openedUrls;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT show)
{
    EXPECT_EQ(verb, nullptr);
    EXPECT_EQ(show, SW_SHOWMAXIMIZED);
    g_openedUrls.push_back(file);
    return HINSTANCE(42);
}

TEST_F(DialogTest, LinkOpensOnlyItsLatestAddress)
{
    g_openedUrls.clear();
    g_shellExecute = RecordShellExecute;
    HWND link = GetDlgItem(dialog_, IDC_LINK);
    auto click = [&] { SendMessageA(link, WM_LBUTTONUP, 0, 0); };
    click();  // the dialog gave it the home page
    char replaced[] = "https://two.example/";
    EXPECT_EQ(SendMessageA(link, LCM_SETURL, 0, LPARAM(replaced)), 1);
    replaced[8] = 'X';  // the control keeps its own copy
    click();
    SendMessageA(link, LCM_SETURL, 0, 0);
    click();  // no address: nothing happens
    g_shellExecute = ShellExecuteA;
    EXPECT_EQ(g_openedUrls, (std::vector<std::string>{KESTRANE_HOME_PAGE, "https://two.example/"}));
}

TEST_F(DialogTest, EveryMenuItemIsOwnerDrawnWithItsText)
{
    const std::vector<std::vector<std::string>> menus = {
        {"File", "Add", "Remove", "", "Convert", "", "Exit"}, {"Edit", "Up", "Down"}, {"Help", "About"}};
    auto record = [](HMENU menu, int position) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_DATA;
        GetMenuItemInfoA(menu, UINT(position), TRUE, &info);
        EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
        return reinterpret_cast<const MenuItemData *>(info.dwItemData);
    };
    HMENU bar = GetMenu(dialog_);
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    for (int m = 0; m < 3; m++) {
        const MenuItemData *top = record(bar, m);
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(top->text, menus[m][0]);
        EXPECT_EQ(top->isTopLevel, 1);
        HMENU menu = GetSubMenu(bar, m);
        ASSERT_EQ(size_t(GetMenuItemCount(menu)), menus[m].size() - 1);
        for (size_t i = 1; i < menus[m].size(); i++) {
            const MenuItemData *item = record(menu, int(i - 1));
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->text, menus[m][i]);
            EXPECT_EQ(item->isTopLevel, 0);
            EXPECT_EQ(item->isSeparator, menus[m][i].empty() ? 1 : 0);
        }
    }
    EXPECT_EQ(LiveMenuItemDataCount(), 12);  // none left once destroyed: see TearDown
}

TEST_F(UiTest, MenuRecordsReleasedAfterAnyAllocationFailure)
{
    // Two allocations per item, 24 in all: whichever fails, what was made is released.
    for (int successes = 0; successes <= 24; successes++) {
        HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
        SetAllocFailureAfter(successes);
        int result = OwnerDrawMenuBar(menu);
        SetAllocFailureAfter(-1);
        if (successes == 0 || successes == 24) {
            EXPECT_EQ(result, successes ? 1 : 0);
        }
        FreeMenuItemData(menu);
        EXPECT_EQ(LiveMenuItemDataCount(), 0) << successes;
        DestroyMenu(menu);
    }
}

TEST_F(DialogTest, MeasuresSeparatorBarAndDropDownItems)
{
    MenuItemData items[] = {{const_cast<char *>(""), 0, 1},
                            {const_cast<char *>("File"), 1, 0},
                            {const_cast<char *>("Convert"), 0, 0}};
    HDC dc = GetDC(dialog_);
    SIZE file, convert;
    GetTextExtentPoint32A(dc, "File", 4, &file);
    GetTextExtentPoint32A(dc, "Convert", 7, &convert);
    ReleaseDC(dialog_, dc);
    const UINT heights[] = {4, 20, 23}, widths[] = {0, UINT(file.cx - 5), UINT(convert.cx + 60)};
    for (int i = 0; i < 3; i++) {
        MEASUREITEMSTRUCT item = {};
        item.CtlType = ODT_MENU;
        item.itemData = ULONG_PTR(&items[i]);
        SendMessageA(dialog_, WM_MEASUREITEM, 0, LPARAM(&item));
        EXPECT_EQ(item.itemHeight, heights[i]) << i;
        EXPECT_EQ(item.itemWidth, widths[i]) << i;
    }
}

// A 24-bit top-down DIB section in a memory DC, pre-filled with magenta so
// that untouched pixels show, holding a null pen like the DC of a Wine menu.
class Canvas {
  public:
    static constexpr int kWidth = 120, kHeight = 23, kStride = (kWidth * 3 + 3) & ~3;
    static constexpr COLORREF kUntouched = RGB(255, 0, 255);
    Canvas()
    {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits_), nullptr, 0);
        oldBitmap_ = SelectObject(dc_, bitmap_);
        oldPen_ = SelectObject(dc_, GetStockObject(NULL_PEN));
        RECT all = {0, 0, kWidth, kHeight};
        HBRUSH magenta = CreateSolidBrush(kUntouched);
        FillRect(dc_, &all, magenta);
        DeleteObject(magenta);
    }
    ~Canvas()
    {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    COLORREF At(int x, int y) const
    {
        const BYTE *p = bits_ + y * kStride + x * 3;
        return RGB(p[2], p[1], p[0]);
    }
    bool Contains(COLORREF colour, int fromX = 0) const
    {
        for (int y = 0; y < kHeight; y++)
            for (int x = fromX; x < kWidth; x++)
                if (At(x, y) == colour)
                    return true;
        return false;
    }
    void Draw(const MenuItemData *data, UINT action, UINT state)
    {
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_MENU;
        item.itemAction = action;
        item.itemState = state;
        item.hDC = dc_;
        item.rcItem = {0, 0, kWidth, kHeight};
        item.itemData = ULONG_PTR(data);
        DrawMenuItem(&item);
        GdiFlush();
    }

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_, oldPen_;
    BYTE *bits_ = nullptr;
};

enum Look { PLAIN, SELECTED, DISABLED, UNTOUCHED };

struct DrawCase {
    const char *name;
    int isTopLevel, isSeparator;
    UINT action, state;
    Look look;
};

class DrawMenuItemTest : public UiTest, public testing::WithParamInterface<DrawCase> {};

TEST_P(DrawMenuItemTest, PaintsTheItemsColours)
{
    const DrawCase &c = GetParam();
    MenuItemData data = {const_cast<char *>(c.isSeparator ? "" : "Convert"), c.isTopLevel, c.isSeparator};
    Canvas canvas;
    canvas.Draw(&data, c.action, c.state);

    const COLORREF face = GetSysColor(COLOR_BTNFACE), white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    const int right = Canvas::kWidth - 1, bottom = Canvas::kHeight - 1;
    if (c.look == UNTOUCHED) {
        EXPECT_FALSE(canvas.Contains(white) || canvas.Contains(face));
        return;
    }
    EXPECT_FALSE(canvas.Contains(Canvas::kUntouched));
    if (c.look == SELECTED) {
        for (auto [x, y] : {std::pair{0, 11}, {right, 11}, {10, 0}, {10, bottom}})
            EXPECT_EQ(canvas.At(x, y), kMenuSelectionFrame) << x << "," << y;
        for (auto [x, y] : {std::pair{1, 11}, {22, 1}, {right - 1, bottom - 1}})  // over the band too
            EXPECT_EQ(canvas.At(x, y), kMenuSelectionFill) << x << "," << y;
    } else if (c.isTopLevel) {
        EXPECT_EQ(canvas.At(0, 0), face);
        EXPECT_EQ(canvas.At(right, bottom), face);
    } else {
        EXPECT_EQ(canvas.At(0, 0), face);
        EXPECT_EQ(canvas.At(22, bottom), face);  // the band spans left .. left + 23
        EXPECT_EQ(canvas.At(23, bottom), white);
        EXPECT_EQ(canvas.At(right, 0), white);
    }
    EXPECT_EQ(canvas.Contains(kMenuDisabledText), c.look == DISABLED);
    if (c.isSeparator) {
        EXPECT_EQ(canvas.At(29, 2), white);
        EXPECT_EQ(canvas.At(30, 2), black);
        EXPECT_EQ(canvas.At(right, 2), black);
        EXPECT_EQ(canvas.At(60, 1), white);
        EXPECT_EQ(canvas.At(60, 3), white);
    } else {
        EXPECT_TRUE(canvas.Contains(c.look == DISABLED ? kMenuDisabledText : black, c.isTopLevel ? 0 : 30));
    }
}

const UINT kSel = ODS_SELECTED, kDis = ODS_DISABLED;
INSTANTIATE_TEST_SUITE_P(
    Kinds, DrawMenuItemTest,
    testing::Values(DrawCase{"DropDownWhole", 0, 0, ODA_DRAWENTIRE, 0, PLAIN},
                    DrawCase{"DropDownWholeIgnoresSelection", 0, 0, ODA_DRAWENTIRE, kSel, PLAIN},
                    DrawCase{"DropDownSelected", 0, 0, ODA_SELECT, kSel, SELECTED},
                    DrawCase{"DropDownDeselected", 0, 0, ODA_SELECT, 0, PLAIN},
                    DrawCase{"DropDownDisabled", 0, 0, ODA_DRAWENTIRE, kDis, DISABLED},
                    DrawCase{"DropDownDisabledSelected", 0, 0, ODA_SELECT, kSel | kDis, DISABLED},
                    DrawCase{"DropDownFocus", 0, 0, ODA_FOCUS, kSel, UNTOUCHED},
                    DrawCase{"BarWhole", 1, 0, ODA_DRAWENTIRE, 0, PLAIN},
                    DrawCase{"BarSelected", 1, 0, ODA_SELECT, kSel, SELECTED},
                    DrawCase{"BarDisabled", 1, 0, ODA_SELECT, kDis, DISABLED},
                    DrawCase{"Separator", 0, 1, ODA_DRAWENTIRE, 0, PLAIN},
                    DrawCase{"SeparatorSelected", 0, 1, ODA_SELECT, kSel, PLAIN},
                    DrawCase{"SeparatorDisabled", 0, 1, ODA_SELECT, kDis, PLAIN}),
    [](const testing::TestParamInfo<DrawCase> &info) { return std::string(info.param.name); });

// A session as WinMain runs it, driven by posted commands from the warning box.
std::vector<std::string> g_sessionBoxes;
int g_gdiObjectsDuringSession = -1;

int WINAPI DriveSession(HWND owner, LPCSTR text, LPCSTR, UINT)
{
    g_sessionBoxes.push_back(text);
    g_gdiObjectsDuringSession = LiveGdiObjectCount();
    if (owner && g_sessionBoxes.size() == 1) {
        g_chosenPaths = {"C:\\a\\b.png", "C:\\a\\c.png"};
        // No Convert: a conversion handles, and refuses, the commands waiting behind it.
        for (int id : {IDC_ADD, IDC_ADD, IDM_ABOUT, IDC_REMOVE, IDCANCEL})
            PostMessageA(owner, WM_COMMAND, id, 0);
    }
    return IDOK;
}

TEST_F(UiTest, SessionReleasesEveryGdiObjectAndRecord)
{
    // Start-up needs a registered filter; this one's library need not exist.
    const char key[] = "Software\\Microsoft\\Shared Tools\\Graphics Filters\\Import\\Kestrane UI test";
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, "Extensions", REG_SZ, "PNG", 4), 0);
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, "Path", REG_SZ, "C:\\none.flt", 12), 0);
    DeleteMenuBrushes();  // the session makes its own
    DeleteLinkFont();
    g_messageBox = DriveSession;

    // Wine's GetGuiResources reports 0; where it counts, it must not grow.
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    ASSERT_EQ(LiveGdiObjectCount(), 0);
    EXPECT_EQ(RunKestrane(GetModuleHandleA(nullptr)), 0);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);
    EXPECT_EQ(g_gdiObjectsDuringSession, 7);  // 5 menu brushes, the link and title fonts
    EXPECT_EQ(LiveGdiObjectCount(), 0);
    EXPECT_EQ(LiveMenuItemDataCount(), 0);
    EXPECT_EQ(g_sourceList, nullptr);
    EXPECT_EQ(g_sessionBoxes, (std::vector<std::string>{TEXT_WARNING, TEXT_ABOUT}));
}

}  // namespace
