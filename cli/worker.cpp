#include "cli/worker.h"

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

int RunWorker()
{
    HANDLE requests = GetStdHandle(STD_INPUT_HANDLE), replies = GetStdHandle(STD_OUTPUT_HANDLE);
    static WorkerRequest request;
    static char path[kWorkerMaxPathBytes + 1];
    const WorkerReply ready = {kWorkerReady, 0};
    if (!WriteAll(replies, &ready, sizeof ready))
        return 1;
    while (ReadAll(requests, &request, sizeof request)) {
        if (request.pathBytes > kWorkerMaxPathBytes)
            return 1;
        std::memcpy(path, request.path, request.pathBytes);
        path[request.pathBytes] = '\0';
        HoldFilterFor(path);
        PackedDib dib = LoadImageFile(path);
        WorkerReply reply = {request.index, dib ? uint32_t(PackedDibBlockSize(dib)) : 0};
        bool sent =
            WriteAll(replies, &reply, sizeof reply) && (!dib || WriteAll(replies, dib, reply.blockBytes));
        FreePackedDib(dib);
        if (!sent)
            return 1;
    }
    return 0;
}
