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

Bytes Record(uint16_t function, Bytes parameters)
{
    parameters.resize((parameters.size() + 1) & ~size_t(1));
    const uint32_t words = uint32_t(3 + parameters.size() / 2);
    Bytes record(6);
    std::memcpy(&record[0], &words, 4);
    std::memcpy(&record[4], &function, 2);
    record.insert(record.end(), parameters.begin(), parameters.end());
    return record;
}

Bytes BitmapRecord(uint16_t function, const Bytes &dib)
{
    // The parameters before the bitmap, by kind.
    Bytes parameters(function == kMetaDibBitBlt       ? 16
                     : function == kMetaDibStretchBlt ? 20
                     : function == kMetaSetDibToDev   ? 18
                                                      : 22);
    parameters.insert(parameters.end(), dib.begin(), dib.end());
    return Record(function, parameters);
}

Bytes Metafile(const std::vector<Bytes> &records)
{
    Bytes bytes = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // in memory, 9 words, version 3
    for (const Bytes &record : records)
        bytes.insert(bytes.end(), record.begin(), record.end());
    Bytes end = Record(0, {});
    bytes.insert(bytes.end(), end.begin(), end.end());
    const uint32_t words = uint32_t(bytes.size() / 2);
    std::memcpy(&bytes[6], &words, 4);
    return bytes;
}

::testing::AssertionResult Shows(PackedDib dib, int width, int height, const PixelFunction &pixel)
{
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    if (!IsReadablePackedDib(dib))
        result = ::testing::AssertionFailure() << "not a readable 24-bit bottom-up image";
    else if (dib->biWidth != width || dib->biHeight != height)
        result = ::testing::AssertionFailure() << "size " << dib->biWidth << "x" << dib->biHeight;
    for (int y = 0; result && y < height; y++)
        for (int x = 0; result && x < width; x++) {
            const uint8_t *p = reinterpret_cast<const uint8_t *>(dib) + dib->biSize +
                               size_t(height - 1 - y) * DibStride(uint32_t(width), 24) + 3 * size_t(x);
            if (!(Rgb{p[2], p[1], p[0]} == pixel(x, y)))
                result = ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") differs";
        }
    FreePackedDib(dib);
    return result;
}

FencedBytes::FencedBytes(const Bytes &bytes)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize, span = (bytes.size() + page - 1) / page * page + page;
    base_ = static_cast<BYTE *>(VirtualAlloc(nullptr, span, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + span - page, page, PAGE_NOACCESS, &old);
    data_ = static_cast<BYTE *>(std::memcpy(base_ + span - page - bytes.size(), bytes.data(), bytes.size()));
}
