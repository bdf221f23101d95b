#include "cli/worker_pool.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "cli/cli_texts.h"
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
constexpr DWORD kReplyPipeBytes = 1024 * 1024;
constexpr DWORD kPollMs = 100;      // how often a worker waited for is checked for a hang
constexpr DWORD kGoodbyeMs = 2000;  // for idle workers to leave once told

struct Worker {
    bool running;  // started and not yet cleaned up
    HANDLE process, replies, posted, answered;
    WorkerSection *shared;
    LONG requests;                  // requests made
    LONG taken;                     // replies taken
    int indices[kImagesPerWorker];  // request n's image is indices[n % 2]
    DWORD busySince;                // when it began its oldest image in hand
    bool ready;                     // it said it has started
    bool gone;                      // it ended, or could not be told: every image it still owed failed
    bool ended;                     // terminated by us
    int Held() const { return int(requests - taken); }
};

struct Pool {
    Worker workers[kMaxWorkers];
    int size;  // workers wanted
    HANDLE job, self;
    DWORD hangLimitMs;
    unsigned char *owner;  // the worker each image of the running job was sent to
    int count, nextToSend, nextToTake, stopAfter;
    bool startFailed;  // a worker wanted could not be started
    DWORD startError;  // why not
    bool toldNoWorker;
} g_pool;

void CloseHandles(std::initializer_list<HANDLE> handles)
{
    for (HANDLE handle : handles)
        if (handle)
            CloseHandle(handle);
}

// The worker inherits these handles and no other: not another worker's
// reply pipe, which must break when that worker ends, nor any handle our
// caller let us inherit. Each is inheritable only while the worker is made.
bool CreateWorkerProcess(wchar_t *program, wchar_t *commandLine, HANDLE *inherited, DWORD count,
                         HANDLE standard, PROCESS_INFORMATION *process)
{
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = standard;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    auto *attributes = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(CoreAlloc(size));
    if (!attributes || !InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        CoreFree(attributes);
        return false;
    }
    startup.lpAttributeList = attributes;
    BOOL created = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                             count * sizeof(HANDLE), nullptr, nullptr);
    for (DWORD i = 0; created && i < count; i++)
        SetHandleInformation(inherited[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    // Detached: a worker writes to no console, and under Wine a console of
    // its own would cost a process of its own.
    created = created && CreateProcessW(program, commandLine, nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT,
                                        nullptr, nullptr, &startup.StartupInfo, process);
    for (DWORD i = 0; i < count; i++)
        SetHandleInformation(inherited[i], HANDLE_FLAG_INHERIT, 0);
    DeleteProcThreadAttributeList(attributes);
    CoreFree(attributes);
    return created != FALSE;
}

bool StartWorker(Worker *w)
{
    wchar_t program[MAX_PATH], commandLine[MAX_PATH + 32];
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kWorkerSectionBytes, nullptr);
    auto *shared =
        section
            ? static_cast<WorkerSection *>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kWorkerSectionBytes))
            : nullptr;
    HANDLE posted = shared ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
    HANDLE answered = posted ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
    HANDLE replyRead = nullptr, replyWrite = nullptr;
    // A filter's own output goes nowhere, never into the replies.
    HANDLE nul = answered
                     ? CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr)
                     : INVALID_HANDLE_VALUE;
    if (nul == INVALID_HANDLE_VALUE || !CreatePipe(&replyRead, &replyWrite, nullptr, kReplyPipeBytes)) {
        CloseHandles({posted, answered, section, nul == INVALID_HANDLE_VALUE ? nullptr : nul});
        if (shared)
            UnmapViewOfFile(shared);
        return false;
    }
    shared->posted.event = uint32_t(reinterpret_cast<uintptr_t>(posted));
    shared->answered.event = uint32_t(reinterpret_cast<uintptr_t>(answered));
    shared->parent = uint32_t(reinterpret_cast<uintptr_t>(g_pool.self));
    shared->replyPipe = uint32_t(reinterpret_cast<uintptr_t>(replyWrite));
    wsprintfW(commandLine, L"\"%s\" --worker %lu", program,
              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(section)));
    HANDLE inherited[] = {replyWrite, section, posted, answered, g_pool.self, nul};
    PROCESS_INFORMATION process = {};
    bool created = CreateWorkerProcess(program, commandLine, inherited,
                                       DWORD(sizeof inherited / sizeof *inherited), nul, &process);
    CloseHandles({replyWrite, section, nul});  // the view keeps the section
    if (!created) {
        CloseHandles({posted, answered, replyRead});
        UnmapViewOfFile(shared);
        return false;
    }
    if (g_pool.job)
        AssignProcessToJobObject(g_pool.job, process.hProcess);  // a safety net only
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    *w = Worker{};
    w->process = process.hProcess;
    w->replies = replyRead;
    w->posted = posted;
    w->answered = answered;
    w->shared = shared;
    w->running = true;
    return true;
}

// After its process has ended.
void CloseWorker(Worker *w)
{
    WaitForSingleObject(w->process, INFINITE);
    CloseHandles({w->process, w->replies, w->posted, w->answered});
    UnmapViewOfFile(w->shared);
    *w = Worker{};
}

void EndWorker(Worker *w)
{
    if (!w->ended)
        TerminateProcess(w->process, 1);
    w->ended = w->gone = true;
}

// The live worker with the fewest images in hand, below the limit; a new
// one when every worker has its fill and more are wanted.
Worker *FreeWorker()
{
    Worker *best = nullptr, *unused = nullptr;
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        if (!w->running) {
            unused = unused ? unused : w;
        } else if (!w->gone && w->Held() < kImagesPerWorker && (!best || w->Held() < best->Held())) {
            best = w;
        }
    }
    if (best && best->Held() == 0)
        return best;
    if (unused && StartWorker(unused))
        return unused;
    if (unused) {
        g_pool.startError = GetLastError();
        g_pool.startFailed = true;
    }
    return best;
}

// Hands out the next images while workers have room.
void SendImages()
{
    while (g_pool.nextToSend < g_pool.count && g_pool.nextToSend <= g_pool.stopAfter) {
        Worker *w = FreeWorker();
        if (!w)
            return;
        const int index = g_pool.nextToSend++;
        const char *path = SourceListGet(g_sourceList, index);
        WorkerRequest &request = w->shared->requests[w->requests % 2];
        request.index = uint32_t(index);
        request.pathBytes = uint32_t(std::strlen(path));  // the job's paths fit in MAX_PATH
        std::memcpy(request.path, path, request.pathBytes);
        if (w->Held() == 0)
            w->busySince = GetTickCount();
        w->indices[w->requests % kImagesPerWorker] = index;
        w->requests++;
        g_pool.owner[index] = static_cast<unsigned char>(w - g_pool.workers);
        // A worker that cannot be told fails the image when it is taken.
        if (!RaiseCounter(&w->shared->posted, w->posted))
            EndWorker(w);
    }
}

// Once per run, on standard error: why the images are loaded without workers.
void TellNoWorker()
{
    if (g_pool.toldNoWorker)
        return;
    g_pool.toldNoWorker = true;
    char reason[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  g_pool.startError, 0, reason, sizeof reason, nullptr);
    while (length > 0 &&
           (reason[length - 1] == '\n' || reason[length - 1] == '\r' || reason[length - 1] == '.'))
        reason[--length] = '\0';
    std::fprintf(stderr, CLI_NO_WORKER, length ? reason : "unknown error");
}

// Whether the worker has had its time for the image it works on.
bool Hung(Worker *w)
{
    if (!w->ready && InterlockedCompareExchange(&w->shared->started, 0, 0)) {
        w->ready = true;
        w->busySince = GetTickCount();  // its first image begins now
    }
    DWORD limit = w->ready || g_pool.hangLimitMs > kStartLimitMs ? g_pool.hangLimitMs : kStartLimitMs;
    return GetTickCount() - w->busySince > limit;
}

// Every byte of a reply that follows in the pipe, which the worker writes as
// soon as it has announced it: a worker that has ended, or has written
// nothing more for its hang limit, sends no more.
bool ReadReply(Worker *w, void *bytes, size_t size)
{
    char *p = static_cast<char *>(bytes);
    DWORD since = GetTickCount();
    while (size > 0) {
        DWORD waiting = 0, done = 0;
        if (!PeekNamedPipe(w->replies, nullptr, 0, nullptr, &waiting, nullptr))
            return false;
        if (waiting == 0) {
            if (GetTickCount() - since > g_pool.hangLimitMs ||
                (WaitForSingleObject(w->process, 1) != WAIT_TIMEOUT &&
                 (!PeekNamedPipe(w->replies, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0)))
                return false;
            continue;
        }
        if (!ReadFile(w->replies, p, waiting < size ? waiting : DWORD(size), &done, nullptr) || done == 0)
            return false;
        p += done;
        size -= done;
        since = GetTickCount();
    }
    return true;
}

// The worker's next reply, which is for the job's next image `index`: its
// images are answered in the order they were sent, which is the list's.
// Null when the filter failed, the worker ended or hung, or the reply is
// not what was asked for.
PackedDib TakeReply(Worker *w, int index)
{
    for (;;) {
        if (w->gone) {
            w->taken++;
            return nullptr;
        }
        DWORD result = AwaitCounter(&w->shared->answered, w->taken, w->answered, w->process, kPollMs);
        if (result == WAIT_OBJECT_0)
            break;
        if (result != WAIT_TIMEOUT || Hung(w))
            EndWorker(w);
    }
    const WorkerReply reply = w->shared->replies[w->taken % 2];
    w->taken++;
    w->busySince = GetTickCount();  // its next image, if it has one, began by now
    if (reply.index != uint32_t(index)) {
        EndWorker(w);
        return nullptr;
    }
    if (reply.blockBytes == 0)
        return nullptr;
    const bool inSlot = reply.slot == uint32_t((w->taken - 1) % 2) && reply.blockBytes <= kWorkerSlotBytes;
    const bool inPipe = reply.slot == kInPipe && reply.blockBytes <= kMaxPackedDibBytes;
    PackedDib dib =
        reply.blockBytes >= kDibHeaderSize && (inSlot || inPipe) ? AllocPackedDib(reply.blockBytes) : nullptr;
    if (dib && inSlot)
        std::memcpy(dib, w->shared->slots[reply.slot], reply.blockBytes);
    else if (!dib || !ReadReply(w, dib, reply.blockBytes)) {
        FreePackedDib(dib);
        EndWorker(w);  // what follows in its pipe can no longer be told apart
        return nullptr;
    }
    return dib;
}

// A worker with an image in hand whose reply is there to take (a worker that
// is gone fails its images at once), or null.
Worker *AnsweredWorker()
{
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        if (w->running && w->Held() > 0 && (w->gone || CounterValue(&w->shared->answered) > w->taken))
            return w;
    }
    return nullptr;
}

// Until a worker has a reply to take: each busy worker is told that the
// parent sleeps, then looked at once more. A worker that has ended, or hung,
// is ended here and fails its images.
Worker *AwaitAnsweredWorker()
{
    for (;;) {
        Worker *answered = AnsweredWorker();
        if (answered)
            return answered;
        HANDLE events[kMaxWorkers];
        Worker *busy[kMaxWorkers];
        DWORD waiting = 0;
        for (int i = 0; i < g_pool.size; i++) {
            Worker *w = &g_pool.workers[i];
            if (!w->running || w->Held() == 0)
                continue;
            // Looked at on every pass: the others' answers may never leave a pause.
            if (CounterValue(&w->shared->answered) <= w->taken && Hung(w)) {
                EndWorker(w);
                return w;
            }
            InterlockedExchange(&w->shared->answered.sleeping, 1);
            busy[waiting] = w;
            events[waiting++] = w->answered;
        }
        if (waiting == 0)
            return nullptr;
        if ((answered = AnsweredWorker()) != nullptr)
            return answered;
        if (WaitForMultipleObjects(waiting, events, FALSE, kPollMs) != WAIT_TIMEOUT)
            continue;
        for (DWORD i = 0; i < waiting; i++)
            if (CounterValue(&busy[i]->shared->answered) <= busy[i]->taken &&
                (WaitForSingleObject(busy[i]->process, 0) != WAIT_TIMEOUT || Hung(busy[i])))
                EndWorker(busy[i]);
    }
}

// The job's images after the first, in the order the workers finish them
// (each worker answers its own in list order). Images at or after `limit`
// that were already sent are dropped as they come.
PackedDib TakeReadyImage(int limit, int *index)
{
    if (g_pool.stopAfter > limit - 1)
        g_pool.stopAfter = limit - 1;
    for (;;) {
        SendImages();
        Worker *w = AwaitAnsweredWorker();
        if (!w) {
            // Nothing in hand and no worker for the next image. One that
            // could not be started: this process loads it, as it does
            // without workers.
            *index = g_pool.nextToSend < limit ? g_pool.nextToSend++ : -1;
            if (*index < 0 || !g_pool.startFailed)
                return nullptr;  // its workers went down: it fails
            TellNoWorker();
            return LoadImageFile(SourceListGet(g_sourceList, *index));
        }
        const int taken = w->indices[w->taken % kImagesPerWorker];
        PackedDib dib = TakeReply(w, taken);
        if (taken < limit) {
            *index = taken;
            return dib;
        }
        FreePackedDib(dib);
    }
}

bool IsEntry(const char *path, int index)
{
    const char *entry = SourceListGet(g_sourceList, index);
    return path && entry && std::strcmp(path, entry) == 0;
}

// The job asks for its images in list order, on one thread. Should it ask
// again from the start, the workers start again; a path out of that order
// is loaded here.
PackedDib LoadThroughWorkers(const char *path)
{
    if (g_pool.nextToTake == g_pool.count && g_pool.count > 0 && IsEntry(path, 0)) {
        g_pool.nextToSend = g_pool.nextToTake = 0;
        g_pool.stopAfter = g_pool.count;
    }
    if (g_pool.nextToTake >= g_pool.count || !IsEntry(path, g_pool.nextToTake))
        return LoadImageFile(path);
    const int index = g_pool.nextToTake++;
    SendImages();
    PackedDib dib = nullptr;
    if (index < g_pool.nextToSend) {
        dib = TakeReply(&g_pool.workers[g_pool.owner[index]], index);
    } else if (g_pool.startFailed) {
        g_pool.nextToSend = index + 1;  // no worker could be started for it
        TellNoWorker();
        dib = LoadImageFile(path);
    }
    if (!dib)
        g_pool.stopAfter = index;  // the job ends with this image
    else
        SendImages();  // the next image for the room this one left, while the job converts it
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
    g_pool.owner = static_cast<unsigned char *>(CoreAlloc(size_t(g_pool.count > 0 ? g_pool.count : 1)));
    if (!g_pool.owner)
        return;  // the job loads its images itself
    g_pool.nextToSend = g_pool.nextToTake = 0;
    g_pool.stopAfter = g_pool.count;
    g_imageLoader = LoadThroughWorkers;
    g_readyImage = TakeReadyImage;
}

// A worker still holding images of the job (it stopped early) is ended; the
// next job starts new ones.
void EndWorkerJob()
{
    g_imageLoader = LoadImageFile;
    g_readyImage = nullptr;
    for (int i = 0; i < g_pool.size; i++) {
        Worker *w = &g_pool.workers[i];
        if (w->running && (w->Held() > 0 || w->gone))
            EndWorker(w);
        if (w->ended)
            CloseWorker(w);
    }
    CoreFree(g_pool.owner);
    g_pool.owner = nullptr;
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
    // The workers wait on it too: one whose parent is gone leaves.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &g_pool.self,
                         SYNCHRONIZE, FALSE, 0))
        g_pool.self = nullptr;
    // Should this process be ended, its workers end with it.
    g_pool.job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (g_pool.job &&
        !SetInformationJobObject(g_pool.job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(g_pool.job);
        g_pool.job = nullptr;
    }
    if (g_pool.self && StartWorker(&g_pool.workers[0]))
        return true;
    g_pool.startError = GetLastError();
    TellNoWorker();
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
        InterlockedExchange(&w->shared->leave, 1);
        if (!RaiseCounter(&w->shared->posted, w->posted))
            EndWorker(w);
        processes[running++] = w->process;
    }
    if (running > 0 && WaitForMultipleObjects(DWORD(running), processes, TRUE, kGoodbyeMs) == WAIT_TIMEOUT)
        for (int i = 0; i < g_pool.size; i++)
            if (g_pool.workers[i].running)
                EndWorker(&g_pool.workers[i]);
    for (int i = 0; i < g_pool.size; i++)
        if (g_pool.workers[i].running)
            CloseWorker(&g_pool.workers[i]);
    CloseHandles({g_pool.job, g_pool.self});
    g_pool = Pool{};
}
