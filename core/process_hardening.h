// What both programs, and every kestrane-cli worker, set first: where DLLs
// come from, and what the system does when memory is corrupted.
#pragma once

// DLLs by name from System32 only (never the exe's folder or the current
// one), images on network shares or of low integrity refused where the
// system can, the process ended on heap corruption, DEP on. Each call is
// looked up at run time and skipped where the system lacks it.
// `systemLibraries` (null-terminated list, may be null): DLLs that system
// DLLs load by name at their first use, loaded now from System32 by full
// path, so that those loads find them whatever search order they follow
// (the exe's folder first where the system lacks the call above).
void HardenProcess(const wchar_t *const *systemLibraries);
