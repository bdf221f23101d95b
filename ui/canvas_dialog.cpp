#include "ui/canvas_dialog.h"

#include <algorithm>

#include "core/shp16.h"
#include "res/resource.h"
#include "ui/beside_preview.h"
#include "ui/main_dialog.h"
#include "ui/preview.h"
#include "ui/ui_texts.h"

namespace {

constexpr COLORREF kAroundCanvas = RGB(64, 64, 64);  // the preview's background
constexpr COLORREF kCanvas = RGB(0, 0, 0);           // what Convert puts around the image

struct CanvasQuestion {
    const PreviewFrame *shown;
    const CanvasSpot *shownOffset;  // null: the rows record no offsets
    CanvasChoice choice;
    bool ready;  // both numbers set: before that, a change reads the other one empty
};

bool Usable(const CanvasChoice &choice)
{
    return choice.width >= 1 && choice.height >= 1 && choice.width <= kShpMaxField &&
           choice.height <= kShpMaxField;
}

void ReadChoice(HWND dialog, CanvasQuestion *question)
{
    if (!question->ready)
        return;
    BOOL readWidth = FALSE, readHeight = FALSE;
    CanvasChoice &choice = question->choice;
    choice.width = GetDlgItemInt(dialog, IDC_CANVAS_WIDTH, &readWidth, FALSE);
    choice.height = GetDlgItemInt(dialog, IDC_CANVAS_HEIGHT, &readHeight, FALSE);
    if (!readWidth || !readHeight)
        choice.width = choice.height = 0;
    LRESULT anchor = SendDlgItemMessageA(dialog, IDC_CANVAS_ANCHOR, CB_GETCURSEL, 0, 0);
    choice.anchor = anchor >= 0 && anchor < kAnchorCount ? CanvasAnchor(anchor) : ANCHOR_CENTER;
    choice.fromFiles = question->shownOffset && anchor == kAnchorCount;  // the entry after the anchors
    EnableWindow(GetDlgItem(dialog, IDOK), Usable(choice));
    InvalidateRect(GetDlgItem(dialog, IDC_CANVAS_PICTURE), nullptr, FALSE);
}

void FillWithColour(HDC dc, const RECT &rect, COLORREF colour)
{
    SetDCBrushColor(dc, colour);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// The canvas scaled to fit the area, the frame on it where it will go; a
// frame larger than the canvas shows beyond it, as Place would refuse it.
void DrawPlacedFrame(const DRAWITEMSTRUCT &item, const CanvasQuestion &question)
{
    HDC dc = item.hDC;
    const RECT &area = item.rcItem;
    FillWithColour(dc, area, kAroundCanvas);
    const CanvasChoice &choice = question.choice;
    const PreviewFrame &frame = *question.shown;
    if (!Usable(choice))
        return;
    const double areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    const double scale = std::min(areaWidth / choice.width, areaHeight / choice.height);
    const LONG left = area.left + LONG((areaWidth - choice.width * scale) / 2),
               top = area.top + LONG((areaHeight - choice.height * scale) / 2);
    const RECT canvas = {left, top, left + LONG(choice.width * scale), top + LONG(choice.height * scale)};
    FillWithColour(dc, canvas, kCanvas);
    const CanvasSpot spot = choice.fromFiles ? *question.shownOffset : CanvasSpot{0, 0};
    if (frame.state != FRAME_SHOWN ||
        !FitsOnCanvas(choice.width - std::min(choice.width, spot.left),
                      choice.height - std::min(choice.height, spot.top), frame.width, frame.height))
        return;
    const CanvasSpot at = choice.fromFiles ? spot
                                           : PlaceOnCanvas(choice.width, choice.height, frame.width,
                                                           frame.height, choice.anchor);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = LONG(frame.width);
    info.bmiHeader.biHeight = -LONG(frame.height);  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int saved = SaveDC(dc);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, left + LONG(at.left * scale), top + LONG(at.top * scale), LONG(frame.width * scale),
                  LONG(frame.height * scale), 0, 0, int(frame.width), int(frame.height), frame.pixels, &info,
                  DIB_RGB_COLORS, SRCCOPY);
    RestoreDC(dc, saved);
}

void OnInitDialog(HWND dialog, CanvasQuestion *question)
{
    SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(question));
    for (const char *name : kAnchorNames)
        SendDlgItemMessageA(dialog, IDC_CANVAS_ANCHOR, CB_ADDSTRING, 0, LPARAM(name));
    if (question->shownOffset) {
        SendDlgItemMessageA(dialog, IDC_CANVAS_ANCHOR, CB_ADDSTRING, 0, LPARAM(TEXT_ANCHOR_OFFSETS));
        SetDlgItemTextA(dialog, IDC_CANVAS_TEXT, TEXT_CANVAS_OFFSETS);
    }
    const bool offsets = question->shownOffset && question->choice.fromFiles;
    SendDlgItemMessageA(dialog, IDC_CANVAS_ANCHOR, CB_SETCURSEL,
                        offsets ? WPARAM(kAnchorCount) : WPARAM(question->choice.anchor), 0);
    SetDlgItemInt(dialog, IDC_CANVAS_WIDTH, question->choice.width, FALSE);
    SetDlgItemInt(dialog, IDC_CANVAS_HEIGHT, question->choice.height, FALSE);
    question->ready = true;
    ReadChoice(dialog, question);
    PlaceBesidePreview(dialog);
}

INT_PTR CALLBACK CanvasProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *question = reinterpret_cast<CanvasQuestion *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, reinterpret_cast<CanvasQuestion *>(lParam));
        return TRUE;
    case WM_DRAWITEM:
        if (question && wParam == IDC_CANVAS_PICTURE)
            DrawPlacedFrame(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam), *question);
        return TRUE;
    case WM_COMMAND:
        if (question && (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == CBN_SELCHANGE))
            ReadChoice(dialog, question);
        else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool AskCanvas(HWND preview, const PreviewFrame &shown, const CanvasSpot *shownOffset, CanvasChoice *choice)
{
    CanvasQuestion question = {&shown, shownOffset, *choice, false};
    INT_PTR answer =
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_CANVAS), preview, CanvasProc, LPARAM(&question));
    *choice = question.choice;
    return answer == IDOK && Usable(question.choice);
}
