#include "ui/preview.h"

#include <algorithm>
#include <cstdio>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/packed_dib.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"
#include "res/resource.h"
#include "ui/source_commands.h"
#include "ui/ui_texts.h"

namespace {

// 200 frames of 256 x 256 take 50 MB; frames beyond this are decoded again
// each time they are shown.
constexpr size_t kCacheLimitBytes = size_t(64) << 20;
constexpr int kStartFramesPerSecond = 10;
constexpr int kMinFramesPerSecond = 1;
constexpr int kMaxFramesPerSecond = 30;
constexpr UINT_PTR kPlayTimer = 1;
constexpr DWORD kPreviewStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
constexpr int kMinClientWidth = 480;
constexpr int kUnreadableClientHeight = 240;  // picture area when the first image shown has no picture
constexpr int kBandPadding = 4;
constexpr COLORREF kPictureBackground = RGB(64, 64, 64);
constexpr COLORREF kPictureText = RGB(255, 255, 255);
constexpr COLORREF kWarningBand = RGB(192, 0, 0);
constexpr COLORREF kWarningText = RGB(255, 255, 255);

struct Preview {
    HWND window, owner;
    int row, count;
    PreviewFrame *cache;  // one per row, or null when it could not be allocated
    size_t cachedBytes;
    PreviewFrame uncached;  // the shown frame when it is not in the cache
    const PreviewFrame *shown;
    bool firstSizeKnown;  // the first row's size, which every other must have
    uint32_t firstWidth, firstHeight;
    int bandHeight;
    int framesPerSecond;
    bool playing;
};
Preview g_preview;

// The frame the job would write, each RGB565 value widened back to 8 bits.
uint32_t *FramePixels(PackedDib dib)
{
    uint32_t width = uint32_t(dib->biWidth), height = uint32_t(dib->biHeight);
    uint64_t count = uint64_t(width) * height;
    if (count > SIZE_MAX / 4)
        return nullptr;
    uint8_t *frame = static_cast<uint8_t *>(CoreAlloc(size_t(count) * 2));
    uint32_t *pixels = static_cast<uint32_t *>(CoreAlloc(size_t(count) * 4));
    if (frame && pixels) {
        const uint8_t *rows = reinterpret_cast<const uint8_t *>(dib) + dib->biSize;
        ConvertDibToFrame(rows, DibStride(width, 24), width, height, frame);
        for (size_t i = 0; i < count; i++) {
            Rgb888 c = Rgb565ToRgb888(uint16_t(frame[2 * i] | frame[2 * i + 1] << 8));
            pixels[i] = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
        }
    } else {
        CoreFree(pixels);
        pixels = nullptr;
    }
    CoreFree(frame);
    return pixels;
}

// Decoded as the job decodes: a block the job could not read is unreadable here too.
PreviewFrame DecodeFrame(const char *path)
{
    PreviewFrame frame = {FRAME_UNREADABLE, 0, 0, nullptr};
    PackedDib dib = path ? LoadImageFile(path) : nullptr;
    if (IsReadablePackedDib(dib)) {
        frame.width = uint32_t(dib->biWidth);
        frame.height = uint32_t(dib->biHeight);
        frame.pixels = FramePixels(dib);
        frame.state = frame.pixels ? FRAME_SHOWN : FRAME_NO_MEMORY;
    }
    FreePackedDib(dib);
    return frame;
}

void ReleaseFrame(PreviewFrame *frame)
{
    CoreFree(frame->pixels);
    *frame = PreviewFrame{FRAME_NOT_DECODED, 0, 0, nullptr};
}

const PreviewFrame *FrameOf(int row)
{
    PreviewFrame *cached = g_preview.cache ? &g_preview.cache[row] : nullptr;
    if (cached && cached->state != FRAME_NOT_DECODED)
        return cached;
    PreviewFrame frame = DecodeFrame(SourceListGet(g_sourceList, row));
    size_t bytes = frame.pixels ? size_t(frame.width) * frame.height * 4 : 0;
    // A frame that ran out of memory is tried again when shown again.
    if (cached && frame.state != FRAME_NO_MEMORY && bytes <= kCacheLimitBytes - g_preview.cachedBytes) {
        g_preview.cachedBytes += bytes;
        *cached = frame;
        return cached;
    }
    ReleaseFrame(&g_preview.uncached);
    g_preview.uncached = frame;
    return &g_preview.uncached;
}

void ReleaseFrames()
{
    for (int i = 0; g_preview.cache && i < g_preview.count; i++)
        ReleaseFrame(&g_preview.cache[i]);
    CoreFree(g_preview.cache);
    ReleaseFrame(&g_preview.uncached);
}

bool SizeDiffers(const PreviewFrame *frame)
{
    return g_preview.firstSizeKnown && frame->state != FRAME_UNREADABLE &&
           (frame->width != g_preview.firstWidth || frame->height != g_preview.firstHeight);
}

// "3 of 40: walk03.png - 64 x 64", and why Convert would stop at this row.
void DescribeShownRow(char *text, size_t size)
{
    const PreviewFrame *frame = g_preview.shown;
    const char *path = SourceListGet(g_sourceList, g_preview.row);
    const char *name = path ? SourceRowText(path) : "";
    int row = g_preview.row + 1, written;
    if (frame->state == FRAME_UNREADABLE)
        written = std::snprintf(text, size, TEXT_PREVIEW_UNREADABLE, row, g_preview.count, name);
    else
        written = std::snprintf(text, size, TEXT_PREVIEW_FRAME, row, g_preview.count, name, frame->width,
                                frame->height);
    if (written > 0 && size_t(written) < size && SizeDiffers(frame))
        std::snprintf(text + written, size - size_t(written), TEXT_PREVIEW_SIZE_DIFFERS, g_preview.firstWidth,
                      g_preview.firstHeight);
}

void ShowRow(int row)
{
    g_preview.row = std::max(0, std::min(row, g_preview.count - 1));
    g_preview.shown = FrameOf(g_preview.row);
    char description[kStatusBufferSize], caption[kStatusBufferSize + 16];
    DescribeShownRow(description, sizeof(description));
    std::snprintf(caption, sizeof(caption), TEXT_PREVIEW_CAPTION, description);
    SetWindowTextA(g_preview.window, caption);
    InvalidateRect(g_preview.window, nullptr, FALSE);
}

// The largest whole-number zoom at which the image fits, centred in `area`.
RECT FittedRect(const RECT &area, uint32_t width, uint32_t height)
{
    LONG areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    LONG zoom = std::max<LONG>(1, std::min(areaWidth / LONG(width), areaHeight / LONG(height)));
    LONG shownWidth = LONG(width) * zoom, shownHeight = LONG(height) * zoom;
    RECT fitted;
    fitted.left = area.left + (areaWidth - shownWidth) / 2;
    fitted.top = area.top + (areaHeight - shownHeight) / 2;
    fitted.right = fitted.left + shownWidth;
    fitted.bottom = fitted.top + shownHeight;
    return fitted;
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

void PaintPicture(HDC dc, const RECT &area)
{
    const PreviewFrame *frame = g_preview.shown;
    int saved = SaveDC(dc);
    if (frame->state == FRAME_SHOWN) {
        RECT at = FittedRect(area, frame->width, frame->height);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = LONG(frame->width);
        info.bmiHeader.biHeight = -LONG(frame->height);  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        // Whole pixels repeated, never blended: every pixel keeps its colour.
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, at.left, at.top, at.right - at.left, at.bottom - at.top, 0, 0, int(frame->width),
                      int(frame->height), frame->pixels, &info, DIB_RGB_COLORS, SRCCOPY);
        ExcludeClipRect(dc, at.left, at.top, at.right, at.bottom);
    }
    FillWithColour(dc, area, kPictureBackground);
    if (frame->state != FRAME_SHOWN) {
        char text[kStatusBufferSize];
        if (frame->state == FRAME_UNREADABLE)
            std::snprintf(text, sizeof(text), MSG_CANT_READ_IMAGE,
                          SourceListGet(g_sourceList, g_preview.row));
        else
            lstrcpynA(text, MSG_MEMORY_ERROR, sizeof(text));
        RECT textRect = area;
        SetTextColor(dc, kPictureText);
        DrawProcessText(dc, text, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    RestoreDC(dc, saved);
}

// Two lines under the picture: the row, and the keys. Red when Convert would
// stop at this row.
void PaintBand(HDC dc, const RECT &band)
{
    bool warn = SizeDiffers(g_preview.shown);
    FillWithColour(dc, band, warn ? kWarningBand : GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, warn ? kWarningText : GetSysColor(COLOR_BTNTEXT));
    char text[kStatusBufferSize];
    RECT line = {band.left + kBandPadding, band.top + kBandPadding, band.right - kBandPadding,
                 band.bottom - kBandPadding};
    const UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    DescribeShownRow(text, sizeof(text));
    DrawProcessText(dc, text, &line, format | DT_TOP);
    std::snprintf(text, sizeof(text), g_preview.playing ? TEXT_PREVIEW_PLAYING : TEXT_PREVIEW_KEYS,
                  g_preview.framesPerSecond);
    DrawProcessText(dc, text, &line, format | DT_BOTTOM);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    RECT client, picture, band;
    GetClientRect(window, &client);
    picture = band = client;
    picture.bottom = band.top = std::max(client.top, client.bottom - g_preview.bandHeight);
    PaintPicture(dc, picture);
    PaintBand(dc, band);
    SelectObject(dc, oldFont);
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

void OnKeyDown(HWND window, WPARAM key)
{
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
    }
}

// The owner is enabled before the preview goes, so that it becomes the active window again.
void OnClose(HWND window)
{
    EnableWindow(g_preview.owner, TRUE);
    DestroyWindow(window);
}

void OnDestroy()
{
    KillTimer(g_preview.window, kPlayTimer);
    SendDlgItemMessageA(g_preview.owner, IDC_SOURCES, LB_SETCURSEL, WPARAM(g_preview.row), 0);
    ReleaseFrames();
    g_preview = Preview{};
}

LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(window);
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

int BandHeight()
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);
    return 2 * metrics.tmHeight + 3 * kBandPadding;
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
    LONG width = kMinClientWidth, height = kUnreadableClientHeight;
    if (frame->state == FRAME_SHOWN) {
        RECT fitted = FittedRect(RECT{0, 0, maxWidth, maxHeight}, frame->width, frame->height);
        width = std::max(width, fitted.right - fitted.left);
        height = fitted.bottom - fitted.top;
    }
    RECT window = {0, 0, std::min(width, maxWidth), std::min(height, maxHeight) + g_preview.bandHeight};
    AdjustWindowRectEx(&window, kPreviewStyle, FALSE, 0);
    OffsetRect(&window, work.left - window.left + (work.right - work.left - (window.right - window.left)) / 2,
               work.top - window.top + (work.bottom - work.top - (window.bottom - window.top)) / 2);
    return window;
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
    RegisterPreviewClass();
    g_preview.owner = dialog;
    g_preview.count = g_sourceList->count;
    g_preview.framesPerSecond = kStartFramesPerSecond;
    g_preview.bandHeight = BandHeight();
    // Without a cache every frame is decoded each time it is shown.
    g_preview.cache = static_cast<PreviewFrame *>(CoreAlloc(sizeof(PreviewFrame) * size_t(g_preview.count)));
    for (int i = 0; g_preview.cache && i < g_preview.count; i++)
        g_preview.cache[i] = PreviewFrame{FRAME_NOT_DECODED, 0, 0, nullptr};
    const PreviewFrame *first = FrameOf(0);
    g_preview.firstSizeKnown = first->state != FRAME_UNREADABLE;
    g_preview.firstWidth = first->width;
    g_preview.firstHeight = first->height;

    RECT rect = InitialWindowRect(FrameOf(row));
    g_preview.window =
        CreateWindowExA(0, PREVIEW_CLASS_NAME, "", kPreviewStyle, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!g_preview.window) {
        ReleaseFrames();
        g_preview = Preview{};
        return nullptr;
    }
    ShowRow(row);
    ShowWindow(g_preview.window, SW_SHOW);
    return g_preview.window;
}

const PreviewFrame *ShownPreviewFrame()
{
    return g_preview.shown;
}

void PreviewSelectedImage(HWND dialog)
{
    LRESULT row = SendDlgItemMessageA(dialog, IDC_SOURCES, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR)
        return;
    HWND preview = OpenPreview(dialog, int(row));
    if (preview)
        RunModally(dialog, preview);
    else
        PrintStatus(MSG_MEMORY_ERROR);
}
