#include "app/ImagerApp.h"

#include "platform/Win32.h"
#include <commctrl.h>

#include "app/ImagerDlg.h"

ImagerApp theApp;

bool ImagerApp::InitInstance()
{
    // Registers the common control classes before any window is made.
    ::InitCommonControls();
    WinApp::InitInstance();
    // Two start-up calls of the classic framework are left out because they
    // would do nothing here: control-container support (the dialogs host no
    // ActiveX control) and a per-user settings key (nothing is stored, so no
    // registry key is made; no folder, drive or direction is remembered).

    ImagerDlg dlg;
    SetMainWindow(&dlg);
    dlg.DoModal();
    // No message loop: the process ends when the dialog has closed, however it closed.
    return false;
}
