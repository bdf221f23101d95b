#include "ui/file_choosers.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "core/messages.h"
#include "core/program_path.h"
#include "core/status.h"
#include "ui/main_dialog.h"
#include "ui/ui_texts.h"

char g_pathBuffer[kPathBufferSize];
FileDialogFunction g_getOpenFileName = GetOpenFileNameW;
FileDialogFunction g_getSaveFileName = GetSaveFileNameW;

// The folder tree, only where the system has no folder dialog (before
// Vista): there the user can make a new folder too.
static bool ShowFolderTree(HWND owner, wchar_t *folder)
{
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.lpszTitle = TEXT_CHOOSE_FOLDER;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    bool got = chosen && SHGetPathFromIDListW(chosen, folder);
    CoTaskMemFree(chosen);
    return got;
}

// The system's folder dialog (Windows Vista and later), in which a new folder
// can be made.
static bool ShowFolderDialog(HWND owner, wchar_t *folder)
{
    HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    IFileOpenDialog *dialog = nullptr;
    IShellItem *item = nullptr;
    wchar_t *path = nullptr;
    DWORD options = 0;
    const HRESULT created = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IFileOpenDialog, reinterpret_cast<void **>(&dialog));
    HRESULT hr = created;
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
    if (FAILED(created))
        chosen = ShowFolderTree(owner, folder);
    if (SUCCEEDED(apartment))
        CoUninitialize();
    return chosen;
}

FolderDialogFunction g_chooseFolder = ShowFolderDialog;

static const wchar_t kOutputFilter[] = L"SHP file (*.shp)\0*.shp\0";

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

static void PrepareFileDialog(OPENFILENAMEW *dialogInfo, HWND owner)
{
    ZeroMemory(dialogInfo, sizeof(*dialogInfo));
    // The 76-byte form, understood by every system version.
    dialogInfo->lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialogInfo->hwndOwner = owner;
    dialogInfo->hInstance = g_instance;
}

// The wide dialog, whose choice is converted here as every other path is:
// the ANSI one would hand over a look-alike for a character the code page
// lacks. A name too long for g_pathBuffer, or not exactly in the code page,
// is refused whole: the user learns why.
static int RunFileDialog(FileDialogFunction show, OPENFILENAMEW *dialogInfo)
{
    wchar_t chosen[4 * kPathBufferSize];
    if (!MultiByteToWideChar(CP_ACP, 0, g_pathBuffer, -1, chosen, int(sizeof chosen / sizeof *chosen)))
        chosen[0] = L'\0';
    dialogInfo->lpstrFile = chosen;
    dialogInfo->nMaxFile = sizeof chosen / sizeof *chosen;
    if (!show(dialogInfo))
        return 0;
    chosen[sizeof chosen / sizeof *chosen - 1] = L'\0';
    char path[kPathBufferSize];
    ProgramPathResult result = ToProgramPath(chosen, path, sizeof path);
    if (result != PATH_CONVERTED) {
        char shown[4 * kPathBufferSize];
        ShowWideText(chosen, shown, sizeof shown);
        PrintStatus(result == PATH_TOO_LONG ? MSG_PATH_TOO_LONG : MSG_PATH_UNUSABLE, shown);
        return 0;
    }
    lstrcpyA(g_pathBuffer, path);
    return 1;
}

int ChooseInputFile(HWND dialog)
{
    // Rebuilt every time: filters may have been installed or removed since.
    char filter[kOpenFilterSize];
    BuildOpenFilter(filter, HasImportFilter("PNG"), HasImportFilter("GIF"), HasImportFilter("JPG"));
    wchar_t wideFilter[kOpenFilterSize];  // plain ASCII, its inner terminators too
    MultiByteToWideChar(CP_ACP, 0, filter, int(kOpenFilterSize), wideFilter, int(kOpenFilterSize));
    OPENFILENAMEW dialogInfo;
    PrepareFileDialog(&dialogInfo, dialog);
    dialogInfo.lpstrFilter = wideFilter;
    dialogInfo.lpstrTitle = TEXT_CHOOSE_INPUT;
    dialogInfo.Flags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    dialogInfo.lpstrDefExt = L"png";
    return RunFileDialog(g_getOpenFileName, &dialogInfo);
}

int ChooseOutputFile(HWND dialog)
{
    OPENFILENAMEW dialogInfo;
    PrepareFileDialog(&dialogInfo, dialog);
    dialogInfo.lpstrFilter = kOutputFilter;
    dialogInfo.lpstrTitle = TEXT_CHOOSE_OUTPUT;
    dialogInfo.Flags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY;
    dialogInfo.lpstrDefExt = L"shp";
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
