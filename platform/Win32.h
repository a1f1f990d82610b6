// The one place that includes the Windows headers, so every file sees the
// same macro set: narrow (ANSI) calls, no min/max macros, no rarely used APIs.
// Elsewhere the seam's Win32 vocabulary comes from PortableWin32.h, so that
// the engine's sources build unchanged for a POSIX platform.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#undef UNICODE
#undef _UNICODE

#include <windows.h>
#include <winioctl.h>

#else

#include "platform/PortableWin32.h"

#endif
