#include "ui/cell_size_dialog.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/sheet_guess.h"
#include "frames/split.h"
#include "res/resource.h"
#include "ui/beside_preview.h"
#include "ui/main_dialog.h"
#include "ui/preview.h"
#include "ui/ui_texts.h"

namespace {

struct CellSize {
    uint32_t imageWidth, imageHeight;
    const char *dataPath;  // offered when not null
    SheetCut cut;
};

// What the picture shown behind the window holds decides the first offer.
void GuessCellSize(CellSize *cell)
{
    const PreviewFrame *shown = ShownPreviewFrame();
    bool atHand = shown && shown->state == FRAME_SHOWN && shown->width == cell->imageWidth &&
                  shown->height == cell->imageHeight;
    GuessSheetCell(atHand ? shown->pixels : nullptr, cell->imageWidth, cell->imageHeight,
                   &cell->cut.cellWidth, &cell->cut.cellHeight);
}

// An empty field counts as 0, for the margin and the spacing.
uint32_t ReadNumber(HWND dialog, int control, bool *read)
{
    BOOL done = FALSE;
    const uint32_t number = GetDlgItemInt(dialog, control, &done, FALSE);
    *read = *read && (done || GetWindowTextLengthA(GetDlgItem(dialog, control)) == 0);
    return number;
}

void ShowCells(HWND dialog, CellSize *cell)
{
    SheetCut &cut = cell->cut;
    const bool byData = IsDlgButtonChecked(dialog, IDC_CELL_DATA) == BST_CHECKED;
    for (int control : {IDC_CELL_WIDTH, IDC_CELL_HEIGHT, IDC_CELL_MARGIN, IDC_CELL_SPACING})
        EnableWindow(GetDlgItem(dialog, control), !byData);
    bool known = true;
    cut.cellWidth = ReadNumber(dialog, IDC_CELL_WIDTH, &known);
    cut.cellHeight = ReadNumber(dialog, IDC_CELL_HEIGHT, &known);
    cut.margin = ReadNumber(dialog, IDC_CELL_MARGIN, &known);
    cut.spacing = ReadNumber(dialog, IDC_CELL_SPACING, &known);
    known = known && cut.cellWidth && cut.cellHeight && !byData;
    cut.dataPath = byData ? cell->dataPath : nullptr;
    SetPreviewGrid(known ? cut.cellWidth : 0, known ? cut.cellHeight : 0, cut.margin, cut.spacing);
    EnableWindow(GetDlgItem(dialog, IDOK), known || byData);
    const uint64_t across = known ? CellsAlong(cell->imageWidth, cut.cellWidth, cut.margin, cut.spacing) : 0,
                   down = known ? CellsAlong(cell->imageHeight, cut.cellHeight, cut.margin, cut.spacing) : 0;
    char text[128] = "";
    if (across && down) {
        // 1-pixel cells of a large sheet count past 32 bits.
        std::snprintf(text, sizeof text, TEXT_CELLS, unsigned(across), unsigned(down),
                      static_cast<unsigned long long>(across * down));
    } else if (known) {
        std::snprintf(text, sizeof text, TEXT_CELLS_DO_NOT_FIT, cell->imageWidth, cell->imageHeight);
    }
    SetDlgItemTextA(dialog, IDC_CELL_COUNT, text);
}

void OnInitDialog(HWND dialog, CellSize *cell)
{
    SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(cell));
    // Each number set is read back at once, the others with it: keep them first.
    const SheetCut offered = cell->cut;
    if (cell->dataPath) {
        char text[MAX_PATH + 64];
        const char *name = std::strrchr(cell->dataPath, '\\');
        std::snprintf(text, sizeof text, TEXT_CUT_BY_DATA, name ? name + 1 : cell->dataPath);
        SetDlgItemTextA(dialog, IDC_CELL_DATA, text);
        CheckDlgButton(dialog, IDC_CELL_DATA, BST_CHECKED);
    } else {
        ShowWindow(GetDlgItem(dialog, IDC_CELL_DATA), SW_HIDE);
    }
    SetDlgItemInt(dialog, IDC_CELL_WIDTH, offered.cellWidth, FALSE);
    SetDlgItemInt(dialog, IDC_CELL_HEIGHT, offered.cellHeight, FALSE);
    SetDlgItemInt(dialog, IDC_CELL_MARGIN, 0, FALSE);
    SetDlgItemInt(dialog, IDC_CELL_SPACING, 0, FALSE);
    ShowCells(dialog, cell);
    PlaceBesidePreview(dialog);
}

INT_PTR CALLBACK CellSizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *cell = reinterpret_cast<CellSize *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, reinterpret_cast<CellSize *>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (cell && (HIWORD(wParam) == EN_CHANGE || LOWORD(wParam) == IDC_CELL_DATA))
            ShowCells(dialog, cell);
        else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool AskCellSize(HWND preview, const ImageFrames &image, const char *dataPath, SheetCut *cut)
{
    CellSize cell = {image.width, image.height, dataPath, {}};
    GuessCellSize(&cell);
    INT_PTR answer =
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_CELL_SIZE), preview, CellSizeProc, LPARAM(&cell));
    SetPreviewGrid(0, 0);
    *cut = cell.cut;
    return answer == IDOK;
}
