// The DRIVE operand: a letter on Windows (A:, a); on a POSIX system a block
// device (/dev/sdb, /dev/fd0, a link to one) or an image file. Checked here
// before the engine opens it, so that a wrong device never gets that far.
#pragma once

#include <string>

#include "engine/FloppyDrive.h"

// Whether `word` has the form of a DRIVE.
bool IsDriveOperand(const std::string& word);

// Whether `info` takes `word` for a drive rather than a folder or an image
// file: a letter on Windows, a block device elsewhere.
bool NamesADrive(const std::string& word);

// Fills `drive` from a DRIVE operand, after the checks of a drive (on POSIX:
// a whole block device of a floppy's size with a disk in it, not mounted, that
// the user may read and write, and for `forWriting` not write-protected).
// False after an error line saying why and how to fix it.
bool TakeDrive(const std::string& word, bool forWriting, FloppyDrive& drive);

// The floppy drives as `list` shows them, one a line: "A:  1.44 MB (...)".
void ListDrives();
