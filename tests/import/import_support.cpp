#include "tests/import/import_support.h"

#include <cstring>

#include "import/filter_api.h"

FilterRegistrations::FilterRegistrations()
{
    // Remember which parts of the root's path this test creates.
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
            createdKeys_.push_back(path);
    }
}

FilterRegistrations::~FilterRegistrations()
{
    for (const std::string &subkey : subkeys_)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(FILTER_ROOT_KEY) + "\\" + subkey).c_str());
    // RegDeleteKey refuses keys that still have subkeys: others' keys stay.
    for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, it->c_str());
}

void FilterRegistrations::Add(const std::string &name, const char *extensions, const char *path,
                              DWORD extensionsType)
{
    std::string subkey = "KestraneTest " + name;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(FILTER_ROOT_KEY) + "\\" + subkey).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    subkeys_.push_back(subkey);
    if (extensions)
        RegSetValueExA(key, FILTER_VALUE_EXTENSIONS, 0, extensionsType,
                       reinterpret_cast<const BYTE *>(extensions), DWORD(strlen(extensions) + 1));
    if (path)
        RegSetValueExA(key, FILTER_VALUE_PATH, 0, REG_SZ, reinterpret_cast<const BYTE *>(path),
                       DWORD(strlen(path) + 1));
    RegCloseKey(key);
}

namespace {

template <typename T> void Put(Bytes &bytes, size_t at, T value)
{
    std::memcpy(&bytes[at], &value, sizeof(value));
}

// Bytes between a bitmap record's head and its bitmap.
size_t BitmapParameterBytes(uint16_t function)
{
    return function == kMetaDibBitBlt       ? 16
           : function == kMetaDibStretchBlt ? 20
           : function == kMetaSetDibToDev   ? 18
                                            : 22;
}

}  // namespace

Bytes MakeDibBytes(int width, int height, int bits, const PixelFunction &pixel,
                   const std::vector<Rgb> &palette, const std::function<int(int x, int y)> &index)
{
    int rows = height < 0 ? -height : height;
    uint32_t stride = DibStride(uint32_t(width), uint32_t(bits));
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = WORD(bits);
    header.biSizeImage = stride * uint32_t(rows);
    header.biClrUsed = DWORD(palette.size());
    Bytes bytes(sizeof header + 4 * palette.size() + header.biSizeImage, 0);
    std::memcpy(bytes.data(), &header, sizeof header);
    size_t at = sizeof header;
    for (const Rgb &c : palette) {
        bytes[at++] = c.b;
        bytes[at++] = c.g;
        bytes[at++] = c.r;
        bytes[at++] = 0;
    }
    for (int row = 0; row < rows; row++) {
        int y = height < 0 ? row : rows - 1 - row;
        uint8_t *p = &bytes[at + size_t(row) * stride];
        for (int x = 0; x < width; x++) {
            if (bits >= 24) {
                Rgb c = pixel(x, y);
                uint8_t *q = p + x * (bits / 8);
                q[0] = c.b;
                q[1] = c.g;
                q[2] = c.r;
            } else if (bits == 16) {
                uint16_t value = uint16_t(index(x, y));
                std::memcpy(p + 2 * x, &value, 2);
            } else {
                int value = index(x, y);
                int bit = x * bits;  // most significant bits first
                p[bit / 8] |= uint8_t(value << (8 - bits - bit % 8));
            }
        }
    }
    return bytes;
}

MetafileBytes::MetafileBytes() : bytes_(18, 0)
{
    Put<uint16_t>(bytes_, 0, 1);       // in memory
    Put<uint16_t>(bytes_, 2, 9);       // header words
    Put<uint16_t>(bytes_, 4, 0x0300);  // version
}

MetafileBytes &MetafileBytes::Record(uint16_t function, const Bytes &parameters)
{
    size_t at = bytes_.size();
    size_t length = (6 + parameters.size() + 1) & ~size_t(1);
    bytes_.resize(at + length, 0);
    Put(bytes_, at, uint32_t(length / 2));
    Put(bytes_, at + 4, function);
    std::memcpy(&bytes_[at + 6], parameters.data(), parameters.size());
    return *this;
}

MetafileBytes &MetafileBytes::BitmapRecord(uint16_t function, const Bytes &dib)
{
    Bytes parameters(BitmapParameterBytes(function), 0);
    Put<uint32_t>(parameters, 0, SRCCOPY);
    parameters.insert(parameters.end(), dib.begin(), dib.end());
    return Record(function, parameters);
}

Bytes MetafileBytes::Finish()
{
    Record(0, {});  // META_EOF
    Put(bytes_, 6, uint32_t(bytes_.size() / 2));
    return bytes_;
}

Bytes MakeFilterImage(int left, int top, int width, int height, const PixelFunction &pixel)
{
    Bytes bytes(16);
    int32_t box[4] = {left, top, left + width, top + height};
    std::memcpy(bytes.data(), box, sizeof box);
    Bytes dib = MakeDibBytes(width, height, 24, pixel);
    bytes.insert(bytes.end(), dib.begin(), dib.end());
    return bytes;
}

Rgb Gradient(int x, int y)
{
    return Rgb{uint8_t(40 * x + 1), uint8_t(70 * y + 2), uint8_t(200 - x - y)};
}

const std::vector<Rgb> kPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};

int PaletteIndex(int x, int y)
{
    return (x + 2 * y) % 5;
}

Rgb FromPalette(int x, int y)
{
    return kPalette[size_t(PaletteIndex(x, y))];
}

Rgb PixelAt(PackedDib dib, int x, int y)
{
    uint32_t stride = DibStride(uint32_t(dib->biWidth), 24);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(dib) + dib->biSize +
                       size_t(dib->biHeight - 1 - y) * stride + size_t(x) * 3;
    return Rgb{p[2], p[1], p[0]};
}

::testing::AssertionResult HasPixels(PackedDib dib, int width, int height, const PixelFunction &pixel)
{
    if (!IsReadablePackedDib(dib))
        return ::testing::AssertionFailure() << "not a readable 24-bit bottom-up image";
    if (dib->biWidth != width || dib->biHeight != height)
        return ::testing::AssertionFailure() << "size " << dib->biWidth << "x" << dib->biHeight;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            Rgb got = PixelAt(dib, x, y), want = pixel(x, y);
            if (!(got == want))
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") differs";
        }
    return ::testing::AssertionSuccess();
}

FencedBytes::FencedBytes(const Bytes &bytes)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize;
    size_t span = (bytes.size() + page - 1) / page * page + page;
    base_ = static_cast<BYTE *>(VirtualAlloc(nullptr, span, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + span - page, page, PAGE_NOACCESS, &old);
    BYTE *data = base_ + span - page - bytes.size();
    std::memcpy(data, bytes.data(), bytes.size());
    data_ = data;
}

FencedBytes::~FencedBytes()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}
