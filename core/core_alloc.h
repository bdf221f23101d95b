// The ordinary heap, with a switch tests use to make the next allocations fail.
#pragma once
#include <cstddef>

void *CoreAlloc(size_t bytes);
void CoreFree(void *block);
// The block grown or shrunk, moved if need be; null on failure, when the
// old block stays as it was.
void *CoreRealloc(void *block, size_t bytes);

// Test seam: after `successes` more allocations succeed, every further one fails
// until reset with a negative value. Applies to CoreAlloc and AllocPackedDib.
void SetAllocFailureAfter(int successes);
bool AllocationShouldFail();
