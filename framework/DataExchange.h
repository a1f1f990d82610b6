// Dialog data exchange: a dialog's DoDataExchange lists each control and the
// member it exchanges with, one line each; UpdateData runs that list in one
// direction.
#pragma once

#include <string>

#include "framework/Controls.h"
#include "platform/Win32.h"

enum class DataDirection { ToControls, ToMembers };

class DataExchange {
public:
    DataExchange(HWND dialog, DataDirection direction) : m_hDialog(dialog), m_direction(direction) {}

    bool ToMembers() const { return m_direction == DataDirection::ToMembers; }

    // The control's window text.
    void Text(int id, std::string& value) const;

    // The radio group that starts at control `firstId` and ends before the
    // next control with WS_GROUP: the index of the checked button counting
    // radio buttons only, -1 when none is checked. Towards the controls the
    // button at that index is checked and the others cleared.
    void Radio(int firstId, int& index) const;

    // A combo box's selection. Towards the member: its current text. Towards
    // the control: the first item that begins with the text is selected
    // (searching from the start of the list); a combo with an edit field that
    // has no such item shows the text as it is.
    void ComboText(int id, std::string& value) const;

    // Attaches a control wrapper to its window (both directions).
    void Control(int id, Window& control) const;

private:
    HWND Item(int id) const { return ::GetDlgItem(m_hDialog, id); }

    HWND m_hDialog;
    DataDirection m_direction;
};

// Whether a child control is a radio button (it answers WM_GETDLGCODE so).
bool IsRadioButton(HWND control);
