#include <initguid.h>  // first: defines the imaging component's GUIDs in this module

#include "frames/imaging.h"

#include "core/messages.h"
#include "core/status.h"
#include "import/seh_guard.h"

ImagingSession::ImagingSession()
    : apartment_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))
{
    // RPC_E_CHANGED_MODE: the thread has a multithreaded apartment, which serves as well.
    if (SUCCEEDED(apartment_) || apartment_ == RPC_E_CHANGED_MODE)
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void **>(&factory_));
}

// Guarded: a decode that faulted inside the component may have left the
// factory in a state where letting go of it faults too.
static void ReleaseFactory(void *factory)
{
    static_cast<IWICImagingFactory *>(factory)->Release();
}

ImagingSession::~ImagingSession()
{
    if (factory_)
        RunGuarded(ReleaseFactory, factory_);
    if (SUCCEEDED(apartment_))
        CoUninitialize();
}

IWICImagingFactory *ImagingSession::Factory()
{
    if (!factory_)
        PrintStatus(MSG_NO_IMAGING);
    return factory_;
}
