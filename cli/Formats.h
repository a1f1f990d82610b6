// How the command line names a disk's format: "1.44 MB (80 x 2 x 18 x 512)"
// for the standard ones (platform/FloppyFormats.h), the bytes and the
// geometry for any other.
#pragma once

#include <string>

#include "platform/Win32.h"

std::string FormatOfGeometry(const DISK_GEOMETRY& geometry);

// A set or an image tells its cylinder size only.
std::string FormatOfCylinderSize(long long bytes);
