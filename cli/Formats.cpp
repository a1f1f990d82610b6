#include "cli/Formats.h"

#include <climits>

#include "engine/Imager.h"
#include "drive/FloppyFormats.h"

namespace {

const FloppyFormat* StandardFormat(uint32_t tracks, uint32_t sectors, uint32_t bytesPerSector)
{
    if (tracks != kFloppyHeads || bytesPerSector != kFloppySectorBytes) {
        return nullptr;
    }
    return FloppyFormatOfSize(1LL * kCylinderCount * tracks * sectors * bytesPerSector);
}

std::string Geometry(uint32_t tracks, uint32_t sectors, uint32_t bytesPerSector)
{
    return "(" + std::to_string(kCylinderCount) + " x " + std::to_string(tracks) + " x " +
           std::to_string(sectors) + " x " + std::to_string(bytesPerSector) + ")";
}

}  // namespace

std::string FormatOfGeometry(const DriveGeometry& geometry)
{
    const uint32_t tracks = geometry.heads;
    const uint32_t sectors = geometry.sectorsPerTrack;
    const uint32_t bytes = geometry.bytesPerSector;
    const FloppyFormat* format = StandardFormat(tracks, sectors, bytes);
    const std::string name = format != nullptr
                                 ? format->name
                                 : std::to_string(1ULL * kCylinderCount * tracks * sectors * bytes) + " bytes";
    return name + " " + Geometry(tracks, sectors, bytes);
}

std::string FormatOfCylinderSize(long long bytes)
{
    // A sparse file may claim any size: 80 times it need not fit a number.
    const bool countable = bytes >= 0 && bytes <= LLONG_MAX / kCylinderCount;
    const FloppyFormat* format = countable ? FloppyFormatOfSize(bytes * kCylinderCount) : nullptr;
    if (format != nullptr) {
        return std::string(format->name) + " " +
               Geometry(kFloppyHeads, format->sectorsPerTrack, kFloppySectorBytes);
    }
    const std::string total = countable ? std::to_string(bytes * kCylinderCount) + " bytes " : "";
    return total + "(" + std::to_string(kCylinderCount) + " cylinders of " + std::to_string(bytes) + " bytes)";
}
