// The commands of trakoni-cli, each ending in the program's exit status.
#pragma once

#include <string>

#include "cli/Arguments.h"

namespace ExitStatus {
constexpr int Success = 0;
constexpr int Failed = 1;        // the copy failed; the message says why
constexpr int Usage = 2;         // the command line is wrong
constexpr int Differs = 3;       // verification found a difference
constexpr int Incomplete = 4;    // a rescue left sectors unreadable
constexpr int Interrupted = 130; // Ctrl+C stopped the copy
}  // namespace ExitStatus

// Runs a command that ParseArguments accepted.
int RunCommand(const Arguments& arguments);

// The format of the disk in the drive ("1.44 MB (80 x 2 x 18 x 512)"), asked
// without reading it. Returns Success, or Failed after an error line (no
// disk, the drive in use or not opened).
int FormatOfDiskIn(char letter, std::string& format);
