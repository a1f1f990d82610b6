// Where the engine's error messages go: on Windows a message box through the
// platform (no owner, the error icon, OK only), elsewhere a line
// "ERROR: <text>" on standard error. The command line and tests put their own
// in place.
#pragma once

#include <string>

#include "drive/ScopedOverride.h"

class ErrorMessages {
public:
    virtual ~ErrorMessages() = default;
    virtual void Show(const std::string& text, const char* caption) = 0;
};

// Shows one engine error message.
void ShowEngineError(const std::string& text, const char* caption = "Error");

// Puts other messages in place for the lifetime of this object.
using ScopedErrorMessagesOverride = ScopedOverride<ErrorMessages>;
