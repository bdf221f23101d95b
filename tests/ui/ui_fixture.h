// The real main dialog, created from the real template, with the message
// boxes and the open dialog answered by the test instead of a person.
#pragma once
#include <windows.h>

#include <commdlg.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"

struct RecordedMessageBox {
    HWND owner;
    std::string text, caption;
    UINT type;
    bool ownerVisible;
};

// What the next open dialogs "choose"; an empty queue means the user cancels.
extern std::vector<std::string> g_chosenPaths;
extern std::vector<RecordedMessageBox> g_messageBoxes;
extern std::vector<OPENFILENAMEA> g_openDialogs;  // as each open dialog was called
extern std::vector<std::string> g_initialNames;   // the file name each started from

class UiTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

class DialogTest : public UiTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    void Add(const std::string &path)
    {
        g_chosenPaths.push_back(path);
        Command(IDC_ADD);
    }
    void Select(int row) { SendDlgItemMessageA(dialog_, IDC_SOURCES, LB_SETCURSEL, WPARAM(row), 0); }
    void Command(int id) { SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool ConvertEnabled() const { return IsWindowEnabled(GetDlgItem(dialog_, IDOK)) != FALSE; }
    std::vector<std::string> Rows() const;
    std::vector<std::string> Entries() const;
    std::string Status() const;
    // Row i shows the file-name part of entry i, for every i.
    void ExpectRowsMatchEntries() const;

    HWND dialog_ = nullptr;
};
