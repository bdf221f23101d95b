// One piece of our own work run on a thread of its own beside the caller's.
// Never a filter: other makers' filters run on the caller's thread only.
#pragma once

struct BackgroundTask {
    void *handle;  // null: nothing running
};

// Starts run(context); false when no thread could be had (run it in place).
bool StartBackground(BackgroundTask *task, void (*run)(void *context), void *context);
// Waits for the task started, if any; then `task` is free again.
void WaitBackground(BackgroundTask *task);
