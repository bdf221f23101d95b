// The preview window: painting, keys, playing (see ui/preview.h).
#include "ui/preview.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/canvas.h"
#include "core/core_alloc.h"
#include "core/dither.h"
#include "core/messages.h"
#include "core/natural_order.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/shp_file.h"
#include "res/resource.h"
#include "ui/dpi.h"
#include "ui/frame_tools.h"
#include "ui/gdi_objects.h"
#include "ui/main_dialog.h"
#include "ui/preview_frames.h"
#include "ui/put_on_canvas.h"
#include "ui/source_commands.h"
#include "ui/ui_texts.h"

namespace {

constexpr int kStartFramesPerSecond = 10;
constexpr int kMinFramesPerSecond = 1;
constexpr int kMaxFramesPerSecond = 30;
constexpr UINT_PTR kPlayTimer = 1;
constexpr DWORD kPreviewStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
// At 96 DPI, scaled with the preview's.
constexpr int kMinClientWidth = 600;
constexpr int kUnreadableClientHeight = 240;  // picture area when the first image shown has no picture
constexpr int kBandPadding = 4;
constexpr COLORREF kPictureBackground = RGB(64, 64, 64);
constexpr COLORREF kPictureText = RGB(255, 255, 255);
constexpr COLORREF kWarningBand = RGB(192, 0, 0);
constexpr COLORREF kWarningText = RGB(255, 255, 255);
constexpr COLORREF kGridColour = RGB(255, 255, 0);

struct Preview {
    HWND window, owner;
    bool fromFile;    // the frames of an opened SHP16 file, not the list's rows
    DitherMode view;  // the rows as Convert writes them now, or dithered (D)
    ShpFile file;
    char filePath[MAX_PATH];
    int row, count;
    PreviewFrames frames;
    const PreviewFrame *shown;
    bool firstSizeKnown;  // the first row's size, which every other must have
    uint32_t firstWidth, firstHeight;
    int textOrder[2];  // two rows whose names stand in text order, numbers aside (N); -1: none
    int dpi;
    HFONT font;  // the band's, at the preview's scale
    int bandHeight;
    int framesPerSecond;
    bool playing;
    char notice[kStatusBufferSize];  // what the last tool did, shown until the next key
    uint32_t cellWidth, cellHeight;  // the grid over the picture while a cell size is asked
    uint32_t margin, spacing;        // the first cell's distance from the left and top, the gaps
};
Preview g_preview;

const PreviewFrame *FrameOf(int row)
{
    return PreviewFrameOf(&g_preview.frames, row);
}

void ReleaseFrames()
{
    ReleasePreviewFrames(&g_preview.frames);
}

// The frames, counted anew: when the preview opens, and when S has changed the list.
void StartFrames(int count)
{
    g_preview.count = count;
    g_preview.frames.file = g_preview.fromFile ? &g_preview.file : nullptr;
    g_preview.frames.view = g_preview.view;
    StartPreviewFrames(&g_preview.frames, count);
    const PreviewFrame *first = FrameOf(0);
    g_preview.firstSizeKnown = first->state != FRAME_UNREADABLE;
    g_preview.firstWidth = first->width;
    g_preview.firstHeight = first->height;
    if (g_preview.fromFile ||
        !FindNumbersInTextOrder(g_sourceList->items, count, &g_preview.textOrder[0], &g_preview.textOrder[1]))
        g_preview.textOrder[0] = -1;
}

bool SizeDiffers(const PreviewFrame *frame)
{
    return g_preview.firstSizeKnown && frame->state != FRAME_UNREADABLE &&
           (frame->width != g_preview.firstWidth || frame->height != g_preview.firstHeight);
}

// Adds to `text` what fits of the formatted values.
template <typename... Values> void Append(char *text, size_t size, const char *format, Values... values)
{
    const size_t used = std::strlen(text);
    if (used + 1 < size)
        std::snprintf(text + used, size - used, format, values...);
}

// "3 of 40: walk03.png - 64 x 64 - ordered dithering", and why Convert would
// stop at this row; for a file "walk.shp - frame 3 of 12 - 64 x 64".
void DescribeShownRow(char *text, size_t size)
{
    const PreviewFrame *frame = g_preview.shown;
    int row = g_preview.row + 1;
    if (g_preview.fromFile) {
        std::snprintf(text, size, TEXT_FILE_PREVIEW_FRAME, SourceRowText(g_preview.filePath), row,
                      g_preview.count, g_preview.file.layout.width, g_preview.file.layout.height);
        return;
    }
    const char *path = SourceListGet(g_sourceList, g_preview.row);
    const char *name = path ? SourceRowText(path) : "";
    if (frame->state == FRAME_UNREADABLE)
        std::snprintf(text, size, TEXT_PREVIEW_UNREADABLE, row, g_preview.count, name);
    else
        std::snprintf(text, size, TEXT_PREVIEW_FRAME, row, g_preview.count, name, frame->width,
                      frame->height);
    const char *const views[] = {TEXT_VIEW_EXACT, TEXT_VIEW_ORDERED, TEXT_VIEW_DIFFUSION};
    Append(text, size, TEXT_PREVIEW_VIEW, views[g_preview.view]);
    if (SizeDiffers(frame))
        Append(text, size, TEXT_PREVIEW_SIZE_DIFFERS, g_preview.firstWidth, g_preview.firstHeight);
    if (frame->gifFrames > 1)
        Append(text, size, TEXT_PREVIEW_ANIMATED_GIF, frame->gifFrames);
}

void ShowRow(int row)
{
    g_preview.row = std::max(0, std::min(row, g_preview.count - 1));
    g_preview.shown = FrameOf(g_preview.row);
    char description[kStatusBufferSize], caption[kStatusBufferSize + 16];
    DescribeShownRow(description, sizeof(description));
    std::snprintf(caption, sizeof(caption), g_preview.fromFile ? "%s" : TEXT_PREVIEW_CAPTION, description);
    SetWindowTextA(g_preview.window, caption);
    InvalidateRect(g_preview.window, nullptr, FALSE);
}

// How a frame is shown in `area`: each pixel as a square of `zoom` device
// pixels, the largest that fits; or, when the frame is larger than the area,
// every `reduce`-th pixel of every `reduce`-th row, one device pixel each.
// Never a fraction: every pixel shown is one of the frame's, whole. Centred.
struct FrameScale {
    RECT at;
    LONG zoom, reduce;
};

FrameScale FitFrame(const RECT &area, uint32_t width, uint32_t height)
{
    const LONG areaWidth = std::max<LONG>(1, area.right - area.left),
               areaHeight = std::max<LONG>(1, area.bottom - area.top);
    const LONG w = LONG(width), h = LONG(height);
    FrameScale scale = {{}, std::max<LONG>(1, std::min(areaWidth / w, areaHeight / h)), 1};
    if (w > areaWidth || h > areaHeight)
        scale.reduce = std::max((w + areaWidth - 1) / areaWidth, (h + areaHeight - 1) / areaHeight);
    const LONG shownWidth = (w + scale.reduce - 1) / scale.reduce * scale.zoom,
               shownHeight = (h + scale.reduce - 1) / scale.reduce * scale.zoom;
    scale.at.left = area.left + (areaWidth - shownWidth) / 2;
    scale.at.top = area.top + (areaHeight - shownHeight) / 2;
    scale.at.right = scale.at.left + shownWidth;
    scale.at.bottom = scale.at.top + shownHeight;
    return scale;
}

void FillWithColour(HDC dc, const RECT &rect, COLORREF colour)
{
    SetDCBrushColor(dc, colour);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// GDI's ...A functions read text in the system's code page, not the process's
// (UTF-8 where the manifest chose it), so file names go through the wide one.
void DrawProcessText(HDC dc, const char *text, RECT *rect, UINT format)
{
    wchar_t wide[kStatusBufferSize];  // never more characters than bytes
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kStatusBufferSize) > 0)
        DrawTextW(dc, wide, -1, rect, format);
}

// The cells being asked for, over the picture shown: each cell's edges, from
// the picture's pixels to the window's as the picture is drawn.
void PaintGrid(HDC dc, const FrameScale &scale, uint32_t width, uint32_t height)
{
    const RECT &at = scale.at;
    const uint32_t cellWidth = g_preview.cellWidth, cellHeight = g_preview.cellHeight;
    const uint64_t margin = g_preview.margin, stepX = uint64_t(cellWidth) + g_preview.spacing,
                   stepY = uint64_t(cellHeight) + g_preview.spacing;
    const auto X = [&](uint64_t x) { return at.left + LONG(x * uint64_t(scale.zoom) / uint64_t(scale.reduce)); };
    const auto Y = [&](uint64_t y) { return at.top + LONG(y * uint64_t(scale.zoom) / uint64_t(scale.reduce)); };
    // The cells that lie whole on the picture.
    const uint64_t across = width >= margin + cellWidth ? (width - margin - cellWidth) / stepX + 1 : 0,
                   down = height >= margin + cellHeight ? (height - margin - cellHeight) / stepY + 1 : 0;
    if (!across || !down)
        return;
    const LONG left = X(margin), top = Y(margin), right = X(margin + (across - 1) * stepX + cellWidth) + 1,
               bottom = Y(margin + (down - 1) * stepY + cellHeight) + 1;
    SetDCBrushColor(dc, kGridColour);
    HBRUSH brush = static_cast<HBRUSH>(GetStockObject(DC_BRUSH));
    for (uint64_t k = 0; k < across; k++)
        for (uint64_t x : {margin + k * stepX, margin + k * stepX + cellWidth}) {
            const RECT line = {X(x), top, X(x) + 1, bottom};
            FillRect(dc, &line, brush);
        }
    for (uint64_t k = 0; k < down; k++)
        for (uint64_t y : {margin + k * stepY, margin + k * stepY + cellHeight}) {
            const RECT line = {left, Y(y), right, Y(y) + 1};
            FillRect(dc, &line, brush);
        }
}

// Whole pixels repeated, never blended. A reduced frame's pixels are picked
// here: the system's own shrinking may blend them or pick others. False when
// there is no memory for them.
bool DrawFrame(HDC dc, const FrameScale &scale, const PreviewFrame &frame)
{
    const LONG k = scale.reduce;
    const LONG width = (LONG(frame.width) + k - 1) / k, height = (LONG(frame.height) + k - 1) / k;
    const uint32_t *pixels = frame.pixels;
    uint32_t *picked = nullptr;
    if (k > 1) {
        picked = static_cast<uint32_t *>(CoreAlloc(size_t(width) * size_t(height) * sizeof *picked));
        if (!picked)
            return false;
        for (LONG y = 0; y < height; y++)
            for (LONG x = 0; x < width; x++)
                picked[size_t(y) * size_t(width) + size_t(x)] =
                    frame.pixels[size_t(y * k) * frame.width + size_t(x * k)];
        pixels = picked;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, scale.at.left, scale.at.top, width * scale.zoom, height * scale.zoom, 0, 0, width,
                  height, pixels, &info, DIB_RGB_COLORS, SRCCOPY);
    CoreFree(picked);
    return true;
}

void PaintPicture(HDC dc, const RECT &area)
{
    const PreviewFrame *frame = g_preview.shown;
    int saved = SaveDC(dc);
    if (frame->state == FRAME_SHOWN) {
        const FrameScale scale = FitFrame(area, frame->width, frame->height);
        if (DrawFrame(dc, scale, *frame)) {
            if (g_preview.cellWidth && g_preview.cellHeight)
                PaintGrid(dc, scale, frame->width, frame->height);
            ExcludeClipRect(dc, scale.at.left, scale.at.top, scale.at.right, scale.at.bottom);
        }
    }
    FillWithColour(dc, area, kPictureBackground);
    if (frame->state != FRAME_SHOWN) {
        char text[kStatusBufferSize];
        if (frame->state == FRAME_NO_MEMORY)
            lstrcpynA(text, MSG_MEMORY_ERROR, sizeof(text));
        else if (g_preview.fromFile)
            std::snprintf(text, sizeof(text), MSG_CANT_READ_SHP, g_preview.filePath);
        else
            std::snprintf(text, sizeof(text), MSG_CANT_READ_IMAGE,
                          SourceListGet(g_sourceList, g_preview.row));
        RECT textRect = area;
        SetTextColor(dc, kPictureText);
        DrawProcessText(dc, text, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    RestoreDC(dc, saved);
}

// Two lines under the picture: the row, and the keys (or what the last key
// did). Red when Convert would stop at this row.
void PaintBand(HDC dc, const RECT &band)
{
    bool warn = SizeDiffers(g_preview.shown);
    FillWithColour(dc, band, warn ? kWarningBand : GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, warn ? kWarningText : GetSysColor(COLOR_BTNTEXT));
    char text[kStatusBufferSize];
    const int padding = Scaled(kBandPadding, g_preview.dpi);
    RECT line = {band.left + padding, band.top + padding, band.right - padding, band.bottom - padding};
    const UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    DescribeShownRow(text, sizeof(text));
    DrawProcessText(dc, text, &line, format | DT_TOP);
    const char *keys = g_preview.playing               ? TEXT_PREVIEW_PLAYING
                       : g_preview.fromFile            ? TEXT_FILE_PREVIEW_KEYS
                       : g_preview.view != DITHER_NONE ? TEXT_PREVIEW_DITHERED_KEYS
                       : warn                          ? TEXT_PREVIEW_KEYS_CANVAS
                                                       : TEXT_PREVIEW_KEYS;
    const bool textOrder = !g_preview.playing && !g_preview.fromFile && g_preview.view == DITHER_NONE &&
                           !warn && g_preview.textOrder[0] >= 0;
    if (textOrder)
        std::snprintf(text, sizeof(text), TEXT_PREVIEW_KEYS_TEXT_ORDER,
                      SourceRowText(SourceListGet(g_sourceList, g_preview.textOrder[0])),
                      SourceRowText(SourceListGet(g_sourceList, g_preview.textOrder[1])));
    else
        std::snprintf(text, sizeof(text), keys, g_preview.framesPerSecond);
    DrawProcessText(dc, g_preview.notice[0] ? g_preview.notice : text, &line, format | DT_BOTTOM);
}

HGDIOBJ BandFont()
{
    return g_preview.font ? g_preview.font : GetStockObject(DEFAULT_GUI_FONT);
}

// Also for WM_PRINTCLIENT, so that the picture can be copied as shown.
void Paint(HWND window, HDC dc)
{
    HGDIOBJ oldFont = SelectObject(dc, BandFont());
    SetBkMode(dc, TRANSPARENT);
    RECT client, picture, band;
    GetClientRect(window, &client);
    picture = band = client;
    picture.bottom = band.top = std::max(client.top, client.bottom - g_preview.bandHeight);
    PaintPicture(dc, picture);
    PaintBand(dc, band);
    SelectObject(dc, oldFont);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    Paint(window, dc);
    EndPaint(window, &paint);
}

void SetPlaying(bool playing)
{
    g_preview.playing = playing;
    if (playing)
        SetTimer(g_preview.window, kPlayTimer, UINT(1000 / g_preview.framesPerSecond), nullptr);
    else
        KillTimer(g_preview.window, kPlayTimer);
    InvalidateRect(g_preview.window, nullptr, FALSE);
}

void ChangeRate(int change)
{
    g_preview.framesPerSecond =
        std::max(kMinFramesPerSecond, std::min(g_preview.framesPerSecond + change, kMaxFramesPerSecond));
    SetPlaying(g_preview.playing);
}

// Rows in list order, starting again after the last.
void OnPlayTimer()
{
    ShowRow(g_preview.row + 1 < g_preview.count ? g_preview.row + 1 : 0);
}

// The status line's last report, in the band too: the preview may hide the dialog.
void ShowOutcome()
{
    GetDlgItemTextA(g_preview.owner, IDC_STATUS, g_preview.notice, sizeof g_preview.notice);
    InvalidateRect(g_preview.window, nullptr, FALSE);
}

// D: the rows decoded anew, as Convert writes them or dithered.
void ShowView(DitherMode view)
{
    g_preview.view = view;
    StartFrames(g_preview.count);
    ShowRow(g_preview.row);
}

// N: the rows by the numbers in their names; the row shown stays shown.
void OrderRowsByNumber()
{
    const int row = SortRowsNaturally(g_preview.owner, g_preview.row);
    if (row < 0) {
        ShowOutcome();
        return;
    }
    StartFrames(g_sourceList->count);
    ShowRow(row);
}

// E, L, S and W: tools of their own (ui/frame_tools.cpp), told what is shown.
ToolOutcome RunTool(ToolOutcome (*tool)(const PreviewTarget &))
{
    const PreviewTarget target = {g_preview.window,   g_preview.owner,
                                  g_preview.row,      g_preview.fromFile ? &g_preview.file : nullptr,
                                  g_preview.filePath, g_preview.view};
    const ToolOutcome outcome = tool(target);
    switch (outcome) {
    case TOOL_NOTHING:
        return outcome;
    case TOOL_CLOSE:
        SendMessageA(g_preview.window, WM_CLOSE, 0, 0);
        return outcome;
    case TOOL_ROWS_CHANGED:
        StartFrames(g_sourceList->count);
        ShowRow(target.row);
        break;
    case TOOL_DONE:
        break;
    }
    ShowOutcome();
    return outcome;
}

void OnKeyDown(HWND window, WPARAM key)
{
    g_preview.notice[0] = '\0';
    if (key == VK_ESCAPE) {
        SendMessageA(window, WM_CLOSE, 0, 0);
        return;
    }
    // Held to type other keys, such as + on many layouts: they stop nothing.
    if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU)
        return;
    if (key == VK_ADD || key == VK_OEM_PLUS || key == VK_SUBTRACT || key == VK_OEM_MINUS) {
        ChangeRate(key == VK_ADD || key == VK_OEM_PLUS ? 1 : -1);
        return;
    }
    if (g_preview.playing) {
        SetPlaying(false);
        return;
    }
    switch (key) {
    case VK_LEFT:
    case VK_UP:
    case VK_PRIOR:
        ShowRow(g_preview.row - 1);
        break;
    case VK_RIGHT:
    case VK_DOWN:
    case VK_NEXT:
        ShowRow(g_preview.row + 1);
        break;
    case VK_HOME:
        ShowRow(0);
        break;
    case VK_END:
        ShowRow(g_preview.count - 1);
        break;
    case VK_SPACE:
        SetPlaying(true);
        break;
    case 'E':
        if (g_preview.fromFile)
            RunTool(ExtractToChosenFolder);
        break;
    case 'L':
        if (g_preview.fromFile)
            RunTool(LoadIntoList);
        break;
    case 'S':
        if (!g_preview.fromFile)
            RunTool(SplitShownRow);
        break;
    case 'D':
        if (!g_preview.fromFile)
            ShowView(DitherMode((g_preview.view + 1) % 3));
        break;
    case 'W':
        // The rows are the dithered frames now: shown exact, they look the same.
        if (!g_preview.fromFile && g_preview.view != DITHER_NONE &&
            RunTool(WriteDitheredRows) == TOOL_ROWS_CHANGED)
            ShowView(DITHER_NONE);
        break;
    case 'P':
        if (!g_preview.fromFile)
            RunTool(PutRowsOnCanvas);
        break;
    case 'N':
        if (!g_preview.fromFile)
            OrderRowsByNumber();
        break;
    }
    InvalidateRect(window, nullptr, FALSE);
}

// The owner is enabled before the preview goes, so that it becomes the active
// window again. While a tool writes, closing cancels its set instead: the
// tool ends first.
void OnClose(HWND window)
{
    if (FrameWriteRunning()) {
        CancelFrameWrite();
        return;
    }
    EnableWindow(g_preview.owner, TRUE);
    DestroyWindow(window);
}

void OnDestroy()
{
    KillTimer(g_preview.window, kPlayTimer);
    if (g_preview.fromFile)
        CloseShpFile(&g_preview.file);
    else
        SendDlgItemMessageA(g_preview.owner, IDC_SOURCES, LB_SETCURSEL, WPARAM(g_preview.row), 0);
    ReleaseFrames();
    DeleteGdiObject(g_preview.font);
    g_preview = Preview{};
}

int BandHeight()
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, BandFont());
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);
    return 2 * metrics.tmHeight + 3 * Scaled(kBandPadding, g_preview.dpi);
}

void SetScale(int dpi)
{
    g_preview.dpi = dpi;
    DeleteGdiObject(g_preview.font);
    g_preview.font = NewGuiFont(dpi);
    g_preview.bandHeight = BandHeight();
}

// Moved to a monitor of another scale: the system's suggested place and size.
void OnDpiChanged(HWND window, int dpi, const RECT &suggested)
{
    SetScale(dpi);
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, nullptr, FALSE);
}

LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_PRINTCLIENT:
        Paint(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(window, HIWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel: no flicker while playing
    case WM_KEYDOWN:
        OnKeyDown(window, wParam);
        return 0;
    case WM_TIMER:
        OnPlayTimer();
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterPreviewClass()
{
    WNDCLASSEXA previewClass = {};
    previewClass.cbSize = sizeof(previewClass);
    previewClass.style = CS_HREDRAW | CS_VREDRAW;
    previewClass.lpfnWndProc = PreviewWndProc;
    previewClass.hInstance = GetModuleHandleA(nullptr);
    previewClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    previewClass.lpszClassName = PREVIEW_CLASS_NAME;
    RegisterClassExA(&previewClass);  // fails harmlessly when it exists
}

// Large enough to show the image at the largest whole-number zoom that fits
// the work area, centred on it.
RECT InitialWindowRect(const PreviewFrame *frame)
{
    RECT work, border = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    AdjustWindowRectEx(&border, kPreviewStyle, FALSE, 0);
    LONG maxWidth = (work.right - work.left) - (border.right - border.left);
    LONG maxHeight = (work.bottom - work.top) - (border.bottom - border.top) - g_preview.bandHeight;
    LONG width = Scaled(kMinClientWidth, g_preview.dpi),
         height = Scaled(kUnreadableClientHeight, g_preview.dpi);
    if (frame->state == FRAME_SHOWN) {
        RECT fitted = FitFrame(RECT{0, 0, maxWidth, maxHeight}, frame->width, frame->height).at;
        width = std::max(width, fitted.right - fitted.left);
        height = fitted.bottom - fitted.top;
    }
    RECT window = {0, 0, std::min(width, maxWidth), std::min(height, maxHeight) + g_preview.bandHeight};
    AdjustWindowRectEx(&window, kPreviewStyle, FALSE, 0);
    OffsetRect(&window, work.left - window.left + (work.right - work.left - (window.right - window.left)) / 2,
               work.top - window.top + (work.bottom - work.top - (window.bottom - window.top)) / 2);
    return window;
}

// Opens the window on `row` of the frames that g_preview now describes.
HWND OpenWindow(HWND dialog, int count, int row)
{
    RegisterPreviewClass();
    g_preview.owner = dialog;
    g_preview.framesPerSecond = kStartFramesPerSecond;
    SetScale(WindowDpi(dialog));
    StartFrames(count);
    RECT rect = InitialWindowRect(FrameOf(row));
    g_preview.window =
        CreateWindowExA(0, PREVIEW_CLASS_NAME, "", kPreviewStyle, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!g_preview.window) {
        ReleaseFrames();
        DeleteGdiObject(g_preview.font);
        if (g_preview.fromFile)
            CloseShpFile(&g_preview.file);
        g_preview = Preview{};
        PrintStatus(MSG_MEMORY_ERROR);
        return nullptr;
    }
    ShowRow(row);
    ShowWindow(g_preview.window, SW_SHOW);
    return g_preview.window;
}

// The modal loop: ends when the preview is gone; a quit message closes it
// and is passed on to the dialog's own loop.
void RunModally(HWND owner, HWND preview)
{
    EnableWindow(owner, FALSE);
    MSG message;
    while (IsWindow(preview)) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0)
            PostQuitMessage(int(message.wParam));
        if (got <= 0) {
            SendMessageA(preview, WM_CLOSE, 0, 0);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

HWND OpenPreview(HWND dialog, int row)
{
    if (g_preview.window)
        DestroyWindow(g_preview.window);
    if (!g_sourceList || row < 0 || row >= g_sourceList->count)
        return nullptr;
    return OpenWindow(dialog, g_sourceList->count, row);
}

HWND OpenShpPreview(HWND dialog, const char *path)
{
    if (g_preview.window)
        DestroyWindow(g_preview.window);
    if (!OpenShpFile(path, &g_preview.file))
        return nullptr;
    g_preview.fromFile = true;
    lstrcpynA(g_preview.filePath, path, sizeof g_preview.filePath);
    return OpenWindow(dialog, int(g_preview.file.layout.frameCount), 0);
}

const PreviewFrame *ShownPreviewFrame()
{
    return g_preview.shown;
}

bool LargestRowSize(uint32_t *width, uint32_t *height, int *unreadable)
{
    *width = *height = 0;
    *unreadable = -1;
    for (int i = 0; i < g_preview.count; i++) {
        const PreviewFrame *frame = FrameOf(i);
        if (frame->state == FRAME_UNREADABLE) {
            *unreadable = i;
            break;
        }
        GrowCanvas(width, height, frame->width, frame->height);
    }
    g_preview.shown = FrameOf(g_preview.row);  // the others may have taken its place
    return *unreadable < 0;
}

void SetPreviewNotice(const char *text)
{
    lstrcpynA(g_preview.notice, text, sizeof g_preview.notice);
    RedrawWindow(g_preview.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void SetPreviewGrid(uint32_t cellWidth, uint32_t cellHeight, uint32_t margin, uint32_t spacing)
{
    g_preview.cellWidth = cellWidth;
    g_preview.cellHeight = cellHeight;
    g_preview.margin = margin;
    g_preview.spacing = spacing;
    InvalidateRect(g_preview.window, nullptr, FALSE);
}

void PreviewSelectedImage(HWND dialog)
{
    LRESULT row = SendDlgItemMessageA(dialog, IDC_SOURCES, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR)
        return;
    HWND preview = OpenPreview(dialog, int(row));
    if (preview)
        RunModally(dialog, preview);
}

void PreviewShpFile(HWND dialog, const char *path)
{
    HWND preview = OpenShpPreview(dialog, path);
    if (preview)
        RunModally(dialog, preview);
}
