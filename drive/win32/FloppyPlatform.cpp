#include "drive/win32/FloppyPlatform.h"

#include "drive/win32/Win32Platform.h"

FloppyPlatform& CurrentPlatform()
{
    static Win32Platform s_real;
    return ScopedPlatformOverride::Current(s_real);
}
