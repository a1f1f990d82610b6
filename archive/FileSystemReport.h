// A disk's file system as an archive records it: in the log, in bag-info.txt
// (and from there in the catalog) and beside the picture of the disk.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive/FatVolume.h"
#include "archive/BagIt.h"

struct FileSystemReport {
    FatReport fat;
    std::string bootSectorWarning;  // empty when the boot sector fits the image
};

// The report of the disk image `image` whose sectors have these statuses
// (as a rescue leaves them).
FileSystemReport ReportFileSystem(const unsigned char* image, size_t bytes, const std::string& sectors);

// One line per file (not folder) the damage hit: "DOCS/A.TXT: sectors 634-635".
std::vector<std::string> DamagedFileLines(const FatReport& report);

// The lines of the log: the file system's type, label, number of files and
// range of dates, each damaged file with its sectors, the boot sector's
// warning and the reader's problems; or that no FAT file system was found.
std::string FileSystemLog(const FileSystemReport& report);

// The fields of bag-info.txt: Trakoni-File-System, -Volume-Label, -Files,
// -Damaged-Files (a count), one -Damaged-File per file, -File-Dates
// ("earliest..latest", days) and -Boot-Sector-Warning.
BagTags FileSystemTags(const FileSystemReport& report);
