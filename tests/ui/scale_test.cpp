// The program at the display's scale: the manifest that asks for it, the menus measured from their
// 96-DPI sizes, a frame shown in whole device pixels, the windows' texts whole. Run at 96 DPI with the
// others and again at 144 and 192 (at_dpi.sh), leaving screenshots in the artifacts folder.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/source_list.h"
#include "frames/split.h"
#include "res/resource.h"
#include "tests/support/filter_registrations.h"
#include "tests/support/temp_dir.h"
#include "ui/canvas_dialog.h"
#include "ui/cell_size_dialog.h"
#include "ui/dpi.h"
#include "ui/gdi_objects.h"
#include "ui/link_control.h"
#include "ui/main_dialog.h"
#include "ui/owner_menu.h"
#include "ui/preview.h"

namespace {

TEST(Manifest, BothProgramsDeclarePerMonitorAwarenessAndTheSystemsFromVistaOn)
{
    for (const char *program : {KESTRANE_EXE, KESTRANE_CLI_EXE}) {
        SCOPED_TRACE(program);
        HMODULE module = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
        ASSERT_TRUE(module && found);
        const std::string manifest(static_cast<const char *>(LockResource(LoadResource(module, found))),
                                   SizeofResource(module, found));
        for (const char *entry : {">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
                                  "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                                  "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                  "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
            EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
        FreeLibrary(module);
    }
}

// Heights and width adjustments of a drop-down item, a bar item and a separator; the 96-DPI values are
// the ones the menus always had.
TEST(Menu, ItemsScaleFromTheir96DpiSizes)
{
    MenuItemData item = {const_cast<char *>("Convert"), 0, 0}, bar = {item.text, 1, 0}, line = {item.text, 0, 1};
    const std::tuple<int, LONG, LONG, LONG, LONG, LONG> cases[] = {
        {96, 23, 160, 20, 95, 4}, {120, 29, 175, 25, 94, 5}, {144, 35, 190, 30, 92, 6}, {192, 46, 220, 40, 90, 8}};
    for (auto [dpi, height, width, barHeight, barWidth, lineHeight] : cases) {
        SCOPED_TRACE(dpi);
        EXPECT_EQ(MenuItemSize(item, 100, dpi).cy, height);
        EXPECT_EQ(MenuItemSize(item, 100, dpi).cx, width);
        EXPECT_EQ(MenuItemSize(bar, 100, dpi).cy, barHeight);
        EXPECT_EQ(MenuItemSize(bar, 100, dpi).cx, barWidth);
        EXPECT_EQ(MenuItemSize(line, 0, dpi).cy, lineHeight);
    }
}

// A 32-bit top-down copy of part of a DC, and its pixel at (x, y) without the unused byte.
struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF; }
};

Capture Copy(const std::function<void(HDC)> &draw, int width, int height)
{
    Capture capture;
    capture.width = width, capture.height = height;
    capture.pixels.resize(size_t(width) * size_t(height));
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc);
    GdiFlush();
    std::memcpy(capture.pixels.data(), bits, capture.pixels.size() * 4);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return capture;
}

// What the screen shows of a window, kept as a build artifact named after the scale.
Capture Screenshot(HWND window, const std::string &name)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Wine hands what was painted to the display a moment later, from a message loop.
    for (int i = 0; i < 10; i++, Sleep(20))
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&message);
    RECT rect;
    GetWindowRect(window, &rect);
    Capture shot = Copy(
        [&](HDC dc) {
            HDC own = GetWindowDC(window);
            BitBlt(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, own, 0, 0, SRCCOPY);
            ReleaseDC(window, own);
        },
        rect.right - rect.left, rect.bottom - rect.top);
    std::filesystem::create_directories(KESTRANE_ARTIFACTS);
    std::ofstream file(std::string(KESTRANE_ARTIFACTS) + "/dpi" + std::to_string(WindowDpi(window)) + "-" + name +
                           ".bmp",
                       std::ios::binary);
    const uint32_t bytes = uint32_t(shot.pixels.size() * 4);
    BITMAPFILEHEADER head = {0x4D42, 14 + 40 + bytes, 0, 0, 14 + 40};
    BITMAPINFOHEADER info = {40, shot.width, -shot.height, 1, 32, BI_RGB, bytes, 0, 0, 0, 0};
    file.write(reinterpret_cast<const char *>(&head), 14).write(reinterpret_cast<const char *>(&info), 40);
    std::vector<uint32_t> opaque(shot.pixels);  // GDI leaves the fourth byte 0, which viewers take for clear
    for (uint32_t &pixel : opaque)
        pixel |= 0xFF000000;
    file.write(reinterpret_cast<const char *>(opaque.data()), bytes);
    return shot;
}

// Every child's text fits it whole in the child's own font: buttons and group boxes on one line,
// labels of several lines as they wrap. A label of one line may be up to a tenth wider than its
// control: under Wine's stand-in for the template's font two are 6 % too wide at 96 DPI already.
void ExpectTextsWhole(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[256], kind[32];
        GetWindowTextA(child, text, sizeof text);
        GetClassNameA(child, kind, sizeof kind);
        const bool button = lstrcmpiA(kind, "Button") == 0, label = lstrcmpiA(kind, "Static") == 0;
        if (!text[0] || !(button || label) || (label && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) > SS_RIGHT))
            continue;
        RECT client, line, wrapped;
        GetClientRect(child, &client);
        line = wrapped = client;
        HDC dc = GetDC(child);
        HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageA(child, WM_GETFONT, 0, 0)));
        DrawTextA(dc, text, -1, &line, DT_CALCRECT | DT_SINGLELINE);
        DrawTextA(dc, text, -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        SCOPED_TRACE(text);
        if (button || client.bottom < 2 * line.bottom) {
            EXPECT_LE(line.right * 10, client.right * (button ? 10 : 11));
            EXPECT_LE(line.bottom, client.bottom + (button ? 0 : line.bottom / 4));
        } else {
            EXPECT_LE(wrapped.bottom, client.bottom);
        }
    }
}

// A modal window or menu of this thread, worked by `g_inLoop` from within its own loop.
std::function<void()> g_inLoop;
void CALLBACK RunInLoop(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_inLoop();
}

class Scale : public testing::Test {
  protected:
    void SetUp() override
    {
        registry_.Add("ui", "kui", KST_FILTER);
        g_instance = GetModuleHandleA(nullptr);
        g_messageBox = [](HWND, LPCSTR, LPCSTR, UINT) WINAPI { return IDOK; };
        RegisterLinkClass();
        CreateMenuBrushes();
        g_sourceList = SourceListCreate();
        dialog_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOW);
        if (const char *dpi = std::getenv("KESTRANE_TEST_DPI")) {
            ASSERT_EQ(WindowDpi(dialog_), std::atoi(dpi)) << "the display's scale is not the dialog's";
        }
    }
    void TearDown() override
    {
        DestroyWindow(dialog_);
        SourceListRelease(g_sourceList);
        DeleteMenuBrushes();
        DeleteLinkFont();
        EXPECT_EQ(LiveGdiObjectCount(), 0) << "fonts and brushes left";
    }
    HWND Preview(const std::string &name, int width, int height, const PixelFunction &pixel)
    {
        WriteBytes(temp_.Path(name), MakeFilterImage(0, 0, width, height, pixel));
        SourceListInsert(g_sourceList, 0, CopyPath(temp_.Path(name).c_str()));
        return OpenPreview(dialog_, 0);
    }

    FilterRegistrations registry_;
    TempDir temp_;
    HWND dialog_ = nullptr;
};

// Each image pixel a whole square of device pixels of its colour; an image wider than the screen
// shows every k-th pixel of every k-th row, each as one device pixel. The picture is found from its
// top left corner, the first pixel that is not the preview's background.
TEST_F(Scale, PreviewShowsEveryImagePixelAsAWholeSquareOfDevicePixels)
{
    const std::tuple<const char *, int, int, PixelFunction> cases[] = {
        {"checks.kui", 9, 7, [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }},
        {"strip.kui", 3000, 40, [](int x, int y) { return Rgb{uint8_t(x * 8), uint8_t(x / 32 * 4), uint8_t(y * 8)}; }},
    };
    for (auto &[name, width, height, pixel] : cases) {
        SCOPED_TRACE(name);
        HWND preview = Preview(name, width, height, pixel);
        ASSERT_TRUE(preview && ShownPreviewFrame()->state == FRAME_SHOWN);
        RECT client;
        GetClientRect(preview, &client);
        const Capture shown = Copy([&](HDC dc) { PrintWindow(preview, dc, PW_CLIENTONLY); }, client.right, client.bottom);
        const uint32_t background = 0x404040;
        int left = 0, top = 0, right = 0;
        while (top < shown.height && shown.At(left, top) == background)
            if (++left == shown.width)
                left = 0, top++;
        ASSERT_LT(top, shown.height) << "no picture";
        for (right = left; right < shown.width && shown.At(right, top) != background;)
            right++;
        const int across = right - left, zoom = std::max(1, across / width), reduce = std::max(1, width / across);
        ASSERT_EQ(across, (width + reduce - 1) / reduce * zoom) << "whole pixels across";
        ASSERT_LE(top + (height + reduce - 1) / reduce * zoom, shown.height);
        const uint32_t *pixels = ShownPreviewFrame()->pixels;
        int wrong = 0;
        for (int y = 0; y < (height + reduce - 1) / reduce * zoom; y++)
            for (int x = 0; x < across; x++)
                wrong += shown.At(left + x, top + y) != pixels[size_t(y / zoom * reduce) * width + x / zoom * reduce];
        EXPECT_EQ(wrong, 0) << "zoom " << zoom << ", every " << reduce << "th pixel";
        Screenshot(preview, std::string("preview-") + name);
        DestroyWindow(preview);
        SourceListRemove(g_sourceList, 0);
    }
}

// The dialog, its File menu as the system lays out the measured items, the preview's tools' windows.
TEST_F(Scale, WindowsShowTheirTextsWholeAndTheMenuItsScaledItems)
{
    ExpectTextsWhole(dialog_);
    Screenshot(dialog_, "dialog");
    HMENU file = GetSubMenu(GetMenu(dialog_), 0);
    const int dpi = WindowDpi(dialog_);
    std::vector<LONG> heights;
    g_inLoop = [&] {
        RECT item;
        for (int i = 0; GetMenuItemRect(nullptr, file, UINT(i), &item); i++)
            heights.push_back(item.bottom - item.top);
        Screenshot(FindWindowA("#32768", nullptr), "file-menu");
        EndMenu();
    };
    SetTimer(nullptr, 0, 200, RunInLoop);
    RECT bar;
    GetMenuItemRect(dialog_, GetMenu(dialog_), 0, &bar);
    TrackPopupMenu(file, TPM_RETURNCMD, bar.left, bar.bottom, 0, dialog_, nullptr);
    const LONG item = Scaled(23, dpi), line = Scaled(4, dpi);
    EXPECT_EQ(heights, (std::vector<LONG>{item, item, line, item, line, item}));

    HWND preview = Preview("a.kui", 48, 32, Gradient);
    ASSERT_TRUE(preview);
    for (const char *tool : {"canvas", "cell-size"}) {
        g_inLoop = [tool] {
            HWND window = GetActiveWindow();
            ExpectTextsWhole(window);
            Screenshot(window, tool);
            EndDialog(window, IDCANCEL);
        };
        SetTimer(nullptr, 0, 200, RunInLoop);
        CanvasChoice choice = {true, 64, 48, ANCHOR_CENTER};
        uint32_t width, height;
        if (tool[0] == 'c' && tool[1] == 'a')
            AskCanvas(preview, *ShownPreviewFrame(), &choice);
        else
            AskCellSize(preview, ImageFrames{48, 32, 1}, &width, &height);
    }
    DestroyWindow(preview);
}

}  // namespace
