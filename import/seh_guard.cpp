// GCC has no __try/__except for 32-bit Windows, so the guard builds the same
// thing by hand: an exception registration record on the thread's handler
// chain (FS:[0]) whose handler accepts every exception, unwinds the frames
// above it and jumps back into RunGuarded.
#include "import/seh_guard.h"

#include <windows.h>

#if !defined(__i386__)
#error "The exception guard is written for the 32-bit x86 handler chain"
#endif

namespace {

// The record must come first: the system hands the handler the address of
// the record, and the handler finds its resume point right behind it. It lives
// on RunGuarded's stack, as the system insists for registration records.
struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record;
    void *resume[5];  // __builtin_setjmp buffer
    volatile DWORD code;  // the exception that ended the call; set after the jump
};

EXCEPTION_REGISTRATION_RECORD *ChainHead()
{
    EXCEPTION_REGISTRATION_RECORD *head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head) : : "memory");
    return head;
}

void SetChainHead(EXCEPTION_REGISTRATION_RECORD *head)
{
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

}  // namespace

// RtlUnwind is not guaranteed to preserve the registers a compiler expects to
// survive a call (EBX, ESI, EDI, EBP), so it is called from this small
// wrapper that saves them around the call, as other compilers' runtimes do.
// cdecl: void KestraneGuardUnwind(void *targetFrame).
extern "C" void KestraneGuardUnwind(void *targetFrame);
__asm__(".text\n"
        ".globl _KestraneGuardUnwind\n"
        "_KestraneGuardUnwind:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    pushl %edi\n"
        "    pushl %ebp\n"
        "    pushl $0\n"       // return value
        "    pushl $0\n"       // exception record: let the system make one
        "    pushl $1f\n"      // target address: where the call returns anyway
        "    pushl 8(%ebp)\n"  // target frame
        "    call _RtlUnwind@16\n"
        "1:  popl %ebp\n"
        "    popl %edi\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    movl %ebp, %esp\n"
        "    popl %ebp\n"
        "    ret\n");

static EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD *exception, void *establisherFrame,
                                                  CONTEXT *, void *)
{
    // Unwind calls reach us when someone further out unwinds through this
    // frame; there is nothing of ours to clean up then.
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    GuardFrame *frame = static_cast<GuardFrame *>(establisherFrame);
    frame->code = exception->ExceptionCode;
    // Gives the frames the filter pushed (and the dispatcher's own) their
    // unwind call and leaves our record at the head of the chain.
    KestraneGuardUnwind(frame);
    __builtin_longjmp(frame->resume, 1);
}

// A stack overflow uses up the stack's guard page: without a new one, the
// next overflow has no room left to raise an exception in and ends the
// process. Once the overflowing frames are gone, a guard page is set again
// just below the page in use, as the C runtime's _resetstkoflw does.
static bool RearmStackGuard()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    uintptr_t page = system.dwPageSize;
    volatile char probe = 0;
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(const_cast<char *>(&probe), &region, sizeof region))
        return false;
    uintptr_t stackBase = reinterpret_cast<uintptr_t>(region.AllocationBase);
    // The system keeps the lowest pages (and any guarantee asked for) to
    // raise the overflow in; the new guard must lie above them.
    ULONG guarantee = 0;
    SetThreadStackGuarantee(&guarantee);
    uintptr_t reserved = page + ((guarantee + page - 1) & ~(page - 1));
    uintptr_t guard = (reinterpret_cast<uintptr_t>(&probe) & ~(page - 1)) - page;
    if (guard < stackBase + reserved + page)
        return false;
    DWORD previous;
    void *address = reinterpret_cast<void *>(guard);
    return VirtualAlloc(address, page, MEM_COMMIT, PAGE_READWRITE) &&
           VirtualProtect(address, page, PAGE_READWRITE | PAGE_GUARD, &previous);
}

bool RunGuarded(GuardedFunction function, void *context)
{
    GuardFrame frame;
    frame.code = 0;
    frame.record.Next = ChainHead();
    frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(GuardHandler);
    SetChainHead(&frame.record);
    volatile bool completed = false;  // read again after the jump back
    if (__builtin_setjmp(frame.resume) == 0) {
        function(context);
        completed = true;
    }
    // Both ways out arrive here with our record at the head of the chain.
    SetChainHead(frame.record.Next);
    if (frame.code == EXCEPTION_STACK_OVERFLOW)
        RearmStackGuard();
    return completed;
}
