#include "cli/worker.h"

#include <cstdlib>
#include <cstring>

#include "cli/worker_protocol.h"
#include "core/packed_dib.h"
#include "import/filter_lookup.h"

namespace {

constexpr int kMaxHeldExtensions = 16;
char g_heldExtensions[kMaxHeldExtensions][MAX_PATH];
int g_heldCount;

// One extra reference to the filter library of each extension met, held
// until the worker ends, makes the loader's own LoadLibrary and FreeLibrary
// for every image cheap: the library is mapped and started once. The loader
// still makes every call it makes in the one-process job, in the same order.
void HoldFilterFor(const char *path)
{
    const char *dot = std::strrchr(path, '.');
    if (!dot || std::strpbrk(dot, "\\/") || std::strlen(dot + 1) >= MAX_PATH ||
        g_heldCount == kMaxHeldExtensions)
        return;
    for (int i = 0; i < g_heldCount; i++)
        if (lstrcmpiA(g_heldExtensions[i], dot + 1) == 0)
            return;
    lstrcpyA(g_heldExtensions[g_heldCount++], dot + 1);
    char library[MAX_PATH] = "";
    DWORD size = sizeof library;
    if (FindImportFilter(library, &size, dot + 1) && library[0])
        LoadLibraryA(library);  // released when the process ends
}

}  // namespace

int RunWorker(const char *sectionHandle)
{
    HANDLE requests = GetStdHandle(STD_INPUT_HANDLE), replies = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE section = reinterpret_cast<HANDLE>(std::strtoul(sectionHandle, nullptr, 10));
    auto *slots = static_cast<uint8_t *>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kWorkerSectionBytes));
    static WorkerRequest request;
    static char path[kWorkerMaxPathBytes + 1];
    const WorkerReply ready = {kWorkerReady, 0, 0};
    if (!slots || !WriteAll(replies, &ready, sizeof ready))
        return 1;
    for (uint32_t served = 0; ReadAll(requests, &request, sizeof request); served++) {
        if (request.pathBytes > kWorkerMaxPathBytes)
            return 1;
        std::memcpy(path, request.path, request.pathBytes);
        path[request.pathBytes] = '\0';
        HoldFilterFor(path);
        PackedDib dib = LoadImageFile(path);
        WorkerReply reply = {request.index, dib ? uint32_t(PackedDibBlockSize(dib)) : 0, served % 2};
        if (reply.blockBytes > kWorkerSlotBytes)
            reply.slot = kInPipe;
        else if (dib)
            std::memcpy(slots + reply.slot * kWorkerSlotBytes, dib, reply.blockBytes);
        bool sent = WriteAll(replies, &reply, sizeof reply) &&
                    (reply.slot != kInPipe || WriteAll(replies, dib, reply.blockBytes));
        FreePackedDib(dib);
        if (!sent)
            return 1;
    }
    return 0;
}
