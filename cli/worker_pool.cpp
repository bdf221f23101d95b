#include "cli/worker_pool.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "cli/worker_protocol.h"
#include "core/convert.h"
#include "core/core_alloc.h"
#include "core/source_list.h"

namespace {

constexpr int kMaxWorkers = 64;
constexpr int kImagesPerWorker = 2;
// An image a worker has not answered within this time is taken for a hung
// filter. The largest images the 32-bit loader can hold decode in seconds.
constexpr DWORD kDefaultHangLimitMs = 60000;
// A busy machine may take seconds to start a process: until a worker says it
// has started, at least this long.
constexpr DWORD kStartLimitMs = 30000;
constexpr DWORD kRequestPipeBytes = 64 * 1024, kReplyPipeBytes = 1024 * 1024;
constexpr DWORD kPollMs = 100;      // how often hung workers are looked for
constexpr DWORD kGoodbyeMs = 2000;  // for idle workers to leave once told

enum ImageState : unsigned char { IMAGE_WAITING, IMAGE_SENT, IMAGE_DONE };

// One image of the running job.
struct Image {
    PackedDib dib;  // IMAGE_DONE: what the worker handed back (null: failed)
    ImageState state;
    unsigned char worker;
};

struct Worker {
    bool running;  // started and not yet cleaned up
    HANDLE process, requests, replies, replied, reader;
    WorkerSection *shared;
    int awaiting[kImagesPerWorker];  // sent and not answered, oldest first
    int awaitingCount;
    int held;         // sent and not yet taken by the job
    DWORD busySince;  // when it began its oldest awaited image
    bool ready;       // it said it has started
    bool gone;        // its replies ended: every image it still owed failed
    bool ended;       // terminated by us
};

struct Pool {
    Worker workers[kMaxWorkers];
    int size;  // workers wanted
    HANDLE job, changed;
    CRITICAL_SECTION lock;
    DWORD hangLimitMs;
    Image *images;
    int count, nextToSend, nextToTake, stopAfter;
} g_pool;

// Reader thread of one worker: its replies, until it ends.
DWORD WINAPI ReadReplies(void *context)
{
    Worker *w = static_cast<Worker *>(context);
    uint32_t ready = 0;
    const bool started = ReadAll(w->replies, &ready, sizeof ready) && ready == kWorkerReady;
    if (started) {
        EnterCriticalSection(&g_pool.lock);
        w->ready = true;
        w->busySince = GetTickCount();  // its first image begins now
        LeaveCriticalSection(&g_pool.lock);
    }
    // A reply released before the worker ended is still taken: the
    // semaphore comes first.
    HANDLE signals[2] = {w->replied, w->process};
    for (uint32_t received = 0;
         started && WaitForMultipleObjects(2, signals, FALSE, INFINITE) == WAIT_OBJECT_0; received++) {
        const WorkerReply reply = w->shared->replies[received % 2];
        PackedDib dib = nullptr;
        if (reply.blockBytes) {
            const bool inSlot = reply.slot < 2 && reply.blockBytes <= kWorkerSlotBytes;
            dib = reply.blockBytes >= kDibHeaderSize && (inSlot || reply.slot == kInPipe)
                      ? AllocPackedDib(reply.blockBytes)
                      : nullptr;
            if (dib && inSlot)
                std::memcpy(dib, w->shared->slots[reply.slot], reply.blockBytes);
            else if (!dib || !ReadAll(w->replies, dib, reply.blockBytes)) {
                FreePackedDib(dib);
                break;
            }
        }
        EnterCriticalSection(&g_pool.lock);
        bool expected = w->awaitingCount > 0 && uint32_t(w->awaiting[0]) == reply.index;
        if (expected) {
            g_pool.images[reply.index].dib = dib;
            g_pool.images[reply.index].state = IMAGE_DONE;
            w->awaitingCount--;
            std::memmove(w->awaiting, w->awaiting + 1, sizeof(int) * size_t(w->awaitingCount));
            w->busySince = GetTickCount();
        }
        LeaveCriticalSection(&g_pool.lock);
        SetEvent(g_pool.changed);
        if (!expected) {
            FreePackedDib(dib);
            break;
        }
    }
    EnterCriticalSection(&g_pool.lock);
    w->gone = true;
    for (int i = 0; i < w->awaitingCount; i++)
        g_pool.images[w->awaiting[i]].state = IMAGE_DONE;
    w->awaitingCount = 0;
    LeaveCriticalSection(&g_pool.lock);
    SetEvent(g_pool.changed);
    return 0;
}

// The child's ends of both pipes are inheritable only while it is created,
// so that no other worker holds them: a worker's reply pipe must break when
// that worker ends.
bool StartWorker(Worker *w)
{
    wchar_t program[MAX_PATH], commandLine[MAX_PATH + 32];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kWorkerSectionBytes, nullptr);
    auto *shared = section ? static_cast<WorkerSection *>(
                                 MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kWorkerSectionBytes))
                           : nullptr;
    HANDLE replied = shared ? CreateSemaphoreW(nullptr, 0, kImagesPerWorker, nullptr) : nullptr;
    HANDLE requestRead = nullptr, requestWrite = nullptr, replyRead = nullptr, replyWrite = nullptr;
    if (!replied || !CreatePipe(&requestRead, &requestWrite, nullptr, kRequestPipeBytes)) {
        if (replied)
            CloseHandle(replied);
        if (shared)
            UnmapViewOfFile(shared);
        if (section)
            CloseHandle(section);
        return false;
    }
    if (!CreatePipe(&replyRead, &replyWrite, nullptr, kReplyPipeBytes)) {
        CloseHandle(replied);
        UnmapViewOfFile(shared);
        CloseHandle(section);
        CloseHandle(requestRead);
        CloseHandle(requestWrite);
        return false;
    }
    shared->replied = uint32_t(reinterpret_cast<uintptr_t>(replied));
    wsprintfW(commandLine, L"\"%s\" --worker %lu", program,
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(section)));
    SetHandleInformation(requestRead, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(replyWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(section, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SetHandleInformation(replied, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = requestRead;
    startup.hStdOutput = replyWrite;
    PROCESS_INFORMATION process = {};
    BOOL created = CreateProcessW(program, commandLine, nullptr, nullptr, TRUE,
                                  CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(requestRead);
    CloseHandle(replyWrite);
    CloseHandle(section);  // the view keeps it
    SetHandleInformation(replied, HANDLE_FLAG_INHERIT, 0);
    if (!created) {
        CloseHandle(replied);
        UnmapViewOfFile(shared);
        CloseHandle(requestWrite);
        CloseHandle(replyRead);
        return false;
    }
    if (g_pool.job)
        AssignProcessToJobObject(g_pool.job, process.hProcess);  // a safety net only
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    *w = Worker{};
    w->process = process.hProcess;
    w->requests = requestWrite;
    w->replies = replyRead;
    w->replied = replied;
    w->shared = shared;
    w->reader = CreateThread(nullptr, 64 * 1024, ReadReplies, w, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!w->reader) {
        TerminateProcess(w->process, 1);
        WaitForSingleObject(w->process, INFINITE);
        CloseHandle(w->process);
        CloseHandle(w->requests);
        CloseHandle(w->replies);
        CloseHandle(w->replied);
        UnmapViewOfFile(shared);
        return false;
    }
    w->running = true;
    return true;
}

// After its reader thread has ended.
void CloseWorker(Worker *w)
{
    WaitForSingleObject(w->reader, INFINITE);
    WaitForSingleObject(w->process, INFINITE);
    CloseHandle(w->reader);
    CloseHandle(w->process);
    CloseHandle(w->requests);
    CloseHandle(w->replies);
    CloseHandle(w->replied);
    UnmapViewOfFile(w->shared);
    *w = Worker{};
}

void EndWorker(Worker *w)
{
    if (!w->ended)
        TerminateProcess(w->process, 1);
    w->ended = true;
}

// The live worker with the fewest images in hand, below the limit; a new
// one when every worker has its fill and more are wanted. Under the lock.
Worker *FreeWorker()
{
    Worker *best = nullptr, *unused = nullptr;
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        if (!w->running) {
            unused = unused ? unused : w;
        } else if (!w->gone && !w->ended && w->held < kImagesPerWorker && (!best || w->held < best->held)) {
            best = w;
        }
    }
    if (best && best->held == 0)
        return best;
    if (unused && StartWorker(unused))
        return unused;
    return best;
}

// Hands out the next images while workers have room. Under the lock.
void SendImages()
{
    while (g_pool.nextToSend < g_pool.count && g_pool.nextToSend <= g_pool.stopAfter) {
        Worker *w = FreeWorker();
        if (!w)
            return;
        const int index = g_pool.nextToSend++;
        const char *path = SourceListGet(g_sourceList, index);
        static WorkerRequest request;
        request.index = uint32_t(index);
        request.pathBytes = uint32_t(std::strlen(path));  // the job's paths fit in MAX_PATH
        std::memcpy(request.path, path, request.pathBytes);
        if (w->awaitingCount == 0)
            w->busySince = GetTickCount();
        w->awaiting[w->awaitingCount++] = index;
        w->held++;
        g_pool.images[index].state = IMAGE_SENT;
        g_pool.images[index].worker = static_cast<unsigned char>(w - g_pool.workers);
        // A worker that is gone fails the image through its reader thread.
        if (!WriteAll(w->requests, &request, sizeof request))
            EndWorker(w);
    }
}

void EndHungWorkers()
{
    const DWORD now = GetTickCount();
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        DWORD limit = w->ready || g_pool.hangLimitMs > kStartLimitMs ? g_pool.hangLimitMs : kStartLimitMs;
        if (w->running && w->awaitingCount > 0 && now - w->busySince > limit)
            EndWorker(w);
    }
}

bool IsEntry(const char *path, int index)
{
    const char *entry = SourceListGet(g_sourceList, index);
    return path && entry && std::strcmp(path, entry) == 0;
}

// The job asks for its images in list order. Should it ask again from the
// start, the workers start again; a path out of that order is loaded here.
PackedDib LoadThroughWorkers(const char *path)
{
    EnterCriticalSection(&g_pool.lock);
    if (g_pool.nextToTake == g_pool.count && g_pool.count > 0 && IsEntry(path, 0)) {
        g_pool.nextToSend = g_pool.nextToTake = 0;
        g_pool.stopAfter = g_pool.count;
    }
    if (g_pool.nextToTake >= g_pool.count || !IsEntry(path, g_pool.nextToTake)) {
        LeaveCriticalSection(&g_pool.lock);
        return LoadImageFile(path);
    }
    const int index = g_pool.nextToTake++;
    Image *image = &g_pool.images[index];
    for (;;) {
        SendImages();
        if (image->state != IMAGE_SENT)
            break;  // answered, failed, or no worker could take it
        EndHungWorkers();
        LeaveCriticalSection(&g_pool.lock);
        WaitForSingleObject(g_pool.changed, kPollMs);
        EnterCriticalSection(&g_pool.lock);
    }
    PackedDib dib = image->dib;
    image->dib = nullptr;
    if (image->state == IMAGE_DONE)
        g_pool.workers[image->worker].held--;
    image->state = IMAGE_WAITING;
    if (!dib)
        g_pool.stopAfter = index;  // the job ends with this image
    LeaveCriticalSection(&g_pool.lock);
    return dib;
}

DWORD HangLimitMs()
{
    char text[16];
    DWORD length = GetEnvironmentVariableA("KESTRANE_HANG_LIMIT_MS", text, sizeof text);
    long value = length > 0 && length < sizeof text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? DWORD(value) : kDefaultHangLimitMs;
}

void BeginWorkerJob()
{
    g_pool.count = g_sourceList->count;
    const size_t bytes = sizeof(Image) * size_t(g_pool.count > 0 ? g_pool.count : 1);
    g_pool.images = static_cast<Image *>(CoreAlloc(bytes));
    if (!g_pool.images)
        return;  // the job loads its images itself
    std::memset(g_pool.images, 0, bytes);
    g_pool.nextToSend = g_pool.nextToTake = 0;
    g_pool.stopAfter = g_pool.count;
    g_imageLoader = LoadThroughWorkers;
}

void EndWorkerJob()
{
    g_imageLoader = LoadImageFile;
    EnterCriticalSection(&g_pool.lock);
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        if (w->running && (w->awaitingCount > 0 || w->gone))
            EndWorker(w);
    }
    LeaveCriticalSection(&g_pool.lock);
    for (int i = 0; i < g_pool.size; i++)
        if (g_pool.workers[i].ended)
            CloseWorker(&g_pool.workers[i]);
        else
            g_pool.workers[i].held = 0;
    for (int i = 0; g_pool.images && i < g_pool.count; i++)
        FreePackedDib(g_pool.images[i].dib);
    CoreFree(g_pool.images);
    g_pool.images = nullptr;
    g_pool.count = 0;
}

}  // namespace

int ConvertThroughWorkers(const char *outputPath, const ConvertOptions &options)
{
    if (g_pool.size == 0)
        return ConvertToShpWith(outputPath, options);
    BeginWorkerJob();
    int ok = ConvertToShpWith(outputPath, options);
    EndWorkerJob();
    return ok;
}

bool StartWorkerPool(int workers)
{
    if (workers <= 0) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        workers = int(system.dwNumberOfProcessors);
    }
    g_pool.size = workers < 1 ? 1 : workers > kMaxWorkers ? kMaxWorkers : workers;
    g_pool.hangLimitMs = HangLimitMs();
    InitializeCriticalSection(&g_pool.lock);
    g_pool.changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Should this process be ended, its workers end with it.
    g_pool.job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (g_pool.job &&
        !SetInformationJobObject(g_pool.job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(g_pool.job);
        g_pool.job = nullptr;
    }
    if (g_pool.changed && StartWorker(&g_pool.workers[0]))
        return true;
    StopWorkerPool();
    return false;
}

void StopWorkerPool()
{
    HANDLE processes[kMaxWorkers];
    int running = 0;
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        if (!w->running)
            continue;
        CloseHandle(w->requests);  // told to leave
        w->requests = nullptr;
        processes[running++] = w->process;
    }
    if (running > 0 && WaitForMultipleObjects(DWORD(running), processes, TRUE, kGoodbyeMs) == WAIT_TIMEOUT)
        for (int i = 0; i < g_pool.size; i++)
            if (g_pool.workers[i].running)
                EndWorker(&g_pool.workers[i]);
    for (int i = 0; i < g_pool.size; i++)
        if (g_pool.workers[i].running)
            CloseWorker(&g_pool.workers[i]);
    if (g_pool.job)
        CloseHandle(g_pool.job);
    if (g_pool.changed)
        CloseHandle(g_pool.changed);
    DeleteCriticalSection(&g_pool.lock);
    g_pool = Pool{};
}
