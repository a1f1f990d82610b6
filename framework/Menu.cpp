#include "framework/Menu.h"

Menu::~Menu()
{
    Destroy();
}

bool Menu::Load(HINSTANCE module, UINT id)
{
    Destroy();
    m_hMenu = ::LoadMenuA(module, MAKEINTRESOURCEA(id));
    return m_hMenu != nullptr;
}

bool Menu::SetAsMenuBar(HWND window)
{
    if (!m_hMenu || !::SetMenu(window, m_hMenu)) {
        return false;
    }
    m_hOwner = window;
    return true;
}

void Menu::Destroy()
{
    if (!m_hMenu) {
        return;
    }
    const bool ownedByWindow = m_hOwner && ::IsWindow(m_hOwner) && ::GetMenu(m_hOwner) == m_hMenu;
    if (ownedByWindow) {
        ::SetMenu(m_hOwner, nullptr);
    }
    // A menu bar whose window is gone went with the window.
    if (!m_hOwner || ownedByWindow) {
        ::DestroyMenu(m_hMenu);
    }
    m_hMenu = nullptr;
    m_hOwner = nullptr;
}
