// Our filter's refusal to register a file that others could replace.
#include <windows.h>

#include <olectl.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "filters/wic/file_protection.h"
#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "tests/support/filter_registrations.h"
#include "tests/support/temp_dir.h"

namespace {

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
    const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;
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
        char path[MAX_PATH] = "";
        DWORD size = sizeof path;
        RegGetValueA(HKEY_LOCAL_MACHINE, kFilterKey, FILTER_VALUE_PATH, RRF_RT_REG_SZ, nullptr, path, &size);
        EXPECT_EQ(path, row.expected == S_OK ? copy.string() : "") << "what was registered";
    }
}

}  // namespace
