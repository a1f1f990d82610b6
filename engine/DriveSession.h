// What every operation on a drive begins with, for the engine's own sources:
// the drive opened, its geometry asked, the cylinder buffer allocated; and
// the cylinder transfers with the dialog's messages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "drive/Drive.h"
#include "engine/ErrorMessages.h"

// The drive and the cylinder buffer of one running operation. Members are
// destroyed in reverse order: the drive is closed first, then the buffer is
// released, and both only after the operation's message has been dismissed.
struct OpenedDrive {
    DriveBuffer buffer;
    std::unique_ptr<Drive> drive;
    DriveGeometry geometry{};
    uint32_t bytesPerCylinder = 0;

    unsigned char* Buffer() const { return buffer.Data(); }
    // The file operations count bytes in an int.
    int FileBytes() const { return static_cast<int>(bytesPerCylinder); }
};

// Heads x sectors per track x bytes per sector, or false when that is 0 or
// does not fit in 32 bits.
bool ComputeBytesPerCylinder(const DriveGeometry& geometry, uint32_t& bytesPerCylinder);

// The engine's status of a failed open: InUse, NoDisk or DriveNotOpened.
int StatusOfOpenFailure(const DriveError& error);

// Opens the drive, asks its geometry and allocates one buffer of `cylinders`
// cylinders. Returns 0, or the status after its message.
int OpenSession(const FloppyDrive& drive, DriveUse use, OpenedDrive& session, int cylinders = 1);

// Reads one cylinder into the start of the buffer. Returns 0, 4 (refused) or
// 6 (failed or short); shows nothing.
int ReadCylinder(const OpenedDrive& session, int cylinder);

// Writes one cylinder from the start of the buffer. Returns 0, or 1 or 4
// after one "Error" message.
int WriteCylinder(const OpenedDrive& session, int cylinder);

// Makes every byte written so far reach the disk. Returns 0, or 1 after the
// write path's "Error" message.
int FlushSession(const OpenedDrive& session);
