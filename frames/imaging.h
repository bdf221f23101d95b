// The Windows Imaging Component, reached through COM for as long as one task
// needs it: reading images and SHP16 frames out, writing PNG files.
#pragma once
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

// COM on this thread (undone on leaving) and an imaging factory.
class ImagingSession {
  public:
    ImagingSession();
    ~ImagingSession();
    ImagingSession(const ImagingSession &) = delete;
    ImagingSession &operator=(const ImagingSession &) = delete;

    // Null, after PrintStatus, when the component is not available.
    IWICImagingFactory *Factory();

  private:
    HRESULT apartment_;
    IWICImagingFactory *factory_ = nullptr;
};
