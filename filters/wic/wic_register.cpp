// Our filter's registration: DllRegisterServer lists it for those of its
// extensions that no other filter serves, asking the lookup's own question
// (import/filter_lookup.cpp) with our subkey left out, so that a type left to
// another filter is one the programs then read through that filter.
#include <windows.h>

#include <olectl.h>

#include "filters/wic/file_protection.h"
#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "import/filter_lookup.h"
#include "version.h"

extern "C" {
HRESULT WINAPI DllRegisterServer();
HRESULT WINAPI DllUnregisterServer();
}

namespace {

const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;
const char kOwnExtensions[] = WIC_FILTER_EXTENSIONS;

constexpr int CountEntries(const char *list)
{
    int count = 1;
    for (; *list; list++)
        count += *list == ',';
    return count;
}
constexpr int kOwnExtensionCount = CountEntries(kOwnExtensions);

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

// Text built up in a fixed buffer; once something did not fit, it stays
// unfinished.
template <int Capacity> struct Text {
    char buffer[Capacity];
    int length;
    bool fits;
    void Append(const char *text)
    {
        int count = lstrlenA(text);
        if (!fits || count >= Capacity - length) {
            fits = false;
            return;
        }
        lstrcpynA(buffer + length, text, count + 1);
        length += count;
    }
};

// What DllRegisterServer writes: those of our extensions no other filter
// serves, and which filter keeps each of the others. The record holds the
// longest there can be: each extension kept by a filter of its own whose
// name has the 255 characters a key name can have.
struct Registration {
    char extension[kOwnExtensionCount][8];
    char keeper[kOwnExtensionCount][kFilterNameCapacity];  // empty: ours
    Text<sizeof kOwnExtensions> extensions;
    Text<2048> left;
};

// Our extensions, each with the filter that serves it without us, and the
// record grouping them by that filter: `PNG to "A"; JPG, JPEG to "B"`.
LONG WorkOutRegistration(Registration *r)
{
    *r = {};
    r->extensions.fits = r->left.fits = true;
    const char *next = kOwnExtensions;
    for (int i = 0; i < kOwnExtensionCount; i++) {
        int length = 0;
        while (next[length] && next[length] != ',')
            length++;
        lstrcpynA(r->extension[i], next, length + 1);
        next += length + 1;
        if (!FindFilterServing(r->extension[i], WIC_FILTER_KEY_NAME, r->keeper[i], nullptr, nullptr))
            r->keeper[i][0] = '\0';
    }
    for (int i = 0; i < kOwnExtensionCount; i++) {
        if (!r->keeper[i][0]) {
            if (r->extensions.length)
                r->extensions.Append(",");
            r->extensions.Append(r->extension[i]);
            continue;
        }
        bool first = true;
        for (int k = 0; k < i && first; k++)
            first = lstrcmpiA(r->keeper[k], r->keeper[i]) != 0;
        if (!first)
            continue;
        if (r->left.length)
            r->left.Append("; ");
        for (int k = i; k < kOwnExtensionCount; k++) {
            if (lstrcmpiA(r->keeper[k], r->keeper[i]) != 0)
                continue;
            if (k != i)
                r->left.Append(", ");
            r->left.Append(r->extension[k]);
        }
        r->left.Append(" to \"");
        r->left.Append(r->keeper[i]);
        r->left.Append("\"");
    }
    return r->extensions.fits && r->left.fits ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
}

// regsvr32 shows a failure's number only; the reason is ours to show, in
// regsvr32 alone and not under its /s, since other callers (an installer's
// own registration step) report failures their own way.
bool RunByRegsvr32Aloud()
{
    wchar_t exe[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const wchar_t name[] = L"regsvr32.exe";
    const int nameLength = sizeof name / sizeof name[0] - 1;
    if (length <= DWORD(nameLength) || length >= MAX_PATH || exe[length - nameLength - 1] != L'\\' ||
        lstrcmpiW(exe + length - nameLength, name) != 0)
        return false;
    const wchar_t *at = GetCommandLineW();
    for (wchar_t previous = L' '; *at; previous = *at++)
        if (previous == L' ' && (*at == L'/' || *at == L'-') && (at[1] | 0x20) == L's' &&
            (at[2] == L'\0' || at[2] == L' '))
            return false;
    return true;
}

void ShowRefusal(const wchar_t *path)
{
    wchar_t text[1024];
    lstrcpynW(text, L"" WIC_FILTER_TEXT_UNPROTECTED L"\n\n", 1024);
    lstrcpynW(text + lstrlenW(text), path, 1024 - lstrlenW(text));
    MessageBoxW(nullptr, text, L"" KESTRANE_PRODUCT_NAME, MB_ICONERROR | MB_OK);
}

LONG SetString(HKEY key, const char *name, const char *text, DWORD length)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), length + 1);
}

}  // namespace

// Registers the filter for the extensions no other filter serves (see
// WorkOutRegistration). When every one is taken, the subkey still
// names the filter, with an empty list: no program picks it for anything,
// the record says why, and unregistering works as always.
HRESULT WINAPI DllRegisterServer()
{
    // Wide, as the registry keeps it: the ANSI name could hold a look-alike
    // for a character of the folder's name that regsvr32's code page lacks.
    wchar_t path[MAX_PATH];
    HMODULE module = ThisModule();
    DWORD length = module ? GetModuleFileNameW(module, path, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH)  // truncated paths are useless to the program
        return E_FAIL;
    // Every program that reads images through graphics filters would load
    // whatever another user put in its place, elevated ones included.
    if (FileOpenToOthers(path)) {
        if (RunByRegsvr32Aloud())
            ShowRefusal(path);
        return SELFREG_E_CLASS;
    }
    Registration registration;
    LONG status = WorkOutRegistration(&registration);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    const auto &extensions = registration.extensions;
    const auto &left = registration.left;
    HKEY key = nullptr;
    status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    status = SetString(key, FILTER_VALUE_EXTENSIONS, extensions.buffer, extensions.length);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key, L"" FILTER_VALUE_PATH, 0, REG_SZ, reinterpret_cast<const BYTE *>(path),
                                (length + 1) * sizeof(wchar_t));
    if (status == ERROR_SUCCESS) {
        // An earlier registration's record would mislead.
        status = left.length ? SetString(key, WIC_FILTER_VALUE_LEFT, left.buffer, left.length)
                             : RegDeleteValueA(key, WIC_FILTER_VALUE_LEFT);
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFilterKey);  // no half-registered filter
        return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT WINAPI DllUnregisterServer()
{
    LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFilterKey);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return HRESULT_FROM_WIN32(status);
}
