// The list commands, the file choosers and the dialog's own commands, run
// against the real dialog.
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
    EXPECT_EQ(g_messageBoxes[0].type, UINT(MB_ICONWARNING));
    EXPECT_FALSE(g_messageBoxes[0].ownerVisible);
    EXPECT_EQ(Status(), MSG_STARTUP);
    EXPECT_FALSE(ConvertEnabled());
}

TEST_F(DialogTest, AddKeepsRowsSortedAndEntriesInRowOrder)
{
    Add("C:\\a\\z.png");
    Add("C:\\a\\b.png");
    EXPECT_EQ(Rows(), (Strings{"b.png", "z.png"}));
    EXPECT_EQ(Entries(), (Strings{"C:\\a\\b.png", "C:\\a\\z.png"}));
    // The text order decides the frames, not the order of adding; the same
    // file twice is two frames.
    for (const char *path : {"C:\\f\\frame2.png", "C:\\f\\frame10.png", "C:\\a\\b.png"})
        Add(path);
    EXPECT_EQ(Rows(), (Strings{"b.png", "b.png", "frame10.png", "frame2.png", "z.png"}));
    ExpectRowsMatchEntries();
    // Cancelled, or no directory in the path: nothing is added.
    Command(IDC_ADD);
    for (const char *path : {"z.png", "\\z.png", ""})
        Add(path);
    EXPECT_EQ(Rows().size(), 5u);
    ExpectRowsMatchEntries();
}

TEST_F(DialogTest, ConvertEnabledExactlyWhileListHoldsEntries)
{
    for (const char *path : {"C:\\a\\1.png", "C:\\a\\2.png", "C:\\a\\3.png"})
        Add(path);
    EXPECT_TRUE(ConvertEnabled());
    Command(IDC_REMOVE);  // nothing selected
    EXPECT_EQ(Rows().size(), 3u);
    Select(1);
    Command(IDC_REMOVE);  // the row that moved up is selected next
    EXPECT_EQ(Entries(), (Strings{"C:\\a\\1.png", "C:\\a\\3.png"}));
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), 1);
    Command(IDC_REMOVE);
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_TRUE(ConvertEnabled());
    Select(0);
    Command(IDC_REMOVE);
    EXPECT_FALSE(ConvertEnabled());
    EXPECT_EQ(g_sourceList->count, 0);
    Add("C:\\a\\4.png");
    EXPECT_TRUE(ConvertEnabled());
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

    Command(IDC_UP);
    Command(IDC_UP);  // the selection follows the moved row
    EXPECT_EQ(Rows(), (Strings{"3.png", "1.png", "2.png"}));
    ExpectRowsMatchEntries();
    Command(IDC_DOWN);
    EXPECT_EQ(Rows(), (Strings{"1.png", "3.png", "2.png"}));
    ExpectRowsMatchEntries();
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), 1);

    // The next open dialog starts from the text Down moved.
    Command(IDC_ADD);
    EXPECT_EQ(g_initialNames.back(), "3.png");
    EXPECT_EQ(g_initialNames[1], "C:\\a\\1.png");  // before that, from the last choice
}

// Add's failures are a drop's: drop_preview_test.cpp makes each allocation fail.
TEST_F(DialogTest, RemoveKeepsRowAndEntryWhenAllocationFails)
{
    Add("C:\\a\\1.png");
    Add("C:\\a\\2.png");
    Select(0);
    SetAllocFailureAfter(0);
    Command(IDC_REMOVE);
    SetAllocFailureAfter(-1);
    EXPECT_EQ(Rows(), (Strings{"1.png", "2.png"}));
    ExpectRowsMatchEntries();
    EXPECT_EQ(Status(), MSG_MEMORY_ERROR);
}

TEST_F(DialogTest, ConvertWithEmptyListOnlyReportsNothingSelected)
{
    SetDlgItemTextA(dialog_, IDC_DEST, "C:\\out.shp");
    Command(IDOK);  // also how File > Convert arrives while the button is disabled
    EXPECT_EQ(Status(), MSG_NOTHING_SELECTED);
    EXPECT_EQ(GetFileAttributesA("C:\\out.shp"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DialogTest, FileDialogsShareThePathBuffer)
{
    SetDlgItemTextA(dialog_, IDC_DEST, "C:\\typed.shp");
    Command(IDC_BROWSE);  // cancelled: the destination stays
    g_chosenPaths.push_back("C:\\out\\chosen.shp");
    Command(IDC_BROWSE);
    char text[MAX_PATH];
    GetDlgItemTextA(dialog_, IDC_DEST, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\out\\chosen.shp");
    Add("C:\\a\\b.png");
    EXPECT_EQ(g_initialNames[2], "C:\\out\\chosen.shp");
    // A name longer than every path may be is refused whole, never cut.
    g_chosenPaths.push_back("C:\\" + std::string(300, 'x'));
    Command(IDC_BROWSE);
    GetDlgItemTextA(dialog_, IDC_DEST, text, sizeof(text));
    EXPECT_STREQ(text, "C:\\out\\chosen.shp");
    EXPECT_EQ(Status(), "Error: The path is too long: C:\\" + std::string(300, 'x'));

    ASSERT_EQ(g_openDialogs.size(), 4u);
    const OPENFILENAMEA &save = g_openDialogs[1], &open = g_openDialogs[2];
    for (const OPENFILENAMEA *dialog : {&save, &open}) {
        EXPECT_EQ(dialog->lStructSize, 76u);
        EXPECT_EQ(dialog->hwndOwner, dialog_);
    }
    EXPECT_STREQ(save.lpstrTitle, "Choose output file");
    EXPECT_EQ(0, std::memcmp(save.lpstrFilter, "SHP file (*.shp)\0*.shp\0", 24));
    EXPECT_EQ(save.Flags, DWORD(OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY));  // replaces silently
    EXPECT_STREQ(open.lpstrTitle, "Choose input file");
    EXPECT_EQ(open.Flags, DWORD(OFN_ENABLESIZING | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
}

TEST(OpenFilter, OffersExactlyTheTypesFound)
{
    const struct {
        bool png, gif, jpg;
        const char *description, *pattern;
    } cases[] = {{true, true, true, "Images files(*.png *.gif *.jpg )", "*.png;*.gif;*.jpg"},
                 {false, false, true, "Images files(*.jpg )", "*.jpg"},
                 {true, false, true, "Images files(*.png *.jpg )", "*.png;*.jpg"}};
    for (const auto &c : cases) {
        char filter[kOpenFilterSize];
        std::memset(filter, 'x', sizeof(filter));
        BuildOpenFilter(filter, c.png, c.gif, c.jpg);
        EXPECT_STREQ(filter, c.description);
        const char *pattern = filter + std::strlen(filter) + 1;
        EXPECT_STREQ(pattern, c.pattern);
        EXPECT_EQ(pattern[std::strlen(pattern) + 1], '\0') << "the list must end with an empty string";
    }
}
