// What a run made of each output, kept for the summary at its end: the
// failures of --batch, and the --json object.
#pragma once
#include <cstdio>

#include "core/status.h"

// A warning about the output under way: a line on standard error at once,
// and in that output's record (the next RecordOutput) for --json.
void Warn(const char *format, ...) KESTRANE_PRINTF(1, 2);

// After each output's job: ok, or the job's last message as its error; the
// warnings since the last record go with it. False when the record could
// not be kept (after PrintStatus).
bool RecordOutput(const char *path, bool ok, const char *error);
int RecordedWritten();
int RecordedFailed();

// Each failed output's path and error, one after the other.
void ListFailures(FILE *stream);

// One JSON object: every output in order, then the totals. Only ASCII: any
// other character is written as a \u escape.
void PrintJsonSummary(FILE *stream);

void ReleaseRecords();
