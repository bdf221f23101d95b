#include "frames/png_writer.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include "core/output_file.h"

// The encoded PNG waits in a memory stream until it is complete.
static bool WriteStreamToFile(IStream *stream, const char *path)
{
    HGLOBAL memory = nullptr;
    STATSTG status = {};
    if (FAILED(GetHGlobalFromStream(stream, &memory)) || FAILED(stream->Stat(&status, STATFLAG_NONAME)))
        return false;
    const void *bytes = GlobalLock(memory);
    if (!bytes)
        return false;
    bool written = WriteFileReplacing(path, bytes, size_t(status.cbSize.QuadPart)) == WRITE_OK;
    GlobalUnlock(memory);
    return written;
}

bool WritePng(IWICImagingFactory *factory, const char *path, const uint8_t *rows, uint32_t stride,
              uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    IStream *stream = nullptr;
    IWICBitmapEncoder *encoder = nullptr;
    IWICBitmapFrameEncode *frame = nullptr;
    IPropertyBag2 *options = nullptr;
    const WICPixelFormatGUID wanted =
        bitsPerPixel == 32 ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
    WICPixelFormatGUID format = wanted;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(width, height);
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    // The encoder answers with the format it will store; any other would
    // reinterpret our bytes.
    if (SUCCEEDED(hr) && !IsEqualGUID(format, wanted))
        hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(height, stride, stride * height, const_cast<BYTE *>(rows));
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    bool written = SUCCEEDED(hr) && WriteStreamToFile(stream, path);
    if (options)
        options->Release();
    if (frame)
        frame->Release();
    if (encoder)
        encoder->Release();
    if (stream)
        stream->Release();
    return written;
}
