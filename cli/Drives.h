// The DRIVE operand: a letter on Windows (A:, a); on a POSIX system a block
// device (/dev/sdb, /dev/fd0, a link to one) or an image file. Checked here
// before the engine opens it, so that a wrong device never gets that far.
#pragma once

#include <optional>
#include <string>

#include "drive/FloppyDrive.h"

// Why `word` has not the form of a DRIVE, or an empty text: a letter on
// Windows; elsewhere a path, whose checks come with TakeDrive.
std::string WhyNotADriveOperand(const std::string& word);

// Whether `info` takes `word` for a drive rather than a folder or an image
// file: a letter on Windows, a block device elsewhere.
bool NamesADrive(const std::string& word);

// Whether a drive that `word` names is there to be waited on for a disk: on
// Windows a removable drive of that letter; elsewhere a block device.
bool DriveIsThere(const std::string& word);

// The drive a DRIVE operand names, unchecked: for asking it whether a disk
// is in it.
FloppyDrive DriveNamed(const std::string& word);

// The drive of a DRIVE operand, after the checks of a drive (on POSIX: a
// whole block device of a floppy's size with a disk in it, not mounted, that
// the user may read and write, and for `forWriting` not write-protected).
// None after an error line saying why and how to fix it.
std::optional<FloppyDrive> TakeDrive(const std::string& word, bool forWriting);

// The floppy drives as `list` shows them, one a line: "A:  1.44 MB (...)".
void ListDrives();
