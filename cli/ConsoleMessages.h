// The messages of the command line: the engine's become lines on standard
// error. Nothing pops up.
#pragma once

#include <string>

#include "engine/ErrorMessages.h"

class ConsoleMessages : public ErrorMessages {
public:
    // Writes "ERROR: <text>", as the engine's message box would show it.
    void Show(const std::string& text, const char* caption) override;
};

// One "ERROR: <text>" line on standard error, below any progress line.
void ShowError(const std::string& text);
