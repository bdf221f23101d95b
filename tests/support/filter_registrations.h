// Filter registrations that clean up after themselves, and image files for
// the stand-in filters.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "import/filter_api.h"
#include "tests/support/pictures.h"

// Filter subkeys "KestraneTest <name>" made by one test under the filter root;
// the destructor deletes them, and the levels of the root it had to make.
class FilterRegistrations {
  public:
    FilterRegistrations()
    {
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
    ~FilterRegistrations()
    {
        for (const std::string &subkey : subkeys_)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, subkey.c_str());
        // RegDeleteKey refuses keys that still have subkeys: others' keys stay.
        for (auto key = madeKeys_.rbegin(); key != madeKeys_.rend(); ++key)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, key->c_str());
    }
    FilterRegistrations(const FilterRegistrations &) = delete;
    FilterRegistrations &operator=(const FilterRegistrations &) = delete;

    // The values that are not null.
    void Add(const std::string &name, const char *extensions, const char *path, DWORD extensionsType = REG_SZ,
             DWORD pathType = REG_SZ)
    {
        subkeys_.push_back(FILTER_ROOT_KEY "\\KestraneTest " + name);
        const char *key = subkeys_.back().c_str();
        if (extensions)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, FILTER_VALUE_EXTENSIONS, extensionsType, extensions,
                            DWORD(strlen(extensions) + 1));
        if (path)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, FILTER_VALUE_PATH, pathType, path,
                            DWORD(strlen(path) + 1));
    }

  private:
    std::vector<std::string> subkeys_, madeKeys_;  // madeKeys_: deepest last
};

// A file the current-family stand-in filter reads: its picture's bounding
// box, then a 24-bit bottom-up bitmap of the box's size.
inline Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel)
{
    Bytes bytes = MakeDibBytes(width, height, 24, pixel);
    const int32_t box[4] = {left, top, left + width, top + height};
    bytes.insert(bytes.begin(), reinterpret_cast<const uint8_t *>(box),
                 reinterpret_cast<const uint8_t *>(box + 4));
    return bytes;
}
