// Raw floppy access through the platform seam. Each transfer is one
// overlapped request for a byte range (a whole cylinder, a track, a sector),
// waited for at once in 500 ms slices.
#include "drive/win32/Win32Drive.h"

#include "drive/win32/FloppyPlatform.h"

namespace {

// The data rights of a raw volume transfer (3), not the generic read/write
// rights; asked for reading too, as the dialog always has.
constexpr DWORD kVolumeDataAccess = FILE_READ_DATA | FILE_WRITE_DATA;
constexpr DWORD kWaitSliceMs = 500;

DriveError ErrorOf(DWORD error)
{
    return {FailureOfWin32Error(error), static_cast<int>(error)};
}

// Why CreateFile refused the volume: a volume held by another program, and
// Windows' answers for a drive without a disk (2, and 31 from the floppy
// driver); any other refusal is told by its number.
DriveFailure OpenFailureOf(DWORD error)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
        return DriveFailure::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_GEN_FAILURE:
        return DriveFailure::NoDisk;
    case ERROR_ACCESS_DENIED:
        return DriveFailure::NoPermission;
    default:
        return DriveFailure::Other;
    }
}

// Windows' media types of the standard formats, both ways.
constexpr struct {
    FloppyMedia media;
    MEDIA_TYPE type;
} kMediaTypes[] = {
    {FloppyMedia::Kb720, F3_720_512},
    {FloppyMedia::Mb1_2, F5_1Pt2_512},
    {FloppyMedia::Mb1_44, F3_1Pt44_512},
    {FloppyMedia::Mb2_88, F3_2Pt88_512},
};

FloppyMedia MediaOf(MEDIA_TYPE type)
{
    for (const auto& known : kMediaTypes) {
        if (known.type == type) {
            return known.media;
        }
    }
    return FloppyMedia::Unknown;
}

// Waits in slices until the request's event is signalled. When the wait itself
// fails, the request is cancelled and waited for, so that it cannot land in a
// buffer the caller is about to release; `error` is why the wait failed.
bool WaitForCompletion(HANDLE hDrive, OVERLAPPED& overlapped, DWORD& error)
{
    FloppyPlatform& platform = CurrentPlatform();
    DWORD waited = WAIT_TIMEOUT;
    do {
        waited = platform.WaitForSingleObject(overlapped.hEvent, kWaitSliceMs);
    } while (waited == WAIT_TIMEOUT);
    if (waited == WAIT_OBJECT_0) {
        return true;
    }
    error = platform.GetLastError();
    platform.CancelIo(hDrive);
    DWORD ignored = 0;
    platform.GetOverlappedResult(hDrive, &overlapped, &ignored, TRUE);
    return false;
}

// Moves `bytes` bytes at byte `offset` of the disk; `issue` starts the
// ReadFile or WriteFile with the request's OVERLAPPED record. The error is
// read right after the call that failed.
template <typename Issue>
TransferResult TransferRange(HANDLE hDrive, uint64_t offset, uint32_t bytes, Issue issue)
{
    FloppyPlatform& platform = CurrentPlatform();
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);

    // Manual reset, not signalled, unnamed; closed when the request is over.
    const ScopedPlatformHandle event(platform.CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return {0, TransferStop::NotStarted, ErrorOf(platform.GetLastError())};
    }
    overlapped.hEvent = event.Get();

    if (!issue(overlapped)) {
        const DWORD error = platform.GetLastError();
        if (error != ERROR_IO_PENDING) {
            return {0, TransferStop::Refused, ErrorOf(error)};
        }
        DWORD waitError = 0;
        if (!WaitForCompletion(hDrive, overlapped, waitError)) {
            return {0, TransferStop::Abandoned, ErrorOf(waitError)};
        }
    }

    // Also after an immediate success: only the completion tells how many
    // bytes really moved, and a short transfer leaves stale bytes behind.
    DWORD transferred = 0;
    if (!platform.GetOverlappedResult(hDrive, &overlapped, &transferred, FALSE)) {
        return {transferred, TransferStop::Failed, ErrorOf(platform.GetLastError())};
    }
    if (transferred != bytes) {
        return {transferred, TransferStop::Failed, {DriveFailure::Other, 0}};
    }
    return {transferred, TransferStop::None, {}};
}

void FreeHeapBlock(void* block)
{
    CurrentPlatform().HeapFree(block);
}

}  // namespace

DriveFailure FailureOfWin32Error(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return DriveFailure::None;
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:  // Wine's answer for a bad sector of a block device
        return DriveFailure::Medium;
    // The drive says its disk has gone or been changed: asking the disk again
    // would not tell another disk from this one.
    case ERROR_INVALID_HANDLE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_MEDIA_CHANGED:
    case ERROR_DEVICE_NOT_CONNECTED:
        return DriveFailure::Gone;
    case ERROR_NO_MEDIA_IN_DRIVE:
        return DriveFailure::NoDisk;
    case ERROR_WRITE_PROTECT:
        return DriveFailure::WriteProtected;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return DriveFailure::InUse;
    case ERROR_ACCESS_DENIED:
        return DriveFailure::NoPermission;
    default:
        return DriveFailure::Other;
    }
}

MEDIA_TYPE Win32MediaType(FloppyMedia media)
{
    for (const auto& known : kMediaTypes) {
        if (known.media == media) {
            return known.type;
        }
    }
    return Unknown;
}

DriveError Win32Drive::QueryGeometry(DriveGeometry& geometry)
{
    DISK_GEOMETRY answer{};
    DWORD returned = 0;
    if (!CurrentPlatform().DeviceIoControl(m_drive.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                           &answer, sizeof(DISK_GEOMETRY), &returned, nullptr)) {
        return ErrorOf(CurrentPlatform().GetLastError());
    }
    geometry.cylinders = static_cast<uint64_t>(answer.Cylinders.QuadPart);
    geometry.heads = answer.TracksPerCylinder;
    geometry.sectorsPerTrack = answer.SectorsPerTrack;
    geometry.bytesPerSector = answer.BytesPerSector;
    geometry.media = MediaOf(answer.MediaType);
    return {};
}

TransferResult Win32Drive::Read(unsigned char* buffer, uint64_t offset, uint32_t bytes)
{
    const HANDLE hDrive = m_drive.Get();
    return TransferRange(hDrive, offset, bytes, [&](OVERLAPPED& overlapped) {
        return CurrentPlatform().ReadFile(hDrive, buffer, bytes, nullptr, &overlapped);
    });
}

TransferResult Win32Drive::Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes)
{
    const HANDLE hDrive = m_drive.Get();
    return TransferRange(hDrive, offset, bytes, [&](OVERLAPPED& overlapped) {
        return CurrentPlatform().WriteFile(hDrive, buffer, bytes, nullptr, &overlapped);
    });
}

DriveError Win32Drive::Flush()
{
    FloppyPlatform& platform = CurrentPlatform();
    return platform.FlushFileBuffers(m_drive.Get()) ? DriveError{} : ErrorOf(platform.GetLastError());
}

DriveError Win32Drive::AskWritable()
{
    FloppyPlatform& platform = CurrentPlatform();
    DWORD returned = 0;
    if (platform.DeviceIoControl(m_drive.Get(), IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        return {};
    }
    return ErrorOf(platform.GetLastError());
}

std::unique_ptr<Drive> Win32DriveSystem::Open(const FloppyDrive& drive, DriveUse, DriveError& error)
{
    FloppyPlatform& platform = CurrentPlatform();
    const HANDLE hDrive = platform.CreateFileA(drive.devicePath.c_str(), kVolumeDataAccess, 0, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (hDrive == INVALID_HANDLE_VALUE) {
        const DWORD code = platform.GetLastError();
        error = {OpenFailureOf(code), static_cast<int>(code)};
        return nullptr;
    }
    error = {};
    return std::make_unique<Win32Drive>(hDrive);
}

DriveBuffer Win32DriveSystem::AllocateBuffer(size_t bytes)
{
    return DriveBuffer(CurrentPlatform().HeapAlloc(bytes), FreeHeapBlock);
}

std::string Win32DriveSystem::OpenFailureText(const FloppyDrive&, DriveUse, int code)
{
    return "Could not open drive for READ/WRITE access.  Error: " + std::to_string(code);
}
