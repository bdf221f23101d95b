// Our import filter called directly, the way the program's loader calls it.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "import/metafile.h"
#include "tests/support/temp_dir.h"

namespace {

// 3 x 2 RGBA PNG: opaque red, half-transparent green, transparent blue /
// opaque (10, 20, 30), (200, 100, 50) at alpha 64, white at alpha 1. Its
// pixels over black are compared end to end by cli_end_to_end.py.
const char kTinyPng[] =
    "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x03\0\0\0\x02\x08\x06\0\0\0\x9d\x74\x66"
    "\x1a\0\0\0\x23IDATx\x9c\x63\xf8\xcf\xc0\xf0\x9f\xe1\x3f\x43\x03\x03\xc3\x7f\x06\x06"
    "\x2e\x11\xb9\xff\x27\x52\x8c\x1c\xfe\xff\xff\xcf\x08\0\x7a\x9f\x0a\x54\x11\x5d\xe1\xd9"
    "\0\0\0\0IEND\xae\x42\x60\x82";

// 4 x 3 GIF whose only frame, 2 x 2 at (1, 1), holds green, blue / white and
// a transparent pixel; its background colour is white.
const char kCanvasGif[] = "GIF89a\x04\0\x03\0\xf1\x02\0\0\xff\0\0\0\xff\xff\xff\xff\0\0\0"
                          "!\xf9\x04\x01\0\0\x03\0,\x01\0\x01\0\x02\0\x02\0\0\x02\x03\x44\x34\x05\0;";

const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;

class WicFilterTest : public testing::Test {
  protected:
    void SetUp() override
    {
        // Copied next to this program by the build.
        library_ = LoadLibraryA("kestrane-import.flt");
        ASSERT_NE(library_, nullptr);
        getInfo_ = reinterpret_cast<GetFilterInfoFunction>(Entry(FILTER_GET_INFO));
        import_ = reinterpret_cast<ImportGrFunction>(Entry(FILTER_IMPORT));
        setPref_ = reinterpret_cast<SetFilterPrefFunction>(Entry(FILTER_SET_PREF));
        ASSERT_TRUE(getInfo_ && import_ && setPref_);
    }
    void TearDown() override
    {
        if (library_)
            FreeLibrary(library_);
    }

    void *Entry(const char *name) { return reinterpret_cast<void *>(GetProcAddress(library_, name)); }

    std::string File(const char *name, const std::string &bytes)
    {
        std::string path = dir_.Path(name);
        WriteBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
        return path;
    }

    int Import(const std::string &path, FilterPicture *picture)
    {
        FilterFileSpec fileSpec = {};
        lstrcpynA(fileSpec.path, path.c_str(), sizeof(fileSpec.path));
        std::memset(picture, 0, sizeof(*picture));
        return import_(nullptr, &fileSpec, picture, nullptr);
    }

    HMODULE library_ = nullptr;
    GetFilterInfoFunction getInfo_ = nullptr;
    ImportGrFunction import_ = nullptr;
    SetFilterPrefFunction setPref_ = nullptr;
    TempDir dir_;
};

// The functions of the metafile's records after its header.
std::vector<WORD> RecordFunctions(HMETAFILE metafile)
{
    std::vector<WORD> functions;
    std::vector<BYTE> bytes(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, UINT(bytes.size()), bytes.data());
    for (size_t offset = 18, words = 3; words >= 3 && offset + 6 <= bytes.size(); offset += 2 * words) {
        DWORD size;
        std::memcpy(&size, &bytes[offset], 4);
        functions.push_back(WORD(bytes[offset + 4] | bytes[offset + 5] << 8));
        words = size;
    }
    return functions;
}

TEST_F(WicFilterTest, AnswersInfoAndAcceptsDialogPreferences)
{
    HGLOBAL preferences = nullptr;
    EXPECT_EQ(getInfo_(2, "", &preferences, 0), kFilterInfoVersion);
    EXPECT_EQ(setPref_(preferences, FILTER_PREF_PROGRESS, "No", 2, 1), 0);
    EXPECT_EQ(setPref_(preferences, FILTER_PREF_OPTIONS, "No", 2, 1), 0);
    EXPECT_EQ(setPref_(preferences, FILTER_PREF_PROGRESS, "Yes", 4, 1), 0);
    EXPECT_NE(setPref_(preferences, "SomethingElse", "No", 2, 1), 0);
    // The loader sets preferences even when it holds no preference memory.
    EXPECT_EQ(setPref_(nullptr, FILTER_PREF_PROGRESS, "No", 2, 1), 0);
    if (preferences) {
        EXPECT_EQ(GlobalFree(preferences), nullptr);
    }
}

TEST_F(WicFilterTest, ImportsOneBitmapRecordInItsBoxAndLeavesComAlone)
{
    std::string path = File("tiny.png", std::string(kTinyPng, sizeof(kTinyPng) - 1));
    FilterPicture picture;
    ASSERT_EQ(Import(path, &picture), 0);
    ASSERT_NE(picture.picture, nullptr);
    EXPECT_EQ((std::vector<int>{picture.left, picture.top, picture.right, picture.bottom}),
              (std::vector<int>{0, 0, 3, 2}));
    EXPECT_EQ(RecordFunctions(static_cast<HMETAFILE>(picture.picture)),
              (std::vector<WORD>{META_STRETCHDIB, 0}));  // one bitmap, then the end record
    DeleteMetaFile(static_cast<HMETAFILE>(picture.picture));
    // S_OK only when no apartment was left behind on this thread.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr))
        CoUninitialize();

    // A caller that has its own apartment keeps it, and decoding still works.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(Import(path, &picture), 0);
    DeleteMetaFile(static_cast<HMETAFILE>(picture.picture));
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the filter kept the file open";
}

// A viewer shows the frame in its place on the logical screen, with nothing
// (black) around it; the background colour is not painted.
TEST_F(WicFilterTest, PlacesAGifFrameOnItsLogicalScreen)
{
    FilterPicture picture;
    ASSERT_EQ(Import(File("canvas.gif", std::string(kCanvasGif, sizeof(kCanvasGif) - 1)), &picture), 0);
    HMETAFILE metafile = static_cast<HMETAFILE>(picture.picture);
    PackedDib dib = RenderMetafile(metafile, picture.left, picture.top, picture.right, picture.bottom);
    DeleteMetaFile(metafile);
    ASSERT_NE(dib, nullptr);
    const std::map<uint32_t, char> letters = {
        {0x000000, '.'}, {0x00FF00, 'G'}, {0x0000FF, 'B'}, {0xFFFFFF, 'W'}};
    std::string rows;  // top row first, one letter a pixel
    for (int y = dib->biHeight - 1; y >= 0; y--, rows += '/') {
        const BYTE *pixel =
            reinterpret_cast<const BYTE *>(dib) + dib->biSize + y * DibStride(dib->biWidth, 24);
        for (int x = 0; x < dib->biWidth; x++, pixel += 3) {
            auto letter = letters.find(pixel[0] | pixel[1] << 8 | pixel[2] << 16);  // 0xRRGGBB
            rows += letter != letters.end() ? letter->second : '?';
        }
    }
    FreePackedDib(dib);
    EXPECT_EQ(rows, "..../.GB./.W../");
}

// What the program reports for such files is checked by cli_end_to_end.py;
// here, that the filter hands back no picture and releases the file.
TEST_F(WicFilterTest, RefusesWhatItCannotDecodeAndKeepsNothing)
{
    const std::pair<const char *, std::string> cases[] = {
        {"truncated.png", std::string(kTinyPng, 40)},
        {"text.png", "not an image"},
        {"empty.jpg", ""},
        {"noframes.gif", std::string("GIF89a\2\0\2\0\0\0\0\x3B", 14)},
    };
    FilterPicture picture;
    for (const auto &[name, bytes] : cases) {
        std::string path = File(name, bytes);
        EXPECT_NE(Import(path, &picture), 0) << name;
        EXPECT_EQ(picture.picture, nullptr) << name;
        EXPECT_TRUE(DeleteFileA(path.c_str())) << name << ": the filter kept the file open";
    }
    EXPECT_NE(Import(dir_.Path("missing.png"), &picture), 0);
    EXPECT_EQ(picture.picture, nullptr);
    EXPECT_NE(import_(nullptr, nullptr, &picture, nullptr), 0);
}

std::string ReadString(const char *key, const char *name)
{
    char value[MAX_PATH + 1] = {};
    DWORD size = sizeof(value);
    return RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS
               ? value
               : "<unreadable>";
}

TEST_F(WicFilterTest, RegistersAndUnregistersExactlyItsOwnSubkey)
{
    auto registerServer = reinterpret_cast<HRESULT(WINAPI *)()>(Entry("DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<HRESULT(WINAPI *)()>(Entry("DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);
    // A registration made outside the test is put back afterwards.
    std::string savedPath = ReadString(kFilterKey, FILTER_VALUE_PATH);
    const char sibling[] = FILTER_ROOT_KEY "\\Kestrane test sibling";
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, sibling, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(key);

    EXPECT_EQ(registerServer(), S_OK);
    char ownPath[MAX_PATH] = {};
    GetModuleFileNameA(library_, ownPath, MAX_PATH);
    EXPECT_EQ(ReadString(kFilterKey, FILTER_VALUE_EXTENSIONS), WIC_FILTER_EXTENSIONS);
    EXPECT_EQ(ReadString(kFilterKey, FILTER_VALUE_PATH), ownPath);

    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(unregisterServer(), S_OK) << "unregistering twice is harmless";
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, sibling), ERROR_SUCCESS) << "the sibling was removed";

    if (savedPath != "<unreadable>") {
        static const char kExtensions[] = WIC_FILTER_EXTENSIONS;
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kFilterKey, FILTER_VALUE_EXTENSIONS, REG_SZ, kExtensions,
                        sizeof(kExtensions));
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kFilterKey, FILTER_VALUE_PATH, REG_SZ, savedPath.c_str(),
                        DWORD(savedPath.size() + 1));
    }
}

}  // namespace
