#include "drive/Drive.h"

#include <cstring>

#ifdef _WIN32
#include "drive/win32/Win32Drive.h"
using NativeDriveSystem = Win32DriveSystem;
#else
#include "drive/posix/PosixDrive.h"
using NativeDriveSystem = PosixDriveSystem;
#endif

std::string SystemErrorText(int code)
{
#ifdef _WIN32
    return "error " + std::to_string(code);
#else
    return std::strerror(code);
#endif
}

DriveSystem& CurrentDriveSystem()
{
    static NativeDriveSystem s_real;
    return ScopedDriveSystemOverride::Current(s_real);
}
