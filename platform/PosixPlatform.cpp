#include "platform/PosixPlatform.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/FloppyFormats.h"

namespace {

// Direct I/O wants buffers, offsets and sizes aligned to the device's logical
// block: 512 bytes on every floppy. Heap blocks are aligned to a page.
constexpr size_t kDirectAlignment = 512;
constexpr size_t kHeapAlignment = 4096;

thread_local DWORD t_lastError = ERROR_SUCCESS;

// What a HANDLE of this platform points to: an open drive, or the event of
// a request (which is complete before anyone waits for it).
struct Descriptor {
    int fd;
    bool event;
};

Descriptor* DescriptorOf(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<Descriptor*>(handle);
}

int DriveFd(HANDLE handle)
{
    const Descriptor* descriptor = DescriptorOf(handle);
    return descriptor != nullptr && !descriptor->event ? descriptor->fd : -1;
}

BOOL Fail(DWORD error)
{
    t_lastError = error;
    return FALSE;
}

// At the open, a drive without a medium (ENOMEDIUM from the SCSI disk, ENXIO
// from the floppy driver) is "no disk", as Windows' floppy driver answers (31).
DWORD OpenErrorOfErrno(int errnoValue)
{
    return errnoValue == ENOMEDIUM || errnoValue == ENXIO ? ERROR_GEN_FAILURE
                                                          : Win32ErrorOfErrno(errnoValue);
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
bool MediumBytes(int fd, LONGLONG& bytes)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return false;
    }
    if (!S_ISBLK(status.st_mode)) {
        bytes = status.st_size;
        return true;
    }
    floppy_struct format{};
    if (::ioctl(fd, FDGETPRM, &format) == 0 && format.size != 0) {
        bytes = LONGLONG{format.size} * kFloppySectorBytes;
        return true;
    }
    unsigned long long size = 0;
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
        return false;
    }
    bytes = static_cast<LONGLONG>(size);
    return true;
}

// Moves `bytes` bytes at `offset` with `move` (pread or pwrite) until all
// have moved, the medium ends, or it fails. Returns the errno (0 for none)
// and the bytes moved.
template <typename Move>
int MoveAll(Move move, unsigned char* buffer, size_t bytes, off_t offset, size_t& moved)
{
    moved = 0;
    while (moved < bytes) {
        const ssize_t done = move(buffer + moved, bytes - moved, offset + static_cast<off_t>(moved));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            return errno;
        }
        if (done == 0) {
            break;
        }
        moved += static_cast<size_t>(done);
    }
    return 0;
}

// A page-aligned block of at least `bytes` bytes (aligned_alloc wants a
// multiple of the alignment), or null.
void* AlignedBlock(size_t bytes)
{
    const size_t pages = bytes == 0 ? 1 : (bytes + kHeapAlignment - 1) / kHeapAlignment;
    return std::aligned_alloc(kHeapAlignment, pages * kHeapAlignment);
}

// An aligned copy of a caller's buffer that direct I/O cannot take as it is.
class Bounce {
public:
    Bounce(void* buffer, size_t bytes)
        : m_buffer(static_cast<unsigned char*>(buffer)),
          m_needed(reinterpret_cast<uintptr_t>(buffer) % kDirectAlignment != 0),
          m_aligned(m_needed ? static_cast<unsigned char*>(AlignedBlock(bytes)) : nullptr)
    {
    }
    ~Bounce() { std::free(m_aligned); }
    Bounce(const Bounce&) = delete;
    Bounce& operator=(const Bounce&) = delete;

    bool Failed() const { return m_needed && m_aligned == nullptr; }
    unsigned char* Data() const { return m_needed ? m_aligned : m_buffer; }

private:
    unsigned char* m_buffer;
    bool m_needed;
    unsigned char* m_aligned;
};

off_t OffsetOf(const OVERLAPPED& overlapped)
{
    return static_cast<off_t>(ULONGLONG{overlapped.OffsetHigh} << 32 | overlapped.Offset);
}

// Records the request's outcome for GetOverlappedResult. The request is
// complete: the call itself succeeds, as an overlapped one that finished at
// once does.
BOOL Complete(OVERLAPPED* overlapped, int error, size_t moved, DWORD* done)
{
    overlapped->Internal = static_cast<ULONG_PTR>(error);
    overlapped->InternalHigh = moved;
    if (done != nullptr) {
        *done = static_cast<DWORD>(moved);
    }
    return TRUE;
}

}  // namespace

DWORD Win32ErrorOfErrno(int errnoValue)
{
    switch (errnoValue) {
    case 0:
        return ERROR_SUCCESS;
    case ENODATA:  // the SCSI disk's "Medium Error"
    case EIO:      // also a disk pulled out: the rescue asks the disk again
    case EILSEQ:
    case EBADMSG:
        return ERROR_CRC;  // the medium failed this range
    case ENOMEDIUM:
    case ENXIO:  // the floppy driver's empty drive
        return ERROR_NO_MEDIA_IN_DRIVE;
    case ENODEV:
        return ERROR_DEV_NOT_EXIST;  // the device has gone
    case ETIMEDOUT:
        return ERROR_NOT_READY;
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_IO_DEVICE;
    }
}

HANDLE PosixPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                  SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    struct stat status {};
    if (::stat(path, &status) != 0) {
        Fail(OpenErrorOfErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    const bool device = S_ISBLK(status.st_mode);
    if (!device && !S_ISREG(status.st_mode)) {
        Fail(ERROR_INVALID_NAME);  // neither a drive nor an image of one
        return INVALID_HANDLE_VALUE;
    }
    const bool writing = (access & (FILE_WRITE_DATA | GENERIC_WRITE)) != 0;
    // Exclusive: the kernel refuses a mounted block device, or one another
    // program holds exclusively, with EBUSY. An image file is locked instead.
    const int flags = (writing ? O_RDWR : O_RDONLY) | O_CLOEXEC | (device && shareMode == 0 ? O_EXCL : 0);
    // Opened for reading alone when only read: read permission is enough, and
    // a write-protected disk or a read-only image is what an archivist reads.
    const int fd = OpenDirect(path, flags);
    if (fd < 0) {
        Fail(OpenErrorOfErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (!device && shareMode == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        Fail(OpenErrorOfErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    return new Descriptor{fd, false};
}

BOOL PosixPlatform::DeviceIoControl(HANDLE device, DWORD code, void*, DWORD, void* out,
                                    DWORD outSize, DWORD* returned, OVERLAPPED*)
{
    const int fd = DriveFd(device);
    if (fd < 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (code != IOCTL_DISK_GET_DRIVE_GEOMETRY || out == nullptr || outSize < sizeof(DISK_GEOMETRY)) {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    LONGLONG bytes = 0;
    if (!MediumBytes(fd, bytes)) {
        return Fail(Win32ErrorOfErrno(errno));
    }
    if (bytes == 0) {
        return Fail(ERROR_NOT_READY);  // a drive with no disk in it
    }
    const FloppyFormat* format = FloppyFormatOfSize(bytes);
    if (format == nullptr) {
        return Fail(ERROR_NOT_SUPPORTED);  // no floppy of a standard format
    }
    FillFloppyGeometry(*format, *static_cast<DISK_GEOMETRY*>(out));
    if (returned != nullptr) {
        *returned = sizeof(DISK_GEOMETRY);
    }
    return TRUE;
}

BOOL PosixPlatform::ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                             OVERLAPPED* overlapped)
{
    const int fd = DriveFd(file);
    if (fd < 0 || overlapped == nullptr) {
        return Fail(fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    }
    Bounce bounce(buffer, bytes);
    if (bounce.Failed()) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    size_t moved = 0;
    const int error = MoveAll([fd](unsigned char* at, size_t n, off_t offset) { return ::pread(fd, at, n, offset); },
                              bounce.Data(), bytes, OffsetOf(*overlapped), moved);
    if (bounce.Data() != buffer) {
        std::memcpy(buffer, bounce.Data(), moved);
    }
    return Complete(overlapped, error, moved, done);
}

BOOL PosixPlatform::WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                              OVERLAPPED* overlapped)
{
    const int fd = DriveFd(file);
    if (fd < 0 || overlapped == nullptr) {
        return Fail(fd < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    }
    Bounce bounce(const_cast<void*>(buffer), bytes);
    if (bounce.Failed()) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (bounce.Data() != buffer) {
        std::memcpy(bounce.Data(), buffer, bytes);
    }
    size_t moved = 0;
    const int error = MoveAll([fd](unsigned char* at, size_t n, off_t offset) { return ::pwrite(fd, at, n, offset); },
                              bounce.Data(), bytes, OffsetOf(*overlapped), moved);
    return Complete(overlapped, error, moved, done);
}

BOOL PosixPlatform::CancelIo(HANDLE file)
{
    return DriveFd(file) >= 0 ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL PosixPlatform::FlushFileBuffers(HANDLE file)
{
    const int fd = DriveFd(file);
    if (fd < 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return ::fsync(fd) == 0 ? TRUE : Fail(Win32ErrorOfErrno(errno));
}

BOOL PosixPlatform::CloseHandle(HANDLE handle)
{
    Descriptor* descriptor = DescriptorOf(handle);
    if (descriptor == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const int closed = descriptor->event ? 0 : ::close(descriptor->fd);
    const int error = errno;
    delete descriptor;
    return closed == 0 ? TRUE : Fail(Win32ErrorOfErrno(error));
}

HANDLE PosixPlatform::CreateEventA(SECURITY_ATTRIBUTES*, BOOL, BOOL, const char*)
{
    return new Descriptor{-1, true};
}

DWORD PosixPlatform::WaitForSingleObject(HANDLE handle, DWORD)
{
    const Descriptor* descriptor = DescriptorOf(handle);
    if (descriptor == nullptr || !descriptor->event) {
        Fail(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WAIT_OBJECT_0;
}

BOOL PosixPlatform::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred,
                                        BOOL)
{
    if (DriveFd(file) < 0 || overlapped == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    }
    if (overlapped->Internal != 0) {
        return Fail(Win32ErrorOfErrno(static_cast<int>(overlapped->Internal)));
    }
    return TRUE;
}

DWORD PosixPlatform::GetLastError()
{
    return t_lastError;
}

void* PosixPlatform::HeapAlloc(SIZE_T bytes)
{
    return AlignedBlock(bytes);
}

BOOL PosixPlatform::HeapFree(void* block)
{
    std::free(block);
    return TRUE;
}

int PosixPlatform::MessageBoxA(HWND, const char* text, const char*, UINT)
{
    std::fprintf(stderr, "ERROR: %s\n", text);
    std::fflush(stderr);
    return IDOK;
}

DWORD PosixPlatform::GetLogicalDrives()
{
    return 0;
}

UINT PosixPlatform::GetDriveTypeA(const char*)
{
    return DRIVE_NO_ROOT_DIR;
}
