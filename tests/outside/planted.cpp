// A DLL planted under a system DLL's name: when a process loads it, it
// records which process loaded it and from where (a tab between), in the file
// KESTRANE_PLANTED_LOG names (one UTF-16 line each).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void *)
{
    wchar_t log[MAX_PATH], line[2 * MAX_PATH + 2];
    if (reason != DLL_PROCESS_ATTACH || !GetEnvironmentVariableW(L"KESTRANE_PLANTED_LOG", log, MAX_PATH))
        return TRUE;
    DWORD length = GetModuleFileNameW(nullptr, line, MAX_PATH);
    line[length++] = L'\t';
    length += GetModuleFileNameW(self, line + length, MAX_PATH);
    line[length++] = L'\n';
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    DWORD written;
    WriteFile(file, line, length * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}
