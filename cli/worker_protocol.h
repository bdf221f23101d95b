// What kestrane-cli and its worker processes say to each other: requests and
// replies through a section the two share, a pipe for the rare image too
// large for it.
#pragma once
#include <windows.h>

#include <cstdint>

// The longest path a request carries: the loader refuses longer ones anyway.
constexpr uint32_t kWorkerMaxPathBytes = 4 * MAX_PATH;

// Parent to worker: load image `index` from `path` (pathBytes of it, no
// terminator).
struct WorkerRequest {
    uint32_t index;
    uint32_t pathBytes;
    char path[kWorkerMaxPathBytes];
};

// Worker to parent, in the order of the requests: the packed DIB that
// LoadImageFile returned (blockBytes, 0 when it returned null), in `slot`
// or, for kInPipe, in the reply pipe. The parent takes nothing it reads
// back on trust: a filter runs in the worker and can write anywhere in it.
struct WorkerReply {
    uint32_t index;
    uint32_t blockBytes;
    uint32_t slot;
};
constexpr uint32_t kInPipe = 0xFFFFFFFF;

// A number one side raises and the other waits to see pass a value. Under
// Wine every signal and every wait is a request to the server, which serves
// all processes one at a time; the side that finds the number already high
// enough neither waits nor is signalled. `event` (auto-reset) is set only
// while the other side says it sleeps on it.
struct WorkerCounter {
    volatile LONG count;
    volatile LONG sleeping;
    uint32_t event;  // the handle, as the worker inherits it: the worker reads it before any filter runs
};

// A worker's section, which the parent makes and hands over (--worker
// HANDLE). Request n goes in requests[n % 2] and its reply in replies[n % 2]
// and slots[n % 2]: with two images at most in its hands, neither side ever
// writes a record, or a slot, the other has not finished with.
constexpr uint32_t kWorkerSlotBytes = 1024 * 1024;
struct WorkerSection {
    uint8_t slots[2][kWorkerSlotBytes];
    WorkerRequest requests[2];
    WorkerReply replies[2];
    WorkerCounter posted;    // requests made, raised by the parent
    WorkerCounter answered;  // replies written, raised by the worker
    volatile LONG started;   // the worker is running
    volatile LONG leave;     // the parent needs it no more
    uint32_t parent;         // the parent process, inherited: a worker whose parent is gone leaves
    uint32_t replyPipe;      // its end, inherited; the worker's standard handles are the null device
};
constexpr uint32_t kWorkerSectionBytes = sizeof(WorkerSection);

// The counter's value, read with a full barrier: what was written before
// it was raised is visible once it is seen.
inline LONG CounterValue(WorkerCounter *counter)
{
    return InterlockedCompareExchange(&counter->count, 0, 0);
}

// Raises the counter and wakes the other side through `event`, the
// counter's event as this side holds it, if it sleeps. False when the event
// could not be set.
bool RaiseCounter(WorkerCounter *counter, HANDLE event);

// Until the counter passes `seen`: WAIT_OBJECT_0 then, or what waiting on
// `event` and `other` gave otherwise (WAIT_OBJECT_0 + 1 when `other` was
// signalled, WAIT_TIMEOUT after `timeoutMs`, WAIT_FAILED).
DWORD AwaitCounter(WorkerCounter *counter, LONG seen, HANDLE event, HANDLE other, DWORD timeoutMs);

// Every byte, or false (the other end is gone or the pipe broke).
bool WriteAll(HANDLE pipe, const void *bytes, size_t size);
