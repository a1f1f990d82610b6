#include "framework/DataExchange.h"

bool IsRadioButton(HWND control)
{
    return (::SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

void DataExchange::Text(int id, std::string& value) const
{
    const HWND control = Item(id);
    if (ToMembers()) {
        value = WindowText(control);
    } else {
        ::SetWindowTextA(control, value.c_str());
    }
}

void DataExchange::Radio(int firstId, int& index) const
{
    if (ToMembers()) {
        index = -1;
    }
    int button = 0;
    HWND control = Item(firstId);
    while (control) {
        if (IsRadioButton(control)) {
            if (ToMembers()) {
                if (::SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                    index = button;
                }
            } else {
                ::SendMessageA(control, BM_SETCHECK, button == index ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++button;
        }
        control = ::GetWindow(control, GW_HWNDNEXT);
        if (control && (::GetWindowLongA(control, GWL_STYLE) & WS_GROUP)) {
            break;
        }
    }
}

void DataExchange::ComboText(int id, std::string& value) const
{
    const HWND combo = Item(id);
    if (ToMembers()) {
        // A drop-down list answers with its selected item's text.
        value = WindowText(combo);
        return;
    }
    const LRESULT found = ::SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(value.c_str()));
    if (found == CB_ERR) {
        // Ignored by a drop-down list, shown by a combo with an edit field.
        ::SetWindowTextA(combo, value.c_str());
    }
}

void DataExchange::Control(int id, Window& control) const
{
    control.Attach(Item(id));
}
