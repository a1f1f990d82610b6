#include "tests/ui/WindowDriver.h"

namespace ui {
namespace {

// Control ids of the system's message box.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;

}  // namespace

LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l, bool wide)
{
    DWORD_PTR answer = 0;
    (wide ? ::SendMessageTimeoutW : ::SendMessageTimeoutA)(window, message, w, l, SMTO_NORMAL, 5000, &answer);
    return static_cast<LRESULT>(answer);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() >= end) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

std::string Text(HWND window)
{
    std::string text(static_cast<size_t>(Send(window, WM_GETTEXTLENGTH)) + 1, '\0');
    text.resize(static_cast<size_t>(Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

HWND Child(HWND parent, const char* windowClass, const std::string& text)
{
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        ::GetClassNameA(child, name, sizeof name);
        if (::_stricmp(name, windowClass) == 0 && (text.empty() || Text(child) == text)) {
            return child;
        }
    }
    return nullptr;
}

UINT MenuCommand(HMENU menu, const std::string& label)
{
    UINT id = 0;
    for (int i = 0; i < ::GetMenuItemCount(menu) && id == 0; ++i) {
        char text[128] = {};
        ::GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        id = ::GetSubMenu(menu, i) ? MenuCommand(::GetSubMenu(menu, i), label) : label == text ? ::GetMenuItemID(menu, i) : 0;
    }
    return id;
}

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    for (LRESULT i = 0, count = Send(combo, CB_GETCOUNT); i < count; ++i) {
        std::wstring wide(static_cast<size_t>(Send(combo, CB_GETLBTEXTLEN, i, 0, true)) + 1, L'\0');
        wide.resize(static_cast<size_t>(Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()), true)));
        items.emplace_back(wide.begin(), wide.end());  // drive names are plain ASCII
    }
    return items;
}

std::vector<HWND> Dialogs(DWORD processId, HWND except)
{
    std::vector<HWND> found;
    for (HWND window = nullptr; (window = ::FindWindowExA(nullptr, window, "#32770", nullptr)) != nullptr;) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && window != except && ::IsWindowVisible(window)) {
            found.push_back(window);
        }
    }
    return found;
}

Box WaitForBox(DWORD processId, HWND except)
{
    Box box;
    WaitUntil([&] {
        const auto dialogs = Dialogs(processId, except);
        return (box.window = dialogs.empty() ? nullptr : dialogs.front()) != nullptr;
    });
    if (box.window) {
        box.owner = ::GetWindow(box.window, GW_OWNER);
        box.what = Text(box.window) + ": " + Text(::GetDlgItem(box.window, kMessageBoxTextId));
        // A box without icon keeps the icon control, hidden and empty.
        const HWND icon = ::GetDlgItem(box.window, kMessageBoxIconId);
        box.hasIcon = icon && ::IsWindowVisible(icon) && Send(icon, STM_GETICON) != 0;
    }
    return box;
}

HWND WaitForDialog(DWORD processId, const std::string& caption)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND dialog : Dialogs(processId)) {
            found = Text(dialog) == caption ? dialog : found;
        }
        return found != nullptr;
    });
    return found;
}

bool Dismiss(const Box& box)
{
    ::PostMessageA(box.window, WM_COMMAND, IDOK, 0);
    return WaitUntil([&] { return !::IsWindow(box.window); });
}

}  // namespace ui
