// Registration facts of our import filter, shared with its tests.
#pragma once

// Subkey of FILTER_ROOT_KEY that DllRegisterServer creates and
// DllUnregisterServer removes; nothing else in the registry is touched.
#define WIC_FILTER_KEY_NAME "Kestrane PNG GIF JPEG"
#define WIC_FILTER_EXTENSIONS "PNG,GIF,JPG,JPEG,JPE,JFIF"

// ImportGr results; 0 is success.
enum WicFilterResult {
    kWicImportOk = 0,
    kWicImportBadArguments = 1,
    kWicImportCannotDecode = 2,
    kWicImportTooLarge = 3,
    kWicImportNoMemory = 4,
    kWicImportNoPicture = 5,
};
