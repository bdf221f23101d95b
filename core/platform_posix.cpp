// Host side of core, for the sanitizer build of the tests: heap-backed images
// that remember their size, and the same replace-in-one-step write.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core_alloc.h"
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

WriteResult WriteFileReplacing(const char *path, const void *data, size_t size)
{
    if (!path[0])
        return WRITE_CANNOT_CREATE;
    int target = ::open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    bool createdTarget = target >= 0;
    if (target < 0 && errno == EEXIST)
        target = ::open(path, O_WRONLY);
    if (target < 0)
        return WRITE_CANNOT_CREATE;
    ::close(target);

    std::string temporary = std::string(path) + ".XXXXXX";
    WriteResult result = WRITE_FAILED;
    int fd = ::mkstemp(&temporary[0]);
    if (fd >= 0) {
        uint32_t written = 0;
        bool complete =
            g_outputWrite(reinterpret_cast<void *>(intptr_t(fd)), data, uint32_t(size), &written) &&
            written == size;
        complete = ::fsync(fd) == 0 && complete;
        ::close(fd);
        if (complete && ::rename(temporary.c_str(), path) == 0)
            result = WRITE_OK;
        else
            ::unlink(temporary.c_str());
    }
    if (result == WRITE_OK)
        return result;
    if (!createdTarget)
        return WRITE_FAILED_KEPT;
    ::unlink(path);
    return WRITE_FAILED;
}
