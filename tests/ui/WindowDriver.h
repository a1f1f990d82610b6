// Drives another process's windows from outside, the way a user would reach
// them: start the program, find its dialogs, read and set controls, press
// buttons, dismiss boxes, close it and see it end. Everything waits by bounded
// polling, never by fixed sleeps, so a missing window fails a test in seconds
// instead of hanging it.
#pragma once

#include "tests/support/TestSupport.h"

#include <functional>
#include <string>
#include <vector>

namespace ui {

// Longest wait for anything the program should do at once.
constexpr DWORD kWaitMs = 10000;

// Polls `done` until it holds or `timeoutMs` has passed; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs);

// What a dialog-style window of the program shows.
struct DialogBoxInfo {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;  // a message box's text: its static with id 0xFFFF
    bool hasIcon = false;  // a message box's icon is shown
};

// One run of a program. The destructor ends the program if it still runs,
// so a failed test never leaves a window behind for the next one.
class RunningProgram {
public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Starts `exePath` (a Windows path) with its standard output going to a
    // pipe of this object; false when it cannot be started.
    bool Start(const std::string& exePath);
    // What the program has written to its standard output since the last call.
    std::string StandardOutput() const;

    bool IsRunning() const;

    // Waits for the program to end; its exit code, or nothing on time-out.
    bool WaitForExit(DWORD* exitCode, DWORD timeoutMs = kWaitMs) const;
    void Kill();

    // Visible top-level windows of class "#32770" that belong to the program.
    std::vector<HWND> Dialogs() const;
    // Waits for a visible dialog of the program with this exact caption.
    HWND WaitForDialog(const std::string& caption, DWORD timeoutMs = kWaitMs) const;
    // Waits for a visible dialog of the program other than those in `known`.
    HWND WaitForNewDialog(const std::vector<HWND>& known, DWORD timeoutMs = kWaitMs) const;

    // Copies `text` into the program's memory, for messages whose pointer the
    // receiving window reads in its own address space; the copy lives until
    // the program ends.
    void* CopyIntoProgram(const std::string& text) const;

private:
    HWND WaitForDialogWhere(const std::function<bool(HWND)>& wanted, DWORD timeoutMs) const;

    KernelHandle m_process;
    DWORD m_processId = 0;
    KernelHandle m_output;  // the reading end of the program's standard output
};

// Window reading and input, all with bounded sends so that a program busy in a
// long operation fails the test instead of hanging it.
std::string WindowText(HWND window);
HWND Control(HWND dialog, int id);
DialogBoxInfo Describe(HWND dialog);
// Texts of the static controls of `dialog`, in z order.
std::vector<std::string> StaticTexts(HWND dialog);

// Sends a message and gives its result; fails (returns false) on time-out.
bool Send(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT* result = nullptr);
bool SendW(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT* result = nullptr);
// Posts a message, for anything that opens a modal window.
bool Post(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0);

// The items of a combo box, read through the wide messages.
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);
void SetText(HWND window, const std::string& text);
bool IsChecked(HWND button);
// A click delivered and handled before this returns.
void Click(HWND button);
// A click posted to the button, for buttons that open a modal window.
void PostClick(HWND button);
// Presses the dialog's button `id` (IDOK for a message box's OK).
void PressButton(HWND dialog, int id);
// Waits until the window is gone.
bool WaitForClose(HWND window, DWORD timeoutMs = kWaitMs);
// Returns once the window's thread has handled everything sent before.
bool Sync(HWND window);

// Saves what the screen shows of `window` as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::string& bmpPath);

}  // namespace ui
