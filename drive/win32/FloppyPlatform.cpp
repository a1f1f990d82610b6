#include "drive/win32/FloppyPlatform.h"

#include "drive/win32/Win32Platform.h"

namespace {
FloppyPlatform* g_pOverride = nullptr;
}

FloppyPlatform& CurrentPlatform()
{
    static Win32Platform s_real;
    return g_pOverride ? *g_pOverride : s_real;
}

ScopedPlatformOverride::ScopedPlatformOverride(FloppyPlatform& platform)
    : m_pPrevious(g_pOverride)
{
    g_pOverride = &platform;
}

ScopedPlatformOverride::~ScopedPlatformOverride()
{
    g_pOverride = m_pPrevious;
}
