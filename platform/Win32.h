// The one place that includes the Windows headers, so every file sees the
// same macro set: narrow (ANSI) calls, no min/max macros, no rarely used APIs.
// Only the Windows build includes it.
#pragma once

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
