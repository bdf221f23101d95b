#include "cli/worker.h"

#include <cstdlib>
#include <cstring>

#include "cli/worker_protocol.h"
#include "core/packed_dib.h"
#include "import/filter_invoke.h"
#include "import/filter_lookup.h"
#include "import/metafile.h"

namespace {

constexpr int kMaxHeldExtensions = 16;

struct HeldFilter {
    char extension[MAX_PATH];
    HMODULE library;  // null: no filter serves it
};
HeldFilter g_held[kMaxHeldExtensions];
int g_heldCount;

// The filter library serving an extension, looked up and loaded at the first
// image of that extension and kept until the worker ends: under Wine the
// lookup's registry reads are server requests, and they are the same for
// every image of the extension.
// The filter's own calls are made for every image as the loader makes them.
// Null where no filter serves it or the table is full: LoadImageFile then
// does it all, as in the one-process job.
HMODULE HeldFilterFor(const char *extension)
{
    for (int i = 0; i < g_heldCount; i++)
        if (lstrcmpA(g_held[i].extension, extension) == 0)
            return g_held[i].library;
    if (g_heldCount == kMaxHeldExtensions)
        return nullptr;
    HeldFilter *held = &g_held[g_heldCount++];
    lstrcpynA(held->extension, extension, MAX_PATH);
    char library[MAX_PATH] = "";
    DWORD size = sizeof library;
    if (FindImportFilter(library, &size, extension) && library[0])
        held->library = LoadFilterLibrary(library);  // released when the process ends
    return held->library;
}

PackedDib LoadHeld(const char *path)
{
    const char *extension = ImageExtension(path);
    HMODULE library = extension ? HeldFilterFor(extension) : nullptr;
    return library ? LoadImageWithLibrary(library, path) : LoadImageFile(path);
}

HANDLE HandleValue(uint32_t value)
{
    return reinterpret_cast<HANDLE>(uintptr_t(value));
}

}  // namespace

int RunWorker(const char *sectionHandle)
{
    HANDLE section = reinterpret_cast<HANDLE>(std::strtoul(sectionHandle, nullptr, 10));
    auto *shared =
        static_cast<WorkerSection *>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kWorkerSectionBytes));
    if (!shared)
        return 1;
    // Read before any filter runs: what the section says later may be a filter's doing.
    HANDLE parent = HandleValue(shared->parent), replies = HandleValue(shared->replyPipe),
           posted = HandleValue(shared->posted.event), answered = HandleValue(shared->answered.event);
    static char path[kWorkerMaxPathBytes + 1];
    KeepRenderCanvas(true);
    InterlockedExchange(&shared->started, 1);
    for (LONG served = 0;; served++) {
        if (AwaitCounter(&shared->posted, served, posted, parent, INFINITE) != WAIT_OBJECT_0)
            return 1;  // the parent is gone
        if (InterlockedCompareExchange(&shared->leave, 0, 0))
            return 0;
        const WorkerRequest &request = shared->requests[served % 2];
        if (request.pathBytes > kWorkerMaxPathBytes)
            return 1;
        std::memcpy(path, request.path, request.pathBytes);
        path[request.pathBytes] = '\0';
        const uint32_t index = request.index;
        PackedDib dib = LoadHeld(path);
        WorkerReply reply = {index, dib ? uint32_t(PackedDibBlockSize(dib)) : 0, uint32_t(served % 2)};
        if (reply.blockBytes > kWorkerSlotBytes)
            reply.slot = kInPipe;
        else if (dib)
            std::memcpy(shared->slots[reply.slot], dib, reply.blockBytes);
        shared->replies[served % 2] = reply;
        bool sent = RaiseCounter(&shared->answered, answered) &&
                    (reply.slot != kInPipe || WriteAll(replies, dib, reply.blockBytes));
        FreePackedDib(dib);
        if (!sent)
            return 1;
    }
}
