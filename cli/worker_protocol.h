// What kestrane-cli and its worker processes say to each other: requests
// over the worker's standard input, replies through a shared section.
#pragma once
#include <windows.h>

#include <cstdint>

// The longest path a request carries: the loader refuses longer ones anyway.
constexpr uint32_t kWorkerMaxPathBytes = 4 * MAX_PATH;

// Parent to worker: load image `index` from `path` (pathBytes of it, no
// terminator). Always whole, so that each takes one write and one read. The
// parent closes the pipe when it needs no more.
struct WorkerRequest {
    uint32_t index;
    uint32_t pathBytes;
    char path[kWorkerMaxPathBytes];
};

// Worker to parent, in the order of the requests: the packed DIB that
// LoadImageFile returned (blockBytes, 0 when it returned null), in `slot`
// or, for kInPipe, in the reply pipe. The worker's first word, kWorkerReady
// on the reply pipe, says that it has started.
struct WorkerReply {
    uint32_t index;
    uint32_t blockBytes;
    uint32_t slot;
};
constexpr uint32_t kWorkerReady = 0xFFFFFFFF, kInPipe = 0xFFFFFFFF;

// A worker's section, which the parent makes and hands over (--worker
// HANDLE). An image that fits comes back through the two slots rather than
// the pipe. The worker takes them in turn; with two images at most in its
// hands, it only ever fills a slot, or a reply, the parent has already
// copied out. Each reply is written to its place, then `replied` (a
// semaphore the worker inherits) is released once: under Wine, a pipe read
// that has to wait costs the server several requests, a semaphore one.
constexpr uint32_t kWorkerSlotBytes = 1024 * 1024;
struct WorkerSection {
    uint8_t slots[2][kWorkerSlotBytes];
    WorkerReply replies[2];
    uint32_t replied;  // the semaphore's handle, as the worker inherits it
};
constexpr uint32_t kWorkerSectionBytes = sizeof(WorkerSection);

// Every byte, or false (the other end is gone or the pipe broke).
bool ReadAll(HANDLE pipe, void *bytes, size_t size);
bool WriteAll(HANDLE pipe, const void *bytes, size_t size);
