#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/convert.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/output_file.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"
#include "tests/support/fake_loader.h"
#include "tests/support/status_capture.h"
#include "tests/support/temp_dir.h"

namespace {
using Bytes = std::vector<unsigned char>;

Rgb Black(int, int)
{
    return {0, 0, 0};
}

std::function<PackedDib()> Image(int width, int height, PixelFunction pixel = Black)
{
    return [=] { return MakePackedDib(width, height, pixel); };
}

class ConvertTest : public testing::Test {
  protected:
    void SetUp() override
    {
        g_sourceList = SourceListCreate();
        g_fakeImages.clear();
        g_fakeLoads = 0;
        ClearStatus();
        dest = dir.Path("out.shp");
    }
    void TearDown() override
    {
        g_outputWrite = PlatformWrite;
        SetAllocFailureAfter(-1);
        SourceListRelease(g_sourceList);
        g_sourceList = nullptr;
        g_fakeImages.clear();
    }
    // Adds a source named name (looked up in g_fakeImages by its full path).
    std::string Add(const std::string &name, std::function<PackedDib()> image = nullptr)
    {
        std::string path = "C:\\pics\\" + name;
        if (image)
            g_fakeImages[path] = image;
        SourceListInsert(g_sourceList, g_sourceList->count, CopyPath(path.c_str()));
        return path;
    }
    TempDir dir;
    std::string dest;
};

uint16_t PixelAt(const Bytes &file, size_t offset)
{
    return uint16_t(file[offset] | file[offset + 1] << 8);
}
}  // namespace

TEST_F(ConvertTest, OneWhitePixelMakesTheSmallestFile)
{
    Add("white.png", Image(1, 1, [](int, int) { return Rgb{255, 255, 255}; }));
    ASSERT_EQ(ConvertToShp(dest.c_str()), 1);
    EXPECT_EQ(LastStatus(), MSG_SUCCESS);
    const Bytes expected = {
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,                          // W 1, H 1, N 1
        0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00,  // x, y, W, H, flags
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,  // offset 32
        0xFF, 0xFF,
    };
    EXPECT_EQ(ReadBytes(dest), expected);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.shp"}) << "no temporary file left";
}

TEST_F(ConvertTest, FramesFollowListOrderAndBottomLeftRedLandsInTheLastRow)
{
    Add("a.png", Image(3, 2, [](int x, int y) { return x == 0 && y == 1 ? Rgb{255, 0, 0} : Rgb{0, 0, 0}; }));
    Add("b.png", Image(3, 2, [](int x, int y) { return Rgb{uint8_t(x * 100), uint8_t(y * 200), 8}; }));
    ASSERT_EQ(ConvertToShp(dest.c_str()), 1);
    Bytes file = ReadBytes(dest);
    ASSERT_EQ(file.size(), 80u);
    // Frame 0 at 56: only the first pixel of its last row (56 + 2 * 3) is red.
    for (size_t p = 0; p < 6; p++)
        EXPECT_EQ(PixelAt(file, 56 + 2 * p), p == 3 ? 0xF800 : 0x0000) << "pixel " << p;
    // Frame 1 at 68, top row first.
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ(PixelAt(file, 68 + 2 * (y * 3 + x)), Rgb565(uint8_t(x * 100), uint8_t(y * 200), 8));
}

TEST_F(ConvertTest, OddWidthsAreReadWithPaddedStrides)
{
    for (int width : {1, 2, 3, 5}) {
        SCOPED_TRACE(width);
        SourceListRelease(g_sourceList);
        g_sourceList = SourceListCreate();
        auto pixel = [](int x, int y) { return Rgb{uint8_t(40 * x), uint8_t(16 * y), uint8_t(8 * (x + y))}; };
        Add("frame.png", Image(width, 3, pixel));
        Add("frame.png");
        ASSERT_EQ(ConvertToShp(dest.c_str()), 1);
        Bytes file = ReadBytes(dest);
        ASSERT_EQ(file.size(), 8u + 2u * (24u + 2u * width * 3u));
        size_t frameBytes = 2u * width * 3u;
        for (int frame = 0; frame < 2; frame++)
            for (int y = 0; y < 3; y++)
                for (int x = 0; x < width; x++) {
                    Rgb c = pixel(x, y);
                    size_t at = 8 + 48 + frame * frameBytes + 2 * (y * width + x);
                    ASSERT_EQ(PixelAt(file, at), Rgb565(c.r, c.g, c.b)) << frame << " " << x << "," << y;
                }
    }
}

// Deep directories too: the temporary file beside the destination may need
// more than MAX_PATH where the destination's own name does not.
TEST_F(ConvertTest, WritesAndReplacesDestinationsInDirectoriesOfAnyLength)
{
    Add("a.png", Image(2, 2));
    for (size_t length : {size_t(0), size_t(240), size_t(250), size_t(254)}) {
        SCOPED_TRACE(length);
        std::filesystem::path folder = dir.Root();
        if (length)
            folder /= std::string(length - folder.string().size() - 1, 'd');
        ASSERT_EQ(folder.string().size(), length ? length : folder.string().size());
        std::filesystem::create_directories(folder);
        std::string target = (folder / "x.s").string();
        WriteBytes(target, Bytes(1000, 0x55));
        for (int pass = 0; pass < 2; pass++) {
            ASSERT_EQ(ConvertToShp(target.c_str()), 1) << LastStatus();
            EXPECT_EQ(ReadBytes(target).size(), 8u + 24u + 8u);
            std::filesystem::remove(target);
        }
        std::vector<std::string> left;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (!entry.is_directory())
                left.push_back(entry.path().filename().string());
        EXPECT_TRUE(left.empty()) << left.size() << " files left, e.g. " << (left.empty() ? "" : left[0]);
    }
}

// Every way the job can fail: the message, the result, and that nothing on
// disk changed, whether or not the destination existed before.
struct FailureCase {
    const char *name;
    std::function<void(ConvertTest &, std::string &dest)> arrange;
    std::string status;  // empty: the status line is left alone
    std::string statusWhenKept = "";  // when an existing destination was kept, if it differs
};

class ConvertFailureTest : public ConvertTest, public testing::WithParamInterface<FailureCase> {
  public:
    using ConvertTest::Add;
    using ConvertTest::dir;
};

bool FailingWrite(void *file, const void *data, uint32_t size, uint32_t *written)
{
    // Half the bytes reach the disk, then the disk is full.
    PlatformWrite(file, data, size / 2, written);
    return false;
}

const FailureCase kFailures[] = {
    {"EmptyList", [](ConvertTest &, std::string &) {}, ""},
    {"FirstUndecodable",
     [](ConvertTest &t, std::string &) { static_cast<ConvertFailureTest &>(t).Add("broken.png"); },
     "Can't read image file: C:\\pics\\broken.png"},
    {"ThirdUndecodable",
     [](ConvertTest &t, std::string &) {
         auto &f = static_cast<ConvertFailureTest &>(t);
         f.Add("a.png", Image(2, 2));
         f.Add("b.png", Image(2, 2));
         f.Add("c.png");
     },
     "Can't read image file: C:\\pics\\c.png"},
    {"BufferAllocation",
     [](ConvertTest &t, std::string &) {
         static_cast<ConvertFailureTest &>(t).Add("a.png", [] {
             PackedDib dib = MakePackedDib(2, 2, Black);
             SetAllocFailureAfter(0);  // the next allocation is the output buffer
             return dib;
         });
     },
     MSG_MEMORY_ERROR},
    {"SecondOnePixelWider",
     [](ConvertTest &t, std::string &) {
         auto &f = static_cast<ConvertFailureTest &>(t);
         f.Add("a.png", Image(4, 4));
         f.Add("b.png", Image(5, 4));
     },
     "Error: All images must be the same size.\nImage 1 have another size."},
    {"ThirdTaller",
     [](ConvertTest &t, std::string &) {
         auto &f = static_cast<ConvertFailureTest &>(t);
         f.Add("a.png", Image(4, 4));
         f.Add("b.png", Image(4, 4));
         f.Add("c.png", Image(4, 5));
     },
     "Error: All images must be the same size.\nImage 2 have another size."},
    {"LaterEntryGone",
     [](ConvertTest &t, std::string &) {
         auto &f = static_cast<ConvertFailureTest &>(t);
         // A loader that shortens the list while the job runs.
         f.Add("a.png", Image(2, 2));
         f.Add("b.png", [] {
             SourceListRemove(g_sourceList, 2);
             return MakePackedDib(2, 2, Black);
         });
         f.Add("c.png", Image(2, 2));
     },
     ""},
    {"EmptyDestination",
     [](ConvertTest &t, std::string &dest) {
         static_cast<ConvertFailureTest &>(t).Add("a.png", Image(2, 2));
         dest = "";
     },
     MSG_CANT_CREATE_OUTPUT},
    {"DestinationIsADirectory",
     [](ConvertTest &t, std::string &dest) {
         auto &f = static_cast<ConvertFailureTest &>(t);
         f.Add("a.png", Image(2, 2));
         dest = f.dir.Path("sub");
         std::filesystem::create_directory(dest);
     },
     MSG_CANT_CREATE_OUTPUT},
    {"DiskFullDuringWrite",
     [](ConvertTest &t, std::string &) {
         static_cast<ConvertFailureTest &>(t).Add("a.png", Image(64, 64));
         g_outputWrite = FailingWrite;
     },
     MSG_CANT_WRITE_OUTPUT, MSG_CANT_WRITE_OUTPUT_KEPT},
    {"TooManyFramesForTheHeader",
     [](ConvertTest &t, std::string &) {
         auto &f = static_cast<ConvertFailureTest &>(t);
         f.Add("a.png", Image(1, 1));
         // 65536 entries, built in one go: inserting one by one is quadratic.
         const char *path = SourceListGet(g_sourceList, 0);
         char **items = static_cast<char **>(CoreAlloc(65536 * sizeof(char *)));
         for (int i = 0; i < 65536; i++)
             items[i] = CopyPath(path);
         SourceListRelease(g_sourceList);
         g_sourceList = SourceListCreate();
         g_sourceList->items = items;
         g_sourceList->count = 65536;
     },
     MSG_TOO_LARGE},
    {"WiderThanTheHeaderHolds",
     [](ConvertTest &t, std::string &) {
         static_cast<ConvertFailureTest &>(t).Add("wide.png", Image(65536, 1));
     },
     MSG_TOO_LARGE},
};

TEST_P(ConvertFailureTest, ReportsAndLeavesEverythingAsItWas)
{
    const FailureCase &c = GetParam();
    for (bool destinationExisted : {false, true}) {
        SCOPED_TRACE(destinationExisted ? "existing destination" : "no destination");
        SourceListRelease(g_sourceList);
        g_sourceList = SourceListCreate();
        g_fakeImages.clear();
        g_outputWrite = PlatformWrite;
        std::string target = dir.Path("out.shp");
        std::filesystem::remove(target);
        c.arrange(*this, target);
        const Bytes previous(300, 0x5A);
        if (destinationExisted && !target.empty() && !std::filesystem::is_directory(target))
            WriteBytes(target, previous);
        auto before = dir.Names();
        int entries = g_sourceList->count;
        ClearStatus();

        EXPECT_EQ(ConvertToShp(target.c_str()), 0);
        SetAllocFailureAfter(-1);
        std::string status = destinationExisted && !c.statusWhenKept.empty() ? c.statusWhenKept : c.status;
        EXPECT_EQ(LastStatus(), status.empty() ? "<no status>" : status);
        EXPECT_EQ(dir.Names(), before) << "no file created or left behind";
        if (destinationExisted && FileExists(target) && !std::filesystem::is_directory(target)) {
            EXPECT_EQ(ReadBytes(target), previous);
        }
        if (c.name != std::string("LaterEntryGone")) {
            EXPECT_EQ(g_sourceList->count, entries) << "the list is unchanged";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Job, ConvertFailureTest, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<FailureCase> &info) { return info.param.name; });

// Blocks the job cannot read as 24-bit bottom-up rows are refused as
// undecodable rather than read past their end.
TEST_F(ConvertTest, RefusesImagesItCannotReadSafely)
{
    struct Bad {
        const char *what;
        std::function<void(PackedDib)> spoil;
    } cases[] = {
        {"8 bits", [](PackedDib d) { d->biBitCount = 8; }},
        {"top-down", [](PackedDib d) { d->biHeight = -d->biHeight; }},
        {"compressed", [](PackedDib d) { d->biCompression = 1; }},
        {"taller than its block", [](PackedDib d) { d->biHeight *= 2; }},
        {"header past the block", [](PackedDib d) { d->biSize = 4096; }},
        {"header too short", [](PackedDib d) { d->biSize = 12; }},
        {"zero width", [](PackedDib d) { d->biWidth = 0; }},
    };
    for (const Bad &bad : cases) {
        SCOPED_TRACE(bad.what);
        SourceListRelease(g_sourceList);
        g_sourceList = SourceListCreate();
        Add("bad.png", [&] {
            PackedDib dib = MakePackedDib(3, 3, Black);
            bad.spoil(dib);
            return dib;
        });
        EXPECT_EQ(ConvertToShp(dest.c_str()), 0);
        EXPECT_EQ(LastStatus(), "Can't read image file: C:\\pics\\bad.png");
        EXPECT_FALSE(FileExists(dest));
    }
}

TEST(PrintStatus, NeverOverrunsItsBufferWhateverThePathLength)
{
    std::string longPath(2000, 'x');
    PrintStatus(MSG_CANT_READ_IMAGE, longPath.c_str());
    ASSERT_EQ(LastStatus().size(), kStatusBufferSize - 1);
    EXPECT_EQ(LastStatus().substr(0, 23), "Can't read image file: ");
}
