#include "tests/import/import_support.h"

#include "import/filter_api.h"

FilterRegistrations::FilterRegistrations()
{
    // The levels of the root that do not exist yet, which Add makes.
    std::string path;
    for (const char *part : {"Software", "Microsoft", "Shared Tools", "Graphics Filters", "Import"}) {
        path += (path.empty() ? "" : "\\") + std::string(part);
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS)
            RegCloseKey(key);
        else
            madeKeys_.push_back(path);
    }
}

FilterRegistrations::~FilterRegistrations()
{
    for (const std::string &subkey : subkeys_)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, subkey.c_str());
    // RegDeleteKey refuses keys that still have subkeys: others' keys stay.
    for (auto key = madeKeys_.rbegin(); key != madeKeys_.rend(); ++key)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key->c_str());
}

void FilterRegistrations::Add(const std::string &name, const char *extensions, const char *path,
                              DWORD extensionsType)
{
    subkeys_.push_back(FILTER_ROOT_KEY "\\KestraneTest " + name);
    const char *key = subkeys_.back().c_str();
    if (extensions)
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, FILTER_VALUE_EXTENSIONS, extensionsType, extensions,
                        DWORD(strlen(extensions) + 1));
    if (path)
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, FILTER_VALUE_PATH, REG_SZ, path, DWORD(strlen(path) + 1));
}

Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel)
{
    Bytes bytes = MakeDibBytes(width, height, 24, pixel);
    const int32_t box[4] = {left, top, left + width, top + height};
    bytes.insert(bytes.begin(), reinterpret_cast<const uint8_t *>(box),
                 reinterpret_cast<const uint8_t *>(box + 4));
    return bytes;
}
