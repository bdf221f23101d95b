// What kestrane-cli and its worker processes say to each other over the
// worker's standard input and output: a fixed record, then its bytes.
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

// The two slots of a worker, in a section the parent makes and hands over
// (--worker HANDLE): an image that fits comes back through them rather than
// the pipe. The worker takes them in turn; with two images at most in its
// hands, it only ever fills a slot the parent has already copied out.
constexpr uint32_t kWorkerSlotBytes = 1024 * 1024;
constexpr uint32_t kWorkerSectionBytes = 2 * kWorkerSlotBytes;

// Worker to parent, in the order of the requests: the packed DIB that
// LoadImageFile returned (blockBytes, 0 when it returned null), in `slot`
// or, for kInPipe, in the bytes that follow. The first reply, kWorkerReady,
// says that the worker has started.
struct WorkerReply {
    uint32_t index;
    uint32_t blockBytes;
    uint32_t slot;
};
constexpr uint32_t kWorkerReady = 0xFFFFFFFF, kInPipe = 0xFFFFFFFF;

// Every byte, or false (the other end is gone or the pipe broke).
bool ReadAll(HANDLE pipe, void *bytes, size_t size);
bool WriteAll(HANDLE pipe, const void *bytes, size_t size);
