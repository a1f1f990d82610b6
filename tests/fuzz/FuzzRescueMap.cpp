// The rescue map's reader on any text: ddrescue's mapfiles, ours, edited ones.
// A map it accepts must be what the rescue relies on: areas end to end from 0.
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "engine/RescueMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
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
