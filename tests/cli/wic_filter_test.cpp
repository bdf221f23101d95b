// Our import filter called as the program's loader calls it (PNG pixels: tests/outside/cli_test.py).
#include <initguid.h>  // defines the imaging component's GUIDs for the reference decode
#include <windows.h>

#include <gtest/gtest.h>

#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "import/metafile.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wic_first_frame.h"

namespace {

using namespace std::string_literals;
using Pixels = std::vector<uint32_t>;  // width, height, then 0xRRGGBB values, top row first

// 6 x 4 JPEG, 4:4:4, red rising to the right, green downwards, blue falling.
const std::string kJpeg =
    "\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0\xff\xdb\0C\0\x03\x02\x02\x03\x02\x02\x03\x03\x03"
    "\x03\x04\x03\x03\x04\x05\x08\x05\x05\x04\x04\x05\x0a\x07\x07\x06\x08\x0c\x0a\x0c\x0c\x0b\x0a\x0b\x0b\x0d"
    "\x0e\x12\x10\x0d\x0e\x11\x0e\x0b\x0b\x10\x16\x10\x11\x13\x14\x15\x15\x15\x0c\x0f\x17\x18\x16\x14\x18\x12"
    "\x14\x15\x14\xff\xc0\0\x11\x08\0\x04\0\x06\x03\x01\x11\0\x02\x11\0\x03\x11\0\xff\xc4\0\x14\0\x01\0\0\0\0"
    "\0\0\0\0\0\0\0\0\0\0\0\x07\xff\xc4\0\x1d\x10\0\x01\x02\x07\0\0\0\0\0\0\0\0\0\0\0\0\x01\0\x06\x07\x08\x14"
    "%AB\xd1\xff\xc4\0\x14\x01\x01\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x05\xff\xc4\0 \x11\0\x01\x03\x02\x07\0\0\0\0"
    "\0\0\0\0\0\0\0\x01\0\x07\x61$A\x05\x06\x08\x15\x16\x42\x43\xff\xda\0\x0c\x03\x01\0\x02\x11\x03\x11\0\x3f"
    "\0J\x87R\xfe\xcb\xa0\x36\xcd\x46G\x10o\xc3\x93\x8foB\xaf\xb9\xb1\x99\x45i\x95\xdc\xcc\xbct\xd6\xf9\x8b"
    "\x18\x95\xff\xd9"s;

const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;

template <typename Function> Function Entry(const char *name)
{
    static HMODULE library = LoadLibraryA(KESTRANE_FILTER);
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

// The file imported and rendered as the program does, the picture one bitmap
// record; empty when the filter refuses the file, handing back no picture.
Pixels Imported(const std::string &path)
{
    FilterFileSpec fileSpec = {};
    lstrcpynA(fileSpec.path, path.c_str(), sizeof(fileSpec.path));
    FilterPicture picture = {};
    int result = Entry<ImportGrFunction>(FILTER_IMPORT)(nullptr, &fileSpec, &picture, nullptr);
    if (result != 0 || !picture.picture) {
        EXPECT_TRUE(result != 0 && !picture.picture) << path << ": the result and the picture disagree";
        return {};
    }
    HMETAFILE metafile = HMETAFILE(picture.picture);
    PackedDib dib = RenderMetafile(metafile, picture.left, picture.top, picture.right, picture.bottom);
    EXPECT_EQ(GetMetaFileBitsEx(metafile, 0, nullptr), 18 + 28 + 40 + dib->biSizeImage + 6) << "one record";
    DeleteMetaFile(metafile);
    Pixels pixels = {uint32_t(dib->biWidth), uint32_t(dib->biHeight)};
    for (int y = dib->biHeight - 1; y >= 0; y--) {
        const BYTE *row = reinterpret_cast<const BYTE *>(dib + 1) + y * DibStride(dib->biWidth, 24);
        for (int x = 0; x < 3 * dib->biWidth; x += 3)
            pixels.push_back(uint32_t(row[x + 2]) << 16 | row[x + 1] << 8 | row[x]);
    }
    FreePackedDib(dib);
    return pixels;
}

TEST(WicFilter, AnswersInfoAndAcceptsDialogPreferences)
{
    HGLOBAL preferences = nullptr;
    EXPECT_EQ(Entry<GetFilterInfoFunction>(FILTER_GET_INFO)(2, "", &preferences, 0), kFilterInfoVersion);
    auto setPref = Entry<SetFilterPrefFunction>(FILTER_SET_PREF);
    for (HGLOBAL memory : {preferences, HGLOBAL(nullptr)})  // the loader may hold no preference memory
        for (auto [name, ok] : {std::pair{FILTER_PREF_PROGRESS, 1}, {FILTER_PREF_OPTIONS, 1}, {"Other", 0}})
            EXPECT_EQ(setPref(memory, name, "No", 3, 1) == 0, ok) << name;
    EXPECT_EQ(GlobalFree(preferences), nullptr);
}

// Pixels as the imaging component decodes them, with or without the caller's
// COM apartment, which is left as it was; the file is released.
TEST(WicFilter, ImportsJpegAsTheDecoderSeesItAndLeavesComAlone)
{
    TempDir dir;
    std::string path = dir.Path("tiny.jpg");
    WriteBytes(path, {kJpeg.begin(), kJpeg.end()});
    Pixels outside = Imported(path), decoded(2);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "an apartment was left behind";
    EXPECT_EQ(Imported(path), outside) << "inside the caller's apartment";
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE) << "the caller's apartment ended";
    CoUninitialize();
    IWICImagingFactory *factory = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                               reinterpret_cast<void **>(&factory)),
              S_OK);
    std::vector<BYTE> bgrx;
    DecodeFirstFrame(factory, (dir.Root() / "tiny.jpg").c_str(), GUID_WICPixelFormat32bppBGR, &bgrx,
                     &decoded[0], &decoded[1]);
    factory->Release();
    CoUninitialize();
    for (size_t i = 0; i < bgrx.size(); i += 4)
        decoded.push_back(uint32_t(bgrx[i + 2]) << 16 | bgrx[i + 1] << 8 | bgrx[i]);
    EXPECT_EQ(outside, decoded);
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the filter kept the file open";
}

// The picture, or none for a refused file (the program's report is checked from outside).
TEST(WicFilter, PlacesAGifOnItsLogicalScreenAndRefusesWhatItCannotDecode)
{
    const uint32_t G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF;
    const std::tuple<const char *, std::string, Pixels> cases[] = {
        // 4 x 3 with one 2 x 2 frame at (1, 1): green, blue / white, transparent; its background white.
        // Viewers show the frame in its place with black around it, and so does the picture.
        {"canvas.gif",
         "GIF89a\x04\0\x03\0\xf1\x02\0\0\xff\0\0\0\xff\xff\xff\xff\0\0\0!\xf9\x04\x01\0\0\x03"
         "\0,\x01\0\x01\0\x02\0\x02\0\0\x02\x03\x44\x34\x05\0;"s,
         {4, 3, 0, 0, 0, 0, 0, G, B, 0, 0, W, 0, 0}},
        {"cut.jpg", kJpeg.substr(0, 200), {}},
        {"text.png", "not an image", {}},
        {"empty.jpg", "", {}},
        {"noframes.gif", "GIF89a\2\0\2\0\0\0\0\x3B"s, {}},
    };
    TempDir dir;
    for (const auto &[name, bytes, picture] : cases) {
        WriteBytes(dir.Path(name), {bytes.begin(), bytes.end()});
        EXPECT_EQ(Imported(dir.Path(name)), picture) << name;
        EXPECT_TRUE(DeleteFileA(dir.Path(name).c_str())) << name << ": the filter kept the file open";
    }
}

TEST(WicFilter, RegistersAndUnregistersExactlyItsOwnSubkey)
{
    auto read = [](const char *name) {
        char value[MAX_PATH + 1] = "";
        DWORD size = sizeof(value);
        RegGetValueA(HKEY_LOCAL_MACHINE, kFilterKey, name, RRF_RT_REG_SZ, nullptr, value, &size);
        return std::string(value);
    };
    auto registerServer = Entry<HRESULT(WINAPI *)()>("DllRegisterServer");
    auto unregisterServer = Entry<HRESULT(WINAPI *)()>("DllUnregisterServer");
    const char sibling[] = FILTER_ROOT_KEY "\\Kestrane test sibling";
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, sibling, nullptr, REG_SZ, "", 1), ERROR_SUCCESS);

    EXPECT_EQ(registerServer(), S_OK);
    EXPECT_EQ(read(FILTER_VALUE_EXTENSIONS), WIC_FILTER_EXTENSIONS);
    EXPECT_EQ(GetModuleHandleA(read(FILTER_VALUE_PATH).c_str()), GetModuleHandleA(KESTRANE_FILTER));
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFilterKey), ERROR_FILE_NOT_FOUND) << "its key stayed";
    EXPECT_EQ(unregisterServer(), S_OK) << "unregistering twice is harmless";
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, sibling), ERROR_SUCCESS) << "the sibling was removed";
}

}  // namespace
