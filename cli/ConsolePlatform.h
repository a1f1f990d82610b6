// The platform of the command line: the real one, except that the engine's
// message boxes become lines on standard error. Nothing pops up.
#pragma once

#include <string>

#include "platform/NativePlatform.h"

class ConsolePlatform : public NativePlatform {
public:
    // Writes "ERROR: <text>" and answers OK, as the only button would.
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
};

// One "ERROR: <text>" line on standard error, below any progress line.
void ShowError(const std::string& text);
