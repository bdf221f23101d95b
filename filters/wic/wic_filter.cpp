// Kestrane's own graphics import filter, its entry points and decoding: PNG,
// GIF and JPEG decoded with the Windows Imaging Component and handed back as
// a metafile holding one 24-bit bitmap record. Registration: wic_register.cpp.
#include <initguid.h>  // defines the WIC GUIDs used below in this module
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/gif_canvas.h"
#include "core/system_library.h"
#include "filters/wic/gif_colours.h"
#include "filters/wic/stack_guard.h"
#include "filters/wic/wic_filter.h"
#include "import/filter_api.h"
#include "import/seh_guard.h"

extern "C" {
int WINAPI GetFilterInfo(int version, const char *reserved, HGLOBAL *preferences, DWORD flags);
int WINAPI SetFilterPref(HGLOBAL preferences, const char *name, const void *value, DWORD size, DWORD type);
int WINAPI ImportGr(HDC reserved, FilterFileSpec *file, FilterPicture *picture, HGLOBAL preferences);
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

// The program loads and frees this library for every image, so our own
// start-up is paid per image. Two choices keep it small:
// - The filter has no C runtime start-up and imports only kernel32, gdi32,
//   advapi32 and user32, which every caller has loaded already.
// - The imaging component (and what it loads, e.g. ole32) is loaded from the
//   system directory once and kept (core/system_library.h): later images
//   find it already there.
// Only the full path counts, never a module of that name already loaded, and
// the component's own dependencies come from System32 too: the caller's
// folder may hold a planted copy of any of them. The shell's property
// library, which the component loads at its first use by name (where the
// caller's search order, its own folder first, applies), is loaded so first.
HMODULE ImagingLibrary()
{
    LoadSystemLibrary(L"propsys.dll");
    return LoadSystemLibrary(L"windowscodecs.dll");
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
typedef HRESULT(WINAPI *PropVariantClearFunction)(PROPVARIANT *value);
typedef HRESULT(WINAPI *GetClassObjectFunction)(REFCLSID classId, REFIID iid, void **object);

// The picture's metafile, built as bytes rather than drawn through a
// metafile DC, which would copy the bitmap twice more: the header, one
// META_STRETCHDIB record of the whole bitmap at (0, 0) with one unit per
// pixel (a 1:1 StretchDIBits with SRCCOPY when played), then the end record.
// The bitmap is 24-bit and bottom-up, the form the program renders into, so
// playback is a plain copy. The format counts sizes in 16-bit words.
#pragma pack(push, 2)
struct MetafileHead {
    METAHEADER header;
    DWORD recordWords;
    WORD function;
    DWORD rasterOperation;  // the parameters, in reverse order of StretchDIBits's
    WORD colorUse;
    WORD sourceHeight, sourceWidth, sourceY, sourceX;
    WORD height, width, y, x;
    BITMAPINFOHEADER bitmap;  // then the bits
};
struct MetafileEnd {
    DWORD recordWords;
    WORD function;
};
#pragma pack(pop)
static_assert(sizeof(MetafileHead) == 18 + 28 + 40, "bits start 28 bytes into the record, after the header");
static_assert(sizeof(MetafileEnd) == 6, "end record");

constexpr uint64_t kMaxImageBytes = 0x7FFFFFFF - sizeof(MetafileHead) - sizeof(MetafileEnd);

// Writes everything but the bits around room for them; returns where they go.
BYTE *LayOutMetafile(BYTE *bytes, UINT width, UINT height, DWORD imageBytes)
{
    MetafileHead head = {};
    DWORD recordBytes = sizeof(MetafileHead) - sizeof(METAHEADER) + imageBytes;
    head.header.mtType = 1;  // in memory
    head.header.mtHeaderSize = sizeof(METAHEADER) / 2;
    head.header.mtVersion = 0x300;  // with DIB records
    head.header.mtSize = (sizeof(MetafileHead) + imageBytes + sizeof(MetafileEnd)) / 2;
    head.header.mtMaxRecord = recordBytes / 2;
    head.recordWords = recordBytes / 2;
    head.function = META_STRETCHDIB;
    head.rasterOperation = SRCCOPY;
    head.colorUse = DIB_RGB_COLORS;
    head.sourceWidth = head.width = WORD(width);
    head.sourceHeight = head.height = WORD(height);
    head.bitmap.biSize = sizeof(BITMAPINFOHEADER);
    head.bitmap.biWidth = LONG(width);
    head.bitmap.biHeight = LONG(height);  // positive: rows bottom-up
    head.bitmap.biPlanes = 1;
    head.bitmap.biBitCount = 24;
    head.bitmap.biCompression = BI_RGB;
    head.bitmap.biSizeImage = imageBytes;
    std::memcpy(bytes, &head, sizeof head);
    const MetafileEnd end = {sizeof(MetafileEnd) / 2, 0};
    std::memcpy(bytes + sizeof head + imageBytes, &end, sizeof end);
    return bytes + sizeof head;
}

// One decode: what it is given, everything it holds, and what it made. It
// lives outside the guarded call, because a fault inside the imaging
// component leaves that call without running any destructor on the way;
// whatever the decode holds is released from here, however it ended.
struct Decode {
    const wchar_t *path;
    CreateImagingFactoryFunction createFactory;  // the COM-free way, or else
    CoCreateInstanceFunction coCreateInstance;   // inside an apartment
    GetClassObjectFunction getClassObject;       // the built-in decoders'
    IWICImagingFactory *factory;
    IClassFactory *decoderClass;
    IWICStream *stream;
    IWICBitmapDecoder *decoder;
    IWICBitmapFrameDecode *frame;
    IWICMetadataQueryReader *screenMetadata;
    IWICMetadataQueryReader *frameMetadata;
    IWICFormatConverter *converter;
    BYTE *band;           // 32-bit rows staged for compositing
    BYTE *metafileBytes;  // the bitmap is decoded into it in place
    DWORD metafileSize;
    UINT width, height;  // the picture's
    HRESULT hr;
    int result;
};

template <typename T> void Drop(T *&object)
{
    if (object)
        object->Release();
    object = nullptr;
}

void FreeBlock(BYTE *&block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
    block = nullptr;
}

// Where the decoded frame's rows go: into the bottom-up bitmap, each frame
// row one stride before the one above it.
struct FrameRows {
    BYTE *top;  // the frame's top row, at its left edge
    size_t stride;
    BYTE *Row(UINT y) const { return top - y * stride; }
};

// Composites one band of 32-bit BGRA rows over black into 24-bit rows.
// `row` is the band's first frame row counted from the top.
void CompositeBand(const BYTE *band, UINT width, UINT rows, UINT row, const FrameRows &target)
{
    for (UINT k = 0; k < rows; k++) {
        const BYTE *source = band + size_t(k) * width * 4;
        BYTE *pixel = target.Row(row + k);
        for (UINT x = 0; x < width; x++, source += 4, pixel += 3) {
            UINT alpha = source[3];
            if (alpha == 255) {
                pixel[0] = source[0];
                pixel[1] = source[1];
                pixel[2] = source[2];
            } else {
                pixel[0] = BYTE((source[0] * alpha + 127) / 255);
                pixel[1] = BYTE((source[1] * alpha + 127) / 255);
                pixel[2] = BYTE((source[2] * alpha + 127) / 255);
            }
        }
    }
}

// Formats without alpha: converted straight to 24-bit rows, each written
// to its place in the bottom-up bitmap, with no staging copy.
bool IsOpaqueFormat(const WICPixelFormatGUID &format)
{
    return IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ||
           IsEqualGUID(format, GUID_WICPixelFormat24bppRGB) ||
           IsEqualGUID(format, GUID_WICPixelFormat32bppBGR);
}

HRESULT CopyOpaqueRows(Decode *d, UINT w, UINT h, const FrameRows &target, const WICPixelFormatGUID &format)
{
    // Rows already in our form are copied from the frame itself: a converter
    // would only copy them, after reading the format's size from the
    // registry, for every image.
    if (IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        HRESULT hr = S_OK;
        for (UINT y = 0; SUCCEEDED(hr) && y < h; y++) {
            WICRect rect = {0, INT(y), INT(w), 1};
            hr = d->frame->CopyPixels(&rect, w * 3, w * 3, target.Row(y));
        }
        if (SUCCEEDED(hr))
            return hr;
    }
    HRESULT hr = d->factory->CreateFormatConverter(&d->converter);
    if (SUCCEEDED(hr))
        hr = d->converter->Initialize(d->frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr,
                                      0.0, WICBitmapPaletteTypeCustom);
    for (UINT y = 0; SUCCEEDED(hr) && y < h; y++) {
        WICRect rect = {0, INT(y), INT(w), 1};
        hr = d->converter->CopyPixels(&rect, w * 3, w * 3, target.Row(y));
    }
    return hr;
}

// Everything else goes through straight alpha, composited here, so that
// transparent pixels come out over black with one rounding rule on every
// platform. (Indexed GIF frames cannot be converted to 24-bit directly on
// every WIC implementation either.)
HRESULT CopyCompositedRows(Decode *d, UINT w, UINT h, const FrameRows &target)
{
    UINT bandRows = w >= kBandPixels ? 1 : kBandPixels / w;
    if (bandRows > h)
        bandRows = h;
    d->band = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, size_t(bandRows) * w * 4));
    if (!d->band)
        return E_OUTOFMEMORY;
    Drop(d->converter);  // one the opaque way may have left
    HRESULT hr = d->factory->CreateFormatConverter(&d->converter);
    if (SUCCEEDED(hr))
        hr = d->converter->Initialize(d->frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                      nullptr, 0.0, WICBitmapPaletteTypeCustom);
    for (UINT row = 0; SUCCEEDED(hr) && row < h; row += bandRows) {
        UINT rows = h - row < bandRows ? h - row : bandRows;
        WICRect rect = {0, INT(row), INT(w), INT(rows)};
        hr = d->converter->CopyPixels(&rect, w * 4, rows * w * 4, d->band);
        if (SUCCEEDED(hr))
            CompositeBand(d->band, w, rows, row, target);
    }
    return hr;
}

// A 16-bit metadata value, or 0 when it is missing or of another type.
UINT ReadWord(IWICMetadataQueryReader *reader, const wchar_t *name)
{
    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(reader->GetMetadataByName(name, &value)))
        return 0;
    if (value.vt == VT_UI2)
        return value.uiVal;
    auto clear = Bind<PropVariantClearFunction>(LoadSystemLibrary(L"ole32.dll"), "PropVariantClear");
    if (clear)
        clear(&value);
    return 0;
}

// A GIF's first frame may cover only part of the logical screen, the canvas
// on which viewers show it; the picture is then the whole screen, with the
// frame in its place and black (transparent over black) around it. The
// canvas also takes in a frame that reaches past too small a screen, so
// that nothing of the frame is cut. Other pictures are their frame.
void PlaceFrame(Decode *d, UINT frameWidth, UINT frameHeight, UINT *left, UINT *top)
{
    *left = *top = 0;
    d->width = frameWidth;
    d->height = frameHeight;
    GUID container = {};
    if (FAILED(d->decoder->GetContainerFormat(&container)) ||
        !IsEqualGUID(container, GUID_ContainerFormatGif))
        return;
    UINT screenWidth = 0, screenHeight = 0;
    if (SUCCEEDED(d->decoder->GetMetadataQueryReader(&d->screenMetadata))) {
        screenWidth = ReadWord(d->screenMetadata, L"/logscrdesc/Width");
        screenHeight = ReadWord(d->screenMetadata, L"/logscrdesc/Height");
    }
    if (SUCCEEDED(d->frame->GetMetadataQueryReader(&d->frameMetadata))) {
        *left = ReadWord(d->frameMetadata, L"/imgdesc/Left");
        *top = ReadWord(d->frameMetadata, L"/imgdesc/Top");
    }
    d->width = UINT(GifPictureSide(screenWidth, *left, frameWidth));  // 16-bit GIF fields: no overflow
    d->height = UINT(GifPictureSide(screenHeight, *top, frameHeight));
}

// The built-in decoder for the file's first bytes, or null.
const CLSID *DecoderForSignature(const BYTE *bytes, ULONG count)
{
    static const BYTE png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (count >= sizeof png && std::memcmp(bytes, png, sizeof png) == 0)
        return &CLSID_WICPngDecoder;
    if (count >= 6 && (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0))
        return &CLSID_WICGifDecoder;
    if (count >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return &CLSID_WICJpegDecoder;
    return nullptr;
}

// The factory's own choice of decoder reads every registered decoder's
// patterns from the registry, for every image: under Wine, most of an
// image's server requests. For our three formats the file's first bytes
// name the imaging component's own decoder, made here straight from its
// class objects, on the stream that the factory would open.
HRESULT MakeDecoderForSignature(Decode *d)
{
    if (!d->getClassObject)
        return E_NOTIMPL;
    HRESULT hr = d->factory->CreateStream(&d->stream);
    if (SUCCEEDED(hr))
        hr = d->stream->InitializeFromFilename(d->path, GENERIC_READ);
    BYTE signature[8];
    ULONG count = 0;
    if (SUCCEEDED(hr))
        hr = d->stream->Read(signature, sizeof signature, &count);
    const CLSID *decoderClass = SUCCEEDED(hr) ? DecoderForSignature(signature, count) : nullptr;
    if (!decoderClass)
        return E_NOTIMPL;
    LARGE_INTEGER start = {};
    hr = d->stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr))
        hr = d->getClassObject(*decoderClass, IID_IClassFactory, reinterpret_cast<void **>(&d->decoderClass));
    if (SUCCEEDED(hr))
        hr = d->decoderClass->CreateInstance(nullptr, IID_IWICBitmapDecoder,
                                             reinterpret_cast<void **>(&d->decoder));
    if (SUCCEEDED(hr))
        hr = d->decoder->Initialize(d->stream, WICDecodeMetadataCacheOnDemand);
    return hr;
}

// Anything else, or anything that fails on the way, goes through the
// factory's own choice, so that nothing it reads becomes unreadable.
HRESULT MakeDecoder(Decode *d)
{
    if (SUCCEEDED(MakeDecoderForSignature(d)))
        return S_OK;
    Drop(d->decoder);
    Drop(d->decoderClass);
    Drop(d->stream);
    return d->factory->CreateDecoderFromFilename(d->path, nullptr, GENERIC_READ,
                                                 WICDecodeMetadataCacheOnDemand, &d->decoder);
}

// Decodes the first frame into the bitmap of the metafile's bytes. HRESULT
// failures are kept so that DecodeFile can try again inside an apartment.
HRESULT DecodeBitmap(Decode *d)
{
    d->result = kWicImportCannotDecode;
    HRESULT hr = MakeDecoder(d);
    if (SUCCEEDED(hr))
        hr = d->decoder->GetFrame(0, &d->frame);
    UINT frameWidth = 0, frameHeight = 0;
    if (SUCCEEDED(hr))
        hr = d->frame->GetSize(&frameWidth, &frameHeight);
    if (FAILED(hr))
        return hr;
    UINT left = 0, top = 0;
    PlaceFrame(d, frameWidth, frameHeight, &left, &top);
    if (frameWidth == 0 || frameHeight == 0 || d->width > kMaxMetafileCoordinate ||
        d->height > kMaxMetafileCoordinate) {
        d->result = kWicImportTooLarge;
        return E_FAIL;
    }
    UINT stride = ((d->width * 24 + 31) >> 3) & ~3u;  // width <= 32767: no overflow
    uint64_t imageBytes = uint64_t(stride) * d->height;
    if (imageBytes > kMaxImageBytes) {
        d->result = kWicImportTooLarge;
        return E_FAIL;
    }
    bool covered = frameWidth == d->width && frameHeight == d->height;
    d->metafileSize = DWORD(sizeof(MetafileHead) + imageBytes + sizeof(MetafileEnd));
    // What the frame does not cover shows black.
    d->metafileBytes =
        static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), covered ? 0 : HEAP_ZERO_MEMORY, d->metafileSize));
    if (!d->metafileBytes) {
        d->result = kWicImportNoMemory;
        return E_OUTOFMEMORY;
    }
    BYTE *bits = LayOutMetafile(d->metafileBytes, d->width, d->height, DWORD(imageBytes));
    if (covered && stride != d->width * 3) {
        // Keep the row padding defined: it is recorded with the pixels.
        for (UINT y = 0; y < d->height; y++)
            std::memset(bits + size_t(y) * stride + d->width * 3, 0, stride - d->width * 3);
    }
    FrameRows target = {bits + size_t(d->height - 1 - top) * stride + left * 3, stride};
    WICPixelFormatGUID format = {};
    d->frame->GetPixelFormat(&format);
    // A converter that refuses the direct way leaves the general one.
    bool copied =
        IsOpaqueFormat(format) && SUCCEEDED(CopyOpaqueRows(d, frameWidth, frameHeight, target, format));
    if (!copied) {
        hr = CopyCompositedRows(d, frameWidth, frameHeight, target);
        if (FAILED(hr)) {
            d->result = hr == E_OUTOFMEMORY ? kWicImportNoMemory : kWicImportCannotDecode;
            return hr;
        }
    }
    d->result = kWicImportOk;
    return S_OK;
}

void DecodeGuarded(void *context)
{
    Decode *d = static_cast<Decode *>(context);
    d->hr = d->createFactory
                ? d->createFactory(WINCODEC_SDK_VERSION, &d->factory)
                : d->coCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, reinterpret_cast<void **>(&d->factory));
    if (SUCCEEDED(d->hr))
        d->hr = DecodeBitmap(d);
}

// In the reverse order of their making: the factory goes last.
void ReleaseInterfaces(void *context)
{
    Decode *d = static_cast<Decode *>(context);
    Drop(d->converter);
    Drop(d->frameMetadata);
    Drop(d->screenMetadata);
    Drop(d->frame);
    Drop(d->decoder);
    Drop(d->decoderClass);
    Drop(d->stream);
    Drop(d->factory);
}

// Runs one decode under the guard, makes the metafile of a decode that
// succeeded, and releases whatever the decode held, however it ended. False
// when the imaging component faulted: its own release may fault again, so
// it runs guarded too, and what it cannot release is left, not the process.
bool RunDecode(Decode *d, HMETAFILE *metafile)
{
    bool completed = RunGuarded(DecodeGuarded, d);
    RunGuarded(ReleaseInterfaces, d);
    if (!completed) {
        d->hr = E_FAIL;
        d->result = kWicImportCannotDecode;
    } else if (SUCCEEDED(d->hr)) {
        *metafile = SetMetaFileBitsEx(d->metafileSize, d->metafileBytes);
        if (!*metafile)
            d->result = kWicImportNoPicture;
    }
    FreeBlock(d->band);
    FreeBlock(d->metafileBytes);
    return completed;
}

// Decoding normally runs without touching COM: the factory comes straight
// from windowscodecs.dll and the built-in codecs need no apartment. Any
// failure there (an implementation that wants an apartment may say so in more
// ways than CO_E_NOTINITIALIZED) repeats the decode inside a COM
// initialisation of our own, undone before returning, so the caller's thread
// is left as it was. Only files that fail pay for the second attempt; a fault
// inside the imaging component is not tried again.
HMETAFILE DecodeFile(Decode *d)
{
    HMETAFILE metafile = nullptr;
    HMODULE codecs = ImagingLibrary();
    d->createFactory = Bind<CreateImagingFactoryFunction>(codecs, "WICCreateImagingFactory_Proxy");
    d->getClassObject = Bind<GetClassObjectFunction>(codecs, "DllGetClassObject");
    if (d->createFactory && (!RunDecode(d, &metafile) || SUCCEEDED(d->hr)))
        return metafile;

    d->result = kWicImportCannotDecode;
    HMODULE ole = LoadSystemLibrary(L"ole32.dll");
    auto coInitializeEx = Bind<CoInitializeExFunction>(ole, "CoInitializeEx");
    auto coUninitialize = Bind<CoUninitializeFunction>(ole, "CoUninitialize");
    d->createFactory = nullptr;
    d->coCreateInstance = Bind<CoCreateInstanceFunction>(ole, "CoCreateInstance");
    if (!coInitializeEx || !coUninitialize || !d->coCreateInstance)
        return nullptr;
    HRESULT init = coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // RPC_E_CHANGED_MODE: the thread already has a multithreaded apartment,
    // which serves as well and is not ours to end.
    if (FAILED(init) && init != RPC_E_CHANGED_MODE)
        return nullptr;
    RunDecode(d, &metafile);  // every interface is released before the apartment ends
    if (SUCCEEDED(init))
        coUninitialize();
    return metafile;
}

}  // namespace

// Stands in for the C runtime's entry point, which this library does without
// (see ImagingLibrary): it has no static constructors, no thread-local
// data and no exceptions, so only the stack protector's guard is set up.
__attribute__((no_stack_protector)) BOOL WINAPI FilterEntryPoint(HINSTANCE, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_ATTACH)
        SeedStackGuard();
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

    // Colours a decoder would invent are not the picture's.
    if (GifFirstFrameLacksColours(widePath))
        return kWicImportCannotDecode;
    Decode decode = {};
    decode.path = widePath;
    HMETAFILE metafile = DecodeFile(&decode);
    if (!metafile)
        return decode.result != kWicImportOk ? decode.result : kWicImportNoPicture;
    picture->picture = metafile;
    picture->left = 0;
    picture->top = 0;
    picture->right = int32_t(decode.width);
    picture->bottom = int32_t(decode.height);
    return kWicImportOk;
}
