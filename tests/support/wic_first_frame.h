// The bare decode of an image's first frame with the imaging component, as a
// reference for tests and a baseline for the benchmark: no filter, no metafile.
#pragma once
#include <wincodec.h>
#include <windows.h>

#include <vector>

// 4 bytes per pixel in `format` (a 32-bit WIC format), top row first.
inline HRESULT DecodeFirstFrame(IWICImagingFactory *factory, const wchar_t *path,
                                REFWICPixelFormatGUID format, std::vector<BYTE> *pixels, UINT *width,
                                UINT *height)
{
    IWICBitmapDecoder *decoder = nullptr;
    IWICBitmapFrameDecode *frame = nullptr;
    IWICFormatConverter *converter = nullptr;
    HRESULT hr = factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ,
                                                    WICDecodeMetadataCacheOnDemand, &decoder);
    if (SUCCEEDED(hr))
        hr = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(hr))
        hr = frame->GetSize(width, height);
    if (SUCCEEDED(hr))
        hr = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame, format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom);
    if (SUCCEEDED(hr)) {
        pixels->resize(size_t(*width) * *height * 4);
        hr = converter->CopyPixels(nullptr, *width * 4, UINT(pixels->size()), pixels->data());
    }
    for (IUnknown *object : {static_cast<IUnknown *>(converter), static_cast<IUnknown *>(frame),
                             static_cast<IUnknown *>(decoder)})
        if (object)
            object->Release();
    return hr;
}
