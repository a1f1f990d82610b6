// The real platform of the system this is built for.
#pragma once

#ifdef _WIN32
#include "platform/Win32Platform.h"
using NativePlatform = Win32Platform;
#else
#include "platform/PosixPlatform.h"
using NativePlatform = PosixPlatform;
#endif
