// Drives dialogs through their windows as a user reaches them, controls found
// by class and label, in this process (a dialog on a thread of the test) or
// another (the real program). Every wait is bounded: a missing window fails a
// test in seconds instead of hanging it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Win32.h"

namespace ui {

constexpr DWORD kWaitMs = 10000;

// Polls `done` until it holds or `timeoutMs` has passed; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs);
// A send that gives up after 5 s, so a program busy in a long operation fails
// the test instead of hanging it. The wide call reads texts of another
// process that the narrow one would not marshal.
LRESULT Send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0, bool wide = false);

std::string Text(HWND window);
inline void SetText(HWND window, const std::string& text) { Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }
// The first child of `parent` of this class with this text (any when empty).
HWND Child(HWND parent, const char* windowClass, const std::string& text = "");
// The command of the item of `menu` (or its submenus) labelled `label`.
UINT MenuCommand(HMENU menu, const std::string& label);
inline bool IsChecked(HWND button) { return Send(button, BM_GETCHECK) == BST_CHECKED; }
// A click handled before this returns; PostClick for one that opens a box.
inline void Click(HWND button) { Send(button, BM_CLICK); }
inline void PostClick(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }
std::vector<std::string> ComboItems(HWND combo);
inline int ComboSelection(HWND combo) { return static_cast<int>(Send(combo, CB_GETCURSEL, 0, 0, true)); }

// A dialog of a process: a message box, the About box, a folder browser.
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
