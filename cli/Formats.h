// How the command line names a disk's format: "1.44 MB (80 x 2 x 18 x 512)"
// for the standard ones (drive/FloppyFormats.h), the bytes and the
// geometry for any other.
#pragma once

#include <string>

#include "drive/Drive.h"

std::string FormatOfGeometry(const DriveGeometry& geometry);

// A set or an image tells its cylinder size only.
std::string FormatOfCylinderSize(long long bytes);
