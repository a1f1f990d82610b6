// The rescue map's reader on any text: ddrescue's mapfiles, ours, edited ones.
// A map it accepts must be what the rescue relies on: areas end to end from 0;
// one that map shows, a status for every sector of its geometry.
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "engine/DiskRescue.h"
#include "engine/RescueMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream shown(text);
    RescueResult disk;
    if (ReadRescueMap(shown, disk).empty() &&
        (disk.sectors.size() != size_t{80} * disk.tracksPerCylinder * disk.sectorsPerTrack ||
         disk.sectors.find_first_not_of("+-?") != std::string::npos)) {
        std::abort();
    }
    std::istringstream file(text);
    MapFile map;
    if (!ParseMap(file, map).empty()) {
        return 0;
    }
    long long end = 0;
    for (const MapFile::Area& area : map.areas) {
        if (area.first != end || area.size <= 0 || area.size > map.bytes - end) {
            std::abort();
        }
        end += area.size;
    }
    if (end != map.bytes) {
        std::abort();
    }
    return 0;
}
