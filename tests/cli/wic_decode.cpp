// Test helper: decodes an image's first frame with the imaging component and
// writes width and height (u32 each) and then R, G, B bytes, top row first,
// so that JPEG results can be checked against this decoder's own output.
// Usage: wic_decode IMAGE OUTPUT.raw
#include <initguid.h>
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/support/wic_first_frame.h"

static int Decode(const char *imagePath, const char *outputPath)
{
    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, imagePath, -1, widePath, MAX_PATH))
        return 1;
    IWICImagingFactory *factory = nullptr;
    UINT width = 0, height = 0;
    std::vector<BYTE> bgrx;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void **>(&factory));
    if (SUCCEEDED(hr)) {
        hr = DecodeFirstFrame(factory, widePath, GUID_WICPixelFormat32bppBGR, &bgrx, &width, &height);
        factory->Release();
    }
    if (FAILED(hr))
        return 1;

    FILE *output = std::fopen(outputPath, "wb");
    if (!output)
        return 1;
    uint32_t size[2] = {width, height};
    std::fwrite(size, sizeof(size), 1, output);
    for (size_t i = 0; i < bgrx.size(); i += 4) {
        BYTE rgb[3] = {bgrx[i + 2], bgrx[i + 1], bgrx[i]};
        std::fwrite(rgb, 3, 1, output);
    }
    return std::fclose(output) == 0 ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("Usage: wic_decode IMAGE OUTPUT.raw\n", stderr);
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int result = Decode(argv[1], argv[2]);
    CoUninitialize();
    return result;
}
