// The application: it runs the main dialog and ends when the dialog closes.
#pragma once

#include "framework/WinApp.h"

class ImagerApp : public WinApp {
public:
    bool InitInstance() override;
};

extern ImagerApp theApp;
