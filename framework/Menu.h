// An owned menu. Once it is a window's menu bar the window destroys it with
// itself, so the wrapper destroys it only while no live window holds it.
#pragma once

#include "platform/Win32.h"

class Menu {
public:
    Menu() = default;
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    // Loads a menu resource, replacing any menu held. False when it is not there.
    bool Load(HINSTANCE module, UINT id);
    // Makes the menu the window's menu bar.
    bool SetAsMenuBar(HWND window);

    HMENU GetHandle() const { return m_hMenu; }

private:
    void Destroy();

    HMENU m_hMenu = nullptr;
    HWND m_hOwner = nullptr;
};
