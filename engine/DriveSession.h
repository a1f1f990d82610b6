// What every operation on a drive begins with, for the engine's own sources:
// the drive opened, its geometry asked, the cylinder buffer allocated.
#pragma once

#include <cstdint>
#include <string>

#include "engine/DriveAccess.h"
#include "engine/FloppyDrive.h"
#include "platform/ScopedHandle.h"

// Shows one engine error message box.
void ShowEngineError(const std::string& text, const char* caption = "Error");

// The drive and the cylinder buffer of one running operation. Members are
// destroyed in reverse order: the drive is closed first, then the buffer is
// released, and both only after the operation's message has been dismissed.
struct OpenedDrive {
    ScopedHeapBlock buffer;
    ScopedPlatformHandle drive;
    DISK_GEOMETRY geometry{};
    uint32_t bytesPerCylinder = 0;

    unsigned char* Buffer() const { return static_cast<unsigned char*>(buffer.Get()); }
    // The file operations count bytes in an int.
    int FileBytes() const { return static_cast<int>(bytesPerCylinder); }
};

// Opens the drive, asks its geometry and allocates one buffer of `cylinders`
// cylinders. Returns 0, or the status after its message.
int OpenDrive(const FloppyDrive& drive, DriveUse use, OpenedDrive& session, int cylinders = 1);
