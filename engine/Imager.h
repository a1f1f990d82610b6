// What the user interface calls: drive discovery and the two imaging
// operations. Each operation reports its own failures in one message box and
// returns an EngineStatus; 0 means every one of the 80 cylinders was copied.
#pragma once

#include <iosfwd>
#include <string>

#include "engine/Status.h"

// Cylinders 0 to 79, whatever the drive reports.
constexpr int kCylinderCount = 80;

// The letters ('A' to 'Z', ascending) of every drive the platform types as
// removable. Writes each existing drive letter, one a line, to `trace`.
std::string FindFloppyDrives(std::ostream& trace);

// Reads the disk in drive `letter` into cyl00.bin .. cyl79.bin in `folder`,
// overwriting files that are there.
int CopyDiskToFiles(char letter, const std::string& folder);

// Writes cyl00.bin .. cyl79.bin from `folder` onto the disk in drive `letter`.
int CopyFilesToDisk(char letter, const std::string& folder);

// The file of one cylinder: folder + "\cyl" + two-digit number + ".bin" (with
// the system's separator). The folder is used as given, so a trailing
// backslash doubles.
std::string CylinderFileName(const std::string& folder, int cylinder);

// `folder` and `name` joined by the system's path separator (a backslash on
// Windows), the folder used as given: a trailing separator doubles.
std::string JoinPath(const std::string& folder, const std::string& name);
