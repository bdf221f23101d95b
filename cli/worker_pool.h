// kestrane-cli's worker processes: while a job runs, its images are loaded
// by workers (kestrane-cli started in its worker mode), up to two images per
// worker at a time, and handed to the job in list order. Each filter so runs
// in the one thread of a worker, and a filter that takes its worker down or
// hangs fails its image instead of the program.
#pragma once

#include "core/convert.h"

// Prepares up to `workers` workers (0: one per logical processor). False
// when not one worker process could be started; the job then loads its
// images itself.
bool StartWorkerPool(int workers);

// ConvertToShpWith over g_sourceList, its images loaded by the workers when
// the pool was started. Afterwards, every worker still holding images of the
// job (it stopped early) is ended; the next job starts new ones.
int ConvertThroughWorkers(const char *outputPath, const ConvertOptions &options);

// Ends every worker and waits until each process is gone.
void StopWorkerPool();
