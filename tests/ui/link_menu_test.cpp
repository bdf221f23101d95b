// The hyperlink control, the owner-drawn menus and the GDI objects of a
// whole session.
#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "core/core_alloc.h"
#include "core/source_list.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/file_choosers.h"
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

class LinkTest : public UiTest {
  protected:
    void SetUp() override
    {
        UiTest::SetUp();
        g_openedUrls.clear();
        g_shellExecute = RecordShellExecute;
        link_ = CreateWindowA(LINK_CLASS_NAME, "Visit", WS_POPUP, 0, 0, 40, 16, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(link_, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(link_);
        g_shellExecute = ShellExecuteA;
        UiTest::TearDown();
    }
    void Click() { SendMessageA(link_, WM_LBUTTONUP, 0, MAKELPARAM(2, 2)); }
    HWND link_ = nullptr;
};

TEST_F(LinkTest, ClickOpensTheLatestAddressOnly)
{
    Click();
    EXPECT_TRUE(g_openedUrls.empty());

    EXPECT_EQ(SendMessageA(link_, LCM_SETURL, 0, LPARAM("https://one.example/")), 1);
    char replaced[] = "https://two.example/";
    SendMessageA(link_, LCM_SETURL, 0, LPARAM(replaced));
    replaced[8] = 'X';  // the control keeps its own copy
    Click();
    EXPECT_EQ(g_openedUrls, (std::vector<std::string>{"https://two.example/"}));

    SendMessageA(link_, LCM_SETURL, 0, 0);
    Click();
    EXPECT_EQ(g_openedUrls.size(), 1u);
}

TEST_F(DialogTest, VisitLinkOpensHomePage)
{
    g_openedUrls.clear();
    g_shellExecute = RecordShellExecute;
    HWND link = GetDlgItem(dialog_, IDC_LINK);
    char className[32] = "";
    GetClassNameA(link, className, sizeof(className));
    EXPECT_STREQ(className, LINK_CLASS_NAME);
    SendMessageA(link, WM_LBUTTONUP, 0, 0);
    g_shellExecute = ShellExecuteA;
    EXPECT_EQ(g_openedUrls, (std::vector<std::string>{KESTRANE_HOME_PAGE}));
}

std::vector<const MenuItemData *> ItemsOf(HMENU menu)
{
    std::vector<const MenuItemData *> items;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_DATA;
        GetMenuItemInfoA(menu, UINT(i), TRUE, &info);
        EXPECT_TRUE(info.fType & MFT_OWNERDRAW) << "item " << i;
        items.push_back(reinterpret_cast<const MenuItemData *>(info.dwItemData));
    }
    return items;
}

TEST_F(DialogTest, EveryMenuItemIsOwnerDrawnWithItsText)
{
    HMENU bar = GetMenu(dialog_);
    std::vector<const MenuItemData *> top = ItemsOf(bar);
    ASSERT_EQ(top.size(), 3u);
    const char *menus[] = {"File", "Edit", "Help"};
    const std::vector<std::vector<std::string>> contents = {
        {"Add", "Remove", "", "Convert", "", "Exit"}, {"Up", "Down"}, {"About"}};
    for (int m = 0; m < 3; m++) {
        ASSERT_NE(top[m], nullptr);
        EXPECT_STREQ(top[m]->text, menus[m]);
        EXPECT_EQ(top[m]->isTopLevel, 1);
        std::vector<const MenuItemData *> items = ItemsOf(GetSubMenu(bar, m));
        ASSERT_EQ(items.size(), contents[m].size());
        for (size_t i = 0; i < items.size(); i++) {
            ASSERT_NE(items[i], nullptr);
            EXPECT_EQ(items[i]->text, contents[m][i]);
            EXPECT_EQ(items[i]->isTopLevel, 0);
            EXPECT_EQ(items[i]->isSeparator, contents[m][i].empty() ? 1 : 0);
        }
    }
    EXPECT_EQ(LiveMenuItemDataCount(), 12);
}

TEST_F(UiTest, MenuRecordsReleasedAfterAnyAllocationFailure)
{
    // Whatever allocation fails, the records made so far are all released.
    for (int successes = 0; successes <= 24; successes++) {
        HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU));
        SetAllocFailureAfter(successes);
        int result = OwnerDrawMenuBar(menu);
        SetAllocFailureAfter(-1);
        if (successes == 0 || successes >= 24) {  // the bar's first record, or none fails
            EXPECT_EQ(result, successes ? 1 : 0);
        }
        FreeMenuItemData(menu);
        EXPECT_EQ(LiveMenuItemDataCount(), 0) << successes;
        DestroyMenu(menu);
    }
}

TEST_F(DialogTest, MeasuresSeparatorBarAndDropDownItems)
{
    MenuItemData separator = {const_cast<char *>(""), 0, 1};
    MenuItemData bar = {const_cast<char *>("File"), 1, 0};
    MenuItemData dropDown = {const_cast<char *>("Convert"), 0, 0};
    HDC dc = GetDC(dialog_);
    SIZE file, convert;
    GetTextExtentPoint32A(dc, "File", 4, &file);
    GetTextExtentPoint32A(dc, "Convert", 7, &convert);
    ReleaseDC(dialog_, dc);
    struct {
        MenuItemData *data;
        UINT height, width;
    } cases[] = {{&separator, 4, 0}, {&bar, 20, UINT(file.cx - 5)}, {&dropDown, 23, UINT(convert.cx + 60)}};
    for (auto &c : cases) {
        MEASUREITEMSTRUCT item = {};
        item.CtlType = ODT_MENU;
        item.itemData = ULONG_PTR(c.data);
        SendMessageA(dialog_, WM_MEASUREITEM, 0, LPARAM(&item));
        EXPECT_EQ(item.itemHeight, c.height) << c.data->text;
        EXPECT_EQ(item.itemWidth, c.width) << c.data->text;
    }
}

// A 24-bit top-down DIB section in a memory DC, pre-filled with magenta so
// that untouched pixels show.
class Canvas {
  public:
    static constexpr int kWidth = 120, kHeight = 23;
    Canvas()
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        // Like the DC a menu is drawn in under Wine.
        oldPen_ = SelectObject(dc_, GetStockObject(NULL_PEN));
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++)
                Set(x, y, RGB(255, 0, 255));
    }
    ~Canvas()
    {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    COLORREF At(int x, int y) const
    {
        const BYTE *p = bits_ + y * Stride() + x * 3;
        return RGB(p[2], p[1], p[0]);
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
        GdiFlush();
        DrawMenuItem(&item);
        GdiFlush();
    }
    bool Contains(COLORREF colour) const
    {
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++)
                if (At(x, y) == colour)
                    return true;
        return false;
    }

  private:
    int Stride() const { return (kWidth * 3 + 3) & ~3; }
    void Set(int x, int y, COLORREF c)
    {
        BYTE *p = bits_ + y * Stride() + x * 3;
        p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
    }
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr, oldPen_ = nullptr;
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

    const COLORREF face = GetSysColor(COLOR_BTNFACE) & 0xFFFFFF, white = RGB(255, 255, 255);
    const int mid = Canvas::kHeight / 2, right = Canvas::kWidth - 1, bottom = Canvas::kHeight - 1;
    switch (c.look) {
    case UNTOUCHED:
        EXPECT_EQ(canvas.At(0, 0), RGB(255, 0, 255));
        EXPECT_EQ(canvas.At(60, mid), RGB(255, 0, 255));
        return;
    case SELECTED:
        for (auto [x, y] : {std::pair{0, mid}, {right, mid}, {10, 0}, {10, bottom}})
            EXPECT_EQ(canvas.At(x, y), kMenuSelectionFrame) << x << "," << y;
        EXPECT_EQ(canvas.At(1, mid), kMenuSelectionFill);  // over the band too
        EXPECT_EQ(canvas.At(22, 1), kMenuSelectionFill);
        EXPECT_EQ(canvas.At(right - 1, bottom - 1), kMenuSelectionFill);
        break;
    case PLAIN:
    case DISABLED:
        if (c.isTopLevel) {
            EXPECT_EQ(canvas.At(0, 0), face);
            EXPECT_EQ(canvas.At(right, bottom), face);
        } else {
            EXPECT_EQ(canvas.At(0, 0), face);
            EXPECT_EQ(canvas.At(22, bottom), face);
            EXPECT_EQ(canvas.At(23, bottom), white);
            EXPECT_EQ(canvas.At(right, 0), white);
        }
        EXPECT_EQ(canvas.Contains(kMenuDisabledText), c.look == DISABLED);
        break;
    }
    if (c.isSeparator) {
        EXPECT_EQ(canvas.At(29, 2), white);
        EXPECT_EQ(canvas.At(30, 2), RGB(0, 0, 0));
        EXPECT_EQ(canvas.At(right, 2), RGB(0, 0, 0));
        EXPECT_EQ(canvas.At(60, 3), white);
        EXPECT_EQ(canvas.At(60, 1), white);
    } else {
        EXPECT_FALSE(canvas.Contains(RGB(255, 0, 255)));
        // Some text was drawn, in the text area only.
        bool text = false;
        int from = c.isTopLevel ? 0 : 30;
        for (int x = from; x < Canvas::kWidth; x++)
            for (int y = 1; y < bottom; y++)
                text |= canvas.At(x, y) != canvas.At(right - 1, 1);
        EXPECT_TRUE(text);
    }
}

const UINT kEnabled = 0, kSel = ODS_SELECTED, kDis = ODS_DISABLED;
INSTANTIATE_TEST_SUITE_P(
    Kinds, DrawMenuItemTest,
    testing::Values(DrawCase{"DropDownWhole", 0, 0, ODA_DRAWENTIRE, kEnabled, PLAIN},
                    DrawCase{"DropDownWholeIgnoresSelection", 0, 0, ODA_DRAWENTIRE, kSel, PLAIN},
                    DrawCase{"DropDownSelected", 0, 0, ODA_SELECT, kSel, SELECTED},
                    DrawCase{"DropDownDeselected", 0, 0, ODA_SELECT, kEnabled, PLAIN},
                    DrawCase{"DropDownDisabled", 0, 0, ODA_DRAWENTIRE, kDis, DISABLED},
                    DrawCase{"DropDownDisabledSelected", 0, 0, ODA_SELECT, kSel | kDis, DISABLED},
                    DrawCase{"DropDownFocus", 0, 0, ODA_FOCUS, kSel, UNTOUCHED},
                    DrawCase{"BarWhole", 1, 0, ODA_DRAWENTIRE, kEnabled, PLAIN},
                    DrawCase{"BarSelected", 1, 0, ODA_SELECT, kSel, SELECTED},
                    DrawCase{"BarDisabled", 1, 0, ODA_SELECT, kDis, DISABLED},
                    DrawCase{"Separator", 0, 1, ODA_DRAWENTIRE, kEnabled, PLAIN},
                    DrawCase{"SeparatorSelected", 0, 1, ODA_SELECT, kSel, PLAIN},
                    DrawCase{"SeparatorDisabled", 0, 1, ODA_SELECT, kDis, PLAIN}),
    [](const testing::TestParamInfo<DrawCase> &info) { return std::string(info.param.name); });

// A filter registration of the test's own, removed afterwards. Its library
// does not exist: enough for start-up and the open dialog.
class FilterKey {
  public:
    explicit FilterKey(const char *extensions)
    {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key_, nullptr);
        RegSetValueExA(key_, "Extensions", 0, REG_SZ, reinterpret_cast<const BYTE *>(extensions),
                       DWORD(std::strlen(extensions) + 1));
        const char path[] = "C:\\no such dir\\none.flt";
        RegSetValueExA(key_, "Path", 0, REG_SZ, reinterpret_cast<const BYTE *>(path), sizeof(path));
    }
    ~FilterKey()
    {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    }
    FilterKey(const FilterKey &) = delete;
    FilterKey &operator=(const FilterKey &) = delete;

  private:
    static constexpr const char *kKey =
        "Software\\Microsoft\\Shared Tools\\Graphics Filters\\Import\\Kestrane UI test";
    HKEY key_ = nullptr;
};

// A session as WinMain runs it, ended by posted commands instead of a person.
std::vector<std::string> g_sessionBoxes;

int g_gdiObjectsDuringSession = -1;

int WINAPI DriveSession(HWND owner, LPCSTR text, LPCSTR, UINT)
{
    g_sessionBoxes.push_back(text);
    g_gdiObjectsDuringSession = LiveGdiObjectCount();
    if (owner) {
        g_chosenPaths = {"C:\\a\\b.png", "C:\\a\\c.png"};
        for (int id : {IDC_ADD, IDC_ADD, IDOK, IDM_ABOUT, IDOK, IDC_REMOVE, IDCANCEL})
            PostMessageA(owner, WM_COMMAND, id, 0);
    }
    return IDOK;
}

TEST_F(UiTest, SessionReleasesEveryGdiObjectAndRecord)
{
    // The session creates and deletes its own brushes and fonts.
    DeleteMenuBrushes();
    DeleteLinkFont();
    g_messageBox = DriveSession;
    FilterKey filter("PNG");
    // Wine's GetGuiResources reports 0; where it counts, it must not grow.
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    ASSERT_EQ(LiveGdiObjectCount(), 0);
    EXPECT_EQ(RunKestrane(GetModuleHandleA(nullptr)), 0);
    DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_EQ(after, before);
    EXPECT_EQ(g_gdiObjectsDuringSession, 7);  // 5 menu brushes, link and title fonts
    EXPECT_EQ(LiveGdiObjectCount(), 0);
    EXPECT_EQ(LiveMenuItemDataCount(), 0);
    EXPECT_EQ(g_sourceList, nullptr);
    EXPECT_EQ(g_mainDialog, nullptr);
    ASSERT_EQ(g_sessionBoxes.size(), 2u);  // the warning, then About
    EXPECT_EQ(g_sessionBoxes[1], TEXT_ABOUT);
}

}  // namespace
