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

// Worker to parent, in the order of the requests: blockBytes of the packed
// DIB LoadImageFile returned follow, none when it returned null. The first
// reply, kWorkerReady, says that the worker has started.
struct WorkerReply {
    uint32_t index;
    uint32_t blockBytes;
};
constexpr uint32_t kWorkerReady = 0xFFFFFFFF;

// Every byte, or false (the other end is gone or the pipe broke).
bool ReadAll(HANDLE pipe, void *bytes, size_t size);
bool WriteAll(HANDLE pipe, const void *bytes, size_t size);
