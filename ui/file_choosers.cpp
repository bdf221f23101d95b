#include "ui/file_choosers.h"

#include "ui/main_dialog.h"
#include "ui/ui_texts.h"

char g_pathBuffer[kPathBufferSize];
FileDialogFunction g_getOpenFileName = GetOpenFileNameA;
FileDialogFunction g_getSaveFileName = GetSaveFileNameA;

static const char kOutputFilter[] = "SHP file (*.shp)\0*.shp\0";

void BuildOpenFilter(char *filter, bool hasPng, bool hasGif, bool hasJpg)
{
    struct Type {
        bool found;
        const char *pattern;
    };
    const Type types[] = {{hasPng, "*.png"}, {hasGif, "*.gif"}, {hasJpg, "*.jpg"}};

    // Description, e.g. "Images files(*.png *.gif *.jpg )".
    lstrcpyA(filter, "Images files(");
    for (const Type &type : types) {
        if (type.found) {
            lstrcatA(filter, type.pattern);
            lstrcatA(filter, " ");
        }
    }
    lstrcatA(filter, ")");

    // Pattern, e.g. "*.png;*.gif;*.jpg", then the empty string closing the list.
    char *pattern = filter + lstrlenA(filter) + 1;
    pattern[0] = '\0';
    for (const Type &type : types) {
        if (type.found) {
            if (pattern[0])
                lstrcatA(pattern, ";");
            lstrcatA(pattern, type.pattern);
        }
    }
    pattern[lstrlenA(pattern) + 1] = '\0';
}

static void PrepareFileDialog(OPENFILENAMEA *dialogInfo, HWND owner)
{
    ZeroMemory(dialogInfo, sizeof(*dialogInfo));
    // The 76-byte form, understood by every system version.
    dialogInfo->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialogInfo->hwndOwner = owner;
    dialogInfo->hInstance = g_instance;
    dialogInfo->lpstrFile = g_pathBuffer;
    dialogInfo->nMaxFile = kPathBufferSize;
}

int ChooseInputFile(HWND dialog)
{
    // Rebuilt every time: filters may have been installed or removed since.
    char filter[kOpenFilterSize];
    BuildOpenFilter(filter, HasImportFilter("PNG"), HasImportFilter("GIF"), HasImportFilter("JPG"));
    OPENFILENAMEA dialogInfo;
    PrepareFileDialog(&dialogInfo, dialog);
    dialogInfo.lpstrFilter = filter;
    dialogInfo.lpstrTitle = TEXT_CHOOSE_INPUT;
    dialogInfo.Flags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    dialogInfo.lpstrDefExt = "png";
    return g_getOpenFileName(&dialogInfo) ? 1 : 0;
}

int ChooseOutputFile(HWND dialog)
{
    OPENFILENAMEA dialogInfo;
    PrepareFileDialog(&dialogInfo, dialog);
    dialogInfo.lpstrFilter = kOutputFilter;
    dialogInfo.lpstrTitle = TEXT_CHOOSE_OUTPUT;
    dialogInfo.Flags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY;
    dialogInfo.lpstrDefExt = "shp";
    return g_getSaveFileName(&dialogInfo) ? 1 : 0;
}
