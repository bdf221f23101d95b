#include "cli/shp_commands.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cli/cli_texts.h"
#include "cli/console.h"
#include "cli/png_writer.h"
#include "cli/sources.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/packed_dib.h"
#include "core/shp16_read.h"
#include "core/status.h"

namespace {

bool ReadAt(HANDLE file, uint64_t offset, void *buffer, DWORD size)
{
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    DWORD read = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

// Opens an SHP16 file and checks its whole layout from its headers and its
// length, without reading the pixels. Null after PrintStatus when the file
// cannot be read or is damaged.
HANDLE OpenShpFile(const char *path, ShpLayout *layout)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        PrintStatus(CLI_CANT_READ_SHP, path);
        return nullptr;
    }
    uint64_t fileSize = uint64_t(size.QuadPart);
    DWORD headSize = DWORD(fileSize < kShpMaxHeadersSize ? fileSize : kShpMaxHeadersSize);
    auto *head = static_cast<uint8_t *>(CoreAlloc(headSize + 1));  // + 1: an empty file still gets a block
    bool valid = false;
    if (!head)
        PrintStatus(MSG_MEMORY_ERROR);
    else if (!ReadAt(file, 0, head, headSize))
        PrintStatus(CLI_CANT_READ_SHP, path);
    else {
        char problem[160];
        valid = CheckShpLayout(head, headSize, fileSize, layout, problem, sizeof problem);
        if (!valid)
            PrintStatus(CLI_INVALID_SHP, path, problem);
    }
    CoreFree(head);
    if (!valid) {
        CloseHandle(file);
        return nullptr;
    }
    return file;
}

// Makes the folder and any missing folder above it.
bool CreateFolders(const char *fullPath)
{
    char prefix[MAX_PATH];
    lstrcpynA(prefix, fullPath, MAX_PATH);
    for (char *p = prefix + 1; *p; p++) {
        if (*p != '\\')
            continue;
        *p = '\0';
        CreateDirectoryA(prefix, nullptr);  // the drive and existing folders refuse, harmlessly
        *p = '\\';
    }
    CreateDirectoryA(prefix, nullptr);
    DWORD attributes = GetFileAttributesA(fullPath);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Enough digits for every frame number, at least 4, so that the names sort
// as the frames follow.
int FrameNumberDigits(uint32_t frameCount)
{
    int digits = 4;
    for (uint32_t limit = 10000; limit < frameCount && digits < 10; limit *= 10)
        digits++;
    return digits;
}

// Name of frame i's file; false when the path does not fit in MAX_PATH.
bool FramePath(const char *folder, uint32_t i, int digits, char *path)
{
    size_t length = lstrlenA(folder);
    const char *separator = length > 0 && folder[length - 1] == '\\' ? "" : "\\";
    int written = std::snprintf(path, MAX_PATH, "%s%sframe%0*u.png", folder, separator, digits, i);
    return written > 0 && written < MAX_PATH;
}

// The frames in file order, each read, widened to 24 bits and written as a
// PNG file of its own. Stops at the first failure: the files written before
// it are complete.
bool WriteFrames(IWICImagingFactory *factory, const char *shpPath, HANDLE file, const ShpLayout &layout,
                 const char *folder)
{
    uint32_t width = layout.width, height = layout.height;
    uint32_t stride = DibStride(width, 24);
    // A valid file is at most 4 GB, so one frame's bytes fit in 32 bits; its
    // 24-bit copy may not.
    uint64_t frameBytes = 2ull * width * height, rowBytes = uint64_t(stride) * height;
    uint8_t *frame = nullptr, *rows = nullptr;
    if (stride != 0 && rowBytes <= SIZE_MAX) {
        frame = static_cast<uint8_t *>(CoreAlloc(size_t(frameBytes)));
        rows = static_cast<uint8_t *>(CoreAlloc(size_t(rowBytes)));
    }
    bool ok = frame && rows;
    if (!ok)
        PrintStatus(MSG_MEMORY_ERROR);
    int digits = FrameNumberDigits(layout.frameCount);
    bool progress = ProgressWanted();
    char path[MAX_PATH] = "";
    for (uint32_t i = 0; ok && i < layout.frameCount; i++) {
        if (progress)
            ShowProgress(CLI_PROGRESS_FRAME, int(i), int(layout.frameCount));
        FramePath(folder, i, digits, path);  // fits: the longest name was tried first
        if (!ReadAt(file, ShpFrameOffset(width, height, layout.frameCount, i), frame, DWORD(frameBytes))) {
            PrintStatus(CLI_CANT_READ_SHP, shpPath);
            ok = false;
        } else {
            ConvertFrameToBgr(frame, width, height, rows, stride);
            ok = WritePng(factory, path, rows, stride, width, height);
            if (!ok)
                PrintStatus(CLI_CANT_WRITE_FRAME, path);
        }
    }
    CoreFree(rows);
    CoreFree(frame);
    if (ok) {
        char firstPath[MAX_PATH];
        FramePath(folder, 0, digits, firstPath);
        PrintStatus(CLI_EXTRACTED, folder, std::strrchr(firstPath, '\\') + 1, std::strrchr(path, '\\') + 1);
    }
    return ok;
}

}  // namespace

bool ShowShpInfo(const char *path)
{
    ShpLayout layout = {};
    HANDLE file = OpenShpFile(path, &layout);
    if (!file)
        return false;
    CloseHandle(file);
    // The check proved every record's offset to be the one computed here.
    std::printf(CLI_INFO_LAYOUT, layout.width, layout.height, layout.frameCount);
    for (uint32_t i = 0; i < layout.frameCount; i++)
        std::printf(CLI_INFO_FRAME, i, ShpFrameOffset(layout.width, layout.height, layout.frameCount, i));
    return true;
}

// Folder and frame names must fit before anything is made.
static bool PrepareFolder(const char *directory, uint32_t frameCount, char *folder)
{
    char lastPath[MAX_PATH];
    if (!FullPath(directory, folder) ||
        !FramePath(folder, frameCount - 1, FrameNumberDigits(frameCount), lastPath)) {
        PrintStatus(MSG_PATH_TOO_LONG, directory);
        return false;
    }
    if (!CreateFolders(folder)) {
        PrintStatus(CLI_CANT_CREATE_FOLDER, directory);
        return false;
    }
    return true;
}

bool ExtractFrames(const char *path, const char *directory)
{
    ShpLayout layout = {};
    HANDLE file = OpenShpFile(path, &layout);
    if (!file)
        return false;
    char folder[MAX_PATH];
    bool ok = PrepareFolder(directory, layout.frameCount, folder);
    HRESULT apartment =
        ok ? CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) : E_FAIL;
    IWICImagingFactory *factory = nullptr;
    if (ok && (FAILED(apartment) ||
               FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory, reinterpret_cast<void **>(&factory))))) {
        PrintStatus(CLI_NO_IMAGING);
        ok = false;
    }
    if (ok)
        ok = WriteFrames(factory, path, file, layout, folder);
    if (factory)
        factory->Release();
    if (SUCCEEDED(apartment))
        CoUninitialize();
    CloseHandle(file);
    return ok;
}
