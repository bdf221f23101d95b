#include "ui/cell_size_dialog.h"

#include <cstdio>

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
    uint32_t width, height;
};

// What the picture shown behind the window holds decides the first offer.
void GuessCellSize(CellSize *cell)
{
    const PreviewFrame *shown = ShownPreviewFrame();
    bool atHand = shown && shown->state == FRAME_SHOWN && shown->width == cell->imageWidth &&
                  shown->height == cell->imageHeight;
    GuessSheetCell(atHand ? shown->pixels : nullptr, cell->imageWidth, cell->imageHeight, &cell->width,
                   &cell->height);
}

void ShowCells(HWND dialog, CellSize *cell)
{
    BOOL readWidth = FALSE, readHeight = FALSE;
    cell->width = GetDlgItemInt(dialog, IDC_CELL_WIDTH, &readWidth, FALSE);
    cell->height = GetDlgItemInt(dialog, IDC_CELL_HEIGHT, &readHeight, FALSE);
    bool known = readWidth && readHeight && cell->width && cell->height;
    SetPreviewGrid(known ? cell->width : 0, known ? cell->height : 0);
    EnableWindow(GetDlgItem(dialog, IDOK), known);
    char text[128] = "";
    if (known && cell->imageWidth % cell->width == 0 && cell->imageHeight % cell->height == 0) {
        uint32_t across = cell->imageWidth / cell->width, down = cell->imageHeight / cell->height;
        // 1-pixel cells of a large sheet count past 32 bits.
        std::snprintf(text, sizeof text, TEXT_CELLS, across, down,
                      static_cast<unsigned long long>(uint64_t(across) * down));
    } else if (known) {
        std::snprintf(text, sizeof text, TEXT_CELLS_DO_NOT_FIT, cell->imageWidth, cell->imageHeight);
    }
    SetDlgItemTextA(dialog, IDC_CELL_COUNT, text);
}

INT_PTR CALLBACK CellSizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *cell = reinterpret_cast<CellSize *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        {
            // Each number set is read back at once, the other with it: keep both first.
            cell = reinterpret_cast<CellSize *>(lParam);
            const uint32_t width = cell->width, height = cell->height;
            SetDlgItemInt(dialog, IDC_CELL_WIDTH, width, FALSE);
            SetDlgItemInt(dialog, IDC_CELL_HEIGHT, height, FALSE);
            PlaceBesidePreview(dialog);
            return TRUE;
        }
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE)
            ShowCells(dialog, cell);
        else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool AskCellSize(HWND preview, const ImageFrames &image, uint32_t *width, uint32_t *height)
{
    CellSize cell = {image.width, image.height, 0, 0};
    GuessCellSize(&cell);
    INT_PTR answer =
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_CELL_SIZE), preview, CellSizeProc, LPARAM(&cell));
    SetPreviewGrid(0, 0);
    *width = cell.width;
    *height = cell.height;
    return answer == IDOK;
}
