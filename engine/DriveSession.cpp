#include "engine/DriveSession.h"

#include "engine/Imager.h"

namespace {

// These words on the write path too: the message users know.
int ShowWriteFailed()
{
    ShowEngineError("Read from disk failed.  Disk might be damaged or missing.");
    return EngineStatus::Failure;
}

std::string OpenFailureText(const FloppyDrive& drive, DriveUse use, const DriveError& error)
{
    switch (StatusOfOpenFailure(error)) {
    case EngineStatus::DriveInUse:
        return "Drive is currently in use";
    case EngineStatus::NoDisk:
        return "There is no disk in drive " + drive.name;
    default:
        return CurrentDriveSystem().OpenFailureText(drive, use, error.code);
    }
}

// 64 bits, so a drive with large cylinders cannot wrap onto its start.
uint64_t CylinderOffset(uint32_t bytesPerCylinder, int cylinder)
{
    return uint64_t{bytesPerCylinder} * static_cast<uint64_t>(cylinder);
}

}  // namespace

bool ComputeBytesPerCylinder(const DriveGeometry& geometry, uint32_t& bytesPerCylinder)
{
    // Checked step by step so that the 64-bit products cannot overflow.
    const uint64_t bytesPerTrack = uint64_t{geometry.sectorsPerTrack} * geometry.bytesPerSector;
    if (bytesPerTrack > UINT32_MAX) {
        return false;
    }
    const uint64_t bytes = bytesPerTrack * geometry.heads;
    if (bytes == 0 || bytes > UINT32_MAX) {
        return false;
    }
    bytesPerCylinder = static_cast<uint32_t>(bytes);
    return true;
}

int StatusOfOpenFailure(const DriveError& error)
{
    switch (error.failure) {
    case DriveFailure::InUse:
        return EngineStatus::DriveInUse;
    case DriveFailure::NoDisk:
    case DriveFailure::Gone:  // the device is not there: no disk to read
        return EngineStatus::NoDisk;
    default:
        return EngineStatus::DriveNotOpened;
    }
}

int OpenSession(const FloppyDrive& drive, DriveUse use, OpenedDrive& session, int cylinders)
{
    DriveError error;
    session.drive = CurrentDriveSystem().Open(drive, use, error);
    if (!session.drive) {
        ShowEngineError(OpenFailureText(drive, use, error), "ERROR");
        return EngineStatus::DriveNotOpened;
    }

    // A cylinder of no bytes, or of more than 32 bits, is no disk to copy.
    if (session.drive->QueryGeometry(session.geometry).Failed() ||
        !ComputeBytesPerCylinder(session.geometry, session.bytesPerCylinder)) {
        ShowEngineError("Disk is either missing or damaged", "ERROR");
        return EngineStatus::Failure;
    }
    const unsigned long long bytes = 1ULL * session.bytesPerCylinder * kCylinderCount;
    if (drive.probedBytes != 0 && bytes != drive.probedBytes) {
        ShowEngineError("The disk in " + drive.name + " changed before it was read: it holds " +
                        std::to_string(bytes) + " bytes, not " +
                        std::to_string(drive.probedBytes) + " as before; nothing was read");
        return EngineStatus::Failure;
    }

    session.buffer = CurrentDriveSystem().AllocateBuffer(size_t{session.bytesPerCylinder} * cylinders);
    if (!session.buffer) {
        ShowEngineError("Out of memory");
        return EngineStatus::OutOfMemory;
    }
    return EngineStatus::Success;
}

int ReadCylinder(const OpenedDrive& session, int cylinder)
{
    const uint32_t bytes = session.bytesPerCylinder;
    const TransferResult read =
        session.drive->Read(session.Buffer(), CylinderOffset(bytes, cylinder), bytes);
    if (read.Complete()) {
        return EngineStatus::Success;
    }
    return read.stop == TransferStop::Refused ? EngineStatus::TransferRefused
                                              : EngineStatus::TransferFailed;
}

int WriteCylinder(const OpenedDrive& session, int cylinder)
{
    const uint32_t bytes = session.bytesPerCylinder;
    const TransferResult written =
        session.drive->Write(session.Buffer(), CylinderOffset(bytes, cylinder), bytes);
    switch (written.stop) {
    case TransferStop::None:
        return EngineStatus::Success;
    case TransferStop::NotStarted:
        ShowEngineError("Error: could not create overlapped event");
        return EngineStatus::Failure;
    case TransferStop::Refused:
        ShowEngineError("Error in communications");
        return EngineStatus::TransferRefused;
    default:
        return ShowWriteFailed();
    }
}

int FlushSession(const OpenedDrive& session)
{
    return session.drive->Flush().Failed() ? ShowWriteFailed() : EngineStatus::Success;
}
