#include "drive/Drive.h"

#ifdef _WIN32
#include "drive/win32/Win32Drive.h"
using NativeDriveSystem = Win32DriveSystem;
#else
#include "drive/posix/PosixDrive.h"
using NativeDriveSystem = PosixDriveSystem;
#endif

namespace {
DriveSystem* g_pOverride = nullptr;
}

DriveSystem& CurrentDriveSystem()
{
    static NativeDriveSystem s_real;
    return g_pOverride ? *g_pOverride : s_real;
}

ScopedDriveSystemOverride::ScopedDriveSystemOverride(DriveSystem& system) : m_pPrevious(g_pOverride)
{
    g_pOverride = &system;
}

ScopedDriveSystemOverride::~ScopedDriveSystemOverride()
{
    g_pOverride = m_pPrevious;
}
