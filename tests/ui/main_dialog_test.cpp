// The dialog program in-process: its real template and code, with message boxes, file dialogs and
// the shell answered by the tests, and images decoded by the stand-in filter, registered for ".kui".
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/convert.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/placement.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/split.h"
#include "res/resource.h"
#include "tests/support/filter_registrations.h"
#include "tests/support/format.h"
#include "tests/support/temp_dir.h"
#include "ui/canvas_dialog.h"
#include "ui/cell_size_dialog.h"
#include "ui/dpi.h"
#include "ui/drop_files.h"
#include "ui/file_choosers.h"
#include "ui/frame_tools.h"
#include "ui/gdi_objects.h"
#include "ui/link_control.h"
#include "ui/main_dialog.h"
#include "ui/owner_menu.h"
#include "ui/preview.h"
#include "ui/put_on_canvas.h"
#include "ui/ui_texts.h"

using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

Strings g_chosenPaths;        // what the next file dialogs choose; none left: cancelled
std::wstring g_chosenFolder;  // what the folder chooser chooses
int g_boxAnswer = IDOK;       // what every message box answers

std::wstring Wide(const std::string &utf8)
{
    std::wstring wide(utf8.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], int(wide.size())) - 1);
    return wide;
}

// A drop as Explorer hands it over: DROPFILES, each wide path and its NUL, then one more NUL.
WPARAM MakeDrop(const Strings &paths)
{
    std::wstring names;
    for (const std::string &path : paths)
        names += Wide(path) + L'\0';
    auto *drop = static_cast<DROPFILES *>(GlobalAlloc(GPTR, sizeof(DROPFILES) + 2 * names.size() + 2));
    *drop = {sizeof(DROPFILES), {}, FALSE, TRUE};
    std::memcpy(drop + 1, names.data(), 2 * names.size());
    return WPARAM(drop);
}

class DialogTest : public testing::Test {
  protected:
    void SetUp() override
    {
        registry_.Add("ui", "kui", FullPath(KST_FILTER).c_str());
        registry_.Add("wic", "png,gif", FullPath(KESTRANE_FILTER).c_str());
        g_instance = GetModuleHandleA(nullptr);
        g_messageBox = [](HWND, LPCSTR, LPCSTR, UINT) WINAPI { return g_boxAnswer; };
        g_getOpenFileName = g_getSaveFileName = [](OPENFILENAMEW *dialog) WINAPI -> BOOL {
            if (g_chosenPaths.empty())
                return FALSE;
            lstrcpynW(dialog->lpstrFile, Wide(g_chosenPaths.front()).c_str(), int(dialog->nMaxFile));
            g_chosenPaths.erase(g_chosenPaths.begin());
            return TRUE;
        };
        g_chosenPaths.clear();
        g_boxAnswer = IDOK;
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
        EXPECT_EQ(LiveGdiObjectCount(), 0) << "fonts and brushes left";
    }

    void Command(int id) { SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void Drop(const Strings &paths) { SendMessageA(dialog_, WM_DROPFILES, MakeDrop(paths), 0); }
    void Select(int row) { SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_SETCURSEL, WPARAM(row), 0); }
    int Selected() const { return int(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0)); }
    std::string Text(int id) const { return Text(GetDlgItem(dialog_, id)); }
    static std::string Text(HWND window)
    {
        char text[kStatusBufferSize];
        GetWindowTextA(window, text, sizeof(text));
        return text;
    }
    // The rows, space-separated, each checked to show the file-name part of the entry of its index.
    std::string Rows() const
    {
        std::string rows;
        EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCOUNT, 0, 0), g_sourceList->count);
        for (int i = 0; i < g_sourceList->count; i++) {
            char text[MAX_PATH] = "";
            SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETTEXT, WPARAM(i), LPARAM(text));
            rows += (i ? " " : "") + std::string(text);
            EXPECT_STREQ(std::strrchr(SourceListGet(g_sourceList, i), '\\') + 1, text) << "row " << i;
        }
        return rows;
    }
    std::string Image(const std::string &name, int width, int height, PixelFunction pixel = Gradient)
    {
        WriteBytes(temp_.Path(name), MakeFilterImage(0, 0, width, height, pixel));
        return temp_.Path(name);
    }
    void Key(HWND window, WPARAM key) { SendMessageA(window, WM_KEYDOWN, key, 0); }

    FilterRegistrations registry_;
    TempDir temp_;
    HWND dialog_ = nullptr;
};

// The row selected first, the command, the path the open dialog chooses; then the rows and the
// selected row. kAsIs: no row selected first / the selection not checked after.
constexpr int kAsIs = -2;

const std::tuple<int, int, const char *, const char *, int> kListSteps[] = {
    {kAsIs, IDC_ADD, "C:\\f\\frame2.png", "frame2.png", kAsIs},
    {kAsIs, IDC_ADD, "C:\\a\\z.png", "frame2.png z.png", kAsIs},
    {kAsIs, IDC_ADD, "C:\\f\\frame10.png", "frame10.png frame2.png z.png", kAsIs},  // text order decides
    {0, IDC_UP, nullptr, "frame10.png frame2.png z.png", 0},
    {2, IDC_DOWN, nullptr, "frame10.png frame2.png z.png", 2},
    {kAsIs, IDC_UP, nullptr, "frame10.png z.png frame2.png", 1},
    {kAsIs, IDC_DOWN, nullptr, "frame10.png frame2.png z.png", 2},
    {1, IDC_REMOVE, nullptr, "frame10.png z.png", 1},  // the next row is selected
    {1, IDC_REMOVE, nullptr, "frame10.png", -1},
    {0, IDC_REMOVE, nullptr, "", -1},
    {kAsIs, IDC_ADD, "C:\\a\\1.png", "1.png", kAsIs},
    {kAsIs, IDC_ADD, "C:\\a\\0.png", "0.png 1.png", kAsIs},
};

TEST_F(DialogTest, ListCommandsKeepRowsAndEntriesOneToOneAndConvertEnabledWhenNotEmpty)
{
    for (auto [select, command, chosen, rows, selected] : kListSteps) {
        SCOPED_TRACE("command " + std::to_string(command) + ", then " + rows);
        if (select != kAsIs)
            Select(select);
        if (chosen)
            g_chosenPaths.push_back(chosen);
        Command(command);
        EXPECT_EQ(Rows(), rows);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog_, IDOK)) != FALSE, *rows != '\0');
        EXPECT_TRUE(selected == kAsIs || Selected() == selected) << Selected();
    }
    Select(0);  // a row goes only with its entry
    SetAllocFailureAfter(0);
    Command(IDC_REMOVE);
    EXPECT_EQ(Rows(), "0.png 1.png");
}

// A chosen or typed name too long for the path (bytes counted, not characters) is refused whole; Open offers
// the types found.
TEST_F(DialogTest, FileDialogsAndConvertRefuseALongNameWholeAndOpenOffersTheTypesFound)
{
    std::string fits = "C:\\", tooLong;  // 259 and 260 bytes
    for (int i = 0; i < 128; i++)
        fits += "\xC3\xA9";
    tooLong = fits + 'x';
    g_chosenPaths = {fits, tooLong};
    Command(IDC_BROWSE);
    Command(IDC_BROWSE);
    EXPECT_EQ(Text(IDC_STATUS) + " / " + Text(IDC_DEST),
              Format(MSG_PATH_TOO_LONG, tooLong.c_str()) + " / " + fits);
    Drop({Image("m.kui", 1, 1)});
    for (const std::string &path : {fits, tooLong}) {
        SetDlgItemTextA(dialog_, IDC_DEST, path.c_str());
        Command(IDOK);
        EXPECT_EQ(Text(IDC_STATUS) == Format(MSG_PATH_TOO_LONG, path.c_str()), path.size() == 260);
    }
    char filter[kOpenFilterSize];
    std::fill(filter, filter + sizeof(filter), 'x');
    BuildOpenFilter(filter, false, true, true);  // no PNG filter
    const std::string expected = "Images files(*.gif *.jpg )\0*.gif;*.jpg\0\0"s;
    EXPECT_EQ(std::string(filter, expected.size()), expected);
}

// Every item of the template's menu, separators too, is drawn from a record of its own. Each kind measured,
// then drawn into a DIB section filled with magenta (untouched pixels show), with a null pen as in Wine.
TEST_F(DialogTest, MenuItemsOwnerDrawnMeasuredAndDrawnInTheirGeometryAndColours)
{
    HMENU menu = GetMenu(dialog_);
    int items = GetMenuItemCount(menu);
    for (int top = 0; top < GetMenuItemCount(menu); top++)
        items += GetMenuItemCount(GetSubMenu(menu, top));
    EXPECT_EQ(LiveMenuItemDataCount(), items);
    constexpr int kWidth = 120, kMaxHeight = 32;
    const COLORREF face = GetSysColor(COLOR_BTNFACE), white = RGB(255, 255, 255), none = RGB(255, 0, 255);
    const COLORREF fill = kMenuSelectionFill, frame = kMenuSelectionFrame, grey = kMenuDisabledText;
    const UINT kSel = ODS_SELECTED, kDis = ODS_DISABLED;
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), kWidth, -kMaxHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);  // with the font of the dialog's own DC, which measuring uses
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(dc, bitmap);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SIZE convert;
    GetTextExtentPoint32A(dc, "Convert", 7, &convert);
    const LONG wide = convert.cx + 60, narrow = convert.cx - 5;
    // Probes at y = 0 (the frame's row); at y = 1 the band's last column and the next (also at x = 29,
    // y = 2); the line from the indent on. Then the colour the text has from its indent on, and only there.
    using Case = std::tuple<const char *, int, int, UINT, UINT, UINT, LONG, COLORREF, COLORREF, COLORREF,
                            COLORREF, COLORREF>;
    const Case cases[] = {
        {"drop-down whole", 0, 0, ODA_DRAWENTIRE, kSel, 23, wide, white, face, white, white, 0},
        {"drop-down selected", 0, 0, ODA_SELECT, kSel, 23, wide, frame, fill, fill, fill, 0},
        {"drop-down disabled", 0, 0, ODA_SELECT, kSel | kDis, 23, wide, white, face, white, white, grey},
        {"drop-down focus", 0, 0, ODA_FOCUS, kSel, 23, wide, none, none, none, none, none},
        {"bar disabled", 1, 0, ODA_DRAWENTIRE, kDis, 20, narrow, face, face, face, face, grey},
        {"separator", 0, 1, ODA_SELECT, kSel, 4, 0, white, face, white, 0, none},
    };
    auto at = [&](int x, int y) { return GetPixel(dc, x, y); };
    for (auto [name, bar, separator, action, state, height, width, top, band, item, line, text] : cases) {
        SCOPED_TRACE(name);
        MenuItemData data = {const_cast<char *>(separator ? "" : "Convert"), bar, separator};
        MEASUREITEMSTRUCT measure = {ODT_MENU, 0, 0, 0, 0, ULONG_PTR(&data)};
        SendMessageA(dialog_, WM_MEASUREITEM, 0, LPARAM(&measure));
        EXPECT_EQ(std::pair(measure.itemHeight, LONG(measure.itemWidth)), std::pair(height, width));
        std::fill_n(static_cast<DWORD *>(bits), kWidth * kMaxHeight, 0xFF00FF);
        DRAWITEMSTRUCT drawn = {
            ODT_MENU, 0, 0, action, state, nullptr, dc, {0, 0, kWidth, LONG(height)}, ULONG_PTR(&data)};
        SendMessageA(dialog_, WM_DRAWITEM, 0, LPARAM(&drawn));
        GdiFlush();
        EXPECT_EQ(std::vector({at(50, 0), at(22, 1), at(23, 1), at(29, 2), at(30, 2), at(100, 2)}),
                  std::vector({top, band, item, item, line, line}));
        int before = 0, after = 0, indent = bar ? 0 : 30;  // text pixels before the indent and after
        for (int i = 0; i < kWidth * kMaxHeight; i++)
            if (at(i % kWidth, i / kWidth) == text)
                (i % kWidth < indent ? before : after)++;
        EXPECT_TRUE(text == none || (before == 0 && after > 0)) << "the text from its indent";
    }
    DeleteDC(dc);
    DeleteObject(bitmap);
}

// Rows already there keep their order; a folder's subfolders are not entered. The command line hands its
// paths over as a drop does; a path's length counts in bytes of the program's code page.
TEST_F(DialogTest, DropsAndTheCommandLineAddFilesAndFoldersInSortedPlacesAndSayWhatTheySkipped)
{
    std::filesystem::create_directories(temp_.Root() / "set" / "sub");
    for (const char *name : {"set\\b.kui", "set\\a.kui", "set\\t.txt", "set\\sub\\c.kui", "z.kui", "y.bin"})
        WriteBytes(temp_.Path(name), {1});
    // The path passes 260 bytes in far fewer characters.
    const auto longPath = temp_.Root() / (std::wstring(80, L'\u6F22') + L".kui");
    std::ofstream(longPath) << 1;
    const Strings paths = {temp_.Path("y.bin"), temp_.Path("set"), longPath.u8string(), temp_.Path("z.kui")};
    // An empty argument and a path to nothing are skipped and counted; the others are handled.
    std::wstring commandLine = L"kestrane.exe \"\"";
    for (const std::string &path : paths)
        commandLine += L" \"" + Wide(path) + L"\"";
    commandLine += L" \"" + Wide(temp_.Path("gone.kui")) + L"\"";
    for (bool fromCommandLine : {false, true}) {
        Drop({Image("m.kui", 1, 1), Image("n.kui", 1, 1)});
        Select(1);
        Command(IDC_UP);
        if (fromCommandLine)
            OpenCommandLinePaths(dialog_, commandLine.c_str());
        else
            Drop(paths);
        const std::string why = Format(MSG_SKIP_COUNT_NO_FILTER, 2) + ", " +
                                Format(MSG_SKIP_COUNT_LONG_PATH, 1) +
                                (fromCommandLine ? ", " + Format(MSG_SKIP_COUNT_NOT_FOUND, 2) : "");
        EXPECT_EQ(Text(IDC_STATUS), Format(MSG_DROP_SKIPPED, 3, fromCommandLine ? 5 : 3, why.c_str()));
        EXPECT_EQ(Rows(), "a.kui b.kui n.kui m.kui z.kui");
        SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_RESETCONTENT, 0, 0);
        SourceListReplace(g_sourceList, 0, g_sourceList->count, nullptr, 0);
    }
    for (int successes = 0; successes < 4; successes++) {  // each allocation of a drop failing in turn
        SetAllocFailureAfter(successes);
        Drop({temp_.Path("set")});
        SetAllocFailureAfter(-1);
        Rows();
        EXPECT_EQ(Text(IDC_STATUS), MSG_MEMORY_ERROR) << successes;
    }
}

// A dropped SHP16 file opens in the preview, its frames read where its records say; a damaged one is
// refused with its fault. L makes its frames the list, and Convert then makes the same file again; it
// writes into no folder that holds files. A file of nearly 4 GB opens at once.
TEST_F(DialogTest, DroppedShpFileShowsItsFramesAndLoadsBackIntoTheSameFile)
{
    const std::string walk = temp_.Path("walk.shp"), bad = temp_.Path("bad.shp"),
                      frames = temp_.Path("walk-frames");
    Drop({Image("a.kui", 2, 2), Image("b.kui", 2, 2, [](int x, int) { return Rgb{9, uint8_t(99 * x), 0}; })});
    SetDlgItemTextA(dialog_, IDC_DEST, walk.c_str());
    Command(IDOK);
    const Bytes file = ReadBytes(walk);
    WriteBytes(bad, Bytes(file.begin(), file.begin() + 60));
    Drop({bad, Image("c.kui", 2, 2)});  // the image first, counted, then the SHP file: its message last
    EXPECT_EQ(Text(IDC_STATUS).rfind(Format(MSG_INVALID_SHP, bad.c_str(), ""), 0), 0u) << Text(IDC_STATUS);
    HWND preview = OpenShpPreview(dialog_, walk.c_str());
    Key(preview, VK_END);
    EXPECT_EQ(Text(preview), Format(TEXT_FILE_PREVIEW_FRAME, "walk.shp", 2, 2, 2u, 2u));
    for (int i = 0, at = file[52]; i < 4; i++) {  // the last record's offset, under 256 here
        const Rgb888 c = Rgb565ToRgb888(uint16_t(file[at + 2 * i] | file[at + 2 * i + 1] << 8));
        EXPECT_EQ(ShownPreviewFrame()->pixels[i], uint32_t(c.r << 16 | c.g << 8 | c.b)) << i;
    }
    EnableWindow(dialog_, FALSE);  // as the modal preview leaves it: commands and drops wait for no one
    Select(0);
    Command(IDC_REMOVE);
    Drop({Image("d.kui", 2, 2)});
    EnableWindow(dialog_, TRUE);
    EXPECT_EQ(Rows(), "a.kui b.kui c.kui");
    g_chooseFolder = [](HWND, wchar_t *folder) {
        return lstrcpyW(folder, g_chosenFolder.c_str()) != nullptr;
    };
    g_chosenFolder = Wide(temp_.Path("e"));
    Key(preview, 'E');
    EXPECT_EQ(Text(IDC_STATUS),
              Format(MSG_FRAMES_WRITTEN, temp_.Path("e").c_str(), "frame0000.png", "frame0001.png", 2u));
    for (int answer : {IDNO, IDYES}) {
        g_boxAnswer = answer;  // replacing a list is asked first
        Key(preview, 'L');
    }
    EXPECT_EQ(Rows() + " / " + Text(IDC_DEST), "frame0000.png frame0001.png / " + walk);
    Command(IDOK);
    EXPECT_EQ(ReadBytes(walk), file);
    std::filesystem::remove(frames + "\\frame0001.png");
    preview = OpenShpPreview(dialog_, walk.c_str());
    Key(preview, 'L');
    EXPECT_EQ(Text(IDC_STATUS), Format(MSG_FOLDER_NOT_EMPTY, frames.c_str(), "frame0000.png"));
    const uint32_t side = 256, count = 32760;  // nearly 4 GB, sparse: read as shown, never whole
    Bytes head(8 + 24 * count);
    WriteShpHeaders(head.data(), side, side, count);
    size_t size = 0;
    ASSERT_TRUE(ShpFileSize(side, side, count, &size) && size > 0xFFF00000u);
    WriteBytes(temp_.Path("big.shp"), head);
    std::fstream big(temp_.Path("big.shp"), std::ios::in | std::ios::out | std::ios::binary);
    // The last frame's first pixel white; the file as long as its headers say, the rest never written.
    big.seekp(std::streamoff(ShpFrameOffset(side, side, count, count - 1))).write("\xFF\xFF", 2);
    big.seekp(std::streamoff(size) - 1).put(0);
    big.close();
    preview = OpenShpPreview(dialog_, temp_.Path("big.shp").c_str());
    ASSERT_TRUE(preview) << Text(IDC_STATUS);
    Key(preview, VK_END);
    EXPECT_EQ(ShownPreviewFrame()->pixels[0], 0xFFFFFFu);
    DestroyWindow(preview);
}

// S on a row: an animated GIF becomes its frames at once, a still image its cells once their size is given,
// or the frames its data beside it lists, in the data's order; in the row's place and in order, and the
// preview shows the first.
TEST_F(DialogTest, SplitPutsAnImagesFramesInPlaceOfItsRow)
{
    const std::string
        gif = "GIF87a\x02\0\x01\0\x81\0\0\xff\0\0\0\0\0\0\0\0\0\0\0,\0\0\0\0\x02\0\x01\0\0\x08\x05\0\x01\0"
              "\x08\x08\0,\0\0\0\0\x02\0\x01\0\x81\0\0\xff\0\0\0\0\0\0\0\0\0\x08\x05\0\x01\0\x08\x08\0;"s,
        png = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x04\0\0\0\x02\x08\x02\0\0\0\xf0\xca\xea\x34\0\0\0\x19"
              "IDATx\x9c\x63\xfc\xcf\xc0\xc0\xc0\xc0\xc0\xf8\x9f\x81\x81\x81\x81\x89\x01\x09\0\0+6\x02\x03"
              "ug+\xe3\0\0\0\0IEND\xae\x42\x60\x82"s,  // 2 x 1 in two frames; 4 x 2, red then green cells
        data = R"({"frames": [{"filename": "g", "frame": {"x": 2, "y": 0, "w": 2, "h": 2}},
                              {"filename": "r", "frame": {"x": 0, "y": 0, "w": 2, "h": 2}}]})";
    for (auto [name, bytes] :
         {std::pair("anim.gif", gif), {"sheet.png", png}, {"data.png", png}, {"data.json", data}})
        WriteBytes(temp_.Path(name), {bytes.begin(), bytes.end()});
    Drop({temp_.Path("anim.gif"), temp_.Path("sheet.png"), temp_.Path("data.png"), Image("z.kui", 1, 1)});
    HWND preview = OpenPreview(dialog_, 2);
    static std::string offered;
    g_askCellSize = [](HWND, const ImageFrames &, const char *dataPath, SheetCut *cut) {
        offered = dataPath ? dataPath : "";
        cut->dataPath = dataPath;  // taken when there is one
        return (cut->cellWidth = cut->cellHeight = 2) != 0;
    };
    PostMessageA(preview, WM_KEYDOWN, VK_ESCAPE, 0);  // typed while the frames are written: cancels
    Key(preview, 'S');
    EXPECT_EQ(Rows() + " / " + Text(IDC_STATUS),
              "anim.gif data.png sheet.png z.kui / "s + MSG_FRAMES_CANCELLED);
    PostMessageA(preview, WM_KEYDOWN, 'S', 0);  // typed meanwhile: dropped, not replayed after
    Key(preview, 'S');
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&message);
    EXPECT_EQ(Rows() + " " + SourceListGet(g_sourceList, 2),
              "anim.gif data.png frame0000.png frame0001.png z.kui " +
                  temp_.Path("sheet-frames\\frame0000.png"));
    EXPECT_EQ(ShownPreviewFrame()->pixels[0], 0xFF0000u);
    Key(preview, VK_LEFT);
    Key(preview, 'S');
    EXPECT_EQ(offered, temp_.Path("data.json"));
    EXPECT_EQ(Rows(), "anim.gif frame0000.png frame0001.png frame0000.png frame0001.png z.kui");
    EXPECT_EQ(ShownPreviewFrame()->pixels[0], 0x00FF00u) << "the data's first frame";
    Key(preview, VK_HOME);
    EXPECT_NE(Text(preview).find(Format(TEXT_PREVIEW_ANIMATED_GIF, 2u)), std::string::npos) << Text(preview);
    // Each allocation failing in turn, until the split goes through: the list is as it was and no frame
    // file or folder stays, whether the split or the replacement of the rows failed.
    for (int successes = 0; Rows().rfind("anim.gif", 0) == 0 && successes < 50; successes++) {
        SetAllocFailureAfter(successes);
        Key(preview, 'S');
        SetAllocFailureAfter(-1);
        EXPECT_TRUE(Rows().rfind("anim.gif", 0) != 0 || !std::filesystem::exists(temp_.Path("anim-frames")))
            << successes;
    }
    EXPECT_EQ(Rows() + " " + SourceListGet(g_sourceList, 5),
              "frame0000.png frame0001.png frame0000.png frame0001.png frame0000.png frame0001.png z.kui " +
                  temp_.Path("sheet-frames\\frame0001.png"));
    DestroyWindow(preview);
}

// P on rows whose files record where they were trimmed from: those offsets offered on the page they name,
// and the row shown placed where it goes back.
TEST_F(DialogTest, CanvasOffersTheOffsetsEveryRowRecords)
{
    g_imageOffsets = [](const char *path) {
        return std::strstr(path, "b.kui") ? PngOffsets{true, 3, 2, true, 0, 2, true, 5, 4}
                                          : PngOffsets{true, 1, 1, true, 2, 1, true, 5, 4};
    };
    Drop({Image("a.kui", 1, 1), Image("b.kui", 3, 2)});
    HWND preview = OpenPreview(dialog_, 1);
    g_askCanvas = [](HWND, const PreviewFrame &, const CanvasSpot *spot, CanvasChoice *choice) {
        EXPECT_TRUE(choice->fromFiles && choice->width == 5 && choice->height == 4) << choice->width;
        EXPECT_TRUE(spot && spot->left == 0 && spot->top == 2);
        return true;
    };
    Key(preview, 'P');
    g_imageOffsets = ReadImageOffsets;
    const PreviewFrame *frame = ShownPreviewFrame();  // b.kui's frame, back where it was
    ASSERT_TRUE(frame->state == FRAME_SHOWN && frame->width == 5 && frame->height == 4) << Text(IDC_STATUS);
    EXPECT_EQ(frame->pixels[2 * 5] | frame->pixels[0], 0x0000CEu) << "its first pixel at (0, 2), black above";
    DestroyWindow(preview);
}

// P on rows of three sizes in walk\ (of another size than the first: marked): the largest size offered, the
// rows replaced by the canvas frames in walk\walk-canvas, and Convert then writes what the job writes from
// the images on the same canvas. An image larger than the canvas, one unreadable by then, or a folder
// holding files: nothing written.
TEST_F(DialogTest, CanvasPutsEveryRowOnOneCanvasAsTheJobWould)
{
    std::filesystem::create_directory(temp_.Root() / "walk");
    const Strings images = {Image("walk\\a.kui", 1, 1), Image("walk\\b.kui", 3, 2),
                            Image("walk\\c.kui", 2, 3)};
    const std::string folder = temp_.Path("walk\\walk-canvas"), job = temp_.Path("job.shp");
    Drop(images);
    const ConvertOptions bottomRight = {{true, 0, 0, ANCHOR_BOTTOM_RIGHT, false}, DITHER_NONE};
    ASSERT_EQ(ConvertToShpWith(job.c_str(), bottomRight), 1);
    HWND preview = OpenPreview(dialog_, 0);
    for (bool marked : {false, true}) {  // a row of another size than the first
        EXPECT_EQ(Text(preview).find(Format(TEXT_PREVIEW_SIZE_DIFFERS, 1u, 1u)) != std::string::npos, marked);
        Key(preview, VK_RIGHT);
    }
    static CanvasChoice offered, answer;
    g_askCanvas = [](HWND, const PreviewFrame &, const CanvasSpot *, CanvasChoice *choice) {
        return offered = *choice, *choice = answer, true;
    };
    const auto files = [&] {
        const std::filesystem::recursive_directory_iterator found(temp_.Root() / "walk");
        return std::distance(begin(found), end(found));
    };
    const std::tuple<const char *, uint32_t, std::string> refusals[] = {
        {"smaller", 2, Format(MSG_LARGER_THAN_CANVAS, images[1].c_str(), 3, 2, 2, 3)},
        {"unreadable", 3, Format(MSG_CANT_READ_IMAGE, images[2].c_str())},
        {"folder holds files", 3, Format(MSG_FOLDER_NOT_EMPTY, folder.c_str(), "x")},
    };
    for (auto [name, width, status] : refusals) {
        SCOPED_TRACE(name);
        answer = {true, width, 3, ANCHOR_CENTER, false};
        const bool holding = name == "folder holds files"s;
        if (name == "unreadable"s)
            WriteBytes(images[2], {1});  // shown already: it fails only when written
        if (holding)
            std::filesystem::create_directory(folder), WriteBytes(folder + "\\x", {});
        Key(preview, 'P');
        EXPECT_EQ(Text(IDC_STATUS), status);
        EXPECT_EQ(Rows(), "a.kui b.kui c.kui");
        EXPECT_EQ(files(), holding ? 5 : 3) << "the images, and the folder and its file";
        Image("walk\\c.kui", 2, 3);
    }
    std::filesystem::remove_all(folder);
    answer = {true, 3, 3, ANCHOR_BOTTOM_RIGHT, false};
    Key(preview, 'P');
    EXPECT_TRUE(offered.width == 3 && offered.height == 3 && offered.anchor == ANCHOR_CENTER)
        << "the largest size";
    EXPECT_EQ(Rows() + " " + SourceListGet(g_sourceList, 2),
              "frame0000.png frame0001.png frame0002.png " + folder + "\\frame0002.png");
    DestroyWindow(preview);
    SetDlgItemTextA(dialog_, IDC_DEST, temp_.Path("out.shp").c_str());
    Command(IDOK);
    EXPECT_EQ(ReadBytes(temp_.Path("out.shp")), ReadBytes(job));
}

// The preview shows the rows as Convert writes them, each RGB565 value widened back to 8 bits, and D as
// --dither writes them; W keeps that view as frame files in place of the rows, beside the first row's
// image, and Convert then writes exactly what --dither writes.
TEST_F(DialogTest, DitheredViewKeptAsFramesConvertsAsTheDitheredJob)
{
    auto other = [](int x, int y) { return Rgb{uint8_t(29 * x), 77, uint8_t(9 * y)}; };
    Drop({Image("a.kui", 9, 5), Image("b.kui", 9, 5, other)});
    const std::string dithered = temp_.Path("dithered.shp");
    HWND preview = OpenPreview(dialog_, 0);
    Key(preview, 'W');  // writes nothing in the exact view
    Bytes file;
    for (DitherMode view : {DITHER_NONE, DITHER_ORDERED, DITHER_DIFFUSION}) {
        if (view != DITHER_NONE)
            Key(preview, 'D');
        ASSERT_EQ(ConvertToShpWith(dithered.c_str(), ConvertOptions{{}, view}), 1);
        file = ReadBytes(dithered);
        for (int i = 0; i < 45; i++) {
            const Rgb888 c = Rgb565ToRgb888(uint16_t(file[56 + 2 * i] | file[57 + 2 * i] << 8));  // frame 0
            ASSERT_EQ(ShownPreviewFrame()->pixels[i], uint32_t(c.r << 16 | c.g << 8 | c.b))
                << view << ", " << i;
        }
    }
    EXPECT_EQ(Rows(), "a.kui b.kui");
    Key(preview, 'W');
    EXPECT_EQ(Rows() + " " + SourceListGet(g_sourceList, 1),
              "frame0000.png frame0001.png " + temp_.Path("a-dithered\\frame0001.png"));
    DestroyWindow(preview);
    SetDlgItemTextA(dialog_, IDC_DEST, temp_.Path("out.shp").c_str());
    Command(IDOK);
    EXPECT_EQ(ReadBytes(temp_.Path("out.shp")), file);
}

std::function<void()> g_inLoop;

// Runs `run` once, soon, in the loop of the modal window or menu open by then.
void InLoop(std::function<void()> run)
{
    g_inLoop = std::move(run);
    SetTimer(nullptr, 0, 200,
             [](HWND, UINT, UINT_PTR timer, DWORD) WINAPI { KillTimer(nullptr, timer), g_inLoop(); });
}

// The real cell window, ended as a person would end it: the count of a sheet's cells past 32 bits, with a
// margin and spacing or without, and the size typed, or a cancel; a data file beside the sheet offered, and
// taken as it is offered.
TEST_F(DialogTest, CellSizeWindowCountsTheCellsTypedAndReturnsTheirSize)
{
    const std::string all = Format(TEXT_CELLS, 100000u, 100000u, 10000000000ull);
    const std::tuple<int, uint32_t, const char *, std::string> rows[] = {
        {IDOK, 0, nullptr, all},
        {IDCANCEL, 0, nullptr, all},
        {IDOK, 1, nullptr, Format(TEXT_CELLS, 50000u, 50000u, 2500000000ull)},
        {IDOK, 0, "C:\\s\\sheet.json", ""}};
    for (auto [answer, margin, dataPath, count] : rows) {
        std::string counted;
        InLoop([&, answer = answer, margin = margin] {
            HWND window = GetActiveWindow();
            SetDlgItemInt(window, IDC_CELL_WIDTH, 1, FALSE);
            SetDlgItemInt(window, IDC_CELL_HEIGHT, 1, FALSE);
            SetDlgItemInt(window, IDC_CELL_MARGIN, margin, FALSE);
            SetDlgItemInt(window, IDC_CELL_SPACING, margin, FALSE);
            counted = Text(GetDlgItem(window, IDC_CELL_COUNT));
            PostMessageA(window, WM_COMMAND, answer, 0);
        });
        SheetCut cut = {};
        const bool chosen = AskCellSize(dialog_, ImageFrames{100000, 100000, 1}, dataPath, &cut);
        EXPECT_EQ(
            std::make_tuple(chosen, cut.cellWidth, cut.cellHeight, cut.margin, cut.spacing, cut.dataPath),
            std::make_tuple(answer == IDOK, 1u, 1u, margin, margin, dataPath));
        EXPECT_EQ(counted, count);
    }
}

// N: rows and entries (which Rows() pairs) by the numbers in their names, all or nothing, the row shown
// still shown.
TEST_F(DialogTest, NOrdersTheRowsByTheNumbersInTheirNames)
{
    for (int i = 1; i <= 12; i++)
        Drop({Image("f" + std::to_string(i) + ".kui", 2, 1,
                    [i](int x, int y) { return Gradient(x + 3 * i, y); })});
    const std::string text =
        "f1.kui f10.kui f11.kui f12.kui f2.kui f3.kui f4.kui f5.kui f6.kui f7.kui f8.kui f9.kui";
    EXPECT_EQ(Rows(), text);
    HWND preview = OpenPreview(dialog_, 4);
    const uint32_t shown = ShownPreviewFrame()->pixels[0];
    SetAllocFailureAfter(0);
    Key(preview, 'N');
    SetAllocFailureAfter(-1);
    EXPECT_EQ(Rows() + " / " + Text(IDC_STATUS), text + " / " + MSG_MEMORY_ERROR);
    Key(preview, 'N');
    EXPECT_EQ(Rows(),
              "f1.kui f2.kui f3.kui f4.kui f5.kui f6.kui f7.kui f8.kui f9.kui f10.kui f11.kui f12.kui");
    EXPECT_EQ(ShownPreviewFrame()->pixels[0], shown);
    Key(preview, VK_ESCAPE);
    EXPECT_EQ(Selected(), 1);
}

Strings g_shown;  // each text the status line is given, marked when Add, Close or About could be used then
WNDPROC g_statusProc;
LRESULT CALLBACK RecordStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND dialog = GetParent(window);
    bool unlocked = IsWindowEnabled(GetDlgItem(dialog, IDC_ADD)) ||
                    IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) ||
                    !(GetMenuState(GetMenu(dialog), IDM_ABOUT, MF_BYCOMMAND) & MF_GRAYED);
    if (message == WM_SETTEXT)
        g_shown.push_back(reinterpret_cast<const char *>(lParam) + (unlocked ? " [unlocked]"s : ""s));
    return CallWindowProcA(g_statusProc, window, message, wParam, lParam);
}

TEST_F(DialogTest, ConversionShowsProgressAndRefusesWaitingChangesToTheList)
{
    Drop({Image("a.kui", 2, 2), Image("b.kui", 2, 2)});
    SetDlgItemTextA(dialog_, IDC_DEST, temp_.Path("out.shp").c_str());
    g_statusProc =
        WNDPROC(SetWindowLongPtrA(GetDlgItem(dialog_, IDC_STATUS), GWLP_WNDPROC, LONG_PTR(RecordStatus)));
    Select(0);
    PostMessageA(dialog_, WM_COMMAND, IDC_REMOVE, 0);
    PostMessageA(dialog_, WM_DROPFILES, MakeDrop({Image("c.kui", 2, 2)}), 0);
    Command(IDOK);
    EXPECT_EQ(g_shown, (Strings{Format(MSG_CONVERTING, 1, 2), Format(MSG_CONVERTING, 2, 2), MSG_SUCCESS}));
    // What waited was handled during the job, and refused: handling it again now finds nothing.
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&message);
    EXPECT_EQ(Rows(), "a.kui b.kui");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, IDC_ADD)) && IsWindowEnabled(GetDlgItem(dialog_, IDOK)));
}

// The scale's tests run here at 96 DPI and again at 144 and 192 (at_dpi.sh), leaving screenshots.
TEST(Scale, ManifestsDeclarePerMonitorAwarenessAndTheSystemsFromVistaOn)
{
    for (const char *program : {KESTRANE_EXE, KESTRANE_CLI_EXE}) {
        HMODULE module = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
        ASSERT_TRUE(found) << program;
        const std::string text(static_cast<const char *>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
        for (const char *entry :
             {">true/pm<", ">PerMonitorV2, PerMonitor<", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
              "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
            EXPECT_NE(text.find(entry), std::string::npos) << program << ": " << entry;
        FreeLibrary(module);
    }
}

struct Shot {
    LONG width, height;
    std::vector<uint32_t> pixels;  // top row first, made opaque: GDI leaves the fourth byte 0
    uint32_t At(LONG x, LONG y) const { return pixels[size_t(y * width + x)] & 0xFFFFFF; }
};

// The window as it shows (or its client area drawn for a copy), kept as a build artifact.
Shot TakeShot(HWND window, const std::string &name, bool clientOnly = false)
{
    UpdateWindow(window);
    RECT rect;
    clientOnly ? GetClientRect(window, &rect) : GetWindowRect(window, &rect);
    Shot shot = {rect.right - rect.left, rect.bottom - rect.top, {}};
    const DWORD bytes = DWORD(shot.width * shot.height * 4);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB, bytes, 0, 0, 0, 0},
                       {}};
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr), own = GetWindowDC(window);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(dc, bitmap);
    clientOnly ? PrintWindow(window, dc, PW_CLIENTONLY)
               : BitBlt(dc, 0, 0, shot.width, shot.height, own, 0, 0, SRCCOPY);
    GdiFlush();
    for (DWORD i = 0; i < bytes / 4; i++)
        shot.pixels.push_back(static_cast<uint32_t *>(bits)[i] | 0xFF000000);
    ReleaseDC(window, own);
    DeleteDC(dc);
    DeleteObject(bitmap);
    std::filesystem::create_directories(KESTRANE_ARTIFACTS);
    std::ofstream file(KESTRANE_ARTIFACTS "/dpi" + std::to_string(WindowDpi(window)) + "-" + name + ".bmp",
                       std::ios::binary);
    const BITMAPFILEHEADER head = {0x4D42, 14 + 40 + bytes, 0, 0, 14 + 40};
    file.write(reinterpret_cast<const char *>(&head), 14).write(reinterpret_cast<const char *>(&info), 40);
    file.write(reinterpret_cast<const char *>(shot.pixels.data()), bytes);
    return shot;
}

// Each image pixel a whole square of device pixels of its colour; an image wider than the screen shows
// every k-th pixel of every k-th row. The picture starts at the first pixel off the preview's background.
TEST_F(DialogTest, ScaledPreviewShowsEveryImagePixelAsAWholeSquareOfDevicePixels)
{
    const std::tuple<const char *, int, int> cases[] = {{"checks.kui", 9, 7}, {"strip.kui", 3000, 40}};
    auto checks = [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; };
    auto strip = [](int x, int y) { return Rgb{uint8_t(x * 8), uint8_t(x / 32 * 4), uint8_t(y * 8)}; };
    Drop({Image("checks.kui", 9, 7, checks), Image("strip.kui", 3000, 40, strip)});
    HWND preview = OpenPreview(dialog_, 0);  // one window for both: each closing costs Wine seconds
    for (auto [name, width, height] : cases) {
        ASSERT_TRUE(preview && ShownPreviewFrame()->state == FRAME_SHOWN) << name;
        const Shot shown = TakeShot(preview, std::string("preview-") + name, true);
        LONG left = 0, top = 0, right = 0;
        for (; top < shown.height && shown.At(left, top) == 0x404040; left = (left + 1) % shown.width)
            top += left + 1 == shown.width;
        for (right = left; right < shown.width && shown.At(right, top) != 0x404040;)
            right++;
        const LONG across = right - left, zoom = std::max(1L, across / width),
                   reduce = std::max(1L, width / across);
        const LONG down = (height + reduce - 1) / reduce * zoom;
        ASSERT_TRUE(across == (width + reduce - 1) / reduce * zoom && top + down <= shown.height) << name;
        int wrong = 0;
        for (LONG y = 0; y < down; y++)
            for (LONG x = 0; x < across; x++)
                wrong += shown.At(left + x, top + y) !=
                         ShownPreviewFrame()->pixels[y / zoom * reduce * width + x / zoom * reduce];
        EXPECT_EQ(wrong, 0) << name << ": zoom " << zoom << ", every " << reduce << "th pixel";
        Key(preview, VK_RIGHT);
    }
}

// Buttons' texts fit on one line, labels' as they wrap. Wine's stand-in for the template's font makes two
// labels 6 % too wide for their one line at 96 DPI already, and the title's font is taller than its line.
void ExpectTextsWhole(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[256], kind[8] = "";
        RECT client, line, wrapped;
        GetClientRect(child, &client);
        line = wrapped = client;
        HDC dc = GetDC(child);
        SelectObject(dc, HGDIOBJ(SendMessageA(child, WM_GETFONT, 0, 0)));
        DrawTextA(dc, text, GetWindowTextA(child, text, sizeof text), &line, DT_CALCRECT | DT_SINGLELINE);
        DrawTextA(dc, text, -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
        ReleaseDC(child, dc);
        const bool button = GetClassNameA(child, kind, sizeof kind) && !lstrcmpiA(kind, "Button");
        const bool label =
            !lstrcmpiA(kind, "Static") && (GetWindowLongA(child, GWL_STYLE) & 0x1F) <= SS_RIGHT;
        EXPECT_TRUE(!text[0] || !(button || label) ||
                    (client.bottom >= 2 * line.bottom
                         ? wrapped.bottom <= client.bottom
                         : line.right * 10 <= client.right * (button ? 10 : 11) &&
                               line.bottom <= client.bottom + (button ? 0 : line.bottom / 4)))
            << text;
    }
}

// The dialog, its File menu as the system lays out the items measured, and the preview's tools' windows.
TEST_F(DialogTest, ScaledWindowsShowTheirTextsWholeAndTheMenuItsScaledItems)
{
    const int dpi = WindowDpi(dialog_);
    const char *asked = std::getenv("KESTRANE_TEST_DPI");
    ASSERT_EQ(dpi, asked ? std::atoi(asked) : dpi) << "the display's scale is not the dialog's";
    ShowWindow(dialog_, SW_SHOW);
    ExpectTextsWhole(dialog_);
    TakeShot(dialog_, "dialog");
    HMENU file = GetSubMenu(GetMenu(dialog_), 0);
    std::vector<LONG> heights;
    LONG band = 0;
    InLoop([&] {
        HWND window = FindWindowA("#32768", nullptr);
        RECT item, at, first = {};
        for (int i = 0; GetMenuItemRect(nullptr, file, UINT(i), &item); i++, first = i == 1 ? item : first)
            heights.push_back(item.bottom - item.top);
        GetWindowRect(window, &at);
        const Shot menu = TakeShot(window, "file-menu");
        for (const LONG x = first.left - at.left, y = (first.top + first.bottom) / 2 - at.top;
             x + band < menu.width && menu.At(x + band, y) != 0xFFFFFF;)
            band++;  // up to the item's white
        EndMenu();
    });
    TrackPopupMenu(file, TPM_RETURNCMD, 0, 0, 0, dialog_, nullptr);
    const LONG item = Scaled(23, dpi), line = Scaled(4, dpi);
    EXPECT_EQ(heights, (std::vector<LONG>{item, item, line, item, line, item}));
    EXPECT_EQ(band, Scaled(kMenuBandWidth, dpi));

    Drop({Image("a.kui", 48, 32)});
    HWND preview = OpenPreview(dialog_, 0);
    for (const char *tool : {"canvas", "cell-size"}) {
        InLoop([tool] {
            ExpectTextsWhole(GetActiveWindow());
            TakeShot(GetActiveWindow(), tool);
            EndDialog(GetActiveWindow(), IDCANCEL);
        });
        CanvasChoice choice = {true, 64, 48, ANCHOR_CENTER, false};
        SheetCut cut = {};
        tool[1] == 'a' ? AskCanvas(preview, *ShownPreviewFrame(), nullptr, &choice)
                       : AskCellSize(preview, ImageFrames{48, 32, 1}, nullptr, &cut);
    }
}

}  // namespace
