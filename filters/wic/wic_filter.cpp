// Kestrane's own graphics import filter: decodes PNG, GIF and JPEG with the
// Windows Imaging Component and hands the picture back as a metafile holding
// one 24-bit bitmap record.
#include <initguid.h>  // defines the WIC GUIDs used below in this module
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"

extern "C" {
int WINAPI GetFilterInfo(int version, const char *reserved, HGLOBAL *preferences, DWORD flags);
int WINAPI SetFilterPref(HGLOBAL preferences, const char *name, const void *value, DWORD size, DWORD type);
int WINAPI ImportGr(HDC reserved, FilterFileSpec *file, FilterPicture *picture, HGLOBAL preferences);
HRESULT WINAPI DllRegisterServer();
HRESULT WINAPI DllUnregisterServer();
BOOL WINAPI FilterEntryPoint(HINSTANCE module, DWORD reason, void *reserved);
}

static_assert(std::is_same<decltype(&GetFilterInfo), GetFilterInfoFunction>::value, "GetFilterInfo");
static_assert(std::is_same<decltype(&SetFilterPref), SetFilterPrefFunction>::value, "SetFilterPref");
static_assert(std::is_same<decltype(&ImportGr), ImportGrFunction>::value, "ImportGr");

namespace {

// Metafile records keep coordinates in 16 signed bits.
constexpr UINT kMaxMetafileCoordinate = 32767;
// Pixels converted per CopyPixels call: large enough to keep call overhead
// negligible, small enough that the 32-bit staging band stays in cache.
constexpr UINT kBandPixels = 64 * 1024;

// What our preference memory holds. The filter never shows a dialog, so the
// values are only remembered.
struct FilterPreferences {
    uint32_t size;
    uint8_t showProgressDialog;
    uint8_t showOptionsDialog;
};

template <typename T> class ComRef {
  public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;

    T *Get() const { return pointer_; }
    T **Receive()
    {
        Reset();
        return &pointer_;
    }
    T *operator->() const { return pointer_; }
    void Reset()
    {
        if (pointer_)
            pointer_->Release();
        pointer_ = nullptr;
    }

  private:
    T *pointer_ = nullptr;
};

class HeapBlock {
  public:
    explicit HeapBlock(size_t bytes) : bytes_(static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, bytes))) {}
    ~HeapBlock()
    {
        if (bytes_)
            HeapFree(GetProcessHeap(), 0, bytes_);
    }
    HeapBlock(const HeapBlock &) = delete;
    HeapBlock &operator=(const HeapBlock &) = delete;
    BYTE *Get() const { return bytes_; }

  private:
    BYTE *bytes_;
};

// The program loads and frees this library for every image, so our own
// start-up is paid per image. Two choices keep it small:
// - The filter has no C runtime start-up and imports only kernel32, gdi32
//   and advapi32, which every caller has loaded already.
// - The imaging component (and what it loads, e.g. ole32) is loaded from the
//   system directory once and pinned: it stays in the process, as system
//   DLLs usually do, and later images find it already there. If pinning is
//   refused, the reference from LoadLibrary is simply kept, to the same end.
HMODULE PinnedSystemLibrary(const char *name)
{
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &module))
        return module;
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(name) >= MAX_PATH)
        return nullptr;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    module = LoadLibraryA(path);
    if (module)
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, path, &module);
    return module;
}

template <typename Function> Function Bind(HMODULE module, const char *name)
{
    return module ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)))
                  : nullptr;
}

typedef HRESULT(WINAPI *CreateImagingFactoryFunction)(UINT sdkVersion, IWICImagingFactory **factory);
typedef HRESULT(WINAPI *CoInitializeExFunction)(void *reserved, DWORD mode);
typedef void(WINAPI *CoUninitializeFunction)();
typedef HRESULT(WINAPI *CoCreateInstanceFunction)(REFCLSID classId, IUnknown *outer, DWORD context,
                                                  REFIID iid, void **object);

// Composites one band of 32-bit BGRA rows over black into 24-bit rows of a
// bottom-up DIB. `row` is the band's first image row counted from the top.
void CompositeBand(const BYTE *band, UINT width, UINT rows, UINT row, UINT height, BYTE *dibBits, UINT stride)
{
    for (UINT k = 0; k < rows; k++) {
        const BYTE *source = band + size_t(k) * width * 4;
        BYTE *target = dibBits + size_t(height - 1 - (row + k)) * stride;
        for (UINT x = 0; x < width; x++, source += 4, target += 3) {
            UINT alpha = source[3];
            if (alpha == 255) {
                target[0] = source[0];
                target[1] = source[1];
                target[2] = source[2];
            } else {
                target[0] = BYTE((source[0] * alpha + 127) / 255);
                target[1] = BYTE((source[1] * alpha + 127) / 255);
                target[2] = BYTE((source[2] * alpha + 127) / 255);
            }
        }
    }
}

// Records the bitmap as the metafile's only drawing record, at (0, 0) with
// one unit per pixel, so the caller's bounding box maps it one to one.
HMETAFILE RecordMetafile(const BITMAPINFO &info, const BYTE *bits)
{
    HDC dc = CreateMetaFileA(nullptr);
    if (!dc)
        return nullptr;
    int width = info.bmiHeader.biWidth, height = info.bmiHeader.biHeight;
    int lines =
        StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, bits, &info, DIB_RGB_COLORS, SRCCOPY);
    HMETAFILE metafile = CloseMetaFile(dc);
    if (metafile && (lines == 0 || lines == int(GDI_ERROR))) {
        DeleteMetaFile(metafile);
        metafile = nullptr;
    }
    return metafile;
}

// Formats without alpha: converted straight to 24-bit rows, each written
// to its place in the bottom-up bitmap, with no staging copy.
bool IsOpaqueFormat(const WICPixelFormatGUID &format)
{
    return IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ||
           IsEqualGUID(format, GUID_WICPixelFormat24bppRGB) ||
           IsEqualGUID(format, GUID_WICPixelFormat32bppBGR);
}

HRESULT CopyOpaqueRows(IWICImagingFactory *factory, IWICBitmapSource *frame, UINT w, UINT h, UINT stride,
                       BYTE *bits)
{
    ComRef<IWICFormatConverter> converter;
    HRESULT hr = factory->CreateFormatConverter(converter.Receive());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    for (UINT y = 0; SUCCEEDED(hr) && y < h; y++) {
        WICRect rect = {0, INT(y), INT(w), 1};
        hr = converter->CopyPixels(&rect, stride, w * 3, bits + size_t(h - 1 - y) * stride);
    }
    return hr;
}

// Everything else goes through straight alpha, composited here, so that
// transparent pixels come out over black with one rounding rule on every
// platform. (Indexed GIF frames cannot be converted to 24-bit directly on
// every WIC implementation either.)
HRESULT CopyCompositedRows(IWICImagingFactory *factory, IWICBitmapSource *frame, UINT w, UINT h, UINT stride,
                           BYTE *bits)
{
    UINT bandRows = w >= kBandPixels ? 1 : kBandPixels / w;
    if (bandRows > h)
        bandRows = h;
    HeapBlock band{size_t(bandRows) * w * 4};
    if (!band.Get())
        return E_OUTOFMEMORY;
    ComRef<IWICFormatConverter> converter;
    HRESULT hr = factory->CreateFormatConverter(converter.Receive());
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    for (UINT row = 0; SUCCEEDED(hr) && row < h; row += bandRows) {
        UINT rows = h - row < bandRows ? h - row : bandRows;
        WICRect rect = {0, INT(row), INT(w), INT(rows)};
        hr = converter->CopyPixels(&rect, w * 4, rows * w * 4, band.Get());
        if (SUCCEEDED(hr))
            CompositeBand(band.Get(), w, rows, row, h, bits, stride);
    }
    return hr;
}

// Decodes the first frame of the file and records it. On success *metafile
// holds the picture; otherwise it stays null. HRESULT failures are returned
// so that the caller can tell a missing COM apartment from a bad file.
HRESULT DecodeToMetafile(IWICImagingFactory *factory, const wchar_t *path, HMETAFILE *metafile, UINT *width,
                         UINT *height, int *result)
{
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    *result = kWicImportCannotDecode;
    HRESULT hr = factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                    WICDecodeMetadataCacheOnDemand, decoder.Receive());
    if (SUCCEEDED(hr))
        hr = decoder->GetFrame(0, frame.Receive());
    if (SUCCEEDED(hr))
        hr = frame->GetSize(width, height);
    if (FAILED(hr))
        return hr;
    if (*width == 0 || *height == 0 || *width > kMaxMetafileCoordinate || *height > kMaxMetafileCoordinate) {
        *result = kWicImportTooLarge;
        return E_FAIL;
    }
    UINT w = *width, h = *height;
    UINT stride = ((w * 24 + 31) >> 3) & ~3u;  // w <= 32767: no overflow
    uint64_t imageBytes = uint64_t(stride) * h;
    if (imageBytes > 0x7FFFFFFF) {
        *result = kWicImportTooLarge;
        return E_FAIL;
    }
    HeapBlock bits{size_t(imageBytes)};
    if (!bits.Get()) {
        *result = kWicImportNoMemory;
        return E_OUTOFMEMORY;
    }
    if (stride != w * 3) {
        // Keep the row padding defined: it is recorded with the pixels.
        for (UINT y = 0; y < h; y++)
            std::memset(bits.Get() + size_t(y) * stride + w * 3, 0, stride - w * 3);
    }
    WICPixelFormatGUID format = {};
    frame->GetPixelFormat(&format);
    // A converter that refuses the direct way leaves the general one.
    bool copied =
        IsOpaqueFormat(format) && SUCCEEDED(CopyOpaqueRows(factory, frame.Get(), w, h, stride, bits.Get()));
    if (!copied) {
        hr = CopyCompositedRows(factory, frame.Get(), w, h, stride, bits.Get());
        if (FAILED(hr)) {
            *result = hr == E_OUTOFMEMORY ? kWicImportNoMemory : kWicImportCannotDecode;
            return hr;
        }
    }

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(w);
    info.bmiHeader.biHeight = LONG(h);  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // Without it a metafile DC records no pixel bits.
    info.bmiHeader.biSizeImage = DWORD(imageBytes);
    *metafile = RecordMetafile(info, bits.Get());
    *result = *metafile ? kWicImportOk : kWicImportNoPicture;
    return *metafile ? S_OK : E_FAIL;
}

// Decoding normally runs without touching COM: the factory comes straight
// from windowscodecs.dll and the built-in codecs need no apartment. Any
// failure there (an implementation that wants an apartment may say so in more
// ways than CO_E_NOTINITIALIZED) repeats the decode inside a COM
// initialisation of our own, undone before returning, so the caller's thread
// is left as it was. Only files that fail pay for the second attempt.
int DecodeFile(const wchar_t *path, HMETAFILE *metafile, UINT *width, UINT *height)
{
    int result = kWicImportCannotDecode;
    auto createFactory = Bind<CreateImagingFactoryFunction>(PinnedSystemLibrary("windowscodecs.dll"),
                                                            "WICCreateImagingFactory_Proxy");
    if (createFactory) {
        ComRef<IWICImagingFactory> factory;
        HRESULT hr = createFactory(WINCODEC_SDK_VERSION, factory.Receive());
        if (SUCCEEDED(hr))
            hr = DecodeToMetafile(factory.Get(), path, metafile, width, height, &result);
        if (SUCCEEDED(hr))
            return result;
    }

    HMODULE ole = PinnedSystemLibrary("ole32.dll");
    auto coInitializeEx = Bind<CoInitializeExFunction>(ole, "CoInitializeEx");
    auto coUninitialize = Bind<CoUninitializeFunction>(ole, "CoUninitialize");
    auto coCreateInstance = Bind<CoCreateInstanceFunction>(ole, "CoCreateInstance");
    if (!coInitializeEx || !coUninitialize || !coCreateInstance)
        return kWicImportCannotDecode;
    HRESULT init = coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // RPC_E_CHANGED_MODE: the thread already has a multithreaded apartment,
    // which serves as well and is not ours to end.
    if (FAILED(init) && init != RPC_E_CHANGED_MODE)
        return kWicImportCannotDecode;
    {
        ComRef<IWICImagingFactory> factory;
        HRESULT hr = coCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, reinterpret_cast<void **>(factory.Receive()));
        if (SUCCEEDED(hr))
            DecodeToMetafile(factory.Get(), path, metafile, width, height, &result);
    }  // every interface is released before the apartment ends
    if (SUCCEEDED(init))
        coUninitialize();
    return result;
}

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

const char kFilterKey[] = FILTER_ROOT_KEY "\\" WIC_FILTER_KEY_NAME;

}  // namespace

// Stands in for the C runtime's entry point, which this library does without
// (see PinnedSystemLibrary): it has no static constructors, no thread-local
// data and no exceptions, so there is nothing to set up or tear down.
BOOL WINAPI FilterEntryPoint(HINSTANCE, DWORD, void *)
{
    return TRUE;
}

int WINAPI GetFilterInfo(int, const char *, HGLOBAL *preferences, DWORD)
{
    if (preferences && !*preferences) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(FilterPreferences));
        FilterPreferences *values = memory ? static_cast<FilterPreferences *>(GlobalLock(memory)) : nullptr;
        if (values) {
            values->size = sizeof(FilterPreferences);
            GlobalUnlock(memory);
            *preferences = memory;
        } else if (memory) {
            GlobalFree(memory);
        }
    }
    return kFilterInfoVersion;
}

int WINAPI SetFilterPref(HGLOBAL preferences, const char *name, const void *value, DWORD size, DWORD)
{
    if (!name || !value || size == 0)
        return 1;
    uint8_t *field = nullptr;
    FilterPreferences *values = nullptr;
    // Only a block that GetFilterInfo handed out is written to.
    if (preferences && GlobalSize(preferences) >= sizeof(FilterPreferences))
        values = static_cast<FilterPreferences *>(GlobalLock(preferences));
    if (values && values->size != sizeof(FilterPreferences)) {
        GlobalUnlock(preferences);
        values = nullptr;
    }
    int known = 1;
    if (lstrcmpiA(name, FILTER_PREF_PROGRESS) == 0)
        field = values ? &values->showProgressDialog : nullptr;
    else if (lstrcmpiA(name, FILTER_PREF_OPTIONS) == 0)
        field = values ? &values->showOptionsDialog : nullptr;
    else
        known = 0;
    char first = *static_cast<const char *>(value);
    if (field)
        *field = (first == 'Y' || first == 'y') ? 1 : 0;
    if (values)
        GlobalUnlock(preferences);
    return known ? 0 : 1;
}

int WINAPI ImportGr(HDC, FilterFileSpec *file, FilterPicture *picture, HGLOBAL)
{
    if (!file || !picture)
        return kWicImportBadArguments;
    if (!std::memchr(file->path, '\0', sizeof(file->path)) || file->path[0] == '\0')
        return kWicImportBadArguments;
    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, file->path, -1, widePath, MAX_PATH))
        return kWicImportBadArguments;

    HMETAFILE metafile = nullptr;
    UINT width = 0, height = 0;
    int result = DecodeFile(widePath, &metafile, &width, &height);
    if (result != kWicImportOk)
        return result;
    picture->picture = metafile;
    picture->left = 0;
    picture->top = 0;
    picture->right = int32_t(width);
    picture->bottom = int32_t(height);
    return kWicImportOk;
}

HRESULT WINAPI DllRegisterServer()
{
    char path[MAX_PATH];
    HMODULE module = ThisModule();
    DWORD length = module ? GetModuleFileNameA(module, path, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH)  // truncated paths are useless to the program
        return E_FAIL;
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFilterKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    static const char kExtensions[] = WIC_FILTER_EXTENSIONS;
    status = RegSetValueExA(key, FILTER_VALUE_EXTENSIONS, 0, REG_SZ,
                            reinterpret_cast<const BYTE *>(kExtensions), sizeof(kExtensions));
    if (status == ERROR_SUCCESS)
        status = RegSetValueExA(key, FILTER_VALUE_PATH, 0, REG_SZ, reinterpret_cast<const BYTE *>(path),
                                length + 1);
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
