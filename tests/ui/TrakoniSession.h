// One run of Trakoni.exe, seen through its main dialog, and the files the
// tests give it: image folders and the virtual floppy images of the prefix.
#pragma once

#include "tests/ui/WindowDriver.h"

#include <string>
#include <vector>

namespace ui {

constexpr char kMainCaption[] = " Vantor Trakoni Utility";
constexpr char kAboutCaption[] = "About Trakoni";
constexpr int kCylinders = 80;
constexpr size_t kBytesPerCylinder = 2 * 18 * 512;  // a 1.44 MB disk

// Trakoni.exe of this build, as a Windows path.
std::string TrakoniExe();
// The tests' work folder, on drive C: of the prefix.
std::string WorkFolder();
// An empty folder of this name in the work folder; files left in it by an
// earlier run are removed first.
std::string FreshFolder(const std::string& name);

// The lines of a text, without their ends ("\n" or "\r\n"); an unterminated
// last line is marked so.
std::vector<std::string> Lines(const std::string& text);

bool FileExists(const std::string& path);

class TrakoniSession {
public:
    // Starts `exe` and, unless told not to, waits for its main dialog.
    explicit TrakoniSession(const std::string& exe = TrakoniExe(), bool waitForDialog = true);

    RunningProgram& Program() { return m_program; }
    // The main dialog, or null when it never came up.
    HWND Dialog() const { return m_dialog; }
    HWND Control(int id) const { return GetDlgItem(m_dialog, id); }
    // Waits for the main dialog; needed only when a box held it back.
    HWND WaitForDialog();

    void SetFolder(const std::string& folder);
    std::string Folder() const;
    void ChooseDirection(int radioId);
    // Presses Copy Image the way a click does; it runs modally, so the click
    // is posted and the caller waits for what it shows.
    void PressCopyImage();
    bool CopyImageEnabled() const;
    // Waits until Copy Image is enabled again, i.e. the command has finished.
    bool WaitForCopyImageEnabled() const;

    // Waits for a message box or other dialog besides the main dialog.
    DialogBoxInfo WaitForBox(DWORD timeoutMs = kWaitMs) const;
    // Presses OK on a box and waits for it to go.
    bool Dismiss(const DialogBoxInfo& box) const;
    // Dialogs of the program other than the main one.
    std::vector<HWND> OtherDialogs() const;

private:
    // Ends the program by force when a test leaves it running.
    RunningProgram m_program;
    HWND m_dialog = nullptr;
};

}  // namespace ui
