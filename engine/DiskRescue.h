// Rescue of a damaged disk into its cylinder files: everything readable is
// copied, every sector that stays unreadable is marked in its file and in a
// map, and a later run with the same map reads only what is still missing.
//
// The map is a mapfile as GNU ddrescue writes it: byte offsets in the disk
// image (the 80 cylinders end to end), "+" read, "-" unreadable, "?" not read
// yet; two comment lines name the folder and the disk it belongs to (a map
// that names no folder is taken for any). Sectors
// are named as on a floppy: cylinder and head from 0, sector from 1.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "drive/FloppyDrive.h"
#include "engine/Status.h"

constexpr int kDefaultRescueRetries = 3;

// What a sector that is not in its file holds instead, repeated from the
// sector's start: one found unreadable, one not tried yet.
inline constexpr char kBadSectorMarker[] = "TRAKONI BAD SECTOR ";
inline constexpr char kNotReadMarker[] = "TRAKONI NOT READ YET ";

// The passes of a rescue, in order: each cylinder in one request; the tracks
// of those that failed; the sectors of tracks that failed; then `retries`
// more passes over the sectors still unreadable. A piece that fails is split
// at once and only single sectors are retried, late: everything readable
// comes off the disk first, in case it fails further while being rescued.
enum class RescuePass { Cylinders, Tracks, Sectors, Retry };

// Where a rescue is: told before each request to the drive.
struct RescueProgress {
    RescuePass pass;
    int retry;       // 1 to `retries` in a retry pass, else 0
    int retries;
    int cylinder;    // the one the request is for
    int unreadable;  // sectors found unreadable so far
};

class RescueObserver {
public:
    virtual ~RescueObserver() = default;
    // False stops the rescue before this request, with status Interrupted;
    // the files and the map keep everything read until then.
    virtual bool GoOn(const RescueProgress& progress) = 0;
};

struct RescueOptions {
    int retries = kDefaultRescueRetries;
    std::string map;                     // empty: FOLDER\rescue.map
    RescueObserver* observer = nullptr;  // may be null
    // False: the map names no folder, as in a bag, whose files do not stay
    // where they were rescued into.
    bool mapNamesFolder = true;
};

// What a rescue left: the status of each sector of the disk image, in order,
// as in the map ('+', '-' or '?'), and the geometry to name them by.
struct RescueResult {
    std::string sectors;
    int sectorsPerTrack = 0;
    int tracksPerCylinder = 0;
};

// Rescues the disk in `drive` into cyl00.bin .. cyl79.bin in `folder`;
// the disk is only read. A sector not read holds its marker in its file.
// Without a map every file is written, first full of not-read markers; with
// one, only the files of areas not yet read. A map is refused, before any
// file is written, unless it is a mapfile of this disk's size naming this
// disk and this folder or none, and a sector it says was read reads as its file
// holds it. Returns Success when every sector was read, RescueIncomplete when
// some are unreadable, Interrupted, or the status of a failure after its
// message: the drive cannot be opened, the map is refused or a file cannot be
// read or written, or the disk has gone or changed (after any failed request
// the disk must still answer as before; the map keeps what was read, and the
// rest as not tried).
int RescueDiskToFiles(const FloppyDrive& drive, const std::string& folder,
                      const RescueOptions& options,
                      RescueResult& result);

// One line for the user, such as "2 of 2,880 sectors unreadable: cylinder 17
// head 1 sectors 5-6", naming the unreadable runs of each track.
std::string RescueSummary(const RescueResult& result);

// 2880 as "2,880", as the messages write a count.
std::string Grouped(size_t number);

// Appends one status for each 512-byte sector of `data`: '-' for a sector
// that holds exactly the bad-sector marker, '?' for the not-read marker, '+'
// for any other; so a set or an image a rescue left incomplete tells it.
void ScanRescueMarkers(const unsigned char* data, uint32_t bytes, std::string& sectors);

// The sectors and geometry of the map in `file`, which may come from any
// tool or person: each sector takes the status of an area that holds it
// whole ('+' or '-'; any other status, or none, is '?'); the geometry is the
// one its Trakoni-Disk line names, or else the floppy format of its size.
// Returns why it is no map of a floppy disk, or an empty text.
std::string ReadRescueMap(std::istream& file, RescueResult& result);
