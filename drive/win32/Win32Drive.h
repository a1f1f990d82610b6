// The drive on Windows: the raw volume (\\.\X:) through the FloppyPlatform
// seam, opened exclusively for overlapped transfers, each request waited for
// at once in 500 ms slices; the cylinder buffers from the process heap.
#pragma once

#include "drive/Drive.h"
#include "drive/win32/ScopedHandle.h"

class Win32Drive : public Drive {
public:
    explicit Win32Drive(HANDLE hDrive) : m_drive(hDrive) {}
    DriveError QueryGeometry(DriveGeometry& geometry) override;
    TransferResult Read(unsigned char* buffer, uint64_t offset, uint32_t bytes) override;
    TransferResult Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes) override;
    DriveError Flush() override;
    // IOCTL_DISK_IS_WRITABLE: 19 for a protected disk.
    DriveError AskWritable() override;

private:
    ScopedPlatformHandle m_drive;
};

class Win32DriveSystem : public DriveSystem {
public:
    std::unique_ptr<Drive> Open(const FloppyDrive& drive, DriveUse use, DriveError& error) override;
    DriveBuffer AllocateBuffer(size_t bytes) override;
    // "Could not open drive for READ/WRITE access.  Error: 5", as users know it.
    std::string OpenFailureText(const FloppyDrive& drive, DriveUse use, int code) override;
};

// What a Win32 error of a request says of the drive.
DriveFailure FailureOfWin32Error(DWORD error);

// The Win32 media type of a floppy medium.
MEDIA_TYPE Win32MediaType(FloppyMedia media);
