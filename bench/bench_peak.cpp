// Benchmark helper: runs one command and prints its wall time and the peak
// working set Windows counted for its process (under Wine, the peak resident
// size of its Linux process, Wine's own code included; Wine's private-bytes
// figures are not the process's allocations, so they are left out).
//   kestrane-peak PROGRAM [ARGUMENT...]
// The counters are read every millisecond while the process runs: Wine
// answers for a live process only, and peaks are high-water marks, so the
// last reading before the end is the peak, short of at most the final
// millisecond.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        std::fputs("Usage: kestrane-peak PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    // Our own command line, less our name, is the command to run.
    wchar_t *command = GetCommandLineW();
    bool quoted = *command == L'"';
    for (command++; *command && (quoted ? *command != L'"' : *command != L' '); command++) {
    }
    if (quoted && *command)
        command++;
    while (*command == L' ')
        command++;

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "kestrane-peak: cannot start %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    PROCESS_MEMORY_COUNTERS last = {}, counters = {};
    while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT)
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters) && counters.PeakWorkingSetSize)
            last = counters;
    QueryPerformanceCounter(&end);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("wall_ms=%.0f peak_working_set_mb=%.1f exit=%lu\n",
                double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart),
                double(last.PeakWorkingSetSize) / 1048576.0, code);
    return 0;
}
