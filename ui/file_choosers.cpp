#include "ui/file_choosers.h"

#include <shobjidl.h>

#include "core/messages.h"
#include "core/program_path.h"
#include "core/status.h"
#include "ui/main_dialog.h"
#include "ui/ui_texts.h"

char g_pathBuffer[kPathBufferSize];
FileDialogFunction g_getOpenFileName = GetOpenFileNameA;
FileDialogFunction g_getSaveFileName = GetSaveFileNameA;

// The system's folder dialog (Windows Vista and later).
static bool ShowFolderDialog(HWND owner, wchar_t *folder)
{
    HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    IFileOpenDialog *dialog = nullptr;
    IShellItem *item = nullptr;
    wchar_t *path = nullptr;
    DWORD options = 0;
    HRESULT hr = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                  reinterpret_cast<void **>(&dialog));
    if (SUCCEEDED(hr))
        hr = dialog->GetOptions(&options);
    if (SUCCEEDED(hr))
        hr = dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    if (SUCCEEDED(hr))
        hr = dialog->SetTitle(TEXT_CHOOSE_FOLDER);
    if (SUCCEEDED(hr))
        hr = dialog->Show(owner);
    if (SUCCEEDED(hr))
        hr = dialog->GetResult(&item);
    if (SUCCEEDED(hr))
        hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
    bool chosen = SUCCEEDED(hr) && lstrlenW(path) < MAX_PATH;
    if (chosen) {
        lstrcpyW(folder, path);
    } else if (SUCCEEDED(hr)) {
        // Chosen, but longer than any path the program takes: said, not taken for a cancel.
        char shown[4 * MAX_PATH];
        ShowWideText(path, shown, sizeof shown);
        PrintStatus(MSG_PATH_TOO_LONG, shown);
    }
    CoTaskMemFree(path);
    if (item)
        item->Release();
    if (dialog)
        dialog->Release();
    if (SUCCEEDED(apartment))
        CoUninitialize();
    return chosen;
}

FolderDialogFunction g_chooseFolder = ShowFolderDialog;

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
}

// The dialog works on a larger copy of g_pathBuffer. A name that fits in 260
// characters may need more than 260 bytes of UTF-8, and some versions then cut
// it to the buffer, unterminated, without saying so. With room to spare, such
// a name arrives whole and is refused whole: the user learns why.
static int RunFileDialog(FileDialogFunction show, OPENFILENAMEA *dialogInfo)
{
    char chosen[4 * kPathBufferSize];
    lstrcpynA(chosen, g_pathBuffer, sizeof(chosen));
    dialogInfo->lpstrFile = chosen;
    dialogInfo->nMaxFile = sizeof(chosen);
    if (!show(dialogInfo))
        return 0;
    chosen[sizeof(chosen) - 1] = '\0';
    if (lstrlenA(chosen) >= int(kPathBufferSize)) {
        PrintStatus(MSG_PATH_TOO_LONG, chosen);
        return 0;
    }
    lstrcpyA(g_pathBuffer, chosen);
    return 1;
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
    return RunFileDialog(g_getOpenFileName, &dialogInfo);
}

int ChooseOutputFile(HWND dialog)
{
    OPENFILENAMEA dialogInfo;
    PrepareFileDialog(&dialogInfo, dialog);
    dialogInfo.lpstrFilter = kOutputFilter;
    dialogInfo.lpstrTitle = TEXT_CHOOSE_OUTPUT;
    dialogInfo.Flags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY;
    dialogInfo.lpstrDefExt = "shp";
    return RunFileDialog(g_getSaveFileName, &dialogInfo);
}

int ChooseFolder(HWND owner, char *folder)
{
    wchar_t chosen[MAX_PATH];
    if (!g_chooseFolder(owner, chosen))
        return 0;
    ProgramPathResult result = ToProgramPath(chosen, folder, kPathBufferSize);
    if (result != PATH_CONVERTED) {
        char shown[4 * MAX_PATH];
        ShowWideText(chosen, shown, sizeof shown);
        PrintStatus(result == PATH_TOO_LONG ? MSG_PATH_TOO_LONG : MSG_PATH_UNUSABLE, shown);
    }
    return result == PATH_CONVERTED;
}
