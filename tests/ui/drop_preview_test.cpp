// Drops, the preview and a conversion's progress, with real images decoded by
// the stand-in filter of tests/filters, registered for ".kui" files.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/source_list.h"
#include "core/status.h"
#include "tests/import/import_support.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_fixture.h"
#include "ui/preview.h"

using Strings = std::vector<std::string>;

namespace {

class FilterDialogTest : public DialogTest {
  protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        registry_.Add(
            "ui", "kui",
            (std::string(exe, strrchr(exe, '\\')) + "\\..\\import\\kst_filter_current.dll").c_str());
    }
    std::string Image(const std::string &name, int width, int height, const PixelFunction &pixel = Gradient)
    {
        WriteBytes(temp_.Path(name), MakeFilterImage(0, 0, width, height, pixel));
        return temp_.Path(name);
    }
    // A drop as Explorer hands it over: a DROPFILES block, then each path and its NUL, then one more NUL.
    static HGLOBAL MakeDrop(const Strings &paths)
    {
        std::string names;
        for (const std::string &path : paths)
            names += path + '\0';
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() + 1);
        auto *drop = static_cast<DROPFILES *>(GlobalLock(block));
        drop->pFiles = sizeof(DROPFILES);
        std::memcpy(drop + 1, names.data(), names.size());
        GlobalUnlock(block);
        return block;
    }
    void Drop(const Strings &paths) { SendMessageA(dialog_, WM_DROPFILES, WPARAM(MakeDrop(paths)), 0); }

    FilterRegistrations registry_;
    TempDir temp_;
};

TEST_F(FilterDialogTest, DropAddsAsAddDoesAndSaysWhatItSkipped)
{
    CreateDirectoryA(temp_.Path("set").c_str(), nullptr);
    CreateDirectoryA(temp_.Path("set\\sub").c_str(), nullptr);  // not entered
    for (const char *name :
         {"set\\b.kui", "set\\a.kui", "set\\notes.txt", "set\\sub\\c.kui", "z.kui", "y.bin"})
        WriteBytes(temp_.Path(name), {1});
    // Rows already there, out of sorted order after Up, stay in theirs.
    Add("C:\\k\\m.kui");
    Add("C:\\k\\n.kui");
    Select(1);
    Command(IDC_UP);
    Drop({temp_.Path("y.bin"), temp_.Path("set"), "C:\\" + std::string(260, 'x') + ".kui",
          temp_.Path("z.kui")});
    char status[kStatusBufferSize];
    std::snprintf(status, sizeof status, MSG_DROP_SKIPPED_BOTH, 3, 3, 2, 1);
    EXPECT_EQ(Status(), status);
    Strings rows = Rows(), entries = Entries(),
            added = {"C:\\k\\m.kui", "C:\\k\\n.kui", temp_.Path("set\\a.kui"), temp_.Path("set\\b.kui"),
                     temp_.Path("z.kui")};
    EXPECT_LT(std::find(rows.begin(), rows.end(), "n.kui"), std::find(rows.begin(), rows.end(), "m.kui"));
    std::sort(entries.begin(), entries.end());
    std::sort(added.begin(), added.end());
    EXPECT_EQ(entries, added);
    ExpectRowsMatchEntries();

    // Each allocation of a drop failing in turn: rows and entries stay one to one.
    for (int successes = 0; successes < 4; successes++) {
        SetAllocFailureAfter(successes);
        Drop({temp_.Path("set")});
        SetAllocFailureAfter(-1);
        ExpectRowsMatchEntries();
        EXPECT_EQ(Status(), MSG_MEMORY_ERROR) << successes;
    }
}

TEST_F(FilterDialogTest, PreviewShowsEachRowAsItsFrameWillHoldIt)
{
    // Colours that lose low bits in RGB565, and what the frame shows of them.
    const std::pair<Rgb, uint32_t> pixels[] = {{{255, 255, 255}, 0xFFFFFF}, {{128, 64, 32}, 0x844121},
                                               {{7, 3, 250}, 0x0000FF},     {{200, 100, 50}, 0xCE6531},
                                               {{9, 13, 17}, 0x080C10},     {{0, 255, 0}, 0x00FF00}};
    Add(Image("a.kui", 3, 2, [&](int x, int y) { return pixels[3 * y + x].first; }));
    Add(Image("b.kui", 3, 3));
    WriteBytes(temp_.Path("c.kui"), {1, 2, 3});
    Add(temp_.Path("c.kui"));
    Strings entries = Entries();

    HWND preview = OpenPreview(dialog_, 0);
    ASSERT_NE(preview, nullptr);
    const PreviewFrame *frame = ShownPreviewFrame();
    ASSERT_EQ(frame->state, FRAME_SHOWN);
    ASSERT_EQ(frame->width * frame->height, 6u);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(frame->pixels[i], pixels[i].second) << "pixel " << i;

    const char *b =
        "Preview - 2 of 3: b.kui - 3 x 3 - not the size of the first image (3 x 2): Convert would stop here";
    const char *c = "Preview - 3 of 3: c.kui - can't be read";
    const struct {
        UINT message;
        WPARAM key;
        const char *caption;
    } steps[] = {{0, 0, "Preview - 1 of 3: a.kui - 3 x 2"},
                 {WM_KEYDOWN, VK_RIGHT, b},
                 {WM_KEYDOWN, VK_NEXT, c},
                 {WM_KEYDOWN, VK_NEXT, c},  // the last row stays
                 {WM_KEYDOWN, VK_SPACE, c},
                 {WM_TIMER, 1, "Preview - 1 of 3: a.kui - 3 x 2"},           // playing goes round
                 {WM_KEYDOWN, VK_RIGHT, "Preview - 1 of 3: a.kui - 3 x 2"},  // any key stops, and only stops
                 {WM_KEYDOWN, VK_END, c}};
    for (const auto &step : steps) {
        SendMessageA(preview, step.message, step.key, 0);
        char caption[512];
        GetWindowTextA(preview, caption, sizeof caption);
        EXPECT_STREQ(caption, step.caption) << "after key " << step.key;
    }
    SendMessageA(preview, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindow(preview));
    EXPECT_EQ(Entries(), entries);
    EXPECT_EQ(SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_GETCURSEL, 0, 0), 2);  // the row last shown
}

// Each text the status line is given, marked when Add was locked then.
std::vector<std::string> g_statusTexts;
WNDPROC g_statusProc;
LRESULT CALLBACK RecordStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        g_statusTexts.push_back(std::string(reinterpret_cast<const char *>(lParam)) +
                                (IsWindowEnabled(GetDlgItem(GetParent(window), IDC_ADD)) ? "" : " [locked]"));
    return CallWindowProcA(g_statusProc, window, message, wParam, lParam);
}

TEST_F(FilterDialogTest, ConversionShowsProgressAndHandlesWaitingMessagesWithTheListLocked)
{
    Add(Image("a.kui", 2, 2));
    Add(Image("b.kui", 2, 2));
    SetDlgItemTextA(dialog_, IDC_DEST, temp_.Path("out.shp").c_str());
    g_statusProc =
        WNDPROC(SetWindowLongPtrA(GetDlgItem(dialog_, IDC_STATUS), GWLP_WNDPROC, LONG_PTR(RecordStatus)));
    Select(0);
    PostMessageA(dialog_, WM_COMMAND, IDC_REMOVE, 0);
    PostMessageA(dialog_, WM_DROPFILES, WPARAM(MakeDrop({Image("c.kui", 2, 2)})), 0);
    Command(IDOK);
    EXPECT_EQ(g_statusTexts,
              (Strings{"Converting image 1 of 2... [locked]", "Converting image 2 of 2... [locked]",
                       "Successfully finished [locked]"}));
    // What waited was handled during the job, and refused: handling it again now finds nothing.
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
        DispatchMessageA(&message);
    EXPECT_EQ(Rows(), (Strings{"a.kui", "b.kui"}));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, IDC_ADD)) && ConvertEnabled());
}

}  // namespace
