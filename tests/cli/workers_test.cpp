// kestrane-cli run as a script runs it: when a filter takes its worker down,
// the image is named, nothing is written, no worker is left; a command line
// or input it cannot take whole is refused with its reason before any work.
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

// kestrane-cli with `arguments`, the stand-in filter registered for .kstw.
Outcome RunCli(const std::string &arguments, const std::string &messagesPath)
{
    FilterRegistrations registry;
    registry.Add("cli", "kstw", FullPath(KESTRANE_STAND_IN_FILTER).c_str());
    std::string commandLine = "\"" + FullPath(KESTRANE_CLI) + "\" " + arguments;
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
    std::string command = "-j 3 \"" + temp.Path("out.shp") + "\"";
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

// The counters the parent and a worker wake each other with: a raise lost while the other side goes to
// sleep would stop both; the process waited on ends a wait only while the counter has not passed.
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

// Made through the \\?\ form, which takes any length and no device names.
std::wstring Long(const std::string &path)
{
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
}

void MakeFile(const std::string &path, const std::string &text = "")
{
    const std::wstring wide = Long(path);
    for (size_t at = wide.find(L'\\', 7); at != std::wstring::npos; at = wide.find(L'\\', at + 1))
        CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    const Bytes bytes =
        text.empty() ? MakeFilterImage(0, 0, 4, 2, Gradient) : Bytes(text.begin(), text.end());
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

const char *const kDevices[] = {"NUL", "nul.txt", "COM1", "LpT9"};
const std::string kLong(1500, 'x'), kNote = " passed over: its name is a device's\r\n";

struct CommandLineCase {
    const char *name;
    std::string arguments;  // {T}: the test's folder
    DWORD code;
    std::string says;                  // among the messages
    bool writes;                       // {T}\out\a.shp, from {T}\in\a\f.kstw
    std::string file = "", text = "";  // one more file made in {T}; without text, an image
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

// Each batch also meets subfolders named as devices, which it must pass over.
TEST_P(CommandLine, SaysWhyAndWritesNothing)
{
    const CommandLineCase &c = GetParam();
    TempDir temp;
    const std::string root = FullPath(temp.Root().string().c_str());
    const auto expand = [&](std::string text) {
        for (size_t at; (at = text.find("{T}")) != std::string::npos;)
            text.replace(at, 3, root);
        return text;
    };
    // Listed before the stand-in's, a subkey whose name is longer in the program's code
    // page (UTF-8) than the lookup's buffer: the stand-in must still be found.
    const std::wstring longName = L"" FILTER_ROOT_KEY L"\\KestraneTest 0 " + std::wstring(200, L'\x6f22');
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, longName.c_str(), L"" FILTER_VALUE_EXTENSIONS, REG_SZ, L"kstnone",
                    16);
    MakeFile(root + "\\in\\a\\f.kstw");
    for (const char *name : kDevices)
        MakeFile(root + "\\in\\" + name + "\\f.kstw");
    if (!c.file.empty())
        MakeFile(root + "\\" + c.file, c.text);
    const Outcome outcome = RunCli(expand(c.arguments), root + "\\messages.txt");
    EXPECT_EQ(c.code, outcome.code) << outcome.messages;
    std::vector<std::string> says = {c.says};
    if (c.writes)  // it went through the folders
        for (const char *name : kDevices)
            says.push_back(std::string("Folder ") + name + kNote);
    for (const std::string &text : says)
        EXPECT_NE(outcome.messages.find(expand(text)), std::string::npos) << expand(text) << " not in:\n"
                                                                          << outcome.messages;
    const auto exists = [&](const char *name) {
        return GetFileAttributesA((root + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    EXPECT_EQ(c.writes, exists("out\\a.shp"));
    EXPECT_FALSE(exists("out.shp") || exists("no")) << "nothing else is written";
    // The library's removal cannot take a device's name.
    for (const char *name : kDevices)
        DeleteFileW(Long(root + "\\in\\" + name + "\\f.kstw").c_str()),
            RemoveDirectoryW(Long(root + "\\in\\" + name).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, longName.c_str());
}

const CommandLineCase kCommandLines[] = {
    {"OutputFolderCannotBeMade", "--batch {T}\\in {T}\\no\\such\\out", 1,
     "Error: Can't create folder: {T}\\no\\such\\out\r\n", false},
    {"ImagePathTooLong", "--batch {T}\\in {T}\\out", 1, "Error: The path is too long: {T}\\in\\ddd", true,
     "in\\" + std::string(150, 'd') + "\\" + std::string(120, 'i') + ".kstw"},
    {"BatchWithItsFolderAfterEquals", "--batch={T}\\in {T}\\out", 0, "1 files written, 0 failed", true},
    {"ValueForAnOptionWithout", "{T}\\out.shp {T}\\in\\a\\f.kstw --json=yes", 2,
     "Error: --json takes no value: --json=yes\r\n", false},
    {"LongArgument", "{T}\\out.shp " + kLong, 1, "Error: The path is too long: xxx", false},
    {"LongListLine", "{T}\\out.shp @{T}\\l", 1, "Error: The path is too long: xxx", false, "l",
     "in\\a\\f.kstw\n" + kLong},
    {"ListWithAZeroByte", "{T}\\out.shp @{T}\\l", 1,
     "Error: {T}\\l is not a UTF-8 text list: it holds a zero byte\r\n", false, "l",
     std::string("in\\a\\f.kstw\n\0x\n", 15)},
};
INSTANTIATE_TEST_SUITE_P(Refusals, CommandLine, testing::ValuesIn(kCommandLines),
                         [](const testing::TestParamInfo<CommandLineCase> &info) { return info.param.name; });

}  // namespace
