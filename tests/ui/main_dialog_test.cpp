// The list commands, the choosers and the dialog's own commands, run against
// the real dialog.
#include <cstring>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/file_choosers.h"
#include "ui/main_dialog.h"
#include "ui/ui_texts.h"

using Strings = std::vector<std::string>;

TEST_F(DialogTest, StartsWithWarningWhileHiddenAndConvertDisabled)
{
    ASSERT_EQ(g_messageBoxes.size(), 1u);
    EXPECT_EQ(g_messageBoxes[0].owner, dialog_);
    EXPECT_EQ(g_messageBoxes[0].text, TEXT_WARNING);
    EXPECT_EQ(g_messageBoxes[0].caption, "Kestrane");
    EXPECT_EQ(g_messageBoxes[0].type, UINT(MB_ICONWARNING));
    EXPECT_FALSE(g_messageBoxes[0].ownerVisible);
    EXPECT_EQ(Status(), MSG_STARTUP);
    EXPECT_FALSE(ConvertEnabled());
    EXPECT_EQ(g_mainDialog, dialog_);
}

TEST_F(DialogTest, AddKeepsRowsSortedAndEntriesInRowOrder)
{
    Add("C:\\a\\z.png");
    Add("C:\\a\\b.png");
    EXPECT_EQ(Rows(), (Strings{"b.png", "z.png"}));
    EXPECT_EQ(Entries(), (Strings{"C:\\a\\b.png", "C:\\a\\z.png"}));

    // The text order decides the frames, not the order of adding.
    Add("C:\\f\\frame2.png");
    Add("C:\\f\\frame10.png");
    EXPECT_EQ(Rows(), (Strings{"b.png", "frame10.png", "frame2.png", "z.png"}));
    ExpectRowsMatchEntries();

    // The same file twice is two frames.
    Add("C:\\a\\b.png");
    EXPECT_EQ(Rows(), (Strings{"b.png", "b.png", "frame10.png", "frame2.png", "z.png"}));
    ExpectRowsMatchEntries();
}

TEST_F(DialogTest, AddIgnoresCancelAndPathsWithoutDirectory)
{
    Command(IDC_ADD);  // nothing queued: the user cancels
    for (const char *path : {"z.png", "\\z.png", ""})
        Add(path);
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(g_sourceList->count, 0);
    EXPECT_FALSE(ConvertEnabled());
}

TEST_F(DialogTest, ConvertEnabledExactlyWhileListHoldsEntries)
{
    Add("C:\\a\\one.png");
    EXPECT_TRUE(ConvertEnabled());
    Add("C:\\a\\two.png");
    Command(IDC_REMOVE);  // nothing selected
    EXPECT_EQ(Rows().size(), 2u);
    Select(1);
    Command(IDC_REMOVE);
    EXPECT_TRUE(ConvertEnabled());
    EXPECT_EQ(Rows(), (Strings{"one.png"}));
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), LB_ERR);
    Select(0);
    Command(IDC_REMOVE);
    EXPECT_FALSE(ConvertEnabled());
    EXPECT_EQ(g_sourceList->count, 0);
    Add("C:\\a\\three.png");
    EXPECT_TRUE(ConvertEnabled());
    ExpectRowsMatchEntries();
}

TEST_F(DialogTest, RemoveSelectsTheRowThatMovedUp)
{
    for (const char *path : {"C:\\a\\1.png", "C:\\a\\2.png", "C:\\a\\3.png"})
        Add(path);
    Select(1);
    Command(IDC_REMOVE);
    EXPECT_EQ(Entries(), (Strings{"C:\\a\\1.png", "C:\\a\\3.png"}));
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), 1);
}

TEST_F(DialogTest, UpAndDownMoveRowEntryAndSelectionTogether)
{
    for (const char *path : {"C:\\a\\1.png", "C:\\a\\2.png", "C:\\a\\3.png"})
        Add(path);
    Select(0);
    Command(IDC_UP);  // first row: nothing happens
    Select(2);
    Command(IDC_DOWN);  // last row: nothing happens
    EXPECT_EQ(Rows(), (Strings{"1.png", "2.png", "3.png"}));
    ExpectRowsMatchEntries();

    Command(IDC_UP);
    Command(IDC_UP);  // the selection follows the moved row
    EXPECT_EQ(Rows(), (Strings{"3.png", "1.png", "2.png"}));
    ExpectRowsMatchEntries();
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), 0);

    Command(IDC_DOWN);
    EXPECT_EQ(Rows(), (Strings{"1.png", "3.png", "2.png"}));
    ExpectRowsMatchEntries();
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), 1);

    // Moved rows stay where they were put; a new row is sorted among them.
    Add("C:\\a\\0.png");
    ExpectRowsMatchEntries();
}

TEST_F(DialogTest, OpenDialogAfterDownStartsFromMovedRowText)
{
    Add("C:\\a\\first.png");
    Add("C:\\a\\second.png");
    Select(0);
    Command(IDC_DOWN);
    Command(IDC_ADD);  // cancelled, but it shows where it started
    ASSERT_FALSE(g_initialNames.empty());
    EXPECT_EQ(g_initialNames.back(), "first.png");
    // Before that, each dialog started from the path chosen last.
    EXPECT_EQ(g_initialNames[1], "C:\\a\\first.png");
}

TEST_F(DialogTest, AllocationFailuresKeepRowsAndEntriesOneToOne)
{
    Add("C:\\a\\1.png");
    Add("C:\\a\\2.png");
    // 0: the path copy fails; 1: the list's new array fails.
    for (int successes : {0, 1}) {
        SCOPED_TRACE(successes);
        SetAllocFailureAfter(successes);
        Add("C:\\a\\0.png");
        SetAllocFailureAfter(-1);
        EXPECT_EQ(Rows(), (Strings{"1.png", "2.png"}));
        ExpectRowsMatchEntries();
        EXPECT_EQ(Status(), MSG_MEMORY_ERROR);
    }
    Select(0);
    SetAllocFailureAfter(0);
    Command(IDC_REMOVE);
    SetAllocFailureAfter(-1);
    EXPECT_EQ(Rows(), (Strings{"1.png", "2.png"}));
    ExpectRowsMatchEntries();
    EXPECT_TRUE(ConvertEnabled());
}

TEST_F(DialogTest, ConvertWithEmptyListOnlyReportsNothingSelected)
{
    SetDlgItemTextA(dialog_, IDC_DEST, "C:\\out.shp");
    Command(IDOK);  // also how File > Convert arrives while the button is disabled
    EXPECT_EQ(Status(), MSG_NOTHING_SELECTED);
    EXPECT_EQ(GetFileAttributesA("C:\\out.shp"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DialogTest, ConvertReportsUnreadableSourceInStatusLine)
{
    Add("C:\\no such dir\\missing.png");
    SetDlgItemTextA(dialog_, IDC_DEST, "C:\\out.shp");
    Command(IDOK);
    EXPECT_EQ(Status(), "Can't read image file: C:\\no such dir\\missing.png");
}

TEST_F(DialogTest, BrowseSetsDestinationUnlessCancelled)
{
    SetDlgItemTextA(dialog_, IDC_DEST, "C:\\typed.shp");
    Command(IDC_BROWSE);  // cancelled
    char text[MAX_PATH];
    GetDlgItemTextA(dialog_, IDC_DEST, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\typed.shp");

    g_chosenPaths.push_back("C:\\out\\chosen.shp");
    Command(IDC_BROWSE);
    GetDlgItemTextA(dialog_, IDC_DEST, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\out\\chosen.shp");

    ASSERT_EQ(g_openDialogs.size(), 2u);
    const OPENFILENAMEA &save = g_openDialogs[1];
    EXPECT_EQ(save.lStructSize, 76u);
    EXPECT_STREQ(save.lpstrTitle, "Choose output file");
    EXPECT_EQ(0, std::memcmp(save.lpstrFilter, "SHP file (*.shp)\0*.shp\0", 24));
    EXPECT_EQ(save.Flags, DWORD(OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY));
    EXPECT_STREQ(save.lpstrDefExt, "shp");
    EXPECT_EQ(save.hwndOwner, dialog_);
}

TEST_F(DialogTest, OpenDialogUsesSharedBufferAndMustExistFlag)
{
    Add("C:\\a\\b.png");
    ASSERT_EQ(g_openDialogs.size(), 1u);
    const OPENFILENAMEA &open = g_openDialogs[0];
    EXPECT_EQ(open.lStructSize, 76u);
    EXPECT_EQ(open.lpstrFile, g_pathBuffer);
    EXPECT_EQ(open.nMaxFile, 260u);
    EXPECT_STREQ(open.lpstrTitle, "Choose input file");
    EXPECT_EQ(open.Flags, DWORD(OFN_ENABLESIZING | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
    EXPECT_STREQ(open.lpstrDefExt, "png");
}

TEST_F(DialogTest, AboutShowsInformationBox)
{
    Command(IDM_ABOUT);
    ASSERT_EQ(g_messageBoxes.size(), 2u);
    EXPECT_EQ(g_messageBoxes[1].text, TEXT_ABOUT);
    EXPECT_EQ(g_messageBoxes[1].caption, "About...");
    EXPECT_EQ(g_messageBoxes[1].type, UINT(MB_ICONINFORMATION));
}

struct FilterCase {
    bool png, gif, jpg;
    const char *description, *pattern;
};

class OpenFilterTest : public testing::TestWithParam<FilterCase> {};

TEST_P(OpenFilterTest, DescribesExactlyTheTypesFound)
{
    const FilterCase &c = GetParam();
    char filter[kOpenFilterSize];
    std::memset(filter, 'x', sizeof(filter));
    BuildOpenFilter(filter, c.png, c.gif, c.jpg);
    EXPECT_STREQ(filter, c.description);
    const char *pattern = filter + std::strlen(filter) + 1;
    EXPECT_STREQ(pattern, c.pattern);
    EXPECT_EQ(pattern[std::strlen(pattern) + 1], '\0') << "the list must end with an empty string";
}

INSTANTIATE_TEST_SUITE_P(
    Types, OpenFilterTest,
    testing::Values(FilterCase{true, true, true, "Images files(*.png *.gif *.jpg )", "*.png;*.gif;*.jpg"},
                    FilterCase{false, false, true, "Images files(*.jpg )", "*.jpg"},
                    FilterCase{false, true, false, "Images files(*.gif )", "*.gif"},
                    FilterCase{true, false, true, "Images files(*.png *.jpg )", "*.png;*.jpg"}));
