#include "core/core_alloc.h"

#include <cstdlib>

static int g_allocationsBeforeFailure = -1;

void SetAllocFailureAfter(int successes)
{
    g_allocationsBeforeFailure = successes;
}

bool AllocationShouldFail()
{
    if (g_allocationsBeforeFailure < 0)
        return false;
    if (g_allocationsBeforeFailure == 0)
        return true;
    g_allocationsBeforeFailure--;
    return false;
}

void *CoreAlloc(size_t bytes)
{
    if (AllocationShouldFail())
        return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void CoreFree(void *block)
{
    std::free(block);
}
