// What a run made of each output, kept for the summary at its end: the
// failures of --batch, and the --json object.
#pragma once
#include <cstdio>

// After each output's job: ok, or the job's last message as its error.
// False when the record could not be kept (after PrintStatus).
bool RecordOutput(const char *path, bool ok, const char *error);
int RecordedWritten();
int RecordedFailed();

// Each failed output's path and error, one after the other.
void ListFailures(FILE *stream);

// One JSON object: every output in order, then the totals. Only ASCII: any
// other character is written as a \u escape.
void PrintJsonSummary(FILE *stream);

void ReleaseRecords();
