// kestrane-cli's refusals of command lines and inputs it cannot take whole:
// each with its message and exit code, before any work and with nothing
// written.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/filter_registrations.h"
#include "tests/support/run_cli.h"

namespace {

// Made through the \\?\ form, which takes any length and no device names.
void MakeFile(const std::string &path, const Bytes &bytes)
{
    const std::wstring wide = L"\\\\?\\" + std::wstring(path.begin(), path.end());
    for (size_t at = wide.find(L'\\', 7); at != std::wstring::npos; at = wide.find(L'\\', at + 1))
        CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// Everything under `path` (a \\?\ path), which the library's removal cannot
// take where a name is a device's.
void RemoveTree(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        const std::wstring name = path + L"\\" + found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW(name.c_str());
        else if (found.cFileName[0] != L'.')
            RemoveTree(name);
    }
    FindClose(search);
    RemoveDirectoryW(path.c_str());
}

struct Row {
    const char *name;
    std::function<void(const std::string &root)> arrange;  // may be null
    std::string arguments;                                 // {T}: the test's folder
    DWORD code;
    std::vector<std::string> says;     // each among the messages
    std::vector<std::string> written;  // what stands in {T}\out and as {T}\out.shp afterwards
};

std::string Expand(std::string text, const std::string &root)
{
    for (size_t at; (at = text.find("{T}")) != std::string::npos;)
        text.replace(at, 3, root);
    return text;
}

const std::string kLong(1500, 'x');

void WriteList(const std::string &root, const std::string &text)
{
    MakeFile(root + "\\list.txt", Bytes(text.begin(), text.end()));
}

const Row kRows[] = {
    {"OutputFolderCannotBeMade", nullptr, "--batch {T}\\in {T}\\no\\such\\out", 1,
     {"Error: Can't create folder: {T}\\no\\such\\out\r\n"}, {}},
    {"ImagePathTooLong",
     [](const std::string &root) {
         MakeFile(root + "\\in\\" + std::string(200, 'd') + "\\" + std::string(40, 'i') + ".kstw",
                  MakeFilterImage(0, 0, 4, 2, Gradient));
     },
     "--batch {T}\\in {T}\\out", 1, {"Error: The path is too long: {T}\\in\\ddd"}, {"a.shp"}},
    {"BatchWithItsFolderAfterEquals", nullptr, "--batch={T}\\in {T}\\out", 0, {}, {"a.shp"}},
    {"ValueForAnOptionWithout", nullptr, "{T}\\out.shp {T}\\in\\a\\f.kstw --json=yes", 2,
     {"Error: --json takes no value: --json=yes\r\n"}, {}},
    {"LongArgument", nullptr, "{T}\\out.shp " + kLong, 1, {"Error: The path is too long: xxx"}, {}},
    {"LongListLine", [](const std::string &root) { WriteList(root, "in\\a\\f.kstw\n" + kLong + "\n"); },
     "{T}\\out.shp @{T}\\list.txt", 1, {"Error: The path is too long: xxx"}, {}},
    {"ListWithAZeroByte",
     [](const std::string &root) { WriteList(root, std::string("in\\a\\f.kstw\n\0in\\a\\f.kstw\n", 25)); },
     "{T}\\out.shp @{T}\\list.txt", 1,
     {"Error: {T}\\list.txt is not a UTF-8 text list: it holds a zero byte\r\n"}, {}},
    {"DeviceNamedSubfolders",
     [](const std::string &root) {
         for (const char *name : {"NUL", "nul.txt", "COM1", "LpT9"})
             MakeFile(root + "\\in\\" + name + "\\f.kstw", MakeFilterImage(0, 0, 4, 2, Gradient));
     },
     "--batch {T}\\in {T}\\out", 0,
     {"Note: Folder NUL passed over: its name is a device's\r\n",
      "Note: Folder nul.txt passed over: its name is a device's\r\n",
      "Note: Folder COM1 passed over: its name is a device's\r\n",
      "Note: Folder LpT9 passed over: its name is a device's\r\n", "1 files written, 0 failed"},
     {"a.shp"}},
};

class CommandLine : public testing::TestWithParam<Row> {};

TEST_P(CommandLine, SaysWhyAndWritesNothing)
{
    const Row &row = GetParam();
    TempDir temp;
    const std::string root = FullPath(temp.Root().string().c_str());
    FilterRegistrations registry;
    registry.Add("command line", "kstw", FullPath(KESTRANE_STAND_IN_FILTER).c_str());
    // Listed before it, a subkey whose name is longer in the program's code
    // page (UTF-8) than the lookup's buffer: the stand-in must still be found.
    const std::wstring longName = L"" FILTER_ROOT_KEY L"\\KestraneTest 0 " + std::wstring(200, L'\x6f22');
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, longName.c_str(), L"" FILTER_VALUE_EXTENSIONS, REG_SZ, L"kstnone", 16);
    MakeFile(root + "\\in\\a\\f.kstw", MakeFilterImage(0, 0, 4, 2, Gradient));
    if (row.arrange)
        row.arrange(root);
    const Outcome outcome =
        RunCli("\"" + FullPath(KESTRANE_CLI) + "\" " + Expand(row.arguments, root), root + "\\messages.txt");
    EXPECT_EQ(row.code, outcome.code) << outcome.messages;
    for (const std::string &text : row.says)
        EXPECT_NE(outcome.messages.find(Expand(text, root)), std::string::npos)
            << Expand(text, root) << "\nnot in:\n"
            << outcome.messages;
    std::vector<std::string> written;
    if (std::filesystem::exists(root + "\\out"))
        for (const auto &entry : std::filesystem::directory_iterator(root + "\\out"))
            written.push_back(entry.path().filename().string());
    if (std::filesystem::exists(root + "\\out.shp"))
        written.push_back("out.shp");
    EXPECT_EQ(row.written, written);
    EXPECT_FALSE(std::filesystem::exists(root + "\\no"));
    RemoveTree(L"\\\\?\\" + std::wstring(root.begin(), root.end()));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, longName.c_str());
}

INSTANTIATE_TEST_SUITE_P(Refusals, CommandLine, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row> &info) { return info.param.name; });

}  // namespace
