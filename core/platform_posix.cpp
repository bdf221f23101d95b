// Host side of core, for the sanitizer build of the tests: heap-backed images
// that remember their size, and the same write that keeps what a destination is.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/background.h"
#include "core/core_alloc.h"
#include "core/file_head.h"
#include "core/output_file.h"
#include "core/packed_dib.h"

namespace {
struct alignas(16) BlockPrefix {
    size_t size;
};
}  // namespace

PackedDib AllocPackedDib(size_t bytes)
{
    if (AllocationShouldFail() || bytes > SIZE_MAX - sizeof(BlockPrefix))
        return nullptr;
    auto *prefix = static_cast<BlockPrefix *>(std::calloc(1, sizeof(BlockPrefix) + bytes));
    if (!prefix)
        return nullptr;
    prefix->size = bytes;
    return reinterpret_cast<PackedDib>(prefix + 1);
}

void FreePackedDib(PackedDib dib)
{
    if (dib)
        std::free(reinterpret_cast<BlockPrefix *>(dib) - 1);
}

size_t PackedDibBlockSize(PackedDib dib)
{
    return dib ? (reinterpret_cast<BlockPrefix *>(dib) - 1)->size : 0;
}

// Reallocated, so that the sanitizers see every access to the block.
bool GrowBlock(GrowingBlock *block, size_t bytes)
{
    void *grown = AllocationShouldFail() ? nullptr : std::realloc(block->data, bytes ? bytes : 1);
    if (!grown)
        return false;
    block->data = static_cast<uint8_t *>(grown);
    block->size = block->reserved = bytes;
    return true;
}

void ReleaseBlock(GrowingBlock *block)
{
    std::free(block->data);
    *block = GrowingBlock{};
}

bool PlatformWrite(void *file, const void *data, uint32_t size, uint32_t *written)
{
    int fd = int(reinterpret_cast<intptr_t>(file));
    const char *p = static_cast<const char *>(data);
    *written = 0;
    while (*written < size) {
        ssize_t n = ::write(fd, p + *written, size - *written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        *written += uint32_t(n);
    }
    return true;
}

OutputWriteFunction g_outputWrite = PlatformWrite;

namespace {

// The new bytes, whole, through the test seam; the file ends where they do.
bool WriteWhole(int fd, const void *data, size_t size)
{
    uint32_t written = 0;
    bool complete = g_outputWrite(reinterpret_cast<void *>(intptr_t(fd)), data, uint32_t(size), &written) &&
                    written == size;
    return complete && ::ftruncate(fd, off_t(size)) == 0 && ::fsync(fd) == 0;
}

// `from` from its start over `to` from its start, past the test seam: the old
// bytes must go back even where the new ones could not.
bool CopyWhole(int from, int to)
{
    char block[65536];
    off_t total = 0;
    if (::lseek(from, 0, SEEK_SET) != 0 || ::lseek(to, 0, SEEK_SET) != 0)
        return false;
    for (;;) {
        ssize_t got = ::read(from, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return ::ftruncate(to, total) == 0 && ::fsync(to) == 0;
        uint32_t written = 0;
        if (!PlatformWrite(reinterpret_cast<void *>(intptr_t(to)), block, uint32_t(got), &written))
            return false;
        total += got;
    }
}

// As on Windows: a new file beside the destination renamed over it, with the
// destination's access rights. WRITE_CANNOT_CREATE: the folder took no new
// file or refused the rename, and the destination is as it was.
WriteResult ReplaceWithNew(const std::string &destination, mode_t mode, const void *data, size_t size)
{
    std::string temporary = destination + ".XXXXXX";
    int fd = ::mkstemp(&temporary[0]);
    if (fd < 0)
        return WRITE_CANNOT_CREATE;
    bool complete = ::fchmod(fd, mode) == 0 && WriteWhole(fd, data, size);
    ::close(fd);
    if (complete && ::rename(temporary.c_str(), destination.c_str()) == 0)
        return WRITE_OK;
    ::unlink(temporary.c_str());
    return complete ? WRITE_CANNOT_CREATE : WRITE_FAILED_KEPT;
}

// Writes over the destination itself, so that every name it has sees the new
// bytes; when `keepOld`, a copy beside it (or in the temporary folder) puts
// the old bytes back if the write fails.
WriteResult WriteInPlace(const char *path, const char *destination, bool keepOld, const void *data,
                         size_t size, char *savedCopy, size_t capacity)
{
    int target = ::open(path, O_RDWR);
    if (target < 0)
        return WRITE_FAILED_KEPT;
    std::string copyName = std::string(destination ? destination : path) + ".XXXXXX";
    int copy = keepOld ? ::mkstemp(&copyName[0]) : -1;
    if (keepOld && copy < 0) {
        const char *folder = std::getenv("TMPDIR");
        copyName = std::string(folder ? folder : "/tmp") + "/kst.XXXXXX";
        copy = ::mkstemp(&copyName[0]);
    }
    WriteResult result = WRITE_OK;
    if (keepOld && (copy < 0 || !CopyWhole(target, copy)))
        result = WRITE_FAILED_KEPT;
    else if (::lseek(target, 0, SEEK_SET) != 0 || !WriteWhole(target, data, size))
        result = !keepOld ? WRITE_FAILED : CopyWhole(copy, target) ? WRITE_FAILED_KEPT : WRITE_FAILED_SAVED;
    ::close(target);
    if (copy >= 0)
        ::close(copy);
    if (result == WRITE_FAILED_SAVED && savedCopy && capacity > 0)
        std::snprintf(savedCopy, capacity, "%s", copyName.c_str());
    else if (copy >= 0)
        ::unlink(copyName.c_str());
    return result;
}

}  // namespace

WriteResult WriteFileReplacing(const char *path, const void *data, size_t size, char *savedCopy,
                               size_t capacity)
{
    if (!path[0])
        return WRITE_CANNOT_CREATE;
    // A new file gets its name only with its whole contents.
    int target = ::open(path, O_WRONLY);
    if (target < 0 && errno == ENOENT) {
        const WriteResult made = ReplaceWithNew(path, 0644, data, size);
        return made == WRITE_FAILED_KEPT ? WRITE_FAILED : made;
    }
    if (target < 0)
        return WRITE_CANNOT_CREATE;
    struct stat status = {};
    if (::fstat(target, &status) == 0 && !S_ISREG(status.st_mode)) {
        // A device takes the bytes as they come: nothing to replace.
        uint32_t written = 0;
        bool complete =
            g_outputWrite(reinterpret_cast<void *>(intptr_t(target)), data, uint32_t(size), &written) &&
            written == size;
        ::close(target);
        return complete ? WRITE_OK : WRITE_FAILED;
    }
    ::close(target);

    // Through a symbolic link, the file it leads to is the one replaced.
    char *resolved = ::realpath(path, nullptr);
    WriteResult result = WRITE_CANNOT_CREATE;
    if (resolved && status.st_nlink == 1)
        result = ReplaceWithNew(resolved, status.st_mode & 07777, data, size);
    if (result == WRITE_CANNOT_CREATE)
        result = WriteInPlace(path, resolved, true, data, size, savedCopy, capacity);
    std::free(resolved);
    return result;
}

namespace {
struct BackgroundStart {
    pthread_t thread;
    void (*run)(void *);
    void *context;
};
void *RunBackground(void *start)
{
    BackgroundStart *s = static_cast<BackgroundStart *>(start);
    s->run(s->context);
    return nullptr;
}
}  // namespace

bool StartBackground(BackgroundTask *task, void (*run)(void *context), void *context)
{
    auto *start = static_cast<BackgroundStart *>(CoreAlloc(sizeof(BackgroundStart)));
    if (!start)
        return false;
    start->run = run;
    start->context = context;
    if (pthread_create(&start->thread, nullptr, RunBackground, start) != 0) {
        CoreFree(start);
        return false;
    }
    task->handle = start;
    return true;
}

void WaitBackground(BackgroundTask *task)
{
    auto *start = static_cast<BackgroundStart *>(task->handle);
    if (!start)
        return;
    pthread_join(start->thread, nullptr);
    CoreFree(start);
    task->handle = nullptr;
}

bool ReadFileHead(const char *path, uint8_t *buffer, size_t capacity, size_t *size)
{
    *size = 0;
    const int fd = open(path, O_RDONLY);
    if (fd < 0)
        return false;
    bool ok = true;
    while (*size < capacity) {
        const ssize_t got = read(fd, buffer + *size, capacity - *size);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        *size += size_t(got);
    }
    close(fd);
    return ok;
}
