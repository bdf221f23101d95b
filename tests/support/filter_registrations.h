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
        static const bool swept = SweepLeftovers();
        (void)swept;
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
    // A test program killed at its time limit leaves its subkeys behind, and
    // the next program would read them as another maker's filters.
    static bool SweepLeftovers()
    {
        HKEY root;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FILTER_ROOT_KEY, 0, KEY_READ | KEY_WRITE, &root) != ERROR_SUCCESS)
            return true;
        std::vector<std::string> ours;
        char name[256];
        for (DWORD i = 0, length = sizeof(name); RegEnumKeyExA(root, i, name, &length, nullptr, nullptr, nullptr,
                                                                nullptr) == ERROR_SUCCESS;
             i++, length = sizeof(name))
            if (strncmp(name, "KestraneTest ", 13) == 0)
                ours.push_back(name);
        for (const std::string &subkey : ours)
            RegDeleteTreeA(root, subkey.c_str());
        RegCloseKey(root);
        return true;
    }

    std::vector<std::string> subkeys_, madeKeys_;  // madeKeys_: deepest last
};

// A build path (as CMake names it) in the full form a registered Path must have.
inline std::string FullPath(const char *path)
{
    char full[MAX_PATH];
    GetFullPathNameA(path, MAX_PATH, full, nullptr);
    return full;
}

// A key of HKEY_LOCAL_MACHINE put back as it was, values and all, when the
// test ends: the build's prefix keeps the registration ./run.sh made.
class KeptKey {
  public:
    explicit KeptKey(const char *path) : path_(path)
    {
        HKEY key;
        existed_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (!existed_)
            return;
        char name[256];
        BYTE data[4096];
        DWORD nameLength = sizeof(name), type, size = sizeof(data);
        for (DWORD i = 0; RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &size) == ERROR_SUCCESS;
             i++, nameLength = sizeof(name), size = sizeof(data))
            values_.push_back({name, type, std::vector<BYTE>(data, data + size)});
        RegCloseKey(key);
    }
    ~KeptKey()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
        HKEY key;
        if (!existed_ || RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                         &key, nullptr) != ERROR_SUCCESS)
            return;
        for (const Value &value : values_)
            RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(), DWORD(value.data.size()));
        RegCloseKey(key);
    }
    KeptKey(const KeptKey &) = delete;
    KeptKey &operator=(const KeptKey &) = delete;

  private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::string path_;
    bool existed_ = false;
    std::vector<Value> values_;
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
