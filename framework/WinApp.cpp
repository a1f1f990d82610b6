#include "framework/WinApp.h"

namespace {
WinApp* g_pApp = nullptr;

std::string ExecutablePath()
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}
}  // namespace

WinApp::WinApp()
{
    g_pApp = this;
}

WinApp::~WinApp()
{
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

WinApp* WinApp::Current()
{
    return g_pApp;
}

bool WinApp::InitInstance()
{
    return true;
}

int WinApp::Run()
{
    m_name = BaseNameWithoutExtension(ExecutablePath());
    if (!InitInstance()) {
        return 0;
    }
    return MessageLoop();
}

int WinApp::MessageLoop()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

std::string BaseNameWithoutExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

std::string ApplicationName()
{
    if (g_pApp && !g_pApp->AppName().empty()) {
        return g_pApp->AppName();
    }
    return BaseNameWithoutExtension(ExecutablePath());
}
