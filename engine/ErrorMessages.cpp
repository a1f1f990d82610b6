#include "engine/ErrorMessages.h"

#include <cstdio>

#ifdef _WIN32
#include "drive/win32/FloppyPlatform.h"
#endif

namespace {

class SystemMessages : public ErrorMessages {
public:
    void Show(const std::string& text, const char* caption) override
    {
#ifdef _WIN32
        CurrentPlatform().MessageBoxA(nullptr, text.c_str(), caption, MB_ICONERROR | MB_OK);
#else
        static_cast<void>(caption);  // there is no window to show
        std::fprintf(stderr, "ERROR: %s\n", text.c_str());
        std::fflush(stderr);
#endif
    }
};

}  // namespace

void ShowEngineError(const std::string& text, const char* caption)
{
    static SystemMessages s_system;
    ScopedErrorMessagesOverride::Current(s_system).Show(text, caption);
}
