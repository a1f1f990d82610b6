// The FAT reader on any disk image, as files and an archive read one: what it
// reports must lie inside the image, and its DFXML must be whole. Each input
// is read as it is, and again as the start of a 1.44 MB disk (zeros after it),
// whose size lets the media byte stand for the boot sector's parameters.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/Dfxml.h"
#include "archive/FatVolume.h"
#include "engine/DiskRescue.h"

namespace {

void Read(const uint8_t* data, size_t size)
{
    std::string sectors;
    ScanRescueMarkers(data, static_cast<uint32_t>(size), sectors);
    FatOptions options;
    options.deleted = true;
    const FatReport report = ReadFatVolume(data, size, sectors, options);
    for (const FatFile& file : report.files) {
        for (const ByteRun& run : file.runs) {
            if (run.offset > size || run.bytes > size - run.offset) {
                std::abort();
            }
        }
        if (!file.damagedSectors.empty() && file.damagedSectors.back() >= sectors.size()) {
            std::abort();
        }
    }
    const std::string dfxml = WriteDfxml(report, data, size, {"disk.img", "fuzz"});
    if (dfxml.compare(dfxml.size() - 9, 9, "</dfxml>\n") != 0) {
        std::abort();
    }
    BootSectorSizeWarning(data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kDisk = 1474560;
    Read(data, size);
    if (size < kDisk) {
        std::vector<uint8_t> disk(data, data + size);
        disk.resize(kDisk);
        Read(disk.data(), disk.size());
    }
    return 0;
}
