// LoadImageFile through the stand-in filters, and the guard that keeps a
// faulting filter from taking the process down.
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

// A handler frame of the guarded code's own, as a filter built with
// structured exception handling pushes: it must see the fault first and then
// get its unwind call before control leaves it.
int g_innerSearches, g_innerUnwinds;
EXCEPTION_DISPOSITION __cdecl InnerHandler(EXCEPTION_RECORD *exception, void *, CONTEXT *, void *)
{
    (exception->ExceptionFlags & EXCEPTION_UNWINDING ? g_innerUnwinds : g_innerSearches)++;
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
    EXCEPTION_REGISTRATION_RECORD *head = ChainHead();
    for (int i = 0; i < 2; i++) {
        EXPECT_FALSE(RunGuarded([](void *) { Recurse(0); }, nullptr));
        EXPECT_TRUE(StackHasGuardPage()) << "after overflow " << i;
        ASSERT_EQ(head, ChainHead());
    }
    for (int i = 0; i < 50; i++) {
        EXPECT_TRUE(RunGuarded([](void *) {}, nullptr));
        EXPECT_FALSE(RunGuarded(WriteNowhere, nullptr));
        EXPECT_FALSE(RunGuarded([](void *) { RaiseException(0xE0001234, 0, 0, nullptr); }, nullptr));
        ASSERT_EQ(head, ChainHead());
    }
    bool innerCompleted = true;
    auto nested = [](void *completed) {
        *static_cast<bool *>(completed) = RunGuarded(WriteNowhere, nullptr);
    };
    EXPECT_TRUE(RunGuarded(nested, &innerCompleted));
    EXPECT_FALSE(innerCompleted);
    EXPECT_EQ(head, ChainHead());
    EXPECT_FALSE(RunGuarded(FaultUnderOwnFrame, nullptr));
    EXPECT_EQ(1, g_innerSearches);
    EXPECT_EQ(1, g_innerUnwinds);
    EXPECT_EQ(head, ChainHead());
}

// What a filter receives and is left holding, as the stand-in filter logs it.
const std::string kInfo = "GetFilterInfo 2 '' null 0|",
                  kProgressOff = "SetFilterPref ShowProgressDialog No 2 1 same|",
                  kDialogsOff = kProgressOff + "SetFilterPref ShowOptionsDialog No 2 1 same|",
                  kProgressOn = "SetFilterPref ShowProgressDialog Yes 4 1 same|",
                  kImport = "ImportGr reserved=00000000 flags=0 zero=0 tail=0 picture=00000000 last=0 "
                            "preferences=same path=@|",
                  kImported = kInfo + kDialogsOff + kImport, kReleased = "unload preferences=freed picture=";

struct LoadCase {
    const char *extension;  // the filter it picks: kst_current, kst_current_alt, kst_older, kst_missing
    const char *play;       // the filter's KESTRANE_FILTER_PLAY
    Bytes file;             // empty: the picture, 5 x 3 at (10, 20)
    bool loads;             // the picture comes back
    std::string log;        // "@": the image's path
};

// The stand-in filters registered for their own extensions.
class Filters : public testing::Test {
  protected:
    void SetUp() override
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        const std::string directory(exe, strrchr(exe, '\\') + 1);
        for (const char *name : {"current", "current_alt", "older", "missing"})
            registry_.Add(name, (std::string("kst_") + name).c_str(),
                          (directory + "kst_filter_" + name + ".dll").c_str());
        SetEnvironmentVariableA("KESTRANE_FILTER_LOG", temp_.Path("filter.log").c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("KESTRANE_FILTER_LOG", nullptr);
        SetEnvironmentVariableA("KESTRANE_FILTER_PLAY", nullptr);
    }
    std::string Image(const char *extension, const Bytes &file = {})
    {
        std::string path = temp_.Path(std::string("image.") + extension);
        WriteBytes(path, file.empty() ? MakeFilterImage(10, 20, 5, 3, Gradient) : file);
        return path;
    }
    // The filter's log since the last call, a line and a bar for each call.
    std::string TakeLog()
    {
        std::string log, line;
        for (std::ifstream file(temp_.Path("filter.log")); std::getline(file, line);)
            log += line + "|";
        DeleteFileA(temp_.Path("filter.log").c_str());
        return log;
    }
    TempDir temp_;
    FilterRegistrations registry_;
};

class FilterImport : public Filters, public testing::WithParamInterface<LoadCase> {};

TEST_P(FilterImport, LoadsOrFailsAndReleasesWhatTheFilterLeft)
{
    const LoadCase &c = GetParam();
    SCOPED_TRACE(std::string(c.extension) + " " + c.play);
    SetEnvironmentVariableA("KESTRANE_FILTER_PLAY", c.play);
    const std::string path = Image(c.extension, c.file);
    PackedDib image = LoadImageFile(path.c_str());
    if (c.loads)
        EXPECT_TRUE(Shows(image, 5, 3, Gradient));
    else
        EXPECT_EQ(nullptr, image);
    std::string log = c.log;
    if (log.find('@') != std::string::npos)
        log.replace(log.find('@'), 1, path);
    EXPECT_EQ(log, TakeLog());
    // Whatever happened, the process goes on converting.
    SetEnvironmentVariableA("KESTRANE_FILTER_PLAY", nullptr);
    EXPECT_TRUE(Shows(LoadImageFile(Image("kst_current").c_str()), 5, 3, Gradient));
}

const Bytes kOlderPicture = Metafile({Record(0x0103, {8, 0}), Record(0x0209, {0, 0, 0, 0}),
                                      BitmapRecord(kMetaStretchDib, MakeDibBytes(5, 3, 24, Gradient))});

// The older family gets no preference calls, and the plain ImportGr it also
// exports is never called; what it hands over is always freed.
const LoadCase kLoads[] = {
    {"kst_current", "", {}, true, kImported + kProgressOn + kReleased + "deleted|"},
    {"KST_CURRENT_ALT", "", {}, true, kImported + kProgressOn + kReleased + "deleted|"},
    {"kst_older", "", kOlderPicture, true, kInfo + kImport + kReleased + "freed|"},
    {"kst_older", "",
     Metafile({Bytes(6, 0), BitmapRecord(kMetaStretchDib, MakeDibBytes(5, 3, 24, Gradient))}), false,
     kInfo + kImport + kReleased + "freed|"},
    {"kst_current", "info:3", {}, false, kInfo + kReleased + "none|"},
    {"kst_current", "info:fault", {}, false, kInfo + kReleased + "none|"},
    {"kst_current", "pref:fault", {}, false, kInfo + kProgressOff + kReleased + "none|"},
    {"kst_current", "import:none", {}, false, kImported + kProgressOn + kReleased + "none|"},
    // A failed import's picture is deleted as the metafile it is.
    {"kst_current", "import:5", {}, false, kImported + kProgressOn + kReleased + "deleted|"},
    // After a fault nothing more is called; the picture the filter had set is still released.
    {"kst_current", "import:fault", {}, false, kImported + kReleased + "deleted|"},
    {"kst_current", "import:raise", {}, false, kImported + kReleased + "deleted|"},
    {"kst_current", "import:overflow", {}, false, kImported + kReleased + "deleted|"},
    {"kst_current", "import:overflow", {}, false, kImported + kReleased + "deleted|"},  // once more
    {"kst_missing", "", {}, false, ""},
};
INSTANTIATE_TEST_SUITE_P(Filters, FilterImport, testing::ValuesIn(kLoads));

TEST_F(Filters, PathsWithoutUsableExtensionLoadNothing)
{
    const std::string tooLong = "C:\\" + std::string(260, 'd') + ".kst_current";
    for (const std::string &path : {std::string("C:\\pics\\a.b\\frame"), std::string("C:\\pics\\frame."),
                                    std::string("C:\\pics\\frame"), std::string(".kst_current"), tooLong})
        EXPECT_EQ(nullptr, LoadImageFile(path.c_str())) << path;
    EXPECT_EQ(nullptr, LoadImageFile(nullptr));
    EXPECT_EQ("", TakeLog());
}

}  // namespace
