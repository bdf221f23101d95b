#include "cli/worker_protocol.h"

bool RaiseCounter(WorkerCounter *counter, HANDLE event)
{
    InterlockedIncrement(&counter->count);
    if (InterlockedExchange(&counter->sleeping, 0) == 0)
        return true;
    return SetEvent(event) != FALSE;
}

// Saying it sleeps before looking once more closes the gap in which the
// other side could raise the counter unseen. An event left set by a raise
// that came after that look only makes a later wait return at once.
DWORD AwaitCounter(WorkerCounter *counter, LONG seen, HANDLE event, HANDLE other, DWORD timeoutMs)
{
    HANDLE handles[2] = {event, other};
    for (;;) {
        if (CounterValue(counter) > seen)
            return WAIT_OBJECT_0;
        InterlockedExchange(&counter->sleeping, 1);
        if (CounterValue(counter) > seen)
            return WAIT_OBJECT_0;
        DWORD result = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
        if (result != WAIT_OBJECT_0)
            return CounterValue(counter) > seen ? WAIT_OBJECT_0 : result;
    }
}

bool WriteAll(HANDLE pipe, const void *bytes, size_t size)
{
    const char *p = static_cast<const char *>(bytes);
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size), done = 0;
        if (!WriteFile(pipe, p, chunk, &done, nullptr) || done == 0)
            return false;
        p += done;
        size -= done;
    }
    return true;
}
