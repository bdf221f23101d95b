// Finding the filter registered for an extension.
#include <gtest/gtest.h>

#include <string>

#include "import/filter_api.h"
#include "import/filter_lookup.h"
#include "tests/import/import_support.h"

namespace {

struct ListCase {
    const char *list;
    const char *extension;
    int expected;
};

TEST(ExtensionListContains, MatchesWholeEntriesAndEndings)
{
    const std::string longEntry(300, 'x');
    const std::string longList = std::string(250, 'y') + ",png";
    // Named, not temporaries: the cases outlive their initializer.
    const std::string longEntryThenGif = longEntry + ",gif";
    const ListCase cases[] = {
        {"jpg,jpeg,jfif,jpe", "JPE", 1},  // first found inside jpeg, then at the end
        {"jpeg", "jpe", 0},
        {"BMP\tDIB", "bmp", 1},
        {"BMP\tDIB", "dib", 1},
        {"apng", "png", 1},  // an entry's ending counts, as it always did
        {"png", "apng", 0},
        {"gif,png", "if,p", 0},  // separators never match inside an extension
        {"gif", "", 0},
        {"", "gif", 0},
        {"", "", 0},
        {longList.c_str(), "PNG", 1},                      // beyond the 255 characters one compare holds
        {longEntryThenGif.c_str(), "gif", 1},              // an overlong entry is passed over
        {longEntryThenGif.c_str(), longEntry.c_str(), 0},  // overlong extension
    };
    for (const ListCase &c : cases)
        EXPECT_EQ(c.expected, ExtensionListContains(c.list, c.extension)) << c.list << " / " << c.extension;
    EXPECT_EQ(0, ExtensionListContains(nullptr, "png"));
    EXPECT_EQ(0, ExtensionListContains("png", nullptr));
}

TEST(FindTextNoCase, ReturnsPositionInCallersText)
{
    const char *text = "Graphics Filters";
    EXPECT_EQ(text + 9, FindTextNoCase(text, "fILT"));
    EXPECT_EQ(nullptr, FindTextNoCase(text, "filtersx"));
    EXPECT_EQ(nullptr, FindTextNoCase(std::string(256, 'a').c_str(), "a"));
}

class FilterLookup : public ::testing::Test {
  protected:
    FilterRegistrations registry_;

    // The path found, "unchanged" when found without a usable path, "none".
    std::string PathFor(const char *extension, DWORD size = MAX_PATH)
    {
        char path[MAX_PATH] = "unchanged";
        if (!FindImportFilter(path, &size, extension))
            return "none";
        return path;
    }
};

TEST_F(FilterLookup, ReadsPathOfMatchingFilter)
{
    // Extensions no real filter registers: the prefix may hold ours, a
    // machine others' (the real names are in the table above).
    registry_.Add("jpeg", "kjpg,kjpeg,kjfif,kjpe", "C:\\filters\\jpeg.flt");
    registry_.Add("bmp", "KBMP\tKDIB", "C:\\filters\\bmp.flt");
    EXPECT_EQ("C:\\filters\\jpeg.flt", PathFor("KJPE"));
    EXPECT_EQ("C:\\filters\\bmp.flt", PathFor("kdib"));
    EXPECT_EQ("none", PathFor("kstnothing"));
    EXPECT_EQ("none", PathFor(""));
    EXPECT_EQ(0, FindImportFilter(nullptr, nullptr, nullptr));
    EXPECT_EQ(1, FindImportFilter(nullptr, nullptr, "kjfif"));  // presence only
}

TEST_F(FilterLookup, FirstEnumeratedOfTwoMatchingFiltersWins)
{
    registry_.Add("two b", "kstdup", "C:\\b.flt");
    registry_.Add("two a", "kstdup", "C:\\a.flt");
    // Whichever of our two keys the registry lists first must supply the path.
    HKEY root;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, FILTER_ROOT_KEY, 0, KEY_READ, &root));
    std::string first;
    char name[260];
    for (DWORD i = 0, size = sizeof name;
         first.empty() &&
         RegEnumKeyExA(root, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         i++, size = sizeof name)
        if (std::string(name).rfind("KestraneTest two ", 0) == 0)
            first = name;
    RegCloseKey(root);
    EXPECT_EQ(first == "KestraneTest two a" ? "C:\\a.flt" : "C:\\b.flt", PathFor("KSTDUP"));
}

TEST_F(FilterLookup, UnusableRegistrationsAreSkipped)
{
    const std::string overlong = std::string(300, 'q') + ",kstskip";
    registry_.Add("1 no extensions", nullptr, "C:\\none.flt");
    registry_.Add("2 not a string", "kstskip", "C:\\binary.flt", REG_BINARY);
    registry_.Add("3 overlong", overlong.c_str(), "C:\\long.flt");
    registry_.Add("4 no path", "kstnopath", nullptr);
    registry_.Add("5 usable", "kstskip", "C:\\usable.flt");
    registry_.Add("6 long path", "kstlong", ("C:\\" + std::string(100, 'p') + ".flt").c_str());
    EXPECT_EQ("C:\\usable.flt", PathFor("kstskip"));
    // Found without a path, or one longer than the buffer: the buffer stays as it was.
    EXPECT_EQ("unchanged", PathFor("kstnopath"));
    EXPECT_EQ("unchanged", PathFor("kstlong", 32));
}

TEST(FilterLookupWithoutRoot, FindsNothing)
{
    // Others' filters may be registered; their keys are not ours to remove.
    // (GTEST_SKIP is avoided: it crashes this toolchain's runs at exit.)
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FILTER_ROOT_KEY, 0, KEY_READ, &root) == ERROR_SUCCESS)
        return (void)RegCloseKey(root);
    EXPECT_EQ(0, FindImportFilter(nullptr, nullptr, "png"));
}

}  // namespace
