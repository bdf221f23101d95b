// The interface between Kestrane and graphics import filters: the records
// exchanged and the entry points called, shared by the program, our own filter
// and the test filters so that the layout is written down once.
#pragma once
#include <windows.h>

#include <cstdint>

// Current family: undecorated names, picture is an HMETAFILE.
// Older family: the decorated names below, picture is a global memory block
// holding the metafile's bytes.
#define FILTER_GET_INFO "GetFilterInfo"
#define FILTER_IMPORT "ImportGr"
#define FILTER_IMPORT_ALT "ImportGR"
#define FILTER_SET_PREF "SetFilterPref"
#define FILTER_GET_INFO_OLD "GetFilterInfo@16"
#define FILTER_IMPORT_OLD "ImportGr@16"

constexpr int kFilterInfoVersion = 2;  // what GetFilterInfo must answer
constexpr int kFilterVersionCurrent = 3;
constexpr int kFilterVersionOlder = 2;

#pragma pack(push, 1)
struct FilterFileSpec {  // 272 bytes, filled by the caller
    uint16_t flags;      // bits 0-4 cleared by the caller
    uint8_t reserved[4];
    uint16_t zero;
    char path[260];
    uint32_t tail;
};
struct FilterPicture {  // 24 bytes, filled by the filter
    HANDLE picture;     // HMETAFILE (current) or HGLOBAL of metafile bytes (older)
    int32_t left, top, right, bottom;
    uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(FilterFileSpec) == 272, "FilterFileSpec layout");
static_assert(sizeof(FilterPicture) == 24, "FilterPicture layout");

typedef int(WINAPI *GetFilterInfoFunction)(int version, const char *reserved, HGLOBAL *preferences,
                                           DWORD flags);
typedef int(WINAPI *ImportGrFunction)(HDC reserved, FilterFileSpec *file, FilterPicture *picture,
                                      HGLOBAL preferences);
typedef int(WINAPI *SetFilterPrefFunction)(HGLOBAL preferences, const char *name, const void *value,
                                           DWORD size, DWORD type);

// Registry: one subkey per filter under the root, with these two string values.
#define FILTER_ROOT_KEY "Software\\Microsoft\\Shared Tools\\Graphics Filters\\Import"
#define FILTER_VALUE_EXTENSIONS "Extensions"
#define FILTER_VALUE_PATH "Path"

#define FILTER_PREF_PROGRESS "ShowProgressDialog"
#define FILTER_PREF_OPTIONS "ShowOptionsDialog"
