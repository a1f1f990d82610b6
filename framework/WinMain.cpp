// The process entry point of a program built on this framework.
#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    WinApp* app = WinApp::Current();
    return app ? app->Run() : 0;
}
