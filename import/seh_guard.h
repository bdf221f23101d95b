// Runs foreign code (filter libraries) so that a structured exception raised
// inside it ends the call instead of the process.
#pragma once

typedef void (*GuardedFunction)(void *context);

// Calls function(context). True when it returned normally; false when a
// structured exception was raised inside it, in which case the frames it left
// behind have been unwound and control came back here.
bool RunGuarded(GuardedFunction function, void *context);
