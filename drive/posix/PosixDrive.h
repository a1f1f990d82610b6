// The drive on a POSIX system (Linux): a block device or an image file,
// opened exclusively (O_EXCL on a device, which the kernel refuses while it is
// mounted or held; a lock on a file), for reading alone when only read, with
// direct I/O so that every request reaches the medium and a bad sector fails
// alone. Each request is pread or pwrite; errno is classified right after it.
#pragma once

#include "drive/Drive.h"

class PosixDrive : public Drive {
public:
    PosixDrive(int fd, uint32_t blockBytes) : m_fd(fd), m_blockBytes(blockBytes) {}
    ~PosixDrive() override;
    PosixDrive(const PosixDrive&) = delete;
    PosixDrive& operator=(const PosixDrive&) = delete;

    DriveError QueryGeometry(DriveGeometry& geometry) override;
    TransferResult Read(unsigned char* buffer, uint64_t offset, uint32_t bytes) override;
    TransferResult Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes) override;
    // fsync: what an image file or a loop device holds in the page cache
    // reaches the medium, and a write error there shows.
    DriveError Flush() override;
    // The floppy driver keeps the disk's write-protect tab in its drive state
    // (read at the open; it leaves the block device's read-only flag at 0);
    // the SCSI disk driver sets the read-only flag from the tab. An image file
    // has no tab and counts as writable, whatever its permissions.
    DriveError AskWritable() override;

private:
    int m_fd;
    uint32_t m_blockBytes;  // direct I/O's alignment: the device's logical block
};

class PosixDriveSystem : public DriveSystem {
public:
    std::unique_ptr<Drive> Open(const FloppyDrive& drive, DriveUse use, DriveError& error) override;
    // Page-aligned, from the C library.
    DriveBuffer AllocateBuffer(size_t bytes) override;
    // "Could not open /dev/sdb for reading: Permission denied".
    std::string OpenFailureText(const FloppyDrive& drive, DriveUse use, int code) override;
};

// What a system error of an open or a request says of the drive.
DriveFailure FailureOfErrno(int errnoValue);
