// Works the running kestrane.exe from outside, one step per run, as a user
// would; the Python scenarios call it between their own checks and
// screenshots. Text arguments and output are UTF-8.
//   driver box warning|nofilter    answer the message box that must show that text
//   driver status                  wait for the main dialog, print its status line
//   driver press ID                click the dialog's control ID
//   driver choose TITLE PATH       type PATH into the file dialog TITLE and confirm
//   driver rows                    print the list's rows
//   driver convert                 press Convert, wait for the job's end, print the status
//   driver preview                 wait for a preview
//   driver key K                   press K (a letter, or Esc) in the preview and wait for it to close
// Exit code 0 when the step was seen to happen.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "ui/preview.h"
#include "ui/ui_texts.h"

namespace {

constexpr int kMessageBoxText = 0xFFFF;
constexpr int kFileNameBox = 0x47C;
constexpr DWORD kStepTimeoutMs = 60000;
const wchar_t kMainTitle[] = L"Kestrane (Test version)";

std::string Utf8(const std::wstring &text)
{
    std::string out(text.size() * 3 + 1, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], int(out.size()), nullptr, nullptr) -
               1);
    return out;
}

std::wstring Wide(const char *text)
{
    std::wstring out(size_t(lstrlenA(text)) + 1, L'\0');  // never more characters than bytes
    out.resize(MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], int(out.size())) - 1);
    return out;
}

bool Fail(const std::string &what)
{
    std::printf("FAILED: %s\n", what.c_str());
    return false;
}

template <typename Predicate> bool WaitUntil(Predicate done)
{
    for (DWORD waited = 0; waited < kStepTimeoutMs; waited += 50, Sleep(50))
        if (done())
            return true;
    return done();
}

std::wstring TextOf(HWND window)
{
    wchar_t text[2048] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, LPARAM(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

// A visible top-level window with this title, or null after the timeout.
HWND WaitForWindow(const wchar_t *title)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowW(nullptr, title)) && IsWindowVisible(found); });
    return found;
}

bool WaitGone(HWND window)
{
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool Press(HWND dialog, int id)
{
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

bool PrintLine(const std::wstring &text)
{
    return std::printf("%s\n", Utf8(text).c_str()) >= 0;
}

bool AnswerBox(const char *which)
{
    std::wstring expected = Wide(std::string(which) == "warning" ? TEXT_WARNING : TEXT_NO_FILTER);
    HWND box = WaitForWindow(Wide(TEXT_APP_CAPTION).c_str());
    if (!box)
        return Fail("no message box");
    std::wstring text = TextOf(GetDlgItem(box, kMessageBoxText));
    if (text != expected)
        return Fail("unexpected message box: " + Utf8(text));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return WaitGone(box) || Fail("the message box stays");
}

bool Choose(const char *title, const char *path)
{
    HWND dialog = WaitForWindow(Wide(title).c_str());
    if (!dialog)
        return Fail(std::string("no dialog ") + title);
    HWND name = GetDlgItem(dialog, kFileNameBox);
    if (HWND edit = FindWindowExW(name, nullptr, L"Edit", nullptr))
        name = edit;  // the box is a combo box on some versions
    SendMessageW(name, WM_SETTEXT, 0, LPARAM(Wide(path).c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    if (!WaitGone(dialog))
        return Fail(std::string("the dialog stays: ") + title);
    // Without a window manager, Wine leaves what the dialog covered unpainted.
    if (HWND main = FindWindowW(nullptr, kMainTitle))
        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    return true;
}

bool PrintRows(HWND list)
{
    for (int i = 0, count = int(SendMessageW(list, LB_GETCOUNT, 0, 0)); i < count; i++) {
        wchar_t row[MAX_PATH] = L"";  // the wide form: Wine cuts the ANSI one short across processes
        SendMessageW(list, LB_GETTEXT, WPARAM(i), LPARAM(row));
        PrintLine(row);
    }
    return true;
}

// The job is over when Close, locked while it runs, is back and the status
// line, cleared before, holds its last text.
bool Convert(HWND dialog)
{
    HWND status = GetDlgItem(dialog, IDC_STATUS);
    SendMessageW(status, WM_SETTEXT, 0, LPARAM(L""));
    Press(dialog, IDOK);
    std::wstring text;
    bool done = WaitUntil(
        [&] { return !(text = TextOf(status)).empty() && IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)); });
    return (PrintLine(text) && done) || Fail("the conversion does not end");
}

bool Key(HWND dialog, const std::string &key)
{
    HWND preview = FindWindowA(PREVIEW_CLASS_NAME, nullptr);
    if (!preview)
        return Fail("no preview");
    PostMessageW(preview, WM_KEYDOWN, key == "Esc" ? VK_ESCAPE : WPARAM(key[0]), 0);
    return (WaitGone(preview) && WaitUntil([&] { return IsWindowEnabled(dialog); })) ||
           Fail("the preview stays");
}

bool Step(const std::vector<std::string> &a)
{
    const std::string &step = a[0];
    if (step == "box" && a.size() == 2)
        return AnswerBox(a[1].c_str());
    if (step == "choose" && a.size() == 3)
        return Choose(a[1].c_str(), a[2].c_str());
    HWND dialog = WaitForWindow(kMainTitle);
    if (!dialog)
        return Fail("no main dialog");
    if (step == "status")
        return PrintLine(TextOf(GetDlgItem(dialog, IDC_STATUS)));
    if (step == "press" && a.size() == 2)
        return Press(dialog, std::atoi(a[1].c_str()));
    if (step == "rows")
        return PrintRows(GetDlgItem(dialog, IDC_SOURCES));
    if (step == "convert")
        return Convert(dialog);
    if (step == "preview")
        return WaitUntil([] { return IsWindowVisible(FindWindowA(PREVIEW_CLASS_NAME, nullptr)); }) ||
               Fail("no preview");
    if (step == "key" && a.size() == 2)
        return Key(dialog, a[1]);
    return Fail("unknown step: " + step);
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; i++)
        arguments.push_back(Utf8(argv[i]));
    return !arguments.empty() && Step(arguments) ? 0 : 1;
}
