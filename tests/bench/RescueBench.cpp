// Requests a rescue makes of the simulated drive (1.44 MB disk, 3 retries),
// against the plain read, for a healthy disk and a few kinds of damage; each
// request costs the drive at least one revolution. scripts/bench.sh runs it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/DiskRescue.h"
#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

struct Damage { const char* name; std::vector<std::pair<int, int>> runs; };  // first sector, count

// The requests and the sectors copied by the plain read (`rescue` false) or
// by a rescue of a disk with this damage.
std::pair<size_t, size_t> Measure(const Damage& damage, bool rescue)
{
    SimulatedFloppy floppy(k144, Pattern(k144.MediumBytes(), 0, 'B'));
    for (const auto& [first, count] : damage.runs) {
        floppy.platform.AddBadArea(first * 512ull, count * 512ull, ERROR_CRC);
    }
    TempFolder folder;
    RescueResult result;
    const bool complete = (rescue ? RescueDiskToFiles('A', folder.Path(), {}, result)
                                  : CopyDiskToFiles('A', folder.Path())) == 0;
    const size_t reads = floppy.platform.CallsTo(Api::ReadFile).size();
    const size_t perCylinder = 2 * k144.sectorsPerTrack;
    const size_t copied = rescue ? static_cast<size_t>(std::count(result.sectors.begin(), result.sectors.end(), '+'))
                                 : (complete ? reads : reads - 1) * perCylinder;
    return {reads, copied};
}

}  // namespace

int main()
{
    std::vector<std::pair<int, int>> scattered;
    for (int cylinder = 5; cylinder < 80; cylinder += 8) {  // 10 sectors, each on a cylinder of its own
        scattered.push_back({cylinder * 36 + 2, 1});
    }
    const Damage damages[] = {{"healthy disk", {}}, {"1 unreadable sector", {{634, 1}}},
                              {"10 unreadable sectors", scattered}, {"a bad track", {{1440, 18}}}};
    std::printf("%-24s %22s %22s\n", "", "plain read", "rescue");
    std::printf("%-24s %10s %11s %10s %11s\n", "damage", "requests", "sectors", "requests", "sectors");
    for (const Damage& damage : damages) {
        const auto plain = Measure(damage, false), rescue = Measure(damage, true);
        std::printf("%-24s %10zu %11zu %10zu %11zu\n", damage.name, plain.first, plain.second, rescue.first,
                    rescue.second);
    }
    return 0;
}
