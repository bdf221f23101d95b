// kestrane-cli's workers when a filter takes one down, run as a script runs
// the program: the image is named, nothing is written, no worker is left.
#include <windows.h>

#include <tlhelp32.h>  // after windows.h

#include <gtest/gtest.h>

#include <thread>

#include "cli/worker_protocol.h"
#include "tests/support/filter_registrations.h"
#include "tests/support/temp_dir.h"

namespace {

struct Outcome {
    DWORD code;
    std::string messages;
    int childrenLeft;
};

int ChildrenOf(DWORD parent)
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

Outcome RunCli(std::string commandLine, const std::string &messagesPath)
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

struct FailureCase {
    const char *name;
    const char *play;   // the stand-in filter's KESTRANE_FILTER_PLAY for f3 alone, or null
    const char *third;  // f3's extension: "kstw" is served, "kstx" by no filter
    // Past RunCli's wait where the worker does not hang: one that has ended
    // must be seen at once, not when its hang limit runs out.
    const char *hangLimitMs;
    bool converts = false;  // what the filter does is no concern of the job's
};

class WorkerFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(WorkerFailure, NamesTheImageWritesNothingAndLeavesNoWorker)
{
    TempDir temp;
    FilterRegistrations registry;
    registry.Add("workers", "kstw", FullPath(KESTRANE_STAND_IN_FILTER).c_str());
    std::string command = "\"" + FullPath(KESTRANE_CLI) + "\" -j 3 \"" + temp.Path("out.shp") + "\"";
    const std::string third = std::string("f3.") + GetParam().third;
    for (int i = 0; i < 6; i++) {
        const std::string name = i == 3 ? third : "f" + std::to_string(i) + ".kstw";
        WriteBytes(temp.Path(name), MakeFilterImage(0, 0, 4, 2, Gradient));
        command += " \"" + temp.Path(name) + "\"";
    }
    SetEnvironmentVariableA("KESTRANE_FILTER_PLAY", GetParam().play);
    SetEnvironmentVariableA("KESTRANE_FILTER_PLAY_ON", third.c_str());
    SetEnvironmentVariableA("KESTRANE_HANG_LIMIT_MS", GetParam().hangLimitMs);
    Outcome outcome = RunCli(command, temp.Path("messages.txt"));
    for (const char *name : {"KESTRANE_FILTER_PLAY", "KESTRANE_FILTER_PLAY_ON", "KESTRANE_HANG_LIMIT_MS"})
        SetEnvironmentVariableA(name, nullptr);
    const bool converts = GetParam().converts;
    EXPECT_EQ(converts ? 0u : 1u, outcome.code);
    EXPECT_EQ(converts ? "Successfully finished\r\n" : "Can't read image file: " + temp.Path(third) + "\r\n",
              outcome.messages);  // text mode
    EXPECT_EQ(0, outcome.childrenLeft);
    EXPECT_EQ(converts, GetFileAttributesA(temp.Path("out.shp").c_str()) != INVALID_FILE_ATTRIBUTES);
}

INSTANTIATE_TEST_SUITE_P(Plays, WorkerFailure,
                         testing::Values(FailureCase{"exit", "import:exit", "kstw", "120000"},
                                         FailureCase{"hang", "import:hang", "kstw", "1500"},
                                         // Past the 1 MB that the reply pipe holds.
                                         FailureCase{"print", "import:print", "kstw", "120000", true},
                                         FailureCase{"announce", "import:announce", "kstw", "1500"},
                                         FailureCase{"handles", "import:handles", "kstw", "1500"},
                                         // A worker that has met .kstw must not take its filter for .kstx.
                                         FailureCase{"unserved", nullptr, "kstx", "120000"}),
                         [](const testing::TestParamInfo<FailureCase> &info) { return info.param.name; });

// The counters the parent and a worker wake each other with, played as they
// are used: each side raises its counter, then waits for the other's, so a
// raise lost while the other side goes to sleep stops both. The other
// handle (the process waited on) ends a wait only while the counter has not
// passed.
TEST(WorkerCounter, NoRaiseIsLostAndNoneIsInvented)
{
    HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr),
           gone = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    WorkerCounter ping = {0, 0, uint32_t(reinterpret_cast<uintptr_t>(events[0]))};
    WorkerCounter pong = {0, 0, uint32_t(reinterpret_cast<uintptr_t>(events[1]))};
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), AwaitCounter(&ping, 0, events[0], never, 10));
    constexpr LONG kRounds = 3000;
    std::thread other([&] {
        for (LONG seen = 0;
             seen < kRounds && AwaitCounter(&ping, seen, events[0], never, 5000) == WAIT_OBJECT_0; seen++)
            RaiseCounter(&pong, events[1]);
    });
    LONG rounds = 0;
    while (rounds < kRounds && RaiseCounter(&ping, events[0]) &&
           AwaitCounter(&pong, rounds, events[1], never, 5000) == WAIT_OBJECT_0)
        rounds++;
    other.join();
    EXPECT_EQ(kRounds, rounds);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0 + 1), AwaitCounter(&pong, kRounds, events[1], gone, INFINITE));
    RaiseCounter(&pong, events[1]);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), AwaitCounter(&pong, kRounds, events[1], gone, INFINITE));
    for (HANDLE handle : {events[0], events[1], never, gone})
        CloseHandle(handle);
}

}  // namespace
