// Drives the real kestrane.exe from outside, through its windows, as a user
// would. Usage:
//   e2e_driver convert <kestrane.exe> <workdir> <destination> <image>...
//   e2e_driver nofilter <kestrane.exe>
// In convert mode it pauses twice for screenshots: it creates
// <workdir>\shot-<name>.ready and waits for <workdir>\shot-<name>.done.
// Exit code 0 when every step was seen to happen.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/messages.h"
#include "res/resource.h"
#include "ui/ui_texts.h"

namespace {

constexpr int kMessageBoxText = 0xFFFF;
constexpr int kFileNameBox = 0x47C;
constexpr DWORD kStepTimeoutMs = 60000;

PROCESS_INFORMATION g_program = {};

bool Fail(const char *what)
{
    std::printf("FAILED: %s\n", what);
    std::fflush(stdout);
    return false;
}

void Step(const char *what)
{
    std::printf("step: %s\n", what);
    std::fflush(stdout);
}

struct WindowQuery {
    const char *title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    WindowQuery *query = reinterpret_cast<WindowQuery *>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char title[256] = "";
    GetWindowTextA(window, title, sizeof(title));
    if (process == g_program.dwProcessId && std::strcmp(title, query->title) == 0 &&
        IsWindowVisible(window)) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the program with this exact title.
HWND WaitForWindow(const char *title)
{
    for (DWORD waited = 0; waited < kStepTimeoutMs; waited += 50) {
        WindowQuery query = {title, nullptr};
        EnumWindows(MatchWindow, LPARAM(&query));
        if (query.found)
            return query.found;
        if (WaitForSingleObject(g_program.hProcess, 50) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

bool WaitGone(HWND window)
{
    for (DWORD waited = 0; waited < kStepTimeoutMs; waited += 50) {
        if (!IsWindow(window) || !IsWindowVisible(window))
            return true;
        Sleep(50);
    }
    return false;
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), LPARAM(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::vector<std::string> Rows(HWND list)
{
    std::vector<std::string> rows;
    int count = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++) {
        // The wide form: Wine hands the ANSI one back cut short across processes.
        wchar_t wide[MAX_PATH] = L"";
        char text[MAX_PATH] = "";
        SendMessageW(list, LB_GETTEXT, WPARAM(i), LPARAM(wide));
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
        rows.push_back(text);
    }
    return rows;
}

// Answers a message box of the program: checks its text and presses OK.
bool AnswerMessageBox(const char *expectedText)
{
    HWND box = WaitForWindow(TEXT_APP_CAPTION);
    if (!box)
        return Fail("no message box");
    std::string text = TextOf(GetDlgItem(box, kMessageBoxText));
    if (text != expectedText) {
        std::printf("message box says: %s\n", text.c_str());
        return Fail("unexpected message box text");
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return WaitGone(box) || Fail("message box stays");
}

// What a click on the button sends its dialog.
void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

// Types a path into the open dialog's file-name box and confirms it.
bool ChooseInOpenDialog(const char *path)
{
    HWND open = WaitForWindow(TEXT_CHOOSE_INPUT);
    if (!open)
        return Fail("no open dialog");
    HWND name = GetDlgItem(open, kFileNameBox);
    char className[64] = "";
    GetClassNameA(name, className, sizeof(className));
    if (_stricmp(className, "Edit") != 0) {
        HWND edit = FindWindowExA(name, nullptr, "Edit", nullptr);
        if (edit)
            name = edit;
    }
    if (!name)
        return Fail("no file-name box in the open dialog");
    SendMessageA(name, WM_SETTEXT, 0, LPARAM(path));
    PostMessageA(open, WM_COMMAND, IDOK, 0);
    return WaitGone(open) || Fail("open dialog stays");
}

bool WaitForFile(const std::string &path)
{
    for (DWORD waited = 0; waited < kStepTimeoutMs; waited += 100) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(100);
    }
    return false;
}

bool Screenshot(const std::string &workdir, const char *name)
{
    std::string base = workdir + "\\shot-" + name;
    HANDLE ready =
        CreateFileA((base + ".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(ready);
    return WaitForFile(base + ".done") || Fail("screenshot not taken");
}

void Click(int x, int y, bool press)
{
    SetCursorPos(x, y);
    Sleep(200);
    if (!press)
        return;
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
    Sleep(500);
}

// Opens the File menu with the mouse, hovers "Remove", waits for the
// screenshot, then closes the menu again.
bool ShowFileMenu(HWND dialog, const std::string &workdir)
{
    SetForegroundWindow(dialog);
    POINT client = {0, 0};
    ClientToScreen(dialog, &client);
    int barY = client.y - GetSystemMetrics(SM_CYMENU) / 2;
    Click(client.x + 12, barY, true);
    // Drop-down items are 23 pixels high; "Remove" is the second.
    Click(client.x + 50, client.y + 2 + 23 + 11, false);
    bool shot = Screenshot(workdir, "menu");
    INPUT keys[4] = {};
    for (int i = 0; i < 4; i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = VK_ESCAPE;
        keys[i].ki.dwFlags = i % 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof(INPUT));
    Sleep(500);
    return shot;
}

bool Start(const char *program)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string commandLine = std::string("\"") + program + "\"";
    if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &g_program))
        return Fail("cannot start kestrane.exe");
    return true;
}

bool ExitsWithZero()
{
    if (WaitForSingleObject(g_program.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0)
        return Fail("kestrane.exe does not end");
    DWORD code = 1;
    GetExitCodeProcess(g_program.hProcess, &code);
    std::printf("exit code %lu\n", code);
    return code == 0 || Fail("exit code is not 0");
}

bool RunNoFilter(const char *program)
{
    Step("start without filters");
    return Start(program) && AnswerMessageBox(TEXT_NO_FILTER) && ExitsWithZero();
}

bool RunConvert(const char *program, const std::string &workdir, const char *destination,
                const std::vector<const char *> &images)
{
    Step("start, dismiss the warning");
    if (!Start(program) || !AnswerMessageBox(TEXT_WARNING))
        return false;
    HWND dialog = WaitForWindow("Kestrane (Test version)");
    if (!dialog)
        return Fail("no main dialog");
    HWND list = GetDlgItem(dialog, IDC_SOURCES);
    if (TextOf(GetDlgItem(dialog, IDC_STATUS)) != MSG_STARTUP)
        return Fail("status line does not show the start-up text");

    for (size_t i = 0; i < images.size(); i++) {
        Step("add an image through the open dialog");
        Press(dialog, IDC_ADD);
        if (!ChooseInOpenDialog(images[i]))
            return false;
        for (DWORD waited = 0; Rows(list).size() != i + 1 && waited < kStepTimeoutMs; waited += 50)
            Sleep(50);
        if (Rows(list).size() != i + 1)
            return Fail("the image did not appear in the list");
    }
    if (!IsWindowEnabled(GetDlgItem(dialog, IDOK)))
        return Fail("Convert is not enabled");

    Step("move the last row up");
    int last = int(images.size()) - 1;
    SendMessageA(list, LB_SETCURSEL, WPARAM(last), 0);
    std::vector<std::string> before = Rows(list);
    Press(dialog, IDC_UP);
    for (DWORD waited = 0; Rows(list) == before && waited < kStepTimeoutMs; waited += 50)
        Sleep(50);
    std::vector<std::string> after = Rows(list);
    if (after.size() != before.size() || after[last - 1] != before[last] || after[last] != before[last - 1])
        return Fail("Up did not move the row");
    for (const std::string &row : after)
        std::printf("row: %s\n", row.c_str());

    Step("type the destination");
    SendMessageA(GetDlgItem(dialog, IDC_DEST), WM_SETTEXT, 0, LPARAM(destination));
    if (!Screenshot(workdir, "dialog") || !ShowFileMenu(dialog, workdir))
        return false;

    Step("convert");
    Press(dialog, IDOK);
    std::string status;
    for (DWORD waited = 0; waited < kStepTimeoutMs; waited += 100) {
        status = TextOf(GetDlgItem(dialog, IDC_STATUS));
        if (status != MSG_STARTUP)
            break;
        Sleep(100);
    }
    std::printf("status: %s\n", status.c_str());
    if (status != MSG_SUCCESS)
        return Fail("conversion did not succeed");

    Step("close");
    Press(dialog, IDCANCEL);
    return ExitsWithZero();
}

}  // namespace

int main(int argc, char **argv)
{
    bool ok = false;
    if (argc == 3 && std::strcmp(argv[1], "nofilter") == 0)
        ok = RunNoFilter(argv[2]);
    else if (argc >= 6 && std::strcmp(argv[1], "convert") == 0)
        ok = RunConvert(argv[2], argv[3], argv[4], std::vector<const char *>(argv + 5, argv + argc));
    else
        std::printf("usage: e2e_driver nofilter|convert <kestrane.exe> [workdir destination images...]\n");
    if (!ok && g_program.hProcess && WaitForSingleObject(g_program.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(g_program.hProcess, 1);
    std::printf(ok ? "PASSED\n" : "FAILED\n");
    return ok ? 0 : 1;
}
