// LoadImageFile end to end through the stand-in filters, and the guard that
// keeps a faulting filter from taking the process down.
#include <gtest/gtest.h>

#include <fstream>

#include "import/seh_guard.h"
#include "tests/import/import_support.h"
#include "tests/support/temp_dir.h"

namespace {

EXCEPTION_REGISTRATION_RECORD *ChainHead()
{
    EXCEPTION_REGISTRATION_RECORD *head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(EXCEPTION_REGISTRATION_RECORD *head)
{
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

void WriteNowhere(void *)
{
    *static_cast<volatile int *>(nullptr) = 1;
}
// Runs an inner guard around a fault, then faults itself when asked.
void Nested(void *context)
{
    bool *innerCompleted = static_cast<bool *>(context);
    *innerCompleted = RunGuarded(WriteNowhere, nullptr);
}

// A handler frame of the guarded code's own, as a filter built with
// structured exception handling pushes: it must see the fault first and then
// get its unwind call before control leaves it.
int g_innerSearches, g_innerUnwinds;
EXCEPTION_DISPOSITION __cdecl InnerHandler(EXCEPTION_RECORD *exception, void *, CONTEXT *, void *)
{
    if (exception->ExceptionFlags & EXCEPTION_UNWINDING)
        g_innerUnwinds++;
    else
        g_innerSearches++;
    return ExceptionContinueSearch;
}
void FaultUnderOwnFrame(void *)
{
    EXCEPTION_REGISTRATION_RECORD frame;
    frame.Next = ChainHead();
    frame.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(reinterpret_cast<void *>(InnerHandler));
    SetChainHead(&frame);
    WriteNowhere(nullptr);
    SetChainHead(frame.Next);
}

int Recurse(int depth)
{
    volatile char page[4096];
    page[depth % sizeof page] = char(depth);
    return depth == -1 ? 0 : Recurse(depth + 1) + page[0];
}

// Wine catches an overflow even without a guard page; Windows does not, so
// the guard page itself is what must be back after each overflow.
bool StackHasGuardPage()
{
    MEMORY_BASIC_INFORMATION region;
    volatile char probe = 0;
    VirtualQuery(const_cast<char *>(&probe), &region, sizeof region);
    BYTE *base = static_cast<BYTE *>(region.AllocationBase);
    for (BYTE *p = base; VirtualQuery(p, &region, sizeof region) && region.AllocationBase == base;
         p += region.RegionSize)
        if (region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD))
            return true;
    return false;
}

TEST(RunGuarded, ReturnsAfterFaultsUnwindsInnerFramesAndRestoresTheChain)
{
    for (int i = 0; i < 2; i++) {
        EXPECT_FALSE(RunGuarded([](void *) { Recurse(0); }, nullptr));
        EXPECT_TRUE(StackHasGuardPage()) << "after overflow " << i;
    }
    EXCEPTION_REGISTRATION_RECORD *head = ChainHead();
    for (int i = 0; i < 50; i++) {
        EXPECT_TRUE(RunGuarded([](void *) {}, nullptr));
        EXPECT_FALSE(RunGuarded(WriteNowhere, nullptr));
        EXPECT_FALSE(RunGuarded([](void *) { RaiseException(0xE0001234, 0, 0, nullptr); }, nullptr));
        ASSERT_EQ(head, ChainHead());
    }
    bool innerCompleted = true;
    EXPECT_TRUE(RunGuarded(Nested, &innerCompleted));
    EXPECT_FALSE(innerCompleted);
    EXPECT_EQ(head, ChainHead());
    g_innerSearches = g_innerUnwinds = 0;
    EXPECT_FALSE(RunGuarded(FaultUnderOwnFrame, nullptr));
    EXPECT_EQ(1, g_innerSearches);
    EXPECT_EQ(1, g_innerUnwinds);
    EXPECT_EQ(head, ChainHead());
}

// Every stand-in filter registered under its own extension.
class FilterImport : public ::testing::Test {
  protected:
    void SetUp() override
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string directory(exe, strrchr(exe, '\\') + 1);
        for (const char *name : {"current", "current_alt", "older", "info3", "no_picture", "fault", "raise",
                                 "fail_with_picture", "info_fault", "overflow"})
            registry_.Add(name, (std::string("kst_") + name).c_str(),
                          (directory + "kst_filter_" + name + ".dll").c_str());
        registry_.Add("missing", "kst_missing", (directory + "no_such_filter.dll").c_str());
        logPath_ = temp_.Path("filter.log");
        SetEnvironmentVariableA("KESTRANE_FILTER_LOG", logPath_.c_str());
        WriteBytes(temp_.Path("picture.bin"), MakeFilterImage(10, 20, 4, 3, Gradient));
    }
    void TearDown() override { SetEnvironmentVariableA("KESTRANE_FILTER_LOG", nullptr); }

    // An image file for the filter of `extension`, holding the standard picture.
    std::string Image(const char *extension, const Bytes &bytes = {})
    {
        std::string path = temp_.Path(std::string("image.") + extension);
        WriteBytes(path, bytes.empty() ? ReadBytes(temp_.Path("picture.bin")) : bytes);
        return path;
    }

    // The filter's log since the last call, one call per line.
    std::vector<std::string> TakeLog()
    {
        std::vector<std::string> lines;
        std::ifstream file(logPath_);
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        file.close();
        DeleteFileA(logPath_.c_str());
        return lines;
    }

    static std::string ImportLine(const std::string &path)
    {
        return "ImportGr reserved=00000000 flags=0 zero=0 tail=0 picture=00000000 last=0 preferences=same "
               "path=" +
               path;
    }

    TempDir temp_;
    FilterRegistrations registry_;
    std::string logPath_;
};

const char kInfo[] = "GetFilterInfo 2 '' null 0";
const char kProgressOff[] = "SetFilterPref ShowProgressDialog No 2 1 same";
const char kOptionsOff[] = "SetFilterPref ShowOptionsDialog No 2 1 same";
const char kProgressOn[] = "SetFilterPref ShowProgressDialog Yes 4 1 same";

TEST_F(FilterImport, CurrentFamilyRendersPictureAndSwitchesDialogsOff)
{
    for (const char *extension : {"kst_current", "KST_CURRENT_ALT"}) {
        std::string path = Image(extension);
        ScopedDib image(LoadImageFile(path.c_str()));
        EXPECT_TRUE(HasPixels(image.dib, 4, 3, Gradient)) << extension;
        const std::vector<std::string> expected = {kInfo,       kProgressOff,
                                                   kOptionsOff, ImportLine(path),
                                                   kProgressOn, "unload preferences=freed picture=deleted"};
        EXPECT_EQ(expected, TakeLog()) << extension;
    }
}

TEST_F(FilterImport, OlderFamilyHandsOverEmbeddedBitmapAsBottomUp24Bit)
{
    Bytes zeroSizedRecord = MetafileBytes()
                                .Record(0x0103, {8, 0})
                                .BitmapRecord(kMetaStretchDib, MakeDibBytes(4, 3, 24, Gradient))
                                .Finish();
    zeroSizedRecord[18] = zeroSizedRecord[19] = 0;
    struct Case {
        const char *name;
        Bytes metafile;
        PixelFunction expected;  // null: nothing is loaded
    } cases[] = {
        {"stretched 24-bit after other records",
         MetafileBytes()
             .Record(0x0103, {8, 0})
             .Record(0x0209, {0, 0, 0, 0})
             .BitmapRecord(kMetaStretchDib, MakeDibBytes(4, 3, 24, Gradient))
             .Finish(),
         Gradient},
        {"blit of an 8-bit top-down bitmap",
         MetafileBytes()
             .Record(0x0103, {8, 0})
             .BitmapRecord(kMetaDibBitBlt, MakeDibBytes(4, -3, 8, nullptr, kPalette, PaletteIndex))
             .Finish(),
         FromPalette},
        {"first record of size 0", zeroSizedRecord, nullptr},
    };
    for (const Case &c : cases) {
        std::string path = Image("kst_older", c.metafile);
        ScopedDib image(LoadImageFile(path.c_str()));
        if (c.expected)
            EXPECT_TRUE(HasPixels(image.dib, 4, 3, c.expected)) << c.name;
        else
            EXPECT_EQ(nullptr, image.dib) << c.name;
        // No preferences for this family, and the plain ImportGr it also
        // exports is never called; what it handed over is always freed.
        const std::vector<std::string> expected = {kInfo, ImportLine(path),
                                                   "unload preferences=freed picture=freed"};
        EXPECT_EQ(expected, TakeLog()) << c.name;
    }
}

struct FailureCase {
    const char *extension;
    std::vector<std::string> log;  // "@" stands for the import call's line
};

TEST_F(FilterImport, FailingFiltersGiveNullAndReleaseWhatTheyLeft)
{
    const FailureCase cases[] = {
        {"kst_info3", {kInfo, "unload preferences=freed picture=none"}},
        {"kst_no_picture",
         {kInfo, kProgressOff, kOptionsOff, "@", kProgressOn, "unload preferences=freed picture=none"}},
        // A failed import's metafile is deleted as the metafile it is.
        {"kst_fail_with_picture",
         {kInfo, kProgressOff, kOptionsOff, "@", kProgressOn, "unload preferences=freed picture=deleted"}},
        // After a fault nothing more is called; the picture the filter had
        // set is still released.
        {"kst_fault", {kInfo, kProgressOff, kOptionsOff, "@", "unload preferences=freed picture=deleted"}},
        {"kst_raise", {kInfo, kProgressOff, kOptionsOff, "@", "unload preferences=freed picture=deleted"}},
        {"kst_info_fault", {kInfo, "unload preferences=freed picture=none"}},
        // A second overflow in the same process must be caught like the first.
        {"kst_overflow", {kInfo, kProgressOff, kOptionsOff, "@", "unload preferences=freed picture=deleted"}},
        {"kst_overflow", {kInfo, kProgressOff, kOptionsOff, "@", "unload preferences=freed picture=deleted"}},
        {"kst_missing", {}},
    };
    std::string goodPath = Image("kst_current");
    for (const FailureCase &c : cases) {
        std::string path = Image(c.extension);
        EXPECT_EQ(nullptr, LoadImageFile(path.c_str())) << c.extension;
        std::vector<std::string> expected = c.log;
        for (std::string &line : expected)
            if (line == "@")
                line = ImportLine(path);
        EXPECT_EQ(expected, TakeLog()) << c.extension;
        // The process goes on converting.
        ScopedDib next(LoadImageFile(goodPath.c_str()));
        EXPECT_TRUE(HasPixels(next.dib, 4, 3, Gradient)) << "after " << c.extension;
        TakeLog();
    }
}

TEST_F(FilterImport, PathsWithoutUsableExtensionLoadNothing)
{
    const std::string tooLong = "C:\\" + std::string(260, 'd') + ".kst_current";
    for (const std::string &path : {std::string("C:\\pics\\a.b\\frame"), std::string("C:\\pics\\frame."),
                                    std::string("C:\\pics\\frame"), std::string(".kst_current"), tooLong})
        EXPECT_EQ(nullptr, LoadImageFile(path.c_str())) << path;
    EXPECT_EQ(nullptr, LoadImageFile(nullptr));
    EXPECT_TRUE(TakeLog().empty());
}

}  // namespace
