#include "framework/Dialog.h"

#include <algorithm>
#include <initializer_list>

#include "framework/MessageMap.h"
#include "framework/WinApp.h"

namespace {
// For these messages a dialog procedure returns the result itself; for all
// others it returns whether it handled the message and leaves the result in
// DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
           message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
           message == WM_QUERYDRAGICON || message == WM_INITDIALOG;
}

// Centres a dialog on its owner when the owner is showing, otherwise on the
// work area of its monitor, and keeps it inside that work area.
void CenterOnOwnerOrScreen(HWND dialog)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT workArea = monitor.rcWork;

    RECT centre = workArea;
    const HWND owner = ::GetWindow(dialog, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &centre);
    }
    RECT rect;
    ::GetWindowRect(dialog, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    int x = (centre.left + centre.right - width) / 2;
    int y = (centre.top + centre.bottom - height) / 2;
    x = std::max(static_cast<int>(workArea.left), std::min(x, static_cast<int>(workArea.right) - width));
    y = std::max(static_cast<int>(workArea.top), std::min(y, static_cast<int>(workArea.bottom) - height));
    ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

HINSTANCE ResourceModule()
{
    return ::GetModuleHandleA(nullptr);
}

std::string LoadResourceString(UINT id)
{
    char text[1024] = {};
    const int length = ::LoadStringA(ResourceModule(), id, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

MessageMap Dialog::BaseMessageMap()
{
    static const MessageMapEntry s_entries[] = {
        {WM_COMMAND, IDOK, &Dialog::OnOK},
        {WM_COMMAND, IDCANCEL, &Dialog::OnCancel},
        {WM_SETCURSOR, kAnyId, &Dialog::OnSetCursor},
    };
    return s_entries;
}

Dialog::Dialog(UINT templateId, HWND owner) : m_templateId(templateId), m_hOwner(owner) {}

Dialog::~Dialog()
{
    WinApp* app = WinApp::Current();
    if (app && app->MainWindow() == this) {
        app->SetMainWindow(nullptr);
    }
}

INT_PTR Dialog::DoModal()
{
    HWND owner = m_hOwner;
    if (!owner) {
        WinApp* app = WinApp::Current();
        Dialog* main = app ? app->MainWindow() : nullptr;
        if (main && main != this) {
            owner = main->GetHwnd();
        }
    }
    return ::DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(m_templateId), owner,
                             &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::UpdateData(DataDirection direction)
{
    DataExchange dx(m_hWnd, direction);
    DoDataExchange(dx);
}

int Dialog::MessageBox(const std::string& text, const char* caption, UINT type) const
{
    const std::string title = caption ? caption : ApplicationName();
    return ::MessageBoxA(m_hWnd, text.c_str(), title.c_str(), type);
}

void Dialog::BeginWaitCursor()
{
    const HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    if (m_waitCursorCount++ == 0) {
        m_hCursorBeforeWait = previous;
    }
}

void Dialog::EndWaitCursor()
{
    if (m_waitCursorCount == 0) {
        return;
    }
    if (--m_waitCursorCount == 0) {
        ::SetCursor(m_hCursorBeforeWait ? m_hCursorBeforeWait : ::LoadCursorA(nullptr, IDC_ARROW));
    }
}

void Dialog::EndDialog(INT_PTR result) const
{
    ::EndDialog(m_hWnd, result);
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(DataDirection::ToControls);
    return TRUE;
}

void Dialog::DoDataExchange(DataExchange&) {}

void Dialog::OnOK()
{
    UpdateData(DataDirection::ToMembers);
    EndDialog(IDOK);
}

void Dialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

MessageMap Dialog::GetMessageMap() const
{
    return {};
}

// While the wait cursor is up, the dialog keeps it over its own windows too
// (the engine's message boxes let this dialog see mouse moves meanwhile).
bool Dialog::OnSetCursor(WindowMessage& msg)
{
    if (m_waitCursorCount == 0) {
        return false;
    }
    ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    msg.result = TRUE;
    return true;
}

bool Dialog::OnMessage(WindowMessage& msg)
{
    if (msg.message == WM_INITDIALOG) {
        RECT before;
        ::GetWindowRect(m_hWnd, &before);
        msg.result = OnInitDialog();
        // A dialog that did not place itself opens centred rather than at the
        // corner its template names. The system shows it only after this
        // message, so it never appears in the corner first.
        RECT after;
        ::GetWindowRect(m_hWnd, &after);
        if (before.left == after.left && before.top == after.top && !::IsWindowVisible(m_hWnd)) {
            CenterOnOwnerOrScreen(m_hWnd);
        }
        return true;
    }
    for (const MessageMap& map : {GetMessageMap(), BaseMessageMap()}) {
        if (const MessageMapEntry* entry = FindMessageHandler(map, msg.message, msg.wParam)) {
            return entry->handler.Invoke(*this, msg);
        }
    }
    return false;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->m_hWnd = hwnd;
    }
    auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!dialog) {
        return FALSE;  // WM_SETFONT and the like, before WM_INITDIALOG
    }
    if (message == WM_NCDESTROY) {
        dialog->m_hWnd = nullptr;
        return FALSE;
    }
    WindowMessage msg{message, wParam, lParam, 0};
    bool handled = false;
    // Nothing may unwind through the system's frames: a failing handler
    // counts as having handled its message.
    try {
        handled = dialog->OnMessage(msg);
    } catch (...) {
        return TRUE;
    }
    if (ReturnsResultDirectly(message)) {
        return handled ? static_cast<INT_PTR>(msg.result) : FALSE;
    }
    if (handled) {
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, msg.result);
    }
    return handled ? TRUE : FALSE;
}
