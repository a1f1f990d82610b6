// The application object of a dialog-based program. Exactly one instance, a
// global constructed before the entry point. The framework's WinMain names the
// application after its executable and calls InitInstance, which does the
// application's work; when it returns false the process ends.
#pragma once

#include <string>

#include "platform/Win32.h"

class Dialog;

class WinApp {
public:
    WinApp();
    virtual ~WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // The one instance, or nullptr before it is constructed (or in a program
    // without one, such as a test).
    static WinApp* Current();

    // The executable's base name without extension, e.g. "Trakoni".
    const std::string& AppName() const { return m_name; }

    // The window that owns every dialog constructed without an owner. The
    // main window clears itself when it is destroyed.
    Dialog* MainWindow() const { return m_pMainWnd; }
    void SetMainWindow(Dialog* window) { m_pMainWnd = window; }

    // Called once, by WinMain. True runs a message loop until WM_QUIT; false
    // ends the process at once.
    virtual bool InitInstance();

    // WinMain's work; returns the process exit code.
    int Run();

private:
    static int MessageLoop();

    std::string m_name;
    Dialog* m_pMainWnd = nullptr;
};

// The application name: the running executable's base name without extension.
std::string ApplicationName();

// "Trakoni" for "C:\Tools\Trakoni.exe": the last path component without its
// extension.
std::string BaseNameWithoutExtension(const std::string& path);
