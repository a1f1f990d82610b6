#include "drive/posix/PosixDrive.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Direct I/O wants buffers, offsets and sizes aligned to the device's logical
// block (BLKSSZGET): 512 bytes on every floppy, and for an image file.
constexpr uint32_t kFileBlockBytes = 512;
constexpr size_t kBufferAlignment = 4096;

DriveError ErrorOf(int errnoValue)
{
    return {FailureOfErrno(errnoValue), errnoValue};
}

// Opens `path` for `flags` with direct I/O, or without it on a file system
// that has none (tmpfs): an image file there goes through the page cache,
// flushed when the copy ends.
int OpenDirect(const char* path, int flags)
{
    const int fd = ::open(path, flags | O_DIRECT);
    if (fd >= 0 || errno != EINVAL) {
        return fd;
    }
    return ::open(path, flags);
}

// The size of the medium in the drive: the floppy driver's format where it
// answers (/dev/fdN), else the block device's size, or an image file's.
DriveError MediumBytes(int fd, long long& bytes)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return ErrorOf(errno);
    }
    if (!S_ISBLK(status.st_mode)) {
        bytes = status.st_size;
        return {};
    }
    floppy_struct format{};
    if (::ioctl(fd, FDGETPRM, &format) == 0 && format.size != 0) {
        bytes = static_cast<long long>(format.size) * kFloppySectorBytes;
        return {};
    }
    unsigned long long size = 0;
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
        return ErrorOf(errno);
    }
    bytes = static_cast<long long>(size);
    return {};
}

// Moves `bytes` bytes at `offset` with `move` (pread or pwrite) until all have
// moved or it fails. A request that moves nothing before the end of the
// medium finds the device gone: an unplugged USB drive answers so, no error.
template <typename Move>
TransferResult MoveAll(Move move, unsigned char* buffer, uint32_t bytes, uint64_t offset)
{
    TransferResult result;
    while (result.moved < bytes) {
        const ssize_t done = move(buffer + result.moved, bytes - result.moved,
                                  static_cast<off_t>(offset + result.moved));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            result.stop = TransferStop::Failed;
            result.error = done < 0 ? ErrorOf(errno) : DriveError{DriveFailure::Gone, 0};
            return result;
        }
        result.moved += static_cast<uint32_t>(done);
    }
    return result;
}

// An aligned copy of a caller's buffer that direct I/O cannot take as it is.
class Bounce {
public:
    Bounce(const unsigned char* buffer, uint32_t bytes, uint32_t alignment)
        : m_needed(reinterpret_cast<uintptr_t>(buffer) % alignment != 0),
          m_aligned(m_needed ? PosixDriveSystem().AllocateBuffer(bytes) : DriveBuffer())
    {
    }

    bool Failed() const { return m_needed && !m_aligned; }
    unsigned char* Data(const unsigned char* buffer) const
    {
        return m_needed ? m_aligned.Data() : const_cast<unsigned char*>(buffer);
    }

private:
    bool m_needed;
    DriveBuffer m_aligned;
};

TransferResult NoMemory()
{
    return {0, TransferStop::NotStarted, {DriveFailure::Other, ENOMEM}};
}

}  // namespace

DriveFailure FailureOfErrno(int errnoValue)
{
    switch (errnoValue) {
    case 0:
        return DriveFailure::None;
    case ENODATA:  // the SCSI disk's "Medium Error"
    case EIO:      // also a disk pulled out: the rescue asks the disk again
    case EILSEQ:
    case EBADMSG:
        return DriveFailure::Medium;
    case ENOMEDIUM:
    case ENXIO:  // the floppy driver's empty drive
        return DriveFailure::NoDisk;
    case ENODEV:
    case ENOENT:  // a device node that has gone with its drive
        return DriveFailure::Gone;
    case EROFS:
        return DriveFailure::WriteProtected;
    case EBUSY:  // a mounted device, or one held exclusively
    case EWOULDBLOCK:
        return DriveFailure::InUse;
    case EACCES:
    case EPERM:
        return DriveFailure::NoPermission;
    default:
        return DriveFailure::Other;
    }
}

PosixDrive::~PosixDrive()
{
    ::close(m_fd);
}

DriveError PosixDrive::QueryGeometry(DriveGeometry& geometry)
{
    long long bytes = 0;
    const DriveError failed = MediumBytes(m_fd, bytes);
    if (failed.Failed()) {
        return failed;
    }
    if (bytes == 0) {
        return {DriveFailure::NoDisk, ENOMEDIUM};
    }
    const FloppyFormat* format = FloppyFormatOfSize(bytes);
    if (format == nullptr) {
        return {DriveFailure::Other, EMEDIUMTYPE};  // no floppy of a standard format
    }
    geometry = {kFloppyCylinders, kFloppyHeads, format->sectorsPerTrack, kFloppySectorBytes, format->media};
    return {};
}

TransferResult PosixDrive::Read(unsigned char* buffer, uint64_t offset, uint32_t bytes)
{
    const Bounce bounce(buffer, bytes, m_blockBytes);
    if (bounce.Failed()) {
        return NoMemory();
    }
    const int fd = m_fd;
    const TransferResult read = MoveAll(
        [fd](unsigned char* at, size_t n, off_t from) { return ::pread(fd, at, n, from); },
        bounce.Data(buffer), bytes, offset);
    if (bounce.Data(buffer) != buffer) {
        std::memcpy(buffer, bounce.Data(buffer), read.moved);
    }
    return read;
}

TransferResult PosixDrive::Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes)
{
    const Bounce bounce(buffer, bytes, m_blockBytes);
    if (bounce.Failed()) {
        return NoMemory();
    }
    if (bounce.Data(buffer) != buffer) {
        std::memcpy(bounce.Data(buffer), buffer, bytes);
    }
    const int fd = m_fd;
    return MoveAll([fd](unsigned char* at, size_t n, off_t from) { return ::pwrite(fd, at, n, from); },
                   bounce.Data(buffer), bytes, offset);
}

DriveError PosixDrive::Flush()
{
    return ::fsync(m_fd) == 0 ? DriveError{} : ErrorOf(errno);
}

DriveError PosixDrive::AskWritable()
{
    struct stat status {};
    if (::fstat(m_fd, &status) != 0) {
        return ErrorOf(errno);
    }
    floppy_drive_struct drive{};
    int readOnly = 0;
    if (!S_ISBLK(status.st_mode)) {
        readOnly = 0;
    } else if (::ioctl(m_fd, FDGETDRVSTAT, &drive) == 0) {
        readOnly = (drive.flags & FD_DISK_WRITABLE) == 0;
    } else if (::ioctl(m_fd, BLKROGET, &readOnly) != 0) {
        return ErrorOf(errno);
    }
    return readOnly != 0 ? DriveError{DriveFailure::WriteProtected, EROFS} : DriveError{};
}

std::unique_ptr<Drive> PosixDriveSystem::Open(const FloppyDrive& drive, DriveUse use, DriveError& error)
{
    const char* path = drive.devicePath.c_str();
    struct stat status {};
    if (::stat(path, &status) != 0) {
        error = ErrorOf(errno);
        return nullptr;
    }
    const bool device = S_ISBLK(status.st_mode);
    if (!device && !S_ISREG(status.st_mode)) {
        error = {DriveFailure::Other, ENOTBLK};  // neither a drive nor an image of one
        return nullptr;
    }
    // Opened for reading alone when only read: read permission is enough, and
    // a write-protected disk or a read-only image is what an archivist reads.
    // Exclusive: the kernel refuses a mounted block device, or one another
    // program holds exclusively, with EBUSY. An image file is locked instead.
    const int flags = (use == DriveUse::Writing ? O_RDWR : O_RDONLY) | O_CLOEXEC | (device ? O_EXCL : 0);
    const int fd = OpenDirect(path, flags);
    if (fd < 0) {
        error = ErrorOf(errno);
        return nullptr;
    }
    if (!device && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = ErrorOf(errno);
        ::close(fd);
        return nullptr;
    }
    int blockBytes = 0;
    if (!device || ::ioctl(fd, BLKSSZGET, &blockBytes) != 0 || blockBytes <= 0) {
        blockBytes = static_cast<int>(kFileBlockBytes);
    }
    error = {};
    return std::make_unique<PosixDrive>(fd, static_cast<uint32_t>(blockBytes));
}

DriveBuffer PosixDriveSystem::AllocateBuffer(size_t bytes)
{
    // aligned_alloc wants a multiple of the alignment.
    const size_t blocks = bytes == 0 ? 1 : (bytes + kBufferAlignment - 1) / kBufferAlignment;
    return DriveBuffer(std::aligned_alloc(kBufferAlignment, blocks * kBufferAlignment), std::free);
}

std::string PosixDriveSystem::OpenFailureText(const FloppyDrive& drive, DriveUse use, int code)
{
    return "Could not open " + drive.name + (use == DriveUse::Writing ? " for reading and writing: " : " for reading: ") +
           SystemErrorText(code);
}
