// Finding the filter registered for an extension.
#include <gtest/gtest.h>

#include <string>

#include "core/program_path.h"
#include "import/filter_lookup.h"
#include "tests/support/filter_registrations.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ExtensionListContains, MatchesWholeEntriesAndEndingsInAnyCase)
{
    const std::string longEntry(300, 'x'), longList = std::string(250, 'y') + ",png",
                                           longEntryThenGif = longEntry + ",gif";
    const struct {
        const char *list, *extension;
        int expected;
    } cases[] = {
        {"jpg,jpeg,jfif,jpe", "JPE", 1},  // first found inside jpeg, then at the end
        {"jpeg", "jpe", 0},
        {"DIB\tBMP", "dib", 1},
        {"apng", "png", 1},      // an entry's ending counts, as it always did
        {"gif,png", "if,p", 0},  // separators never match inside an extension
        {"gif", "", 0},
        {longList.c_str(), "PNG", 1},                      // beyond the 255 characters one compare holds
        {longEntryThenGif.c_str(), "gif", 1},              // an overlong entry is passed over
        {longEntryThenGif.c_str(), longEntry.c_str(), 0},  // overlong extension
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, ExtensionListContains(c.list, c.extension)) << c.list << " / " << c.extension;
}

// Wide paths into a given code page, so that a look-alike is caught under any system setting.
TEST(WideToCodePage, ConvertsExactlyOrRefuses)
{
    const std::wstring tooLong(260, L'a');
    const struct {
        unsigned codePage;
        const wchar_t *wide;
        ProgramPathResult expected;
        const char *text;                                      // what it holds afterwards
    } rows[] = {{1252, L"\x0142odka.png", PATH_UNUSABLE, ""},  // no "lodka.png"
                {1252, L"caf\xe9.png", PATH_CONVERTED, "caf\xe9.png"},
                {1252, tooLong.c_str(), PATH_TOO_LONG, ""},
                {65001, L"\x0142odka.png", PATH_CONVERTED, "\xc5\x82odka.png"},
                {65001, L"caf\xe9.png", PATH_CONVERTED, "caf\xc3\xa9.png"},
                {65001, L"\xd800.png", PATH_UNUSABLE, ""}};  // a lone surrogate
    for (const auto &row : rows) {
        char text[MAX_PATH] = "sentinel";
        EXPECT_EQ(WideToCodePage(row.codePage, row.wide, text, sizeof text), row.expected) << row.text;
        EXPECT_STREQ(text, row.text) << row.codePage;
    }
}

// Extensions no real filter registers: the prefix may hold ours, a machine
// others'. Only a filter whose library exists serves.
TEST(FindImportFilter, ReadsThePathOfTheFirstUsableMatch)
{
    TempDir dir;
    const auto library = [&](const std::string &name) {
        WriteBytes(dir.Path(name), {0});
        return dir.Path(name);
    };
    const std::string a = library("a.flt"), usable = library("usable.flt"),
                      longPath = library(std::string(100, 'p') + ".flt");
    FilterRegistrations registry;
    // Made second, listed first: the registry lists subkeys in name order.
    registry.Add("two b", "kstdup", library("b.flt").c_str());
    registry.Add("two a", "kstdup", a.c_str());
    registry.Add("0 gone", "kstdup", dir.Path("gone.flt").c_str());
    registry.Add("1 no extensions", nullptr, usable.c_str());
    registry.Add("2 not a string", "kstskip", usable.c_str(), REG_BINARY);
    registry.Add("3 overlong", (std::string(300, 'q') + ",kstskip").c_str(), usable.c_str());
    registry.Add("4 no path", "kstnopath", nullptr);
    registry.Add("5 usable", "kstskip", usable.c_str());
    registry.Add("6 long path", "kstlong", longPath.c_str());
    // A Path the code page cannot hold exactly names no file, not its look-alike.
    const std::wstring exact = (dir.Root() / L"\u0142x.flt").wstring();
    WriteBytes(dir.Path("lx.flt"), {0}), std::ofstream(std::filesystem::path(exact)) << 0;
    registry.Add("7 code page", "kstcp", nullptr);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"" FILTER_ROOT_KEY L"\\KestraneTest 7 code page", L"Path", REG_SZ,
                    exact.c_str(), DWORD(2 * exact.size() + 2));
    // A relative Path names another file in each process: passed over even where it names one here.
    registry.Add("8 relative", "kstrel", "usable.flt");
    registry.Add("8 relative dot", "kstrel", ".\\usable.flt");
    registry.Add("9 full", "kstrel", usable.c_str());
    const std::filesystem::path previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(dir.Root());
    char inCodePage[MAX_PATH];
    const bool held = WideToCodePage(GetACP(), exact.c_str(), inCodePage, MAX_PATH) == PATH_CONVERTED;
    // The path read into a buffer of `size` bytes; "unchanged": found, the buffer left as it was.
    const auto find = [](const char *extension, DWORD size = MAX_PATH) {
        char path[MAX_PATH] = "unchanged";
        return std::string(FindImportFilter(path, &size, extension) ? path : "none");
    };
    EXPECT_EQ(find("KSTDUP"), a);
    EXPECT_EQ(find("kstskip"), usable);
    EXPECT_EQ(find("kstnopath"), "none");
    EXPECT_EQ(find("kstlong"), longPath);
    EXPECT_EQ(find("kstlong", DWORD(longPath.size())), "unchanged");
    EXPECT_EQ(find("kstnothing"), "none");
    EXPECT_EQ(find("kstcp"), held ? inCodePage : "none");
    EXPECT_EQ(find("kstrel"), usable);
    std::filesystem::current_path(previousFolder);
    EXPECT_EQ(0, FindImportFilter(nullptr, nullptr, nullptr));
    EXPECT_EQ(1, FindImportFilter(nullptr, nullptr, "kstdup"));  // presence only
}

}  // namespace
