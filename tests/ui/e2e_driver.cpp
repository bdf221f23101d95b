// Drives the real kestrane.exe from outside, through its windows, as a user
// would. Usage:
//   e2e_driver nofilter <kestrane.exe>   the no-filter box, then exit code 0
//   e2e_driver start <kestrane.exe>      the warning, the dialog, Close
//   e2e_driver convert <kestrane.exe> <workdir> <destination> <image>...
// In convert mode it pauses for screenshots of the dialog, its menu and a
// preview: it creates <workdir>\shot-<name>.ready and waits for <workdir>\shot-<name>.done.
// Exit code 0 when every step was seen to happen.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/messages.h"
#include "res/resource.h"
#include "ui/preview.h"
#include "ui/ui_texts.h"

namespace {

constexpr int kMessageBoxText = 0xFFFF;
constexpr int kFileNameBox = 0x47C;
constexpr DWORD kStepTimeoutMs = 90000;  // emulated Wine is slow to start a GUI in a fresh prefix

PROCESS_INFORMATION g_program = {};

bool Fail(const std::string &what)
{
    std::printf("FAILED: %s\n", what.c_str());
    return false;
}

// Polls `done` every 50 ms until it holds or the step times out.
template <typename Predicate> bool WaitUntil(Predicate done)
{
    for (DWORD waited = 0; waited < kStepTimeoutMs; waited += 50) {
        if (done())
            return true;
        Sleep(50);
    }
    return done();
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
    if (process == g_program.dwProcessId && std::strcmp(title, query->title) == 0 && IsWindowVisible(window))
        query->found = window;
    return !query->found;
}

// A visible top-level window of the program with this exact title.
HWND WaitForWindow(const char *title)
{
    WindowQuery query = {title, nullptr};
    WaitUntil([&] {
        EnumWindows(MatchWindow, LPARAM(&query));
        return query.found || WaitForSingleObject(g_program.hProcess, 0) == WAIT_OBJECT_0;
    });
    return query.found;
}

bool WaitGone(HWND window)
{
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); });
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
    if (text != expectedText)
        return Fail("unexpected message box: " + text);
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
    if (_stricmp(className, "Edit") != 0 && FindWindowExA(name, nullptr, "Edit", nullptr))
        name = FindWindowExA(name, nullptr, "Edit", nullptr);
    if (!name)
        return Fail("no file-name box in the open dialog");
    SendMessageA(name, WM_SETTEXT, 0, LPARAM(path));
    PostMessageA(open, WM_COMMAND, IDOK, 0);
    return WaitGone(open) || Fail("open dialog stays");
}

bool Screenshot(const std::string &workdir, const char *name)
{
    std::string base = workdir + "\\shot-" + name;
    CloseHandle(CreateFileA((base + ".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return WaitUntil(
               [&] { return GetFileAttributesA((base + ".done").c_str()) != INVALID_FILE_ATTRIBUTES; }) ||
           Fail("screenshot not taken");
}

void SendInputs(std::vector<INPUT> inputs)
{
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(500);
}

// Opens the File menu with the mouse, hovers "Remove", waits for the
// screenshot, then closes the menu again with Escape twice.
bool ShowFileMenu(HWND dialog, const std::string &workdir)
{
    SetForegroundWindow(dialog);
    POINT client = {0, 0};
    ClientToScreen(dialog, &client);
    SetCursorPos(client.x + 12, client.y - GetSystemMetrics(SM_CYMENU) / 2);
    Sleep(200);
    INPUT down = {INPUT_MOUSE, {}}, up = down;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInputs({down, up});
    // Drop-down items are 23 pixels high; "Remove" is the second.
    SetCursorPos(client.x + 50, client.y + 2 + 23 + 11);
    Sleep(200);
    bool shot = Screenshot(workdir, "menu");
    INPUT press = {INPUT_KEYBOARD, {}}, release = press;
    press.ki.wVk = release.ki.wVk = VK_ESCAPE;
    release.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInputs({press, release, press, release});
    return shot;
}

// Double-clicks the first row and waits for its preview; after the
// screenshot, Escape closes it and gives the dialog back.
bool ShowPreview(HWND dialog, const std::string &workdir)
{
    HWND list = GetDlgItem(dialog, IDC_SOURCES), preview = nullptr;
    LPARAM firstRow = MAKELPARAM(10, SendMessageA(list, LB_GETITEMHEIGHT, 0, 0) / 2);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        PostMessageA(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, firstRow);
    if (!WaitUntil(
            [&] { return (preview = FindWindowA(PREVIEW_CLASS_NAME, nullptr)) && IsWindowVisible(preview); }))
        return Fail("no preview");
    if (!Screenshot(workdir, "preview"))
        return false;
    PostMessageA(preview, WM_KEYDOWN, VK_ESCAPE, 0);
    return (WaitGone(preview) && WaitUntil([&] { return IsWindowEnabled(dialog); })) || Fail("preview stays");
}

bool Start(const char *program)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string commandLine = std::string("\"") + program + "\"";
    return CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &g_program) ||
           Fail("cannot start kestrane.exe");
}

bool ExitsWithZero()
{
    if (WaitForSingleObject(g_program.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0)
        return Fail("kestrane.exe does not end");
    DWORD code = 1;
    GetExitCodeProcess(g_program.hProcess, &code);
    return code == 0 || Fail("exit code " + std::to_string(code));
}

// Start-up as a user sees it: the warning, then the dialog showing the
// start-up text.
bool OpenMainDialog(const char *program, HWND *dialog)
{
    return Start(program) && AnswerMessageBox(TEXT_WARNING) &&
           ((*dialog = WaitForWindow("Kestrane (Test version)")) || Fail("no main dialog")) &&
           (TextOf(GetDlgItem(*dialog, IDC_STATUS)) == MSG_STARTUP ||
            Fail("status line is not the start-up text"));
}

bool RunConvert(HWND dialog, const std::string &workdir, const char *destination,
                const std::vector<const char *> &images)
{
    HWND list = GetDlgItem(dialog, IDC_SOURCES);
    for (size_t i = 0; i < images.size(); i++) {
        Press(dialog, IDC_ADD);
        if (!ChooseInOpenDialog(images[i]))
            return false;
        if (!WaitUntil([&] { return Rows(list).size() == i + 1; }))
            return Fail(std::string("not in the list: ") + images[i]);
    }
    if (!IsWindowEnabled(GetDlgItem(dialog, IDOK)))
        return Fail("Convert is not enabled");

    // Move the last row up.
    size_t last = images.size() - 1;
    SendMessageA(list, LB_SETCURSEL, WPARAM(last), 0);
    std::vector<std::string> before = Rows(list), after;
    Press(dialog, IDC_UP);
    WaitUntil([&] { return (after = Rows(list)) != before; });
    if (after.size() != before.size() || after[last - 1] != before[last] || after[last] != before[last - 1])
        return Fail("Up did not move the row");

    SendMessageA(GetDlgItem(dialog, IDC_DEST), WM_SETTEXT, 0, LPARAM(destination));
    if (!Screenshot(workdir, "dialog") || !ShowFileMenu(dialog, workdir))
        return false;

    Press(dialog, IDOK);
    std::string status;
    // The job is over when Close, locked while it runs, is back.
    WaitUntil([&] {
        return (status = TextOf(GetDlgItem(dialog, IDC_STATUS))) != MSG_STARTUP &&
               IsWindowEnabled(GetDlgItem(dialog, IDCANCEL));
    });
    return (status == MSG_SUCCESS || Fail("status after Convert: " + status)) && ShowPreview(dialog, workdir);
}

}  // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string mode = argc >= 3 ? argv[1] : "";
    bool ok = false;
    if (mode == "nofilter" && argc == 3) {
        ok = Start(argv[2]) && AnswerMessageBox(TEXT_NO_FILTER) && ExitsWithZero();
    } else if ((mode == "start" && argc == 3) || (mode == "convert" && argc >= 6)) {
        HWND dialog = nullptr;
        ok = OpenMainDialog(argv[2], &dialog) &&
             (mode == "start" || RunConvert(dialog, argv[3], argv[4], {argv + 5, argv + argc}));
        if (ok) {
            Press(dialog, IDCANCEL);
            ok = ExitsWithZero();
        }
    } else
        std::printf(
            "usage: e2e_driver nofilter|start|convert <kestrane.exe> [workdir destination images...]\n");
    if (!ok && g_program.hProcess && WaitForSingleObject(g_program.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(g_program.hProcess, 1);
    std::printf(ok ? "PASSED\n" : "FAILED\n");
    return ok ? 0 : 1;
}
