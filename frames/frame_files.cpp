#include "frames/frame_files.h"

#include <cstdio>
#include <cstring>

#include "core/messages.h"
#include "core/status.h"
#include "frames/png_writer.h"

FrameProgressFunction g_frameProgress = nullptr;

namespace {

// At least four digits, more when the count needs them.
int FrameNumberDigits(uint32_t count)
{
    int digits = 4;
    for (uint64_t limit = 10000; limit < count && digits < 10; limit *= 10)
        digits++;
    return digits;
}

bool FormatFramePath(const char *folder, uint32_t i, int digits, char *path)
{
    int written = std::snprintf(path, MAX_PATH, "%s\\frame%0*u.png", folder, digits, i);
    return written > 0 && written < MAX_PATH;
}

// The folder and any missing folder above it; true when it is there now.
// *madeFrom: the length of the outermost folder made (0: none), so that a
// failure can take away every folder it made.
bool MakeFolders(char *path, size_t *madeFrom)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY;
    for (char *p = path + 1;; p++) {
        if (*p && *p != '\\')
            continue;
        const char kept = *p;
        *p = '\0';
        // The drive and existing folders refuse, harmlessly.
        if (CreateDirectoryA(path, nullptr) && *madeFrom == 0)
            *madeFrom = size_t(p - path);
        *p = kept;
        if (!kept)
            break;
    }
    attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Removes the folders MakeFolders made, the innermost first.
void RemoveMadeFolders(FrameFiles *files)
{
    char path[MAX_PATH];
    lstrcpynA(path, files->folder, MAX_PATH);
    for (size_t length = std::strlen(path); files->madeFrom > 0 && length >= files->madeFrom; length--) {
        if (path[length] != '\\' && path[length] != '\0')
            continue;
        path[length] = '\0';
        RemoveDirectoryA(path);
    }
    files->madeFrom = 0;
}

// The first name in the folder that the rule does not allow, if any.
bool FindBlockingName(const char *folder, FolderRule rule, char *name)
{
    char pattern[MAX_PATH + 16];
    std::snprintf(pattern, sizeof pattern, "%s\\%s", folder,
                  rule == FOLDER_WITHOUT_FRAME_FILES ? "frame*.png" : "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool blocked = false;
    do {
        blocked = lstrcmpA(found.cFileName, ".") != 0 && lstrcmpA(found.cFileName, "..") != 0;
        if (blocked)
            lstrcpynA(name, found.cFileName, MAX_PATH);
    } while (!blocked && FindNextFileA(search, &found));
    FindClose(search);
    return blocked;
}

}  // namespace

bool BeginFrameFiles(FrameFiles *files, const char *directory, uint32_t count, FolderRule rule)
{
    *files = FrameFiles{};
    files->count = count;
    files->digits = FrameNumberDigits(count);
    char lastPath[MAX_PATH];
    DWORD length = GetFullPathNameA(directory, MAX_PATH, files->folder, nullptr);
    if (length > 1 && length < MAX_PATH && files->folder[length - 1] == '\\' &&
        files->folder[length - 2] != ':')
        files->folder[--length] = '\0';
    if (length == 0 || length >= MAX_PATH ||
        !FormatFramePath(files->folder, count ? count - 1 : 0, files->digits, lastPath)) {
        PrintStatus(MSG_PATH_TOO_LONG, directory);
        return false;
    }
    char blocking[MAX_PATH];
    if (FindBlockingName(files->folder, rule, blocking)) {
        PrintStatus(rule == FOLDER_NEW_OR_EMPTY ? MSG_FOLDER_NOT_EMPTY : MSG_FRAME_FILES_EXIST, files->folder,
                    blocking);
        return false;
    }
    if (!MakeFolders(files->folder, &files->madeFrom)) {
        RemoveMadeFolders(files);
        PrintStatus(MSG_CANT_CREATE_FOLDER, directory);
        return false;
    }
    return true;
}

void FrameFilePath(const FrameFiles &files, uint32_t i, char *path)
{
    FormatFramePath(files.folder, i, files.digits, path);
}

bool WriteFrameFile(FrameFiles *files, IWICImagingFactory *factory, const uint8_t *rows, uint32_t stride,
                    uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    if (g_frameProgress && !g_frameProgress(int(files->written), int(files->count))) {
        PrintStatus(MSG_FRAMES_CANCELLED);
        return false;
    }
    char path[MAX_PATH];
    FrameFilePath(*files, files->written, path);
    if (!WritePng(factory, path, rows, stride, width, height, bitsPerPixel)) {
        PrintStatus(MSG_CANT_WRITE_FRAME, path);
        return false;
    }
    files->written++;
    return true;
}

void EndFrameFiles(FrameFiles *files)
{
    char first[MAX_PATH], last[MAX_PATH];
    if (files->count > 0 && files->written == files->count) {
        FrameFilePath(*files, 0, first);
        FrameFilePath(*files, files->count - 1, last);
        PrintStatus(MSG_FRAMES_WRITTEN, files->folder, std::strrchr(first, '\\') + 1,
                    std::strrchr(last, '\\') + 1, files->count);
        return;
    }
    RemoveFrameFiles(files);
}

void RemoveFrameFiles(FrameFiles *files)
{
    // The one being written when it failed may have been left part-written.
    char path[MAX_PATH];
    for (uint32_t i = 0; i <= files->written && i < files->count; i++) {
        FrameFilePath(*files, i, path);
        DeleteFileA(path);
    }
    files->written = 0;
    RemoveMadeFolders(files);
}

bool FramesFolderBeside(const char *path, char *folder, const char *suffix)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    const char *dot = std::strrchr(name, '.');
    size_t stem = size_t((dot && dot != name ? dot : name + std::strlen(name)) - path);
    const size_t ending = std::strlen(suffix) + 1;
    if (stem + ending > MAX_PATH)
        return false;
    std::memcpy(folder, path, stem);
    std::memcpy(folder + stem, suffix, ending);
    return true;
}
