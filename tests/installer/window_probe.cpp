// Starts an installed kestrane.exe and drives it from outside, as a user would:
// confirms the start-up warning, waits for the main dialog, checks its status
// line and closes it. Exit code 0 when the dialog came up and the program ended
// cleanly; 1 otherwise, with what was seen on stdout.
// Usage: window_probe PROGRAM.exe
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/messages.h"
#include "core/status.h"
#include "res/resource.h"
#include "ui/ui_texts.h"

namespace {

const char kDialogCaption[] = "Kestrane (Test version)";
const DWORD kTimeoutMs = 90000;  // emulated Wine is slow to start a GUI
const int kMessageBoxText = 0xFFFF;

struct Seen {
    DWORD processId;
    HWND messageBox;
    HWND dialog;
};

BOOL CALLBACK FindProcessWindows(HWND window, LPARAM param)
{
    Seen *seen = reinterpret_cast<Seen *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != seen->processId || !IsWindowVisible(window))
        return TRUE;
    char className[64] = "", caption[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") != 0)
        return TRUE;
    if (GetDlgItem(window, kMessageBoxText))
        seen->messageBox = window;
    else if (std::strcmp(caption, kDialogCaption) == 0)
        seen->dialog = window;
    return TRUE;
}

// Flattens line breaks so that a box's text reads on one log line.
void PrintText(const char *label, const char *text)
{
    std::printf("%s: \"", label);
    for (const char *c = text; *c; c++)
        std::putchar(*c == '\n' ? '|' : *c);
    std::printf("\"\n");
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_probe PROGRAM.exe\n");
        return 2;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    char commandLine[MAX_PATH + 2];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\"", argv[1]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(argv[1], commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("cannot start %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }

    bool sawWarning = false, sawNoFilter = false, sawDialog = false, statusOk = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > kTimeoutMs) {
            std::printf("timed out; terminating the program\n");
            TerminateProcess(process.hProcess, 99);
            break;
        }
        Seen seen = {process.dwProcessId, nullptr, nullptr};
        EnumWindows(FindProcessWindows, reinterpret_cast<LPARAM>(&seen));
        if (seen.messageBox) {
            char text[1024] = "";
            GetDlgItemTextA(seen.messageBox, kMessageBoxText, text, sizeof text);
            PrintText("message box", text);
            sawWarning |= std::strcmp(text, TEXT_WARNING) == 0;
            sawNoFilter |= std::strcmp(text, TEXT_NO_FILTER) == 0;
            PostMessageA(seen.messageBox, WM_COMMAND, IDOK, 0);
            Sleep(500);  // let the box close before looking again
        } else if (seen.dialog && !sawDialog) {
            sawDialog = true;
            char status[kStatusBufferSize] = "";
            GetDlgItemTextA(seen.dialog, IDC_STATUS, status, sizeof status);
            PrintText("status line", status);
            statusOk = std::strcmp(status, MSG_STARTUP) == 0;
            PostMessageA(seen.dialog, WM_COMMAND, IDCANCEL, 0);
        }
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("warning box %s, no-filter box %s, dialog %s, status %s, exit code %lu\n",
                sawWarning ? "seen" : "missing", sawNoFilter ? "SEEN" : "not seen",
                sawDialog ? "seen" : "missing", statusOk ? "as expected" : "WRONG", exitCode);
    return sawWarning && !sawNoFilter && sawDialog && statusOk && exitCode == 0 ? 0 : 1;
}
