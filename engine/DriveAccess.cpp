// Raw floppy access through the platform seam. Each transfer is one
// overlapped request for a byte range (a whole cylinder, a track, a sector),
// waited for at once in 500 ms slices.
#include "engine/DriveAccess.h"

#include <string>

#include "engine/Status.h"
#include "platform/FloppyPlatform.h"
#include "platform/ScopedHandle.h"

namespace {

// The data rights of a raw volume transfer (3), not the generic read/write
// rights.
constexpr DWORD kVolumeDataAccess = FILE_READ_DATA | FILE_WRITE_DATA;

DWORD AccessFor(DriveUse use)
{
#ifdef _WIN32
    static_cast<void>(use);
    return kVolumeDataAccess;
#else
    return use == DriveUse::Writing ? kVolumeDataAccess : FILE_READ_DATA;
#endif
}
constexpr DWORD kWaitSliceMs = 500;

void ShowDriveError(const std::string& text, const char* caption)
{
    CurrentPlatform().MessageBoxA(nullptr, text.c_str(), caption, MB_ICONERROR | MB_OK);
}

// These words on the write path too: the message users know.
int ShowWriteFailed()
{
    ShowDriveError("Read from disk failed.  Disk might be damaged or missing.", "Error");
    return EngineStatus::Failure;
}

std::string OpenFailureText(const FloppyDrive& drive, int status, DWORD error)
{
    switch (status) {
    case EngineStatus::DriveInUse:
        return "Drive is currently in use";
    case EngineStatus::NoDisk:
        return "There is no disk in drive " + drive.name;
    default:
        return "Could not open drive for READ/WRITE access.  Error: " +
               std::to_string(static_cast<int>(error));
    }
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
TransferResult TransferRange(HANDLE hDrive, ULONGLONG offset, uint32_t bytes, Issue issue)
{
    FloppyPlatform& platform = CurrentPlatform();
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);

    // Manual reset, not signalled, unnamed; closed when the request is over.
    const ScopedPlatformHandle event(platform.CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return {TransferOutcome::NoEvent, platform.GetLastError()};
    }
    overlapped.hEvent = event.Get();

    if (!issue(overlapped)) {
        const DWORD error = platform.GetLastError();
        if (error != ERROR_IO_PENDING) {
            return {TransferOutcome::Refused, error};
        }
        DWORD waitError = 0;
        if (!WaitForCompletion(hDrive, overlapped, waitError)) {
            return {TransferOutcome::WaitFailed, waitError};
        }
    }

    // Also after an immediate success: only the completion tells how many
    // bytes really moved, and a short transfer leaves stale bytes behind.
    DWORD transferred = 0;
    if (!platform.GetOverlappedResult(hDrive, &overlapped, &transferred, FALSE)) {
        return {TransferOutcome::Failed, platform.GetLastError()};
    }
    return {transferred == bytes ? TransferOutcome::Complete : TransferOutcome::Failed, 0};
}

// 64 bits, so a drive with large cylinders cannot wrap onto its start.
ULONGLONG CylinderOffset(uint32_t bytesPerCylinder, int cylinder)
{
    return ULONGLONG{bytesPerCylinder} * static_cast<ULONGLONG>(cylinder);
}

}  // namespace

int OpenFloppyDriveQuietly(const FloppyDrive& drive, DriveUse use, HANDLE& hDrive, DWORD& error)
{
    FloppyPlatform& platform = CurrentPlatform();
    hDrive = platform.CreateFileA(drive.devicePath.c_str(), AccessFor(use), 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (hDrive != INVALID_HANDLE_VALUE) {
        error = ERROR_SUCCESS;
        return EngineStatus::Success;
    }
    error = platform.GetLastError();
    switch (error) {
    case ERROR_SHARING_VIOLATION:
        return EngineStatus::DriveInUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_GEN_FAILURE:
        return EngineStatus::NoDisk;
    default:
        return EngineStatus::DriveNotOpened;
    }
}

int OpenFloppyDrive(const FloppyDrive& drive, DriveUse use, HANDLE& hDrive)
{
    DWORD error = ERROR_SUCCESS;
    const int opened = OpenFloppyDriveQuietly(drive, use, hDrive, error);
    if (opened == EngineStatus::Success) {
        return EngineStatus::Success;
    }
    ShowDriveError(OpenFailureText(drive, opened, error), "ERROR");
    return EngineStatus::Failure;
}

int GetDriveGeometry(HANDLE hDrive, DISK_GEOMETRY& geometry)
{
    DWORD returned = 0;
    const BOOL answered = CurrentPlatform().DeviceIoControl(
        hDrive, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(DISK_GEOMETRY),
        &returned, nullptr);
    return answered ? EngineStatus::Success : EngineStatus::Failure;
}

bool ComputeBytesPerCylinder(const DISK_GEOMETRY& geometry, uint32_t& bytesPerCylinder)
{
    // Checked step by step so that the 64-bit products cannot overflow.
    const uint64_t bytesPerTrack = uint64_t{geometry.SectorsPerTrack} * geometry.BytesPerSector;
    if (bytesPerTrack > UINT32_MAX) {
        return false;
    }
    const uint64_t bytes = bytesPerTrack * geometry.TracksPerCylinder;
    if (bytes == 0 || bytes > UINT32_MAX) {
        return false;
    }
    bytesPerCylinder = static_cast<uint32_t>(bytes);
    return true;
}

TransferResult ReadRange(HANDLE hDrive, unsigned char* buffer, ULONGLONG offset, uint32_t bytes)
{
    return TransferRange(hDrive, offset, bytes, [&](OVERLAPPED& overlapped) {
        return CurrentPlatform().ReadFile(hDrive, buffer, bytes, nullptr, &overlapped);
    });
}

int ReadCylinder(HANDLE hDrive, unsigned char* buffer, int cylinder,
                 const DISK_GEOMETRY& geometry)
{
    uint32_t bytes = 0;
    if (!ComputeBytesPerCylinder(geometry, bytes)) {
        return EngineStatus::TransferFailed;
    }
    const TransferOutcome outcome =
        ReadRange(hDrive, buffer, CylinderOffset(bytes, cylinder), bytes).outcome;
    if (outcome == TransferOutcome::Complete) {
        return EngineStatus::Success;
    }
    return outcome == TransferOutcome::Refused ? EngineStatus::TransferRefused
                                               : EngineStatus::TransferFailed;
}

int WriteCylinder(HANDLE hDrive, const unsigned char* buffer, uint32_t bytesPerCylinder,
                  int cylinder)
{
    const ULONGLONG offset = CylinderOffset(bytesPerCylinder, cylinder);
    const TransferOutcome outcome =
        TransferRange(hDrive, offset, bytesPerCylinder, [&](OVERLAPPED& overlapped) {
            return CurrentPlatform().WriteFile(hDrive, buffer, bytesPerCylinder, nullptr,
                                               &overlapped);
        }).outcome;
    switch (outcome) {
    case TransferOutcome::Complete:
        return EngineStatus::Success;
    case TransferOutcome::NoEvent:
        ShowDriveError("Error: could not create overlapped event", "Error");
        return EngineStatus::Failure;
    case TransferOutcome::Refused:
        ShowDriveError("Error in communications", "Error");
        return EngineStatus::TransferRefused;
    case TransferOutcome::Failed:
    default:
        return ShowWriteFailed();
    }
}

int FlushDrive(HANDLE hDrive)
{
    return CurrentPlatform().FlushFileBuffers(hDrive) ? EngineStatus::Success : ShowWriteFailed();
}
