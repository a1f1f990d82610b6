// A modal dialog from a template. One static dialog procedure finds the
// object through the window and dispatches each message: first the derived
// class's message map, then the base's own (OK, Cancel, the wait cursor).
#pragma once

#include <string>

#include "framework/DataExchange.h"
#include "platform/Win32.h"

// Defined in framework/MessageMap.h, which a derived dialog includes for its
// table.
class MessageMap;
struct WindowMessage;

class Dialog {
public:
    // `owner` may be null: the dialog is then owned by the application's main
    // window, unless it is that window itself.
    explicit Dialog(UINT templateId, HWND owner = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until it ends. Returns the value given to EndDialog, or
    // -1 when the dialog could not be created.
    INT_PTR DoModal();

    HWND GetHwnd() const { return m_hWnd; }

    // Runs DoDataExchange in one direction.
    void UpdateData(DataDirection direction = DataDirection::ToMembers);

    // A message box owned by the dialog, captioned with the application name
    // unless a caption is given. Returns the button pressed.
    int MessageBox(const std::string& text, const char* caption = nullptr, UINT type = MB_OK) const;

    // The hourglass, shown until the matching EndWaitCursor; pairs may nest.
    void BeginWaitCursor();
    void EndWaitCursor();

    void EndDialog(INT_PTR result) const;

protected:
    // Exchanges the members towards the controls; true lets the system give the
    // focus to the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx);
    // Reads the controls into the members and ends with IDOK.
    virtual void OnOK();
    // Ends with IDCANCEL.
    virtual void OnCancel();
    // The derived class's table; searched before the base's own.
    virtual MessageMap GetMessageMap() const;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnMessage(WindowMessage& msg);
    bool OnSetCursor(WindowMessage& msg);

    // OK, Cancel and the wait cursor; searched after the derived class's table.
    static MessageMap BaseMessageMap();

    UINT m_templateId;
    HWND m_hOwner;
    HWND m_hWnd = nullptr;
    int m_waitCursorCount = 0;
    HCURSOR m_hCursorBeforeWait = nullptr;
};

// The module that holds the application's resources: the executable.
HINSTANCE ResourceModule();

// A string resource, empty when there is none.
std::string LoadResourceString(UINT id);
