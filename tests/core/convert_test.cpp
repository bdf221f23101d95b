// The conversion job over images made in memory: every byte it writes, and
// every way it fails without losing anything on disk.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/convert.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/output_file.h"
#include "core/placement.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"
#include "tests/support/format.h"
#include "tests/support/pictures.h"
#include "tests/support/temp_dir.h"
#ifdef _WIN32
#include <windows.h>
#endif

// What a program supplies: this loader hands out the images made for a path
// (none: the file is undecodable), and the status line is a string.
std::map<std::string, std::function<PackedDib()>> g_images;
std::map<std::string, int> g_loads;
std::string g_status;
std::map<std::string, PngOffsets> g_offsets;  // what each image's file records

PackedDib LoadImageFile(const char *path)
{
    g_loads[path]++;
    return g_images.count(path) ? g_images[path]() : nullptr;
}

void ShowStatus(const char *text)
{
    g_status = text;
}

namespace {

std::function<PackedDib()> Image(int width, int height, PixelFunction pixel = Gradient)
{
    return [=] { return MakePackedDib(MakeDibBytes(width, height, 24, pixel)); };
}

void Add(const std::string &path, std::function<PackedDib()> image)
{
    if (image)
        g_images[path] = image;
    SourceListInsert(g_sourceList, g_sourceList->count, CopyPath(path.c_str()));
}

// Never black, off the 16-bit levels, and different in each image.
PixelFunction Pixel(int k)
{
    return [k](int x, int y) {
        return Rgb{uint8_t(40 * x + 8 * k + 8), uint8_t(70 * y + 1), uint8_t(k + 100)};
    };
}

// Images "0", "1"... of these sizes ({0, 0}: undecodable).
void AddImages(const std::vector<std::pair<int, int>> &sizes)
{
    for (size_t k = 0; k < sizes.size(); k++)
        Add(std::to_string(k),
            sizes[k].first ? Image(sizes[k].first, sizes[k].second, Pixel(int(k))) : nullptr);
}

// The list as `count` entries of its first path, made in one go: inserting
// one at a time is quadratic.
void Repeat(int count)
{
    char **items = static_cast<char **>(CoreAlloc(count * sizeof(char *)));
    for (int i = 0; i < count; i++)
        items[i] = CopyPath(SourceListGet(g_sourceList, 0));
    SourceListRelease(g_sourceList);
    g_sourceList = SourceListCreate();
    *g_sourceList = {items, count};
}

#ifdef _WIN32
const ReplaceFunction kPlatformReplace = g_replaceFile;
HANDLE g_heldBackup;

// The exchange fails once the old file is under the backup name.
int MoveToBackupAndFail(const wchar_t *replaced, const wchar_t *, const wchar_t *backup)
{
    MoveFileW(replaced, backup);
    return 0;
}

// The old file goes back under its name, and the write in place that follows
// fails as well. Only a file that exists is exchanged.
void ExchangeThenWriteFail(const std::string &dest)
{
    WriteBytes(dest, Bytes(10, 1));
    g_replaceFile = MoveToBackupAndFail;
    static int writes;
    writes = 0;
    g_outputWrite = [](void *file, const void *data, uint32_t size, uint32_t *written) {
        return writes++ == 0 ? PlatformWrite(file, data, size, written)
                             : PlatformWrite(file, data, size / 2, written) && false;
    };
}
#endif

class Job : public testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    void Reset()
    {
        SetAllocFailureAfter(-1);
        SourceListRelease(g_sourceList);
        g_sourceList = SourceListCreate();
        g_images.clear();
        g_loads.clear();
        g_status.clear();
        g_offsets.clear();
        g_imageOffsets = [](const char *path) {
            return g_offsets.count(path) ? g_offsets[path] : PngOffsets{};
        };
        g_outputWrite = PlatformWrite;
        g_readyImage = nullptr;
#ifdef _WIN32
        g_replaceFile = kPlatformReplace;
#endif
    }
    TempDir dir;
    std::string dest = dir.Path("out.shp");
};

}  // namespace

// Frame 0 holds colours that lose low bits, and red in its bottom-left
// corner; frame 1 the gradient.
TEST_F(Job, WritesEveryByteOfTwoFrames)
{
    const Rgb first[] = {{7, 3, 7}, {8, 4, 8}, {128, 64, 32}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    Add("a", Image(3, 2, [&](int x, int y) { return first[3 * y + x]; }));
    Add("b", Image(3, 2));
    ASSERT_EQ(ConvertToShp(dest.c_str()), 1);
    const Bytes expected = {
        0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x02, 0x00,                          // 0, width, height, frames
        0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x08, 0x00, 0x00, 0x00,  // frame 0: x, y, W, H, flags
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x38, 0x00, 0x00, 0x00,  // its pixels' offset, 56
        0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x08, 0x00, 0x00, 0x00,  // frame 1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x44, 0x00, 0x00, 0x00,  // 68
        0x00, 0x00, 0x21, 0x08, 0x04, 0x82, 0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00,  // frame 0, top row first
        0x19, 0x00, 0x18, 0x28, 0x18, 0x50, 0x58, 0x02, 0x58, 0x2A, 0x58, 0x52,  // frame 1
    };
    EXPECT_EQ(ReadBytes(dest), expected);
    EXPECT_EQ(g_status, MSG_SUCCESS);
}

// The largest width and frame count the header holds.
TEST_F(Job, TakesTheLargestWidthAndFrameCount)
{
    for (auto [width, frames] : {std::pair{65535, 1}, std::pair{1, 65535}}) {
        Reset();
        Add("a", Image(width, 1));
        Repeat(frames);
        ASSERT_EQ(ConvertToShp(dest.c_str()), 1) << g_status;
        const Bytes file = ReadBytes(dest), header = {0, 0, uint8_t(width),  uint8_t(width >> 8),
                                                      1, 0, uint8_t(frames), uint8_t(frames >> 8)};
        EXPECT_EQ(file.size(), 8 + frames * (24 + 2 * size_t(width)));
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), header);
    }
}

// The temporary file beside the destination may need more than MAX_PATH
// where the destination's own name does not.
TEST_F(Job, WritesAndReplacesEveryKindOfDestination)
{
    Add("a", Image(2, 2));
    ASSERT_EQ(ConvertToShp(dest.c_str()), 1) << g_status;  // the bytes every destination should get
    for (size_t length : {240, 250, 254}) {
        SCOPED_TRACE(length);
        const auto folder = dir.Root() / std::string(length - dir.Root().string().size() - 1, 'd');
        std::filesystem::create_directories(folder);
        const std::string target = (folder / "x.s").string(), twin = (folder / "t").string();
        for (const std::string kind : {"plain", "hard link", "new"}) {  // replaced, written in place, made
            SCOPED_TRACE(kind);
            if (kind != "new")
                WriteBytes(target, Bytes(1000, 0x55));
            if (kind == "hard link")
                std::filesystem::create_hard_link(target, twin);
#ifdef _WIN32
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
            ASSERT_EQ(ConvertToShp(target.c_str()), 1) << g_status;
            EXPECT_EQ(ReadBytes(kind == "hard link" ? twin : target), ReadBytes(dest)) << "the new bytes";
#ifdef _WIN32
            EXPECT_EQ((GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0, kind != "new");
            EXPECT_EQ(ConvertToShp("NUL"), 1) << g_status;  // a dry run
#endif
            std::filesystem::remove(target), std::filesystem::remove(twin);
        }
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << "no temporary file left";
    }
}

namespace {

// Every way the job fails: its message, and nothing on disk changed, whether
// or not the destination existed before.
struct Failure {
    const char *name;
    std::vector<std::pair<int, int>> images;  // width and height; {0, 0}: undecodable
    std::string status;                       // "": none
    CanvasChoice canvas = {};
    void (*arrange)(const std::string &destination) = nullptr;
    std::string statusWhenKept = "";       // when an existing destination was kept, if it differs
    std::vector<PngOffsets> offsets = {};  // what the images' files record, in order
};

// Images handed over as they are ready, in g_readyOrder less those past the
// limit asked for, each limit noted.
std::vector<int> g_readyOrder;
std::vector<int> g_readyAsked;
PackedDib ReadyInScrambledOrder(int limit, int *index)
{
    g_readyAsked.push_back(limit);
    while (!g_readyOrder.empty() && g_readyOrder.front() >= limit)
        g_readyOrder.erase(g_readyOrder.begin());
    *index = g_readyOrder.empty() ? -1 : g_readyOrder.front();
    if (!g_readyOrder.empty())
        g_readyOrder.erase(g_readyOrder.begin());
    return *index < 0 ? nullptr : LoadImageFile(SourceListGet(g_sourceList, *index));
}

class JobFailure : public Job, public testing::WithParamInterface<Failure> {};

// Image "0" with one header field overwritten.
template <size_t at, uint32_t value> void Spoil(const std::string &)
{
    Add("0", [] { return MakePackedDib(Patched(MakeDibBytes(3, 3, 24, Gradient), at, value)); });
}

template <int allocations> void FailAllocation(const std::string &)  // after this many
{
    SetAllocFailureAfter(allocations);
}

// Half of the file reaches the disk; then it is full, or the call claims all.
template <bool claimsAll> void WriteHalf(const std::string &)
{
    g_outputWrite = [](void *file, const void *data, uint32_t size, uint32_t *written) {
        return PlatformWrite(file, data, size / 2, written) && claimsAll;
    };
}

void LinkedWriteHalf(const std::string &dest)  // one of a file's two names: written in place
{
    WriteBytes(dest + ".twin", {});
    std::filesystem::create_hard_link(dest + ".twin", dest);
    WriteHalf<false>(dest);
}

const std::string kUndecodable = Format(MSG_CANT_READ_IMAGE, "0");

CanvasChoice Canvas(uint32_t width = 0, uint32_t height = 0, bool fromFiles = false)
{
    return CanvasChoice{true, width, height, ANCHOR_CENTER, fromFiles};
}

// A w x h image at (x, y) of a page (0 x 0: none named).
PngOffsets At(int32_t x, int32_t y, uint32_t w, uint32_t h, uint32_t pageWidth = 0, uint32_t pageHeight = 0)
{
    return PngOffsets{true, w, h, true, x, y, pageWidth > 0, pageWidth, pageHeight};
}

// Images of the sizes their files record ({}: 1 x 1, recording none), on a
// canvas of side x side (0: the files') placed by the offsets.
Failure Trimmed(const char *name, const std::string &status, const std::vector<PngOffsets> &offsets,
                uint32_t side = 0)
{
    std::vector<std::pair<int, int>> images;
    for (const PngOffsets &o : offsets)
        images.push_back({o.isPng ? int(o.width) : 1, o.isPng ? int(o.height) : 1});
    return Failure{name, images, status, Canvas(side, side, true), nullptr, "", offsets};
}

const Failure kFailures[] = {
    {"EmptyList", {}, ""},
    {"FirstUndecodable", {{0, 0}}, kUndecodable},
    {"ThirdUndecodable", {{2, 2}, {2, 2}, {0, 0}}, Format(MSG_CANT_READ_IMAGE, "2")},
    {"SecondOnePixelWider", {{4, 4}, {5, 4}}, Format(MSG_SIZE_MISMATCH, 1)},
    {"ThirdTaller", {{4, 4}, {4, 4}, {4, 5}}, Format(MSG_SIZE_MISMATCH, 2)},
    {"WiderThanTheHeaderHolds", {{65536, 1}}, MSG_TOO_LARGE},
    {"MoreFramesThanTheHeaderHolds", {{1, 1}}, MSG_TOO_LARGE, {}, [](const std::string &) { Repeat(65536); }},
    // The image is the first allocation, the file's buffer the second.
    {"BufferAllocation", {{2, 2}}, MSG_MEMORY_ERROR, {}, FailAllocation<1>},
    {"DestinationIsADirectory",
     {{2, 2}},
     MSG_CANT_CREATE_OUTPUT,
     {},
     [](const std::string &dest) { std::filesystem::create_directory(dest); }},
    {"DiskFull", {{64, 64}}, MSG_CANT_WRITE_OUTPUT, {}, WriteHalf<false>, MSG_CANT_WRITE_OUTPUT_KEPT},
    {"ShortWriteAsWhole", {{64, 64}}, MSG_CANT_WRITE_OUTPUT, {}, WriteHalf<true>, MSG_CANT_WRITE_OUTPUT_KEPT},
    {"DiskFullWritingInPlace", {{64, 64}}, MSG_CANT_WRITE_OUTPUT_KEPT, {}, LinkedWriteHalf},
#ifdef _WIN32
    {"ExchangeFails", {{64, 64}}, MSG_CANT_WRITE_OUTPUT_KEPT, {}, ExchangeThenWriteFail},
#endif
    // Images as they are ready: image, buffer, the frame thread (diffusion), then the
    // note of those come fails while the first frame is being made; else the second image.
    {"ReadyOrderBookkeeping",
     {{512, 512}, {512, 512}},
     Format(MSG_CANT_READ_IMAGE, "1"),
     {},
     [](const std::string &dest) {
         g_readyOrder = {1};
         g_readyImage = ReadyInScrambledOrder;
         FailAllocation<3>(dest);
     },
     MSG_MEMORY_ERROR},
    // Blocks the job cannot read safely count as undecodable.
    {"TallerThanItsBlock", {}, kUndecodable, {}, Spoil<8, 6>},
    {"HeaderPastTheBlock", {}, kUndecodable, {}, Spoil<0, 4096>},
    // On a canvas: nothing is ever cut, and the automatic one grows as images come.
    {"WiderThanTheCanvas", {{2, 2}, {5, 4}}, Format(MSG_LARGER_THAN_CANVAS, "1", 5, 4, 4, 4), Canvas(4, 4)},
    {"TallerThanTheCanvas", {{4, 5}}, Format(MSG_LARGER_THAN_CANVAS, "0", 4, 5, 4, 4), Canvas(4, 4)},
    {"CanvasWiderThanTheHeaderHolds", {{1, 1}}, MSG_TOO_LARGE, Canvas(65536, 1)},
    {"WiderThanTheHeaderHoldsOnACanvas", {{1, 1}, {65536, 1}}, MSG_TOO_LARGE, Canvas()},
    {"UndecodableOnACanvas", {{2, 2}, {0, 0}}, Format(MSG_CANT_READ_IMAGE, "1"), Canvas()},
    // Image, buffer, image, then the buffer grown for the larger second image.
    {"GrowingTheCanvas", {{1, 1}, {3, 2}}, MSG_MEMORY_ERROR, Canvas(), FailAllocation<3>},
    // Placed by their files' offsets.
    Trimmed("SomeWithoutOffsets", Format(MSG_NO_OFFSET, "1", "0"), {At(0, 0, 1, 1), {}, At(0, 0, 1, 1)}),
    Trimmed("LeftOfThePage", Format(MSG_NEGATIVE_OFFSET, "1", -1, 0), {At(0, 0, 1, 1), At(-1, 0, 1, 1)}),
    Trimmed("PastTheCanvasNamed", Format(MSG_PAST_CANVAS, "1", 2, 2, 3, 0, 4, 4),
            {At(0, 0, 2, 2), At(3, 0, 2, 2)}, 4),
    Trimmed("PastThePage", Format(MSG_PAST_CANVAS, "0", 2, 2, 0, 3, 4, 4), {At(0, 3, 2, 2, 4, 4)}),
    Trimmed("ReachingPastTheHeader", MSG_TOO_LARGE, {At(65534, 0, 2, 2)}),
};

}  // namespace

TEST_P(JobFailure, ReportsAndLeavesEverythingAsItWas)
{
    const Failure &c = GetParam();
    for (bool existed : {false, true}) {
        SCOPED_TRACE(existed ? "existing destination" : "no destination");
        Reset();
        AddImages(c.images);
        for (size_t i = 0; i < c.offsets.size(); i++)
            g_offsets[std::to_string(i)] = c.offsets[i];
        std::filesystem::remove(dest);
        if (c.arrange)
            c.arrange(dest);
        if (existed && !std::filesystem::is_directory(dest))
            WriteBytes(dest, Bytes(300, 0x5A));
        const auto contents = [&] {  // every name with its bytes (a folder's: none)
            std::map<std::string, Bytes> files;
            for (const std::string &n : dir.Names())
                files[n] = std::filesystem::is_directory(dir.Path(n)) ? Bytes() : ReadBytes(dir.Path(n));
            return files;
        };
        const auto before = contents();
        // Diffusion makes each frame beside the next decode: a failure waits for it first.
        EXPECT_EQ(ConvertToShpWith(dest.c_str(),
                                   ConvertOptions{c.canvas, existed ? DITHER_DIFFUSION : DITHER_NONE}),
                  0);
        EXPECT_EQ(g_status, existed && !c.statusWhenKept.empty() ? c.statusWhenKept : c.status);
        EXPECT_EQ(contents(), before) << "no file made, left behind or changed";
    }
}

INSTANTIATE_TEST_SUITE_P(Job, JobFailure, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<Failure> &info) { return info.param.name; });

// In a scrambled order: the same file as in list order; and when some fail,
// the job ends at the first of them in the list, told as in list order, and
// is not asked for any image after it.
TEST_F(Job, TakesImagesAsTheyAreReadyAndFailsAsInListOrder)
{
    const struct {
        std::map<int, std::pair<int, int>> odd;  // seven images of 3 x 2 but these; {0, 0}: undecodable
        std::string status;
        std::vector<int> asked;  // the limits the loader was given
        const char *refusal;     // g_sizeRefusal, in either order
    } cases[] = {
        {{}, MSG_SUCCESS, {7, 7, 7, 7, 7, 7}, ""},
        {{{3, {4, 2}}, {5, {0, 0}}}, Format(MSG_SIZE_MISMATCH, 3), {7, 5, 5, 3}, "3: 4 x 2, not 3 x 2"},
        {{{2, {0, 0}}, {6, {3, 3}}}, Format(MSG_CANT_READ_IMAGE, "2"), {7, 7, 6, 6, 6, 6}, ""},
    };
    const auto refusal = [] {
        const SizeRefusal &r = g_sizeRefusal;
        return r.index < 0 ? std::string()
                           : Format("%d: %u x %u, not %u x %u", r.index, r.width, r.height, r.firstWidth,
                                    r.firstHeight);
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        Reset();
        std::vector<std::pair<int, int>> sizes(7, {3, 2});
        for (const auto &[k, size] : c.odd)
            sizes[k] = size;
        AddImages(sizes);
        const bool fine = c.status == MSG_SUCCESS;
        ASSERT_EQ(fine ? 1 : 0, ConvertToShp(dest.c_str()));
        EXPECT_EQ(c.refusal, refusal());
        const Bytes inOrder = fine ? ReadBytes(dest) : Bytes();
        g_readyOrder = {5, 6, 1, 3, 4, 2};
        g_readyAsked.clear();
        g_readyImage = ReadyInScrambledOrder;
        EXPECT_EQ(fine ? 1 : 0, ConvertToShp(dest.c_str()));
        EXPECT_EQ(c.status, g_status);
        EXPECT_EQ(c.asked, g_readyAsked);
        EXPECT_EQ(c.refusal, refusal());
        EXPECT_EQ(inOrder, fine ? ReadBytes(dest) : Bytes());
    }
}

namespace {

// Three sizes, an automatic canvas growing with each.
const std::vector<std::pair<int, int>> kSizes = {{1, 1}, {3, 2}, {2, 3}};

// The file of the three images pasted on black at (left, top) of a canvas.
Bytes OnCanvas(int width, int height, const std::vector<CanvasSpot> &spots)
{
    Bytes expected(8 + 3 * (24 + 2 * width * height));
    WriteShpHeaders(expected.data(), uint32_t(width), uint32_t(height), 3);
    for (int k = 0; k < 3; k++)
        for (int y = 0; y < kSizes[k].second; y++)
            for (int x = 0; x < kSizes[k].first; x++) {
                const Rgb c = Pixel(k)(x, y);
                const uint16_t value = Rgb565(c.r, c.g, c.b);
                const size_t at =
                    8 + 3 * 24 +
                    2 * (size_t(k) * width * height + (spots[k].top + y) * width + spots[k].left + x);
                expected[at] = uint8_t(value), expected[at + 1] = uint8_t(value >> 8);
            }
    return expected;
}

}  // namespace

// Three images of different sizes on black. By an anchor, on the automatic canvas (3 x 3) or one of 6 x 5:
// the odd free pixel right and below. At their files' offsets: on the page the files agree on, else the
// smallest canvas from (0, 0) holding them all, or the canvas named; an anchor chosen places by it.
TEST_F(Job, PlacesImagesOfDifferentSizesOnOneCanvas)
{
    const std::vector<PngOffsets> onPage = {At(2, 1, 1, 1, 9, 9), At(0, 3, 3, 2, 9, 9), At(4, 0, 2, 3, 9, 9)};
    std::vector<PngOffsets> otherPage = onPage;
    otherPage[2].pageHeight = 8;
    const std::vector<CanvasSpot> offsets = {{2, 1}, {0, 3}, {4, 0}}, centred = {{1, 1}, {0, 0}, {0, 0}};
    struct Row {
        std::string label;
        CanvasChoice canvas;
        std::vector<PngOffsets> files;
        int width, height;
        std::vector<CanvasSpot> spots;
    };
    std::vector<Row> rows = {
        {"PageAgreed", Canvas(0, 0, true), onPage, 9, 9, offsets},
        {"PagesDiffer", Canvas(0, 0, true), otherPage, 6, 5, offsets},
        {"CanvasNamed", Canvas(7, 6, true), onPage, 7, 6, offsets},
        {"AnchorChosen", Canvas(0, 0, false), onPage, 3, 3, centred},
        {"NoOffsets", Canvas(0, 0, true), {}, 3, 3, centred},
    };
    // Along one side: flush with the low end, the high end, or in the middle.
    const auto offset = [](const std::string &anchor, const char *low, const char *high, int free) {
        return uint32_t(anchor.find(low) != std::string::npos    ? 0
                        : anchor.find(high) != std::string::npos ? free
                                                                 : free / 2);
    };
    for (uint32_t side : {0, 6})
        for (int anchor = 0; anchor < kAnchorCount; anchor++) {
            const std::string name = kAnchorNames[anchor];
            const int width = side ? 6 : 3, height = side ? 5 : 3;
            std::vector<CanvasSpot> spots;
            for (const auto &[w, h] : kSizes)
                spots.push_back(
                    {offset(name, "left", "right", width - w), offset(name, "top", "bottom", height - h)});
            const CanvasChoice choice = {true, side, side ? 5u : 0u, CanvasAnchor(anchor), false};
            rows.push_back({name + " on " + std::to_string(side), choice, {}, width, height, spots});
        }
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        Reset();
        AddImages(kSizes);
        for (size_t k = 0; k < row.files.size(); k++)
            g_offsets[std::to_string(k)] = row.files[k];
        ConvertOptions options = {row.canvas, DITHER_NONE};
        ASSERT_EQ(ConvertToShpWith(dest.c_str(), options), 1) << g_status;
        EXPECT_EQ(ReadBytes(dest), OnCanvas(row.width, row.height, row.spots));
        EXPECT_EQ(g_loads, (std::map<std::string, int>{{"0", 1}, {"1", 1}, {"2", 1}})) << "each decoded once";
        if (row.canvas.width == 0) {  // the ordered pattern tied to the canvas, as on the same canvas named
            options.dither = DITHER_ORDERED;
            ASSERT_EQ(ConvertToShpWith(dest.c_str(), options), 1) << g_status;
            const Bytes automatic = ReadBytes(dest);
            options.canvas.width = uint32_t(row.width);
            options.canvas.height = uint32_t(row.height);
            ASSERT_EQ(ConvertToShpWith(dest.c_str(), options), 1) << g_status;
            EXPECT_EQ(ReadBytes(dest), automatic);
        }
    }
}

#ifdef _WIN32
// The old file cannot go back under its name: the message says where it is, whole.
TEST_F(Job, SaysWhereTheOldFileIsWhenItCannotGoBack)
{
    Add("a", Image(2, 2));
    WriteBytes(dest, Bytes(300, 0x5A));
    g_replaceFile = [](const wchar_t *replaced, const wchar_t *, const wchar_t *backup) {
        MoveFileW(replaced, backup);  // and kept open, so that it cannot be renamed back
        g_heldBackup = CreateFileW(backup, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        return 0;
    };
    EXPECT_EQ(ConvertToShp(dest.c_str()), 0);
    CloseHandle(g_heldBackup);
    const std::string saved = dir.Path(dir.Names().at(0));  // the only file left
    EXPECT_EQ(g_status, Format(MSG_CANT_WRITE_OUTPUT_SAVED, saved.c_str()));
    EXPECT_EQ(ReadBytes(saved), Bytes(300, 0x5A));
}

// This program again, killed half-way through writing a new file (kill -9): nothing under the destination's
// name, the temporary removed by the system; a dead writer's temporary goes with the next write into the
// folder, a live writer's stays.
TEST_F(Job, KilledWhileWritingANewFileLeavesNothing)
{
    if (const char *target = std::getenv("KESTRANE_TEST_KILLED_WRITE")) {  // the process to be killed
        Add("a", Image(64, 64));
        g_outputWrite = [](void *file, const void *data, uint32_t size, uint32_t *written) {
            PlatformWrite(file, data, size / 2, written);
            Sleep(INFINITE);
            return false;
        };
        ConvertToShp(target);
        return;
    }
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command =
        std::string("\"") + self + "\" --gtest_filter=Job.KilledWhileWritingANewFileLeavesNothing";
    SetEnvironmentVariableA("KESTRANE_TEST_KILLED_WRITE", dest.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableA("KESTRANE_TEST_KILLED_WRITE", nullptr);
    for (int i = 0;
         i < 1000 && (dir.Names().empty() || std::filesystem::file_size(dir.Path(dir.Names()[0])) == 0); i++)
        Sleep(10);
    EXPECT_FALSE(dir.Names().empty()) << "the write never started";
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, INFINITE);
    EXPECT_EQ(dir.Names(), std::vector<std::string>()) << "at once";
    const auto temporary = [](unsigned long pid) { return Format("~kst%lx-0123456789abcdef.tmp", pid); };
    const std::string stale = temporary(child.dwProcessId), live = temporary(GetCurrentProcessId());
    WriteBytes(dir.Path(stale), Bytes(10, 1)), WriteBytes(dir.Path(live), Bytes(10, 1));
    CloseHandle(child.hProcess), CloseHandle(child.hThread);
    Add("a", Image(2, 2));
    ASSERT_EQ(ConvertToShp(dest.c_str()), 1) << g_status;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"out.shp", live}));
}
#endif

TEST(PrintStatus, CutsLongTextsShortInsteadOfOverrunning)
{
    const std::string head = Format(MSG_CANT_READ_IMAGE, ""), path(2000, 'x');
    PrintStatus(MSG_CANT_READ_IMAGE, path.c_str());
    EXPECT_EQ(g_status, head + path.substr(0, kStatusBufferSize - 1 - head.size()));
}
