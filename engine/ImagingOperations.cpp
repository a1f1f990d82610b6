// The two imaging operations: a whole disk to its 80 cylinder image files and
// back, one cylinder buffer carrying every cylinder.
#include <string>

#include "engine/CylinderFiles.h"
#include "engine/DriveAccess.h"
#include "engine/Imager.h"
#include "platform/FloppyPlatform.h"
#include "platform/ScopedHandle.h"

namespace {

void ShowEngineError(const std::string& text, const char* caption = "Error")
{
    CurrentPlatform().MessageBoxA(nullptr, text.c_str(), caption, MB_ICONERROR | MB_OK);
}

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

// The steps both operations begin with: open the drive, ask its geometry,
// allocate one cylinder buffer. Returns 0, or the status after its message.
int OpenDrive(char letter, OpenedDrive& session)
{
    HANDLE hDrive = INVALID_HANDLE_VALUE;
    if (OpenFloppyDrive(letter, hDrive) != EngineStatus::Success ||
        hDrive == INVALID_HANDLE_VALUE) {
        return EngineStatus::DriveNotOpened;
    }
    session.drive.Reset(hDrive);

    // A cylinder of no bytes, or of more than 32 bits, is no disk to copy.
    if (GetDriveGeometry(hDrive, session.geometry) != EngineStatus::Success ||
        !ComputeBytesPerCylinder(session.geometry, session.bytesPerCylinder)) {
        ShowEngineError("Disk is either missing or damaged", "ERROR");
        return EngineStatus::Failure;
    }

    session.buffer.Reset(CurrentPlatform().HeapAlloc(session.bytesPerCylinder));
    if (!session.buffer) {
        ShowEngineError("Out of memory");
        return EngineStatus::OutOfMemory;
    }
    return EngineStatus::Success;
}

// Reports a cylinder image file that cannot go onto the disk; returns the
// operation's status.
int ReportUnusableFile(int fileStatus, const std::string& folder, int cylinder)
{
    if (fileStatus == EngineStatus::FileSizeMismatch) {
        ShowEngineError(CylinderFileName(folder, cylinder) +
                        " does not match the size of a cylinder, imaging failed.");
        return EngineStatus::Failure;
    }
    ShowEngineError("Error reading files from " + folder);
    return fileStatus;
}

// The whole set is checked before the first cylinder is written, so a set of
// the wrong size never leaves a disk half overwritten.
int CheckFileSet(const OpenedDrive& session, const std::string& folder)
{
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const int checked = CheckCylinderFileSize(session.FileBytes(), folder, cylinder);
        if (checked != EngineStatus::Success) {
            return ReportUnusableFile(checked, folder, cylinder);
        }
    }
    return EngineStatus::Success;
}

}  // namespace

int CopyDiskToFiles(char letter, const std::string& folder)
{
    OpenedDrive session;
    const int opened = OpenDrive(letter, session);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const int read = ReadCylinder(session.drive.Get(), session.Buffer(), cylinder,
                                      session.geometry);
        if (read != EngineStatus::Success) {
            ShowEngineError("Could not read from disk.  Disk might be damaged or missing.");
            return read;
        }
        const int written =
            WriteCylinderFile(session.Buffer(), session.FileBytes(), folder, cylinder);
        if (written != EngineStatus::Success) {
            ShowEngineError("Could not write to disk");
            return written;
        }
    }
    return EngineStatus::Success;
}

int CopyFilesToDisk(char letter, const std::string& folder)
{
    OpenedDrive session;
    const int opened = OpenDrive(letter, session);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    const int checked = CheckFileSet(session, folder);
    if (checked != EngineStatus::Success) {
        return checked;
    }
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        // Checked again: a file can change while the disk is written.
        const int read =
            ReadCylinderFile(session.Buffer(), session.FileBytes(), folder, cylinder);
        if (read != EngineStatus::Success) {
            return ReportUnusableFile(read, folder, cylinder);
        }
        // WriteCylinder has shown its own message.
        const int written = WriteCylinder(session.drive.Get(), session.Buffer(),
                                          session.bytesPerCylinder, cylinder);
        if (written != EngineStatus::Success) {
            return written;
        }
    }
    return EngineStatus::Success;
}
