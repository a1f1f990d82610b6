// The commands of trakoni-cli, each ending in the program's exit status.
#pragma once

#include "cli/Arguments.h"
#include "drive/FloppyDrive.h"
#include "drive/Drive.h"

namespace ExitStatus {
constexpr int Success = 0;
constexpr int Failed = 1;        // the copy failed; the message says why
constexpr int Usage = 2;         // the command line is wrong
constexpr int Differs = 3;       // verification found a difference
constexpr int Incomplete = 4;    // a rescue left sectors unreadable
constexpr int Interrupted = 130; // Ctrl+C (SIGINT) stopped the copy
constexpr int Terminated = 143;  // SIGTERM stopped it (POSIX systems)
}  // namespace ExitStatus

// The exit status of an operation stopped by Ctrl+C (SIGINT) or SIGTERM.
int InterruptedStatus();

// Runs a command that ParseArguments accepted.
int RunCommand(const Arguments& arguments);

// Asks the disk's geometry without reading it, and keeps its size in `drive`
// for the operations that follow. Returns Success, or Failed after an error
// line (no disk, the drive in use or not opened).
int ProbeWithMessage(FloppyDrive& drive, DriveGeometry& geometry);
