#include "filters/wic/file_protection.h"

namespace {

// Rights that let the holder put other code in the file's place: write it,
// create files in the folder (a DLL beside the filter is one it loads) or
// delete them, rename or delete the object, or take it over.
constexpr ACCESS_MASK kChangeRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;

const WELL_KNOWN_SID_TYPE kBroadGroups[] = {WinWorldSid,       WinBuiltinUsersSid,  WinAuthenticatedUserSid,
                                            WinInteractiveSid, WinBuiltinGuestsSid, WinAnonymousSid};
constexpr int kBroadGroupCount = sizeof kBroadGroups / sizeof kBroadGroups[0];
constexpr int kEveryone = 0;

// Its index in kBroadGroups, or -1.
int BroadGroup(PSID sid)
{
    for (int i = 0; i < kBroadGroupCount; i++) {
        BYTE known[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof known;
        if (CreateWellKnownSid(kBroadGroups[i], nullptr, known, &size) && EqualSid(sid, known))
            return i;
    }
    return -1;
}

// A descriptor read whole from the file system; null when it cannot be.
PSECURITY_DESCRIPTOR ReadDescriptor(const wchar_t *path)
{
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(path, wanted, nullptr, 0, &size);
    if (size == 0)
        return nullptr;
    PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LMEM_FIXED, size);
    if (descriptor && !GetFileSecurityW(path, wanted, descriptor, size, &size)) {
        LocalFree(descriptor);
        descriptor = nullptr;
    }
    return descriptor;
}

bool PathOpenToOthers(const wchar_t *path)
{
    PSECURITY_DESCRIPTOR descriptor = ReadDescriptor(path);
    const bool open = !descriptor || OpenToOthers(descriptor);
    if (descriptor)
        LocalFree(descriptor);
    return open;
}

}  // namespace

bool OpenToOthers(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    // An owner may always change the permissions.
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || (owner && BroadGroup(owner) >= 0))
        return true;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return true;
    // Entries are read in order, as the system reads them: rights denied to
    // a group before an entry allows them are not granted by it.
    GENERIC_MAPPING fileRights = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                  FILE_ALL_ACCESS};
    ACCESS_MASK denied[kBroadGroupCount] = {};
    for (DWORD i = 0; i < dacl->AceCount; i++) {
        ACCESS_ALLOWED_ACE *ace = nullptr;  // a denying entry has the same layout
        if (!GetAce(dacl, i, reinterpret_cast<void **>(&ace)))
            return true;
        const BYTE type = ace->Header.AceType;
        if ((ace->Header.AceFlags & INHERIT_ONLY_ACE) ||
            (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE))
            continue;
        const int group = BroadGroup(&ace->SidStart);
        if (group < 0)
            continue;
        ACCESS_MASK rights = ace->Mask;
        MapGenericMask(&rights, &fileRights);
        if (type == ACCESS_DENIED_ACE_TYPE)
            denied[group] |= rights;
        else if (rights & kChangeRights & ~(denied[group] | denied[kEveryone]))
            return true;
    }
    return false;
}

bool FileOpenToOthers(const wchar_t *path)
{
    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, path, MAX_PATH);
    wchar_t *lastSeparator = nullptr;
    for (wchar_t *at = folder; *at; at++)
        if (*at == L'\\' || *at == L'/')
            lastSeparator = at;
    if (!lastSeparator)
        return true;
    // A folder at the root keeps its separator: "C:\".
    lastSeparator[lastSeparator > folder && lastSeparator[-1] == L':' ? 1 : 0] = L'\0';
    return PathOpenToOthers(path) || PathOpenToOthers(folder);
}
