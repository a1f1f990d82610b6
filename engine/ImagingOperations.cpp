// The operations on a drive: a whole disk to its 80 cylinder image files and
// back, verification of a disk against its files, and reading a disk for its
// checksums. One buffer carries every cylinder.
#include <algorithm>
#include <string>

#include "engine/CylinderFiles.h"
#include "engine/DriveSession.h"
#include "engine/Observing.h"

namespace {

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

// Reads one cylinder of the disk into the start of the buffer, with the
// dialog's message when it fails.
int ReadDiskCylinder(const OpenedDrive& session, int cylinder)
{
    const int read = ReadCylinder(session, cylinder);
    if (read != EngineStatus::Success) {
        ShowEngineError("Could not read from disk.  Disk might be damaged or missing.");
    }
    return read;
}

// Reads the disk cylinder by cylinder into the start of the buffer; `each`
// then does the operation's work with it (0 goes on, any other status stops
// the operation with it), and the observer is told.
template <typename Each>
int ForEachDiskCylinder(const OpenedDrive& session, CylinderObserver* observer, Each each)
{
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const int read = ReadDiskCylinder(session, cylinder);
        if (read != EngineStatus::Success) {
            return read;
        }
        const int done = each(cylinder);
        if (done != EngineStatus::Success) {
            return done;
        }
        if (!GoOnAfter(observer, cylinder, session.Buffer(), session.bytesPerCylinder)) {
            return EngineStatus::Interrupted;
        }
    }
    return EngineStatus::Success;
}

// Writes each file onto its cylinder.
int WriteFilesToDisk(const OpenedDrive& session, const std::string& folder,
                     CylinderObserver* observer)
{
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        // Checked again: a file can change while the disk is written.
        const int read =
            ReadCylinderFile(session.Buffer(), session.FileBytes(), folder, cylinder);
        if (read != EngineStatus::Success) {
            return ReportUnusableFile(read, folder, cylinder);
        }
        // WriteCylinder has shown its own message.
        const int written = WriteCylinder(session, cylinder);
        if (written != EngineStatus::Success) {
            return written;
        }
        if (!GoOnAfter(observer, cylinder, session.Buffer(), session.bytesPerCylinder)) {
            return EngineStatus::Interrupted;
        }
    }
    return EngineStatus::Success;
}

}  // namespace

int CopyDiskToFiles(char letter, const std::string& folder)
{
    return CopyDiskToFiles(FloppyDrive(letter), folder, nullptr);
}

int CopyFilesToDisk(char letter, const std::string& folder)
{
    return CopyFilesToDisk(FloppyDrive(letter), folder, nullptr);
}

int CopyDiskToFiles(const FloppyDrive& drive, const std::string& folder, CylinderObserver* observer)
{
    OpenedDrive session;
    const int opened = OpenSession(drive, DriveUse::Reading, session);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    return ForEachDiskCylinder(session, observer, [&](int cylinder) {
        const int written =
            WriteCylinderFile(session.Buffer(), session.FileBytes(), folder, cylinder);
        if (written != EngineStatus::Success) {
            ShowEngineError("Could not write to disk");
        }
        return written;
    });
}

int CopyFilesToDisk(const FloppyDrive& drive, const std::string& folder, CylinderObserver* observer)
{
    OpenedDrive session;
    const int opened = OpenSession(drive, DriveUse::Writing, session);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    const int checked = CheckFileSet(session, folder);
    if (checked != EngineStatus::Success) {
        return checked;
    }
    // Interrupted too: the cylinders said to be written must be on the disk.
    const int written = WriteFilesToDisk(session, folder, observer);
    if (written != EngineStatus::Success && written != EngineStatus::Interrupted) {
        return written;
    }
    const int flushed = FlushSession(session);
    return flushed == EngineStatus::Success ? written : flushed;
}

int VerifyDiskAgainstFiles(const FloppyDrive& drive, const std::string& folder,
                           CylinderObserver* observer)
{
    // One buffer of two cylinders: the disk's in the first half, the file's in
    // the second.
    OpenedDrive session;
    const int opened = OpenSession(drive, DriveUse::Reading, session, 2);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    const int checked = CheckFileSet(session, folder);
    if (checked != EngineStatus::Success) {
        return checked;
    }
    const unsigned char* disk = session.Buffer();
    unsigned char* file = session.Buffer() + session.bytesPerCylinder;
    return ForEachDiskCylinder(session, observer, [&](int cylinder) {
        const int fileRead = ReadCylinderFile(file, session.FileBytes(), folder, cylinder);
        if (fileRead != EngineStatus::Success) {
            return ReportUnusableFile(fileRead, folder, cylinder);
        }
        const auto differ = std::mismatch(disk, disk + session.bytesPerCylinder, file);
        if (differ.first != disk + session.bytesPerCylinder) {
            const long long byte = differ.first - disk;
            const long long offset = 1LL * session.bytesPerCylinder * cylinder + byte;
            ShowEngineError("Verification failed: cylinder " + std::to_string(cylinder) +
                            " of the disk differs from " +
                            CylinderFileName(folder, cylinder) + " at byte " +
                            std::to_string(byte) + " (byte " + std::to_string(offset) +
                            " of the disk)");
            return EngineStatus::Differs;
        }
        return EngineStatus::Success;
    });
}

int ReadDisk(const FloppyDrive& drive, CylinderObserver* observer)
{
    OpenedDrive session;
    const int opened = OpenSession(drive, DriveUse::Reading, session);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    return ForEachDiskCylinder(session, observer, [](int) { return EngineStatus::Success; });
}

int ProbeDrive(const FloppyDrive& drive, DriveGeometry& geometry)
{
    DriveError error;
    const std::unique_ptr<Drive> opened = CurrentDriveSystem().Open(drive, DriveUse::Reading, error);
    if (!opened) {
        return StatusOfOpenFailure(error);
    }
    uint32_t bytesPerCylinder = 0;
    if (opened->QueryGeometry(geometry).Failed() || !ComputeBytesPerCylinder(geometry, bytesPerCylinder)) {
        return EngineStatus::NoDisk;
    }
    return EngineStatus::Success;
}

WriteProtection AskWriteProtection(const FloppyDrive& drive, int& error)
{
    DriveError failed;
    const std::unique_ptr<Drive> opened = CurrentDriveSystem().Open(drive, DriveUse::Reading, failed);
    if (opened) {
        failed = opened->AskWritable();
    }
    error = failed.code;
    if (!failed.Failed()) {
        return WriteProtection::Writable;
    }
    return opened && failed.failure == DriveFailure::WriteProtected ? WriteProtection::Protected
                                                                     : WriteProtection::Unknown;
}
