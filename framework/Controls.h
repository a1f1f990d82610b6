// Thin wrappers for the controls of a dialog. They do not own their windows:
// the dialog's window destroys its controls with itself.
#pragma once

#include <string>

#include "platform/Win32.h"

class Window {
public:
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND GetHwnd() const { return m_hWnd; }

    void EnableWindow(bool enable) const { ::EnableWindow(m_hWnd, enable ? TRUE : FALSE); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    void SetWindowText(const std::string& text) const { ::SetWindowTextA(m_hWnd, text.c_str()); }
    std::string GetWindowText() const;

private:
    HWND m_hWnd = nullptr;
};

class ComboBox : public Window {
public:
    // The index of the new item (in sorted position for CBS_SORT), or CB_ERR.
    int AddString(const std::string& text) const;
    int GetCount() const;
    int GetCurSel() const;
    void SetCurSel(int index) const;
    // The item's text, empty for an index out of range.
    std::string GetLBText(int index) const;
};

class Edit : public Window {};

class Button : public Window {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

// The text of any window, in the system code page.
std::string WindowText(HWND hwnd);
