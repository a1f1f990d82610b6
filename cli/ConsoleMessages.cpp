#include "cli/ConsoleMessages.h"

#include <cstdio>

#include "cli/Progress.h"

void ConsoleMessages::Show(const std::string& text, const char*)
{
    ShowError(text);
}

void ShowError(const std::string& text)
{
    ClearProgressLine();
    std::fprintf(stderr, "ERROR: %s\n", text.c_str());
    std::fflush(stderr);
}
