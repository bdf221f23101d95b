// The dialog program in-process: its real template and code, with message boxes, file dialogs and
// the shell answered by the tests, and images decoded by the stand-in filter, registered for ".kui".
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"
#include "res/resource.h"
#include "tests/import/import_support.h"
#include "tests/support/temp_dir.h"
#include "ui/file_choosers.h"
#include "ui/gdi_objects.h"
#include "ui/link_control.h"
#include "ui/main_dialog.h"
#include "ui/owner_menu.h"
#include "ui/preview.h"
#include "ui/ui_texts.h"
#include "version.h"

using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

Strings g_chosenPaths;  // what the next file dialogs choose; none left: cancelled

// A drop as Explorer hands it over: DROPFILES, each path and its NUL, then one more NUL.
WPARAM MakeDrop(const Strings &paths)
{
    std::string names;
    for (const std::string &path : paths)
        names += path + '\0';
    auto *drop = static_cast<DROPFILES *>(GlobalAlloc(GPTR, sizeof(DROPFILES) + names.size() + 1));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(drop + 1, names.data(), names.size());
    return WPARAM(drop);
}

class DialogTest : public testing::Test {
  protected:
    void SetUp() override
    {
        registry_.Add("ui", "kui", KST_FILTER);
        g_instance = GetModuleHandleA(nullptr);
        g_messageBox = [](HWND, LPCSTR, LPCSTR, UINT) WINAPI { return IDOK; };
        g_getOpenFileName = g_getSaveFileName = [](OPENFILENAMEA *dialog) WINAPI -> BOOL {
            if (g_chosenPaths.empty())
                return FALSE;
            lstrcpynA(dialog->lpstrFile, g_chosenPaths.front().c_str(), int(dialog->nMaxFile));
            g_chosenPaths.erase(g_chosenPaths.begin());
            return TRUE;
        };
        g_chosenPaths.clear();
        RegisterLinkClass();
        CreateMenuBrushes();
        g_sourceList = SourceListCreate();
        dialog_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override
    {
        SetAllocFailureAfter(-1);
        DestroyWindow(dialog_);
        EXPECT_EQ(LiveMenuItemDataCount(), 0);
        SourceListRelease(g_sourceList);
        DeleteMenuBrushes();
        DeleteLinkFont();
    }

    void Command(int id) { SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void Add(const Strings &paths)
    {
        g_chosenPaths = paths;
        for (size_t i = 0; i < paths.size(); i++)
            Command(IDC_ADD);
    }
    void Drop(const Strings &paths) { SendMessageA(dialog_, WM_DROPFILES, MakeDrop(paths), 0); }
    void Select(int row) { SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_SETCURSEL, WPARAM(row), 0); }
    int Selected() const { return int(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0)); }
    std::string Text(int id) const
    {
        char text[kStatusBufferSize];
        GetDlgItemTextA(dialog_, id, text, sizeof(text));
        return text;
    }
    // The rows, space-separated, each checked to show the file-name part of the entry of its index.
    std::string Rows() const
    {
        std::string rows;
        int count = int(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCOUNT, 0, 0));
        EXPECT_EQ(count, g_sourceList->count) << "rows and entries";
        for (int i = 0; i < count && i < g_sourceList->count; i++) {
            char text[MAX_PATH] = "";
            SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETTEXT, WPARAM(i), LPARAM(text));
            rows += (i ? " " : "") + std::string(text);
            EXPECT_STREQ(std::strrchr(SourceListGet(g_sourceList, i), '\\') + 1, text) << "row " << i;
        }
        return rows;
    }
    std::string Image(const std::string &name, int width, int height, const PixelFunction &pixel = Gradient)
    {
        WriteBytes(temp_.Path(name), MakeFilterImage(0, 0, width, height, pixel));
        return temp_.Path(name);
    }

    FilterRegistrations registry_;
    TempDir temp_;
    HWND dialog_ = nullptr;
};

// The row selected first, the command, the path the open dialog chooses; then the rows and the
// selected row. kAsIs: no row selected first / the selection not checked after.
constexpr int kAsIs = -2;

const std::tuple<int, int, const char *, const char *, int> kListSteps[] = {
    {kAsIs, IDOK, nullptr, "", -1},
    {kAsIs, IDC_ADD, "C:\\a\\z.png", "z.png", kAsIs},
    {kAsIs, IDC_ADD, "C:\\f\\frame2.png", "frame2.png z.png", kAsIs},
    {kAsIs, IDC_ADD, "C:\\f\\frame10.png", "frame10.png frame2.png z.png", kAsIs},  // text order decides
    {kAsIs, IDC_ADD, "C:\\a\\b.png", "b.png frame10.png frame2.png z.png", kAsIs},
    {kAsIs, IDC_ADD, "\\y.png", "b.png frame10.png frame2.png z.png", kAsIs},  // no folder
    {0, IDC_UP, nullptr, "b.png frame10.png frame2.png z.png", 0},
    {3, IDC_DOWN, nullptr, "b.png frame10.png frame2.png z.png", 3},
    {kAsIs, IDC_UP, nullptr, "b.png frame10.png z.png frame2.png", 2},
    {kAsIs, IDC_DOWN, nullptr, "b.png frame10.png frame2.png z.png", 3},
    {-1, IDC_REMOVE, nullptr, "b.png frame10.png frame2.png z.png", -1},
    {1, IDC_REMOVE, nullptr, "b.png frame2.png z.png", 1},  // the next row is selected
    {2, IDC_REMOVE, nullptr, "b.png frame2.png", -1},
    {0, IDC_REMOVE, nullptr, "frame2.png", 0},
    {kAsIs, IDC_REMOVE, nullptr, "", -1},
    {kAsIs, IDC_ADD, "C:\\a\\1.png", "1.png", kAsIs},
    {kAsIs, IDC_ADD, "C:\\a\\2.png", "1.png 2.png", kAsIs},
};

TEST_F(DialogTest, ListCommandsKeepRowsAndEntriesOneToOneAndConvertEnabledWhenNotEmpty)
{
    for (auto [select, command, chosen, rows, selected] : kListSteps) {
        SCOPED_TRACE("command " + std::to_string(command) + ", then " + rows);
        if (select != kAsIs)
            Select(select);
        if (chosen)
            g_chosenPaths.push_back(chosen);
        Command(command);  // IDOK: as Enter and File > Convert arrive while the button is disabled
        EXPECT_EQ(Rows(), rows);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog_, IDOK)) != FALSE, *rows != '\0');
        EXPECT_TRUE(selected == kAsIs || Selected() == selected) << Selected();
        EXPECT_TRUE(command != IDOK || Text(IDC_STATUS) == MSG_NOTHING_SELECTED);
    }
    Select(0);  // a row goes only with its entry
    SetAllocFailureAfter(0);
    Command(IDC_REMOVE);
    EXPECT_EQ(Rows(), "1.png 2.png");
    EXPECT_EQ(Text(IDC_STATUS), MSG_MEMORY_ERROR);
}

// A chosen name too long for the path is refused whole; Open offers the types found.
TEST_F(DialogTest, FileDialogsRefuseALongNameWholeAndOpenOffersTheTypesFound)
{
    const std::string fits = "C:\\" + std::string(256, 'x'), tooLong = fits + 'x';  // 259 and 260 bytes
    g_chosenPaths = {fits, tooLong};
    Command(IDC_BROWSE);
    Command(IDC_BROWSE);
    char refused[kStatusBufferSize];
    std::snprintf(refused, sizeof(refused), MSG_PATH_TOO_LONG, tooLong.c_str());
    EXPECT_EQ(Text(IDC_STATUS) + " / " + Text(IDC_DEST), refused + " / "s + fits);
    char filter[kOpenFilterSize];
    std::fill(filter, filter + sizeof(filter), 'x');
    BuildOpenFilter(filter, false, true, true);  // no PNG filter
    const std::string expected = "Images files(*.gif *.jpg )\0*.gif;*.jpg\0\0"s;
    EXPECT_EQ(std::string(filter, expected.size()), expected);
}

Strings g_openedUrls;

TEST_F(DialogTest, LinkOpensOnlyItsLatestAddress)
{
    g_shellExecute = [](HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT show) WINAPI {
        EXPECT_TRUE(verb == nullptr && show == SW_SHOWMAXIMIZED);
        g_openedUrls.push_back(file);
        return HINSTANCE(42);
    };
    HWND link = GetDlgItem(dialog_, IDC_LINK);
    SendMessageA(link, WM_LBUTTONUP, 0, 0);  // the dialog gave it the home page
    char replaced[] = "https://two.example/";
    EXPECT_EQ(SendMessageA(link, LCM_SETURL, 0, LPARAM(replaced)), 1);
    replaced[8] = 'X';  // the control keeps its own copy
    SendMessageA(link, WM_LBUTTONUP, 0, 0);
    SendMessageA(link, LCM_SETURL, 0, 0);
    SendMessageA(link, WM_LBUTTONUP, 0, 0);  // no address: nothing happens
    EXPECT_EQ(g_openedUrls, (Strings{KESTRANE_HOME_PAGE, "https://two.example/"}));
}

// Every item of the template's menu, separators too, is drawn by the program from
// a record of its own; whichever allocation fails, every record made is released.
TEST_F(DialogTest, MenuItemsOwnerDrawnAndRecordsReleasedAfterAnyFailure)
{
    HMENU plain = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_MAINMENU));
    int items = GetMenuItemCount(plain);
    for (int top = 0; top < GetMenuItemCount(plain); top++)
        items += GetMenuItemCount(GetSubMenu(plain, top));
    DestroyMenu(plain);
    const int whole = LiveMenuItemDataCount();  // the dialog's menu
    EXPECT_EQ(whole, items);
    for (int successes = 0, made = 0; made < whole && successes < 100; successes++) {
        HMENU menu = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_MAINMENU));
        SetAllocFailureAfter(successes);
        OwnerDrawMenuBar(menu);
        SetAllocFailureAfter(-1);
        made = LiveMenuItemDataCount() - whole;
        FreeMenuItemData(menu);
        DestroyMenu(menu);
        EXPECT_EQ(LiveMenuItemDataCount(), whole) << "after " << successes << " allocations";
    }
}

// Each kind of item measured, then drawn in its height into a DIB section
// first filled with magenta, so that untouched pixels show, holding a null
// pen as the DC of Wine's menus does.
TEST_F(DialogTest, MenuItemsMeasuredAndDrawnInTheirGeometryAndColours)
{
    constexpr int kWidth = 120, kMaxHeight = 32;
    const COLORREF face = GetSysColor(COLOR_BTNFACE), white = RGB(255, 255, 255), none = RGB(255, 0, 255);
    const COLORREF fill = kMenuSelectionFill, grey = kMenuDisabledText;
    const UINT kSel = ODS_SELECTED, kDis = ODS_DISABLED;
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), kWidth, -kMaxHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    DWORD *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);  // with the font of the dialog's own DC, which measuring uses
    HBITMAP bitmap =
        CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
    SelectObject(dc, bitmap);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SIZE text;
    GetTextExtentPoint32A(dc, "Convert", 7, &text);
    const struct {
        const char *name;
        int isTopLevel, isSeparator;
        UINT action, state, height;
        LONG width;
        // At y = 1 the band's last column and the next (also at x = 29, y = 2), the line from the indent
        COLORREF band, item, line, text;
    } cases[] = {
        {"drop-down, selection ignored", 0, 0, ODA_DRAWENTIRE, kSel, 23, text.cx + 60, face, white, white, 0},
        {"drop-down selected", 0, 0, ODA_SELECT, kSel, 23, text.cx + 60, fill, fill, fill, 0},
        {"drop-down disabled", 0, 0, ODA_SELECT, kSel | kDis, 23, text.cx + 60, face, white, white, grey},
        {"drop-down focus", 0, 0, ODA_FOCUS, kSel, 23, text.cx + 60, none, none, none, none},
        {"bar disabled", 1, 0, ODA_DRAWENTIRE, kDis, 20, text.cx - 5, face, face, face, grey},
        {"separator", 0, 1, ODA_SELECT, kSel, 4, 0, face, white, 0, none},
    };
    auto at = [&](int x, int y) { return GetPixel(dc, x, y); };
    auto shows = [&](COLORREF colour, int fromX, int toX) {
        for (int i = 0; i < kWidth * kMaxHeight; i++)
            if (i % kWidth >= fromX && i % kWidth < toX && at(i % kWidth, i / kWidth) == colour)
                return true;
        return false;
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MenuItemData data = {const_cast<char *>(c.isSeparator ? "" : "Convert"), c.isTopLevel, c.isSeparator};
        MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 0, 0, 0, ULONG_PTR(&data)};
        SendMessageA(dialog_, WM_MEASUREITEM, 0, LPARAM(&measure));
        EXPECT_EQ(std::pair(measure.itemHeight, LONG(measure.itemWidth)), std::pair(c.height, c.width));
        std::fill(bits, bits + kWidth * kMaxHeight, 0xFF00FF);
        DRAWITEMSTRUCT item = {
            ODT_MENU, 0, 0, c.action, c.state, nullptr, dc, {0, 0, kWidth, LONG(c.height)}, ULONG_PTR(&data)};
        SendMessageA(dialog_, WM_DRAWITEM, 0, LPARAM(&item));
        GdiFlush();
        // A drop-down item's band spans left .. left + 23; a separator is a line from the indent.
        EXPECT_EQ(std::vector({at(22, 1), at(23, 1), at(100, 1), at(29, 2), at(30, 2), at(100, 2)}),
                  std::vector({c.band, c.item, c.item, c.item, c.line, c.line}));
        const int indent = c.isTopLevel ? 0 : 30;
        EXPECT_TRUE(c.text == none || (!shows(c.text, 0, indent) && shows(c.text, indent, kWidth)))
            << "the text from its indent";
    }
    DeleteDC(dc);
    DeleteObject(bitmap);
}

// A session as WinMain runs it, ended from the warning box by posted commands.
Strings g_sessionBoxes;
int g_gdiObjectsDuringSession = -1;

TEST(Session, ReleasesEveryGdiObjectAndMenuRecord)
{
    FilterRegistrations registry;  // start-up needs a filter; this one's library need not exist
    registry.Add("ui session", "PNG", "C:\\none.flt");
    g_messageBox = [](HWND owner, LPCSTR text, LPCSTR, UINT) WINAPI {
        g_sessionBoxes.push_back(text + std::string(IsWindowVisible(owner) ? " over the dialog" : ""));
        g_gdiObjectsDuringSession = LiveGdiObjectCount();
        for (int id : {IDM_ABOUT, IDCANCEL})
            if (g_sessionBoxes.size() == 1)
                PostMessageA(owner, WM_COMMAND, id, 0);
        return IDOK;
    };
    EXPECT_EQ(RunKestrane(GetModuleHandleA(nullptr)), 0);
    EXPECT_EQ(g_gdiObjectsDuringSession, 7);  // 5 menu brushes, the link and title fonts
    EXPECT_EQ(LiveGdiObjectCount() + LiveMenuItemDataCount(), 0);
    EXPECT_EQ(g_sessionBoxes, (Strings{TEXT_WARNING, TEXT_ABOUT}));
}

// Rows already there keep their order; a folder's subfolders are not entered.
TEST_F(DialogTest, DropAddsFilesAndAFolderInSortedPlacesAndSaysWhatItSkipped)
{
    std::filesystem::create_directories(temp_.Root() / "set" / "sub");
    for (const char *name : {"set\\b.kui", "set\\a.kui", "set\\t.txt", "set\\sub\\c.kui", "z.kui", "y.bin"})
        WriteBytes(temp_.Path(name), {1});
    Add({"C:\\k\\m.kui", "C:\\k\\n.kui"});
    Select(1);
    Command(IDC_UP);
    Drop({temp_.Path("y.bin"), temp_.Path("set"), "C:\\" + std::string(260, 'x') + ".kui",
          temp_.Path("z.kui")});
    char status[kStatusBufferSize];
    std::snprintf(status, sizeof(status), MSG_DROP_SKIPPED_BOTH, 3, 3, 2, 1);
    EXPECT_EQ(Text(IDC_STATUS), status);
    EXPECT_EQ(Rows(), "a.kui b.kui n.kui m.kui z.kui");
    for (int successes = 0; successes < 4; successes++) {  // each allocation of a drop failing in turn
        SetAllocFailureAfter(successes);
        Drop({temp_.Path("set")});
        SetAllocFailureAfter(-1);
        Rows();
        EXPECT_EQ(Text(IDC_STATUS), MSG_MEMORY_ERROR) << successes;
    }
}

TEST_F(DialogTest, PreviewShowsEachRowAsItsFrameWillHoldItAndLeavesTheListAlone)
{
    const Rgb pixels[] = {{128, 64, 32}, {7, 3, 250}, {200, 100, 50}, {9, 13, 17}};
    WriteBytes(temp_.Path("c.kui"), {1, 2, 3});
    Add({Image("a.kui", 2, 2, [&](int x, int y) { return pixels[2 * y + x]; }), Image("b.kui", 3, 3),
         temp_.Path("c.kui")});
    HWND preview = OpenPreview(dialog_, 0);
    ASSERT_NE(preview, nullptr);
    const PreviewFrame *frame = ShownPreviewFrame();
    ASSERT_TRUE(frame->state == FRAME_SHOWN && frame->width == 2 && frame->height == 2);
    // Each colour as RGB565 keeps it, widened back to 8 bits.
    EXPECT_EQ(std::vector<uint32_t>(frame->pixels, frame->pixels + 4),
              (std::vector<uint32_t>{0x844121, 0x0000FF, 0xCE6531, 0x080C10}));

    const char *a = "Preview - 1 of 3: a.kui - 2 x 2", *c = "Preview - 3 of 3: c.kui - can't be read";
    const std::tuple<UINT, WPARAM, const char *> steps[] = {
        {WM_KEYDOWN, VK_RIGHT,
         "Preview - 2 of 3: b.kui - 3 x 3 - not the size of the first image (2 x 2): Convert would stop "
         "here"},
        {WM_KEYDOWN, VK_NEXT, c},
        {WM_KEYDOWN, VK_DOWN, c},  // the last row stays
        {WM_KEYDOWN, VK_SPACE, c},
        {WM_TIMER, 1, a},           // playing goes round
        {WM_KEYDOWN, VK_RIGHT, a},  // any key stops, and only stops
        {WM_KEYDOWN, VK_END, c}};
    for (auto [message, key, caption] : steps) {
        SendMessageA(preview, message, key, 0);
        char shown[kStatusBufferSize];
        GetWindowTextA(preview, shown, sizeof(shown));
        EXPECT_STREQ(shown, caption) << "after key " << key;
    }
    SendMessageA(preview, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindow(preview));
    EXPECT_EQ(Rows(), "a.kui b.kui c.kui");
    EXPECT_EQ(Selected(), 2);  // the row last shown
}

// Each text the status line is given, marked when Add was locked then.
Strings g_statusTexts;
WNDPROC g_statusProc;
LRESULT CALLBACK RecordStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        g_statusTexts.push_back(
            reinterpret_cast<const char *>(lParam) +
            (IsWindowEnabled(GetDlgItem(GetParent(window), IDC_ADD)) ? ""s : " [locked]"s));
    return CallWindowProcA(g_statusProc, window, message, wParam, lParam);
}

TEST_F(DialogTest, ConversionShowsProgressAndRefusesWaitingChangesToTheList)
{
    Add({Image("a.kui", 2, 2), Image("b.kui", 2, 2)});
    SetDlgItemTextA(dialog_, IDC_DEST, temp_.Path("out.shp").c_str());
    HWND status = GetDlgItem(dialog_, IDC_STATUS);
    g_statusProc = WNDPROC(SetWindowLongPtrA(status, GWLP_WNDPROC, LONG_PTR(RecordStatus)));
    Select(0);
    PostMessageA(dialog_, WM_COMMAND, IDC_REMOVE, 0);
    PostMessageA(dialog_, WM_DROPFILES, MakeDrop({Image("c.kui", 2, 2)}), 0);
    Command(IDOK);
    EXPECT_EQ(g_statusTexts, (Strings{"Converting image 1 of 2... [locked]",
                                      "Converting image 2 of 2... [locked]", MSG_SUCCESS " [locked]"}));
    // What waited was handled during the job, and refused: handling it again now finds nothing.
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&message);
    EXPECT_EQ(Rows(), "a.kui b.kui");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, IDC_ADD)) && IsWindowEnabled(GetDlgItem(dialog_, IDOK)));
}

}  // namespace
