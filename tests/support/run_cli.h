// kestrane-cli.exe run as a script runs it: its exit code, what it printed
// on both streams, and how many of its children outlived it.
#pragma once
#include <windows.h>

#include <tlhelp32.h>  // after windows.h

#include <string>

#include "tests/support/temp_dir.h"

struct Outcome {
    DWORD code;
    std::string messages;
    int childrenLeft;
};

inline int ChildrenOf(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int children = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        children += entry.th32ParentProcessID == parent;
    CloseHandle(snapshot);
    return children;
}

inline Outcome RunCli(std::string commandLine, const std::string &messagesPath)
{
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE messages = CreateFileA(messagesPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                  CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = messages;
    PROCESS_INFORMATION process = {};
    Outcome outcome = {~0u, "", -1};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return outcome;
    CloseHandle(messages);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &outcome.code);
    outcome.childrenLeft = ChildrenOf(process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const auto bytes = ReadBytes(messagesPath);
    outcome.messages.assign(bytes.begin(), bytes.end());
    return outcome;
}

inline std::string FullPath(const char *path)
{
    char full[MAX_PATH];
    GetFullPathNameA(path, MAX_PATH, full, nullptr);
    return full;
}

