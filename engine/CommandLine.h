// What the command-line program calls: the dialog's two copies with an
// observer, verification, conversion between a cylinder file set and one
// image file (the 80 cylinders end to end), reading any of the three for
// checksums, a quiet look into a drive, and the rescue of a damaged disk
// (DiskRescue.h). Like the dialog's operations, each reports its own failures
// in one message box and returns an EngineStatus.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/Drive.h"
#include "drive/FloppyDrive.h"
#include "engine/DiskRescue.h"
#include "engine/Imager.h"

// Told of each cylinder an operation has finished, and asked whether to go on.
class CylinderObserver {
public:
    virtual ~CylinderObserver() = default;
    // `data` holds the `bytes` bytes of `cylinder` as they were copied. False
    // stops the operation before the next cylinder, with status Interrupted;
    // after cylinder 79 the operation is complete whatever the answer.
    virtual bool CylinderDone(int cylinder, const unsigned char* data, uint32_t bytes) = 0;
};

// The dialog's operations (Imager.h), telling `observer` (may be null).
int CopyDiskToFiles(const FloppyDrive& drive, const std::string& folder, CylinderObserver* observer);
int CopyFilesToDisk(const FloppyDrive& drive, const std::string& folder, CylinderObserver* observer);

// Reads the disk once more and compares every cylinder with its file. Returns
// Differs after a message naming the first cylinder and byte that differ.
int VerifyDiskAgainstFiles(const FloppyDrive& drive, const std::string& folder,
                           CylinderObserver* observer);

// Reads every cylinder of the disk and hands it to `observer`.
int ReadDisk(const FloppyDrive& drive, CylinderObserver* observer);

// Opens the drive and asks its geometry, showing nothing. Returns Success with
// `geometry`, DriveInUse, NoDisk or DriveNotOpened.
int ProbeDrive(const FloppyDrive& drive, DriveGeometry& geometry);

// Whether the disk in the drive may be written, as its driver answers
// IOCTL_DISK_IS_WRITABLE (on Linux, the block device's read-only flag; an
// image file counts as writable, whatever its permissions). Unknown when the
// drive cannot be opened or does not answer, with the error in `error`.
// Shows nothing.
enum class WriteProtection { Protected, Writable, Unknown };
WriteProtection AskWriteProtection(const FloppyDrive& drive, int& error);

// What a folder holds of a cylinder file set. The set's cylinder size is the
// size most of its files have (the smaller on a tie).
struct FileSetSurvey {
    struct OddFile {
        int cylinder;
        long long bytes;
    };
    long long bytesPerCylinder = 0;  // 0 when no file is there
    int typical = -1;                // the lowest cylinder whose file has that size
    std::vector<int> missing;
    std::vector<OddFile> oddSizes;

    bool Complete() const { return missing.empty() && oddSizes.empty(); }
};
FileSetSurvey SurveyFileSet(const std::string& folder);
// The same of the files' sizes, each negative for a missing file.
using CylinderSizes = std::array<long long, kCylinderCount>;
FileSetSurvey SurveyCylinderSizes(const CylinderSizes& sizes);

// The cylinder size of a set or an image: a positive multiple of 512 that
// fits the file operations.
bool IsConvertibleCylinderSize(long long bytes);

// One image file from the 80 files of a set, and back. The set must be
// complete, of a convertible size; an image 80 times such a size. The target
// is created or replaced; on failure or interruption it is partly written.
int PackFilesToImage(const std::string& folder, const std::string& image,
                     CylinderObserver* observer);
int UnpackImageToFiles(const std::string& image, const std::string& folder,
                       CylinderObserver* observer);

// Read every cylinder of a set or an image, under the same rules, and hand
// it to `observer`.
int ReadFileSet(const std::string& folder, CylinderObserver* observer);
int ReadImage(const std::string& image, CylinderObserver* observer);
