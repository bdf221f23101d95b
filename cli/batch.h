// --batch DIR [OUTDIR]: each subfolder of DIR that holds images becomes
// OUTDIR\<subfolder>.shp, one job after the other through the same workers.
#pragma once

#include "cli/arguments.h"

// The exit code. A folder that fails does not stop the others; the status
// ends as the count of files written and failed.
int RunBatch(const CliArguments &arguments, char *status);
