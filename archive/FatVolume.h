// The FAT file system of a floppy disk (FAT12, or FAT16 where a disk carries
// it), read from the disk's whole image in memory: what files it holds, where
// each lies on the disk, and which of them the unreadable sectors hit.
//
// ReadFatVolume(image, bytes, sectors, options) takes
//   - the image: the disk's bytes, the cylinders end to end;
//   - the sectors' statuses as a rescue leaves them, one char per 512-byte
//     sector of the image: '+' read, '-' unreadable, '?' not read (a
//     RescueResult's `sectors`, or ScanRescueMarkers over the image); empty
//     or shorter than the image: the rest counts as read.
// and returns a FatReport:
//   - found: false with the one problem "no FAT file system found" when the
//     first sector holds neither a boot sector's parameters nor (old disks
//     without them) a media byte of a standard floppy format in the FAT;
//   - type "fat12" or "fat16", the label (the root's volume entry, else the
//     boot sector's), the block size (the sector size, as The Sleuth Kit
//     counts blocks), the block count of the image, and the sectors the boot
//     sector describes (fiwalk's block count);
//   - the files in the order of the folders (a folder before what it holds):
//     the full path with the long names ("DOCS/Letter to Ann.txt", no
//     leading "/"), the 8.3 name, size, attributes, the modification,
//     creation and access times, allocated or deleted (deleted only with
//     options.deleted), the byte runs of the image it lives in (a file's
//     trimmed to its size; a folder's whole clusters) and its damaged
//     sectors: those of its runs not read ('-' or '?'), by index, and the
//     FAT's sector that lost the rest of its chain;
//   - the problems, each one line naming the entry or the sector, e.g.
//     "the cluster chain of DOCS/A.TXT loops at cluster 12"; `stopped` when
//     one of them left the reader nothing to go on (a layout that does not
//     fit the image, the root folder unreadable);
//   - the earliest and latest modification date of the allocated files.
// The image is never read outside [image, image + bytes); every cluster is
// taken by one file or folder at most and every folder read once (64 levels
// and 260 bytes of path at most), so the work is bounded by the image's size
// whatever the disk holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A date and time as a FAT directory entry holds it (local time, two-second
// steps; the access time has a date only). `date` 0 means none.
struct FatTimestamp {
    uint16_t date = 0;
    uint16_t time = 0;
    uint8_t hundredths = 0;  // of the creation time: 0 to 199

    bool Present() const { return date != 0; }
    int Year() const { return 1980 + (date >> 9); }
    int Month() const { return (date >> 5) & 0x0F; }
    int Day() const { return date & 0x1F; }
    int Hour() const { return time >> 11; }
    int Minute() const { return (time >> 5) & 0x3F; }
    int Second() const { return (time & 0x1F) * 2 + hundredths / 100; }
};

// "YYYY-MM-DD HH:MM", as the file list shows a date; empty when none.
std::string FormatFatMinute(const FatTimestamp& stamp);
// "YYYY-MM-DDTHH:MM:SS", as DFXML writes a time; empty when none.
std::string FormatFatIso(const FatTimestamp& stamp);

namespace FatAttribute {
constexpr uint8_t ReadOnly = 0x01;
constexpr uint8_t Hidden = 0x02;
constexpr uint8_t System = 0x04;
constexpr uint8_t VolumeLabel = 0x08;
constexpr uint8_t Folder = 0x10;
constexpr uint8_t Archive = 0x20;
constexpr uint8_t LongName = 0x0F;  // all four low bits: a VFAT name piece
}  // namespace FatAttribute

// Bytes of the image, from its start.
struct ByteRun {
    uint64_t offset;
    uint64_t bytes;
};

struct FatFile {
    std::string path;       // with the long names, '/' between folders
    std::string name;       // the last of them, as the disk holds it (may hold '/')
    int parent = -1;        // the index of its folder in the report; -1: the root
    std::string shortName;  // "LETTER~1.TXT"
    uint32_t size = 0;
    uint8_t attributes = 0;
    FatTimestamp modified, created, accessed;
    bool allocated = true;  // false: a deleted entry
    uint32_t firstCluster = 0;
    std::vector<ByteRun> runs;
    std::vector<uint32_t> damagedSectors;  // indexes of 512-byte sectors

    bool IsFolder() const { return (attributes & FatAttribute::Folder) != 0; }
    bool Damaged() const { return !damagedSectors.empty(); }
};

struct FatReport {
    bool found = false;
    bool stopped = false;
    std::string type;   // "fat12" or "fat16"
    std::string label;  // without trailing blanks; empty when none
    uint32_t blockBytes = 512;
    uint64_t blockCount = 0;        // of the image
    uint32_t describedSectors = 0;  // by the boot sector (or media byte)
    std::vector<FatFile> files;
    std::vector<std::string> problems;
    FatTimestamp earliest, latest;  // of the allocated files' modifications
};

struct FatOptions {
    bool deleted = false;  // report deleted entries too
};

inline constexpr char kNoFatFileSystem[] = "no FAT file system found";

FatReport ReadFatVolume(const unsigned char* image, size_t bytes,
                        const std::string& sectors, const FatOptions& options);

// The files (not folders, not deleted entries) of a report, and those the
// damage hit: what a bag's catalog counts.
size_t CountFiles(const FatReport& report);
size_t CountDamagedFiles(const FatReport& report);

// Sectors as the file list and the log name them: "sectors 40-41, 57" (the
// disk image's 512-byte sectors, from 0, in order), "sector 12" for one.
std::string SectorsText(const std::vector<uint32_t>& sectors);

// A warning when the boot sector of a FAT disk describes another number of
// sectors than the image holds: "the boot sector describes 1,440 sectors
// (720 KB), the drive read 2,880"; empty when they agree or the image holds
// no FAT boot sector. `start` holds the first `startBytes` of an image of
// `imageBytes` (what was read before the rest).
std::string BootSectorSizeWarning(const unsigned char* start, size_t startBytes, uint64_t imageBytes);
inline std::string BootSectorSizeWarning(const unsigned char* image, size_t bytes)
{
    return BootSectorSizeWarning(image, bytes, bytes);
}
