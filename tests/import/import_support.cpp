#include "tests/import/import_support.h"

#include "import/filter_api.h"

FilterRegistrations::FilterRegistrations()
{
    std::string path;
    for (const char *part : {"Software", "Microsoft", "Shared Tools", "Graphics Filters", "Import"}) {
        path += (path.empty() ? "" : "\\") + std::string(part);
        HKEY key;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition) != ERROR_SUCCESS)
            break;
        RegCloseKey(key);
        if (disposition == REG_CREATED_NEW_KEY)
            madeKeys_.push_back(path);
    }
}

FilterRegistrations::~FilterRegistrations()
{
    for (const std::string &subkey : subkeys_)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (FILTER_ROOT_KEY "\\" + subkey).c_str());
    // RegDeleteKey refuses keys that still have subkeys: others' keys stay.
    for (auto key = madeKeys_.rbegin(); key != madeKeys_.rend(); ++key)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key->c_str());
}

void FilterRegistrations::Add(const std::string &name, const char *extensions, const char *path,
                              DWORD extensionsType)
{
    subkeys_.push_back("KestraneTest " + name);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, (FILTER_ROOT_KEY "\\" + subkeys_.back()).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    if (extensions)
        RegSetValueExA(key, FILTER_VALUE_EXTENSIONS, 0, extensionsType,
                       reinterpret_cast<const BYTE *>(extensions), DWORD(strlen(extensions) + 1));
    if (path)
        RegSetValueExA(key, FILTER_VALUE_PATH, 0, REG_SZ, reinterpret_cast<const BYTE *>(path),
                       DWORD(strlen(path) + 1));
    RegCloseKey(key);
}

Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel)
{
    const int32_t box[4] = {left, top, left + width, top + height};
    Bytes bytes(reinterpret_cast<const uint8_t *>(box), reinterpret_cast<const uint8_t *>(box + 4));
    Bytes dib = MakeDibBytes(width, height, 24, pixel);
    bytes.insert(bytes.end(), dib.begin(), dib.end());
    return bytes;
}
