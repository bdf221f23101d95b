// Our import filter called as the program's loader calls it (PNG pixels and refusals: tests/outside),
// and its registration, which refuses a file that others could replace.
#include <initguid.h>  // defines the imaging component's GUIDs for the reference decode
#include <windows.h>

#include <olectl.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "filters/wic/file_protection.h"
#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "import/filter_lookup.h"
#include "import/metafile.h"
#include "tests/support/filter_registrations.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wic_first_frame.h"

namespace {

using namespace std::string_literals;
using Pixels = std::vector<uint32_t>;  // width, height, then 0xRRGGBB values, top row first

// 3 x 2 JPEG, 4:4:4, coarsely quantised: red rising to the right, green downwards, blue falling.
const std::string kJpeg =
    "\xff\xd8\xff\xdb\0C\0RRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRRR\xff\xc0\0\x11"
    "\x08\0\2\0\3\3\1\x11\0\2\x11\0\3\x11\0\xff\xc4\0\x14\0\1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\2\xff\xc4\0\x17"
    "\x10\0\3\1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\1\x11Q\xff\xc4\0\x15\1\1\1\0\0\0\0\0\0\0\0\0\0\0\0\0\0\1\3\xff"
    "\xc4\0\x16\x11\1\1\1\0\0\0\0\0\0\0\0\0\0\0\0\0\1\0\x31\xff\xda\0\x0c\3\1\0\2\x11\3\x11\0\x3f\0\x11\x61"
    "G`\xc2\xff\xd9"s;

const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;

template <typename Function> Function Entry(const char *name)
{
    static HMODULE library = LoadLibraryA(KESTRANE_FILTER);
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

// A value of a filter's subkey, "" when it is absent.
std::string Registered(const char *name, const char *key = kFilterKey)
{
    char value[MAX_PATH + 1] = "";
    DWORD size = sizeof(value);
    RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size);
    return std::string(value);
}

// The file imported and rendered as the program does; empty when the filter hands back no picture.
Pixels Imported(const std::string &path)
{
    FilterFileSpec fileSpec = {};
    lstrcpynA(fileSpec.path, path.c_str(), sizeof(fileSpec.path));
    FilterPicture picture = {};
    if (Entry<ImportGrFunction>(FILTER_IMPORT)(nullptr, &fileSpec, &picture, nullptr) || !picture.picture)
        return {};
    HMETAFILE metafile = HMETAFILE(picture.picture);
    PackedDib dib = RenderMetafile(metafile, picture.left, picture.top, picture.right, picture.bottom);
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
    ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&factory)), S_OK);
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

// Viewers show a GIF's first frame in its place on the logical screen, black
// around it, and so does the picture.
TEST(WicFilter, PlacesAGifFrameOnItsLogicalScreen)
{
    // 4 x 3 with one 2 x 2 frame at (1, 1): green, blue / white, transparent; its background white.
    const std::string gif = "GIF89a\x04\0\x03\0\xf1\x02\0\0\xff\0\0\0\xff\xff\xff\xff\0\0\0!\xf9"
                            "\x04\x01\0\0\x03\0,\x01\0\x01\0\x02\0\x02\0\0\x02\x03\x44\x34\x05\0;"s;
    TempDir dir;
    WriteBytes(dir.Path("g.gif"), {gif.begin(), gif.end()});
    EXPECT_EQ(Imported(dir.Path("g.gif")), (Pixels{4, 3, 0, 0, 0, 0, 0, 0xFF00, 0xFF, 0, 0, 0xFFFFFF, 0, 0}));
}

// A 1 x 1 GIF frame needs a colour table, its own or the file's (as in the
// tests above): without either the import fails, whatever a decoder would make of it.
TEST(WicFilter, RefusesAGifFrameWithoutAnyColourTable)
{
    const std::string screen = "GIF89a\1\0\1\0"s, frame = ",\0\0\0\0\1\0\1\0"s, pixels = "\2\2\x44\1\0;"s,
                      table = "\0\0\0\xff\xff\xff"s, control = "!\xf9\4\0\0\0\0\0"s;
    const struct {
        const char *name;
        std::string bytes;
        bool readable;
    } rows[] = {
        {"local table", screen + "\0\0\0"s + frame + "\x80"s + table + pixels, true},
        {"none", screen + "\0\0\0"s + frame + "\0"s + pixels, false},
        {"none, after an extension", screen + "\0\0\0"s + control + frame + "\0"s + pixels, false},
    };
    TempDir dir;
    for (const auto &row : rows) {
        WriteBytes(dir.Path("g.gif"), {row.bytes.begin(), row.bytes.end()});
        EXPECT_EQ(Imported(dir.Path("g.gif")).empty(), !row.readable) << row.name;
    }
}

// A file whose first bytes name none of our formats (a BMP named .png) is read by the imaging
// component's own choice of decoder.
TEST(WicFilter, ReadsAnUnknownSignatureThroughTheComponentsChoice)
{
    const std::string bmp = "BM:\0\0\0\0\0\0\0\x36\0\0\0(\0\0\0\1\0\0\0\1\0\0\0\1\0\x18\0\0\0\0\0\4\0\0\0"s +
                            std::string(16, '\0') + "\x56\x34\x12\0"s;
    TempDir dir;
    WriteBytes(dir.Path("b.png"), {bmp.begin(), bmp.end()});
    EXPECT_EQ(Imported(dir.Path("b.png")), (Pixels{1, 1, 0x123456}));
}

// Its own subkey, naming itself, and nothing else: a sibling stays. A type it leaves to another
// maker's filter is one the lookup then reads through that filter, however often ours registers.
TEST(WicFilter, RegistersAndUnregistersExactlyItsOwnSubkey)
{
    KeptKey kept(kFilterKey);
    TempDir dir;
    const std::string gif = "GIF89a\1\0\1\0\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0\1\0\1\0\0\2\2\x44\1\0;"s;
    for (const char *name : {"x.gif", "x.png"})  // x.png: a GIF, which the imaging component reads as well
        WriteBytes(dir.Path(name), {gif.begin(), gif.end()});
    WriteBytes(dir.Path("x.jpe"), {kJpeg.begin(), kJpeg.end()});
    auto registerServer = Entry<HRESULT(WINAPI *)()>("DllRegisterServer");
    const std::string filter = FullPath(KESTRANE_FILTER);  // any file that exists
    const struct {
        const char *extensions, *path, *theirs;  // theirs: which of ours their filter keeps
        DWORD pathType = REG_SZ;
    } rows[] = {
        {"tif\t Png", filter.c_str(), "png"},
        {"APNG,TIF", filter.c_str(), "png"},  // an entry's ending, as the lookup reads it
        {"PNG ", filter.c_str(), ""},         // not followed by a separator
        {"JPEG", filter.c_str(), "jpeg"},     // not JPE
        {"PNG", "C:\\kestrane-gone\\png.flt", ""},
        {"PNG,JPE", "%SystemRoot%\\system32\\kernel32.dll", "", REG_EXPAND_SZ},   // loaded as written
        {"jfif,jpe,jpeg,jpg,gif,png", filter.c_str(), "png,gif,jpe,jpeg,jfif"}};  // ours lists nothing
    for (const auto &row : rows) {
        FilterRegistrations registry;
        registry.Add("other", row.extensions, row.path, REG_SZ, row.pathType);
        ASSERT_TRUE(registerServer() == S_OK && registerServer() == S_OK) << row.extensions;
        for (const char *extension : {"png", "gif", "jpe", "jpeg", "jfif"})
            EXPECT_NE(ExtensionListContains(Registered(FILTER_VALUE_EXTENSIONS).c_str(), extension),
                      ExtensionListContains(row.theirs, extension))
                << row.extensions << " " << extension;
        for (const char *name : {"x.png", "x.gif", "x.jpe"}) {
            PackedDib image = LoadImageFile(dir.Path(name).c_str());
            EXPECT_NE(image, nullptr) << row.extensions << ": " << name << " unreadable";
            FreePackedDib(image);
        }
        EXPECT_EQ(Registered(FILTER_VALUE_EXTENSIONS, FILTER_ROOT_KEY "\\KestraneTest other"),
                  row.extensions);
        EXPECT_EQ(Registered(WIC_FILTER_VALUE_LEFT).find("KestraneTest other") != std::string::npos,
                  *row.theirs != 0);
    }
    const char sibling[] = FILTER_ROOT_KEY "\\Kestrane test sibling";
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, sibling, nullptr, REG_SZ, "", 1), ERROR_SUCCESS);
    EXPECT_EQ(registerServer(), S_OK);
    EXPECT_EQ(GetModuleHandleA(Registered(FILTER_VALUE_PATH).c_str()), GetModuleHandleA(KESTRANE_FILTER));
    EXPECT_EQ(Entry<HRESULT(WINAPI *)()>("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFilterKey), ERROR_FILE_NOT_FOUND) << "its key stayed";
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, sibling), ERROR_SUCCESS) << "the sibling was removed";
}

struct Descriptor {
    explicit Descriptor(const wchar_t *sddl)
    {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr);
    }
    ~Descriptor() { LocalFree(sd); }
    PSECURITY_DESCRIPTOR sd = nullptr;
};

TEST(FileProtection, OpenWhenABroadGroupCanReplaceOrRepermissionIt)
{
    const struct {
        const wchar_t *sddl;
        bool open;
    } rows[] = {
        {L"D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)", false},      // as the installer leaves its folder
        {L"D:(A;;0x1200a9;;;WD)(A;;FA;;;S-1-5-21-1-2-3-1001)", false},  // one user may, everyone reads
        {L"D:(A;;FA;;;BA)(A;;0x1301bf;;;AU)", true},                    // inherited from C:\ by C:\Kestrane
        {L"D:(A;;GW;;;IU)", true},
        {L"D:(A;;WD;;;BG)", true},
        {L"D:(A;;WO;;;AN)", true},
        {L"D:(A;;0x40;;;WD)", true},                         // deletes the folder's files
        {L"D:(A;OICIIO;FA;;;BU)(A;;0x1200a9;;;BU)", false},  // for what is made inside, not for this
        {L"D:(D;;FA;;;WD)(A;;FA;;;BU)", false},              // denied first, to everyone
        {L"D:(A;;FA;;;BU)(D;;FA;;;WD)", true},               // allowed before the denial is read
        {L"D:(D;;GW;;;BU)(A;;0x1301bf;;;BU)", true},         // writing denied, deleting not
        {L"D:(D;;FA;;;BU)(A;;FA;;;AU)", true},               // denied to one group, allowed to another
        {L"O:BUD:(A;;FA;;;BA)", true},                       // the owner may change the permissions
        {L"O:BA", true},                                     // no DACL at all
    };
    for (const auto &row : rows) {
        Descriptor descriptor(row.sddl);
        ASSERT_NE(descriptor.sd, nullptr) << testing::PrintToString(std::wstring(row.sddl));
        EXPECT_EQ(OpenToOthers(descriptor.sd), row.open) << testing::PrintToString(std::wstring(row.sddl));
    }
    // A null DACL allows everything (made by hand: Wine reads "D:NO_ACCESS_CONTROL" as an empty one).
    SECURITY_DESCRIPTOR nullDacl;
    InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE);
    EXPECT_TRUE(OpenToOthers(&nullDacl));
}

// A copy of the filter registered from a folder whose permissions, and its own, a row sets.
TEST(FileProtection, RegistrationRefusesAFileOthersCouldReplace)
{
    const wchar_t kShut[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)",
                  kOpen[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1301bf;;;WD)";
    const struct {
        const wchar_t *folder, *file;
        HRESULT expected;
    } rows[] = {{kShut, kShut, S_OK}, {kOpen, kShut, SELFREG_E_CLASS}, {kShut, kOpen, SELFREG_E_CLASS}};
    KeptKey kept(kFilterKey);
    for (const auto &row : rows) {
        TempDir dir;
        const std::filesystem::path copy = dir.Root() / "kestrane-import.flt";
        ASSERT_TRUE(CopyFileA(FullPath(KESTRANE_FILTER).c_str(), copy.string().c_str(), FALSE));
        SetFileSecurityW(dir.Root().c_str(), DACL_SECURITY_INFORMATION, Descriptor(row.folder).sd);
        SetFileSecurityW(copy.c_str(), DACL_SECURITY_INFORMATION, Descriptor(row.file).sd);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFilterKey);
        HMODULE library = LoadLibraryW(copy.c_str());
        EXPECT_EQ(reinterpret_cast<HRESULT(WINAPI *)()>(GetProcAddress(library, "DllRegisterServer"))(),
                  row.expected);
        FreeLibrary(library);
        EXPECT_EQ(Registered(FILTER_VALUE_PATH), row.expected == S_OK ? copy.string() : "")
            << "what was registered";
    }
}

}  // namespace
