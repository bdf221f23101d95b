// Our import filter called directly, the way the program's loader calls it.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "tests/support/temp_dir.h"

namespace {

// 3 x 2 RGBA PNG: opaque red, half-transparent green, transparent blue /
// opaque (10, 20, 30), (200, 100, 50) at alpha 64, white at alpha 1.
const unsigned char kTinyPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x9d, 0x74, 0x66,
    0x1a, 0x00, 0x00, 0x00, 0x23, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0,
    0x9f, 0xe1, 0x3f, 0x43, 0x03, 0x03, 0xc3, 0x7f, 0x06, 0x06, 0x2e, 0x11, 0xb9, 0xff, 0x27, 0x52,
    0x8c, 0x1c, 0xfe, 0xff, 0xff, 0xcf, 0x08, 0x00, 0x7a, 0x9f, 0x0a, 0x54, 0x11, 0x5d, 0xe1, 0xd9,
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// The same pixels over black, R, G, B, top row first.
const unsigned char kTinyOverBlack[2][3][3] = {
    {{255, 0, 0}, {0, 128, 0}, {0, 0, 0}},
    {{10, 20, 30}, {50, 25, 13}, {1, 1, 1}},
};

const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;

class WicFilterTest : public testing::Test {
  protected:
    void SetUp() override
    {
        // Copied next to this program by the build.
        library_ = LoadLibraryA("kestrane-import.flt");
        ASSERT_NE(library_, nullptr);
        getInfo_ = reinterpret_cast<GetFilterInfoFunction>(
            reinterpret_cast<void *>(GetProcAddress(library_, FILTER_GET_INFO)));
        import_ = reinterpret_cast<ImportGrFunction>(
            reinterpret_cast<void *>(GetProcAddress(library_, FILTER_IMPORT)));
        setPref_ = reinterpret_cast<SetFilterPrefFunction>(
            reinterpret_cast<void *>(GetProcAddress(library_, FILTER_SET_PREF)));
        ASSERT_TRUE(getInfo_ && import_ && setPref_);
    }
    void TearDown() override
    {
        if (library_)
            FreeLibrary(library_);
    }

    int Import(const std::string &path, FilterPicture *picture)
    {
        FilterFileSpec spec = {};
        lstrcpynA(spec.path, path.c_str(), sizeof(spec.path));
        std::memset(picture, 0, sizeof(*picture));
        return import_(nullptr, &spec, picture, nullptr);
    }

    HMODULE library_ = nullptr;
    GetFilterInfoFunction getInfo_ = nullptr;
    ImportGrFunction import_ = nullptr;
    SetFilterPrefFunction setPref_ = nullptr;
    TempDir dir_;
};

// The metafile's records after its header, as (function, size in words).
std::vector<std::pair<WORD, DWORD>> Records(HMETAFILE metafile)
{
    std::vector<std::pair<WORD, DWORD>> records;
    UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
    std::vector<BYTE> bytes(size);
    if (size == 0 || GetMetaFileBitsEx(metafile, size, bytes.data()) != size)
        return records;
    size_t offset = 2 * size_t(*reinterpret_cast<const WORD *>(&bytes[2]));
    while (offset + 6 <= size) {
        DWORD words;
        WORD function;
        std::memcpy(&words, &bytes[offset], 4);
        std::memcpy(&function, &bytes[offset + 4], 2);
        records.emplace_back(function, words);
        if (words < 3)
            break;
        offset += 2 * size_t(words);
    }
    return records;
}

// Plays the metafile into a 24-bit bottom-up DIB section of the given size.
std::vector<BYTE> Play(HMETAFILE metafile, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    int stride = ((width * 24 + 31) >> 3) & ~3;
    void *bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<BYTE> pixels;
    if (section && bits) {
        HGDIOBJ old = SelectObject(dc, section);
        if (PlayMetaFile(dc, metafile)) {
            GdiFlush();
            pixels.assign(static_cast<BYTE *>(bits), static_cast<BYTE *>(bits) + stride * height);
        }
        SelectObject(dc, old);
    }
    if (section)
        DeleteObject(section);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
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

TEST_F(WicFilterTest, ImportsOneBitmapRecordCompositedOverBlack)
{
    std::string path = dir_.Path("tiny.png");
    WriteBytes(path, std::vector<unsigned char>(kTinyPng, kTinyPng + sizeof(kTinyPng)));
    FilterPicture picture;
    ASSERT_EQ(Import(path, &picture), 0);
    HMETAFILE metafile = static_cast<HMETAFILE>(picture.picture);
    ASSERT_NE(metafile, nullptr);
    EXPECT_EQ(picture.left, 0);
    EXPECT_EQ(picture.top, 0);
    EXPECT_EQ(picture.right, 3);
    EXPECT_EQ(picture.bottom, 2);

    auto records = Records(metafile);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].first, META_STRETCHDIB);
    EXPECT_EQ(records[1].first, 0);  // end of file

    std::vector<BYTE> pixels = Play(metafile, 3, 2);
    ASSERT_EQ(pixels.size(), 24u);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) {
            const BYTE *bgr = &pixels[(1 - y) * 12 + x * 3];  // bottom row first
            const unsigned char *rgb = kTinyOverBlack[y][x];
            EXPECT_EQ(bgr[2], rgb[0]) << x << "," << y;
            EXPECT_EQ(bgr[1], rgb[1]) << x << "," << y;
            EXPECT_EQ(bgr[0], rgb[2]) << x << "," << y;
        }
    DeleteMetaFile(metafile);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the filter kept the file open";
}

TEST_F(WicFilterTest, ImportLeavesTheCallersComStateAlone)
{
    std::string path = dir_.Path("tiny.png");
    WriteBytes(path, std::vector<unsigned char>(kTinyPng, kTinyPng + sizeof(kTinyPng)));
    FilterPicture picture;
    ASSERT_EQ(Import(path, &picture), 0);
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
}

TEST_F(WicFilterTest, RefusesWhatItCannotDecodeAndKeepsNothing)
{
    std::vector<unsigned char> truncated(kTinyPng, kTinyPng + 40);
    const unsigned char gifWithoutFrames[] = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0, 0, 0, 0x3B};
    struct Case {
        const char *name;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"truncated.png", truncated},
        {"text.png", std::vector<unsigned char>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
        {"empty.jpg", {}},
        {"noframes.gif",
         std::vector<unsigned char>(gifWithoutFrames, gifWithoutFrames + sizeof(gifWithoutFrames))},
    };
    for (const Case &c : cases) {
        std::string path = dir_.Path(c.name);
        WriteBytes(path, c.bytes);
        FilterPicture picture;
        EXPECT_NE(Import(path, &picture), 0) << c.name;
        EXPECT_EQ(picture.picture, nullptr) << c.name;
        EXPECT_TRUE(DeleteFileA(path.c_str())) << c.name << ": the filter kept the file open";
    }
    FilterPicture picture;
    EXPECT_NE(Import(dir_.Path("missing.png"), &picture), 0);
    EXPECT_EQ(picture.picture, nullptr);
    EXPECT_NE(import_(nullptr, nullptr, &picture, nullptr), 0);
}

std::string ReadString(HKEY key, const char *name)
{
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return "<unreadable>";
    return value;
}

TEST_F(WicFilterTest, RegistersAndUnregistersExactlyItsOwnSubkey)
{
    auto registerServer = reinterpret_cast<HRESULT(WINAPI *)()>(
        reinterpret_cast<void *>(GetProcAddress(library_, "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<HRESULT(WINAPI *)()>(
        reinterpret_cast<void *>(GetProcAddress(library_, "DllUnregisterServer")));
    ASSERT_TRUE(registerServer && unregisterServer);
    // A registration made outside the test is put back afterwards.
    HKEY key = nullptr;
    std::string savedPath;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        savedPath = ReadString(key, FILTER_VALUE_PATH);
        RegCloseKey(key);
    }
    const char sibling[] = FILTER_ROOT_KEY "\\Kestrane test sibling";
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, sibling, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(key);

    EXPECT_EQ(registerServer(), S_OK);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    char ownPath[MAX_PATH] = {};
    GetModuleFileNameA(library_, ownPath, MAX_PATH);
    EXPECT_EQ(ReadString(key, FILTER_VALUE_EXTENSIONS), WIC_FILTER_EXTENSIONS);
    EXPECT_EQ(ReadString(key, FILTER_VALUE_PATH), ownPath);
    RegCloseKey(key);

    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, sibling, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(unregisterServer(), S_OK) << "unregistering twice is harmless";
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, sibling), ERROR_SUCCESS);

    if (!savedPath.empty() && RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, nullptr, 0, KEY_SET_VALUE,
                                              nullptr, &key, nullptr) == ERROR_SUCCESS) {
        static const char kExtensions[] = WIC_FILTER_EXTENSIONS;
        RegSetValueExA(key, FILTER_VALUE_EXTENSIONS, 0, REG_SZ, reinterpret_cast<const BYTE *>(kExtensions),
                       sizeof(kExtensions));
        RegSetValueExA(key, FILTER_VALUE_PATH, 0, REG_SZ, reinterpret_cast<const BYTE *>(savedPath.c_str()),
                       DWORD(savedPath.size() + 1));
        RegCloseKey(key);
    }
}

}  // namespace
