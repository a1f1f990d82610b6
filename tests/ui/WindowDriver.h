// Drives dialogs through their windows, the way a user reaches them: controls
// found by their class and label, texts read and typed, buttons pressed, boxes
// read and dismissed. Works on the windows of this process (a dialog on a
// thread of the test) and of another (the real program). Every wait is a
// bounded poll, so a missing window fails a test in seconds instead of hanging
// it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Win32.h"

namespace ui {

constexpr DWORD kWaitMs = 10000;

// Polls `done` until it holds or `timeoutMs` has passed; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs);

std::string Text(HWND window);
void SetText(HWND window, const std::string& text);
// The first child of `parent` of this class whose text is `text` (any text
// when empty).
HWND Child(HWND parent, const char* windowClass, const std::string& text = "");
// The command of the item of `menu` (or its submenus) labelled `label`.
UINT MenuCommand(HMENU menu, const std::string& label);
bool IsChecked(HWND button);
// A click handled before this returns; PostClick for buttons that open a
// modal window.
void Click(HWND button);
void PostClick(HWND button);
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);

// A dialog-style window of a process: a message box, the About box, a folder
// browser.
struct Box {
    HWND window = nullptr, owner = nullptr;
    std::string what;  // "caption: text" (of a message box)
    bool hasIcon = false;
};
// Visible top-level dialogs of the process, apart from `except`.
std::vector<HWND> Dialogs(DWORD processId, HWND except = nullptr);
// Waits for the dialog of the process with this caption.
HWND WaitForDialog(DWORD processId, const std::string& caption);
// Waits for a dialog of the process other than `except` and describes it.
Box WaitForBox(DWORD processId, HWND except);
// Presses OK and waits until the box has gone.
bool Dismiss(const Box& box);

}  // namespace ui
