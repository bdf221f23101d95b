// Registration facts of our import filter, shared with its tests and read
// by the installer (installer/kestrane.nsi).
#pragma once

// Subkey of FILTER_ROOT_KEY that DllRegisterServer creates and
// DllUnregisterServer removes; nothing else in the registry is touched.
#define WIC_FILTER_KEY_NAME "Kestrane PNG GIF JPEG"
// What the filter reads. It is registered only for those of these that no
// other filter serves (as the programs' lookup finds one), so that installing it never changes which
// filter other programs use for a type.
#define WIC_FILTER_EXTENSIONS "PNG,GIF,JPG,JPEG,JPE,JFIF"
// A value of our subkey saying which filter keeps each extension left to
// others, e.g. `PNG to "Portable Network Graphics"; JPG, JPEG to "X"`;
// absent when none was left.
#define WIC_FILTER_VALUE_LEFT "Left to other filters"

// What regsvr32 (unless run with /s) shows when DllRegisterServer refuses a
// file that others could change (filters/wic/file_protection.h), followed by
// its path; DllRegisterServer then returns SELFREG_E_CLASS.
#define WIC_FILTER_TEXT_UNPROTECTED                                                                          \
    "The image import filter was not registered: other users can change or replace this file or "            \
    "its folder, and every program that reads images through graphics filters would then run "               \
    "their code. Copy the files into a protected folder, such as one in Program Files, and register "        \
    "the filter there."

// ImportGr results; 0 is success.
enum WicFilterResult {
    kWicImportOk = 0,
    kWicImportBadArguments = 1,
    kWicImportCannotDecode = 2,
    kWicImportTooLarge = 3,
    kWicImportNoMemory = 4,
    kWicImportNoPicture = 5,
};
