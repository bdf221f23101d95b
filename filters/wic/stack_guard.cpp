// The stack protector's guard and its failure call, for a library without
// the C runtime's start-up (whose constructor would seed the runtime's own).
#include "filters/wic/stack_guard.h"

#include <ntsecapi.h>

extern "C" {
uintptr_t __stack_chk_guard;

__attribute__((noreturn)) void __stack_chk_fail()
{
    // The stack is not to be trusted any more: no handler, no unwinding.
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}
}

__attribute__((no_stack_protector)) void SeedStackGuard()
{
    uintptr_t seed = 0;
    if (!RtlGenRandom(&seed, sizeof seed) || seed == 0)
        seed = uintptr_t(GetTickCount()) ^ uintptr_t(GetCurrentProcessId()) << 16 ^ uintptr_t(&seed);
    __stack_chk_guard = seed;
}
