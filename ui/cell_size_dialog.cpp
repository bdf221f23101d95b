#include "ui/cell_size_dialog.h"

#include <algorithm>
#include <cstdio>

#include "frames/split.h"
#include "res/resource.h"
#include "ui/main_dialog.h"
#include "ui/preview.h"
#include "ui/ui_texts.h"

namespace {

struct CellSize {
    uint32_t imageWidth, imageHeight;
    uint32_t width, height;
};

// A strip or grid of square frames is the usual sheet: the shorter side is
// the first guess, or the whole image when that does not divide it.
void GuessCellSize(CellSize *cell)
{
    uint32_t side = cell->imageWidth < cell->imageHeight ? cell->imageWidth : cell->imageHeight;
    bool divides = side && cell->imageWidth % side == 0 && cell->imageHeight % side == 0;
    cell->width = divides ? side : cell->imageWidth;
    cell->height = divides ? side : cell->imageHeight;
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

// Under the preview where there is room, else above it: the grid stays in view.
void PlaceBesidePreview(HWND dialog)
{
    RECT preview, own, work;
    GetWindowRect(GetWindow(dialog, GW_OWNER), &preview);
    GetWindowRect(dialog, &own);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    LONG x = preview.left + (preview.right - preview.left - width) / 2, y = preview.bottom;
    if (y + height > work.bottom)
        y = preview.top - height;
    x = std::max(work.left, std::min(x, work.right - width));
    y = std::max(work.top, std::min(y, work.bottom - height));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
