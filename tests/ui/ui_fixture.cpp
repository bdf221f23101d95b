#include "tests/ui/ui_fixture.h"

#include "core/core_alloc.h"
#include "core/source_list.h"
#include "res/resource.h"
#include "ui/file_choosers.h"
#include "ui/link_control.h"
#include "ui/main_dialog.h"
#include "ui/owner_menu.h"

std::vector<std::string> g_chosenPaths;
std::vector<RecordedMessageBox> g_messageBoxes;
std::vector<OPENFILENAMEA> g_openDialogs;
std::vector<std::string> g_initialNames;

static int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    g_messageBoxes.push_back({owner, text, caption, type, owner && IsWindowVisible(owner)});
    return IDOK;
}

static BOOL WINAPI ChooseQueuedPath(OPENFILENAMEA *dialog)
{
    g_openDialogs.push_back(*dialog);
    g_initialNames.push_back(dialog->lpstrFile);
    if (g_chosenPaths.empty())
        return FALSE;
    lstrcpynA(dialog->lpstrFile, g_chosenPaths.front().c_str(), int(dialog->nMaxFile));
    g_chosenPaths.erase(g_chosenPaths.begin());
    return TRUE;
}

void UiTest::SetUp()
{
    g_instance = GetModuleHandleA(nullptr);
    g_messageBox = RecordMessageBox;
    g_getOpenFileName = ChooseQueuedPath;
    g_getSaveFileName = ChooseQueuedPath;
    g_chosenPaths.clear();
    g_messageBoxes.clear();
    g_openDialogs.clear();
    g_initialNames.clear();
    g_pathBuffer[0] = '\0';
    RegisterLinkClass();
    CreateMenuBrushes();
}

void UiTest::TearDown()
{
    SetAllocFailureAfter(-1);
    DeleteMenuBrushes();
    DeleteLinkFont();
    g_messageBox = MessageBoxA;
    g_getOpenFileName = GetOpenFileNameA;
    g_getSaveFileName = GetSaveFileNameA;
}

void DialogTest::SetUp()
{
    UiTest::SetUp();
    g_sourceList = SourceListCreate();
    dialog_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
}

void DialogTest::TearDown()
{
    if (dialog_)
        DestroyWindow(dialog_);
    EXPECT_EQ(LiveMenuItemDataCount(), 0);
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    UiTest::TearDown();
}

std::vector<std::string> DialogTest::Rows() const
{
    std::vector<std::string> rows;
    int count = int(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++) {
        char text[MAX_PATH] = "";
        SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETTEXT, WPARAM(i), LPARAM(text));
        rows.push_back(text);
    }
    return rows;
}

std::vector<std::string> DialogTest::Entries() const
{
    std::vector<std::string> entries;
    for (int i = 0; i < g_sourceList->count; i++)
        entries.push_back(SourceListGet(g_sourceList, i));
    return entries;
}

std::string DialogTest::Status() const
{
    char text[512] = "";
    GetDlgItemTextA(dialog_, IDC_STATUS, text, sizeof(text));
    return text;
}

void DialogTest::ExpectRowsMatchEntries() const
{
    std::vector<std::string> rows = Rows(), entries = Entries();
    ASSERT_EQ(rows.size(), entries.size());
    for (size_t i = 0; i < rows.size(); i++)
        EXPECT_EQ(entries[i].substr(entries[i].rfind('\\') + 1), rows[i]) << "row " << i;
}
