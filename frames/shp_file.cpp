#include "frames/shp_file.h"

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/packed_dib.h"
#include "core/status.h"
#include "frames/imaging.h"

static bool ReadAt(HANDLE file, uint64_t offset, void *buffer, DWORD size)
{
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    DWORD read = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

bool OpenShpFile(const char *path, ShpFile *shp)
{
    *shp = ShpFile{INVALID_HANDLE_VALUE, {}};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        PrintStatus(MSG_CANT_READ_SHP, path);
        return false;
    }
    // The headers and the length tell everything the check needs.
    uint64_t fileSize = uint64_t(size.QuadPart);
    DWORD headSize = DWORD(fileSize < kShpMaxHeadersSize ? fileSize : kShpMaxHeadersSize);
    auto *head = static_cast<uint8_t *>(CoreAlloc(headSize + 1));  // + 1: an empty file still gets a block
    bool valid = false;
    if (!head)
        PrintStatus(MSG_MEMORY_ERROR);
    else if (!ReadAt(file, 0, head, headSize))
        PrintStatus(MSG_CANT_READ_SHP, path);
    else {
        char problem[160];
        valid = CheckShpLayout(head, headSize, fileSize, &shp->layout, problem, sizeof problem);
        if (!valid)
            PrintStatus(MSG_INVALID_SHP, path, problem);
    }
    CoreFree(head);
    if (!valid) {
        CloseHandle(file);
        return false;
    }
    shp->handle = file;
    return true;
}

void CloseShpFile(ShpFile *shp)
{
    if (shp->handle != INVALID_HANDLE_VALUE)
        CloseHandle(shp->handle);
    shp->handle = INVALID_HANDLE_VALUE;
}

bool ReadShpFrame(const ShpFile &shp, uint32_t i, uint8_t *pixels)
{
    const ShpLayout &l = shp.layout;
    // A checked file is at most 4 GB, so one frame's bytes fit in 32 bits.
    return i < l.frameCount && ReadAt(shp.handle, ShpFrameOffset(l.width, l.height, l.frameCount, i), pixels,
                                      2 * l.width * l.height);
}

bool ExtractShpFrames(const ShpFile &shp, const char *shpPath, const char *directory, FolderRule rule,
                      FrameFiles *files)
{
    const uint32_t width = shp.layout.width, height = shp.layout.height, stride = DibStride(width, 24);
    if (!BeginFrameFiles(files, directory, shp.layout.frameCount, rule))
        return false;
    ImagingSession imaging;
    IWICImagingFactory *factory = imaging.Factory();
    // One frame's 24-bit copy may not fit in 32 bits where its RGB565 bytes do.
    uint64_t rowBytes = uint64_t(stride) * height;
    uint8_t *frame = nullptr, *rows = nullptr;
    if (factory) {
        if (stride != 0 && rowBytes <= SIZE_MAX) {
            frame = static_cast<uint8_t *>(CoreAlloc(size_t(2) * width * height));
            rows = static_cast<uint8_t *>(CoreAlloc(size_t(rowBytes)));
        }
        if (!frame || !rows)
            PrintStatus(MSG_MEMORY_ERROR);
    }
    bool ok = frame && rows;
    for (uint32_t i = 0; ok && i < shp.layout.frameCount; i++) {
        ok = ReadShpFrame(shp, i, frame);
        if (!ok)
            PrintStatus(MSG_CANT_READ_SHP, shpPath);
        else {
            ConvertFrameToBgr(frame, width, height, rows, stride);
            ok = WriteFrameFile(files, factory, rows, stride, width, height, 24);
        }
    }
    CoreFree(rows);
    CoreFree(frame);
    EndFrameFiles(files);
    return ok;
}
