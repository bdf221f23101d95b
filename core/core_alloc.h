// The ordinary heap, with a switch tests use to make the next allocations fail.
#pragma once
#include <cstddef>
#include <cstdint>

void *CoreAlloc(size_t bytes);
void CoreFree(void *block);

// A block that grows, for a file whose size is known only at the end: on
// Windows address space is set aside ahead of the memory taken, so that it
// grows in place, without the old and the new copy at once, as long as the
// room set aside lasts; the host build simply reallocates. Growing fails
// with the block as it was.
struct GrowingBlock {
    uint8_t *data;
    size_t size, reserved;
};
bool GrowBlock(GrowingBlock *block, size_t bytes);
void ReleaseBlock(GrowingBlock *block);

// Test seam: after `successes` more allocations succeed, every further one fails
// until reset with a negative value. Applies to CoreAlloc and AllocPackedDib.
void SetAllocFailureAfter(int successes);
bool AllocationShouldFail();
