#include "cli/ConsolePlatform.h"

#include <cstdio>

#include "cli/Progress.h"

int ConsolePlatform::MessageBoxA(HWND, const char* text, const char*, UINT)
{
    ShowError(text);
    return IDOK;
}

void ShowError(const std::string& text)
{
    ClearProgressLine();
    std::fprintf(stderr, "ERROR: %s\n", text.c_str());
    std::fflush(stderr);
}
