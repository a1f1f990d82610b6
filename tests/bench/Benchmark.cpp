// The benchmark's measures inside the program (scripts/bench.sh runs it):
//   trakoni_bench copies LETTER FOLDER ROUNDS      disk to files, files to disk (as read and write)
//   trakoni_bench cli LETTER FOLDER IMAGE ROUNDS   write --verify, pack, unpack
//   trakoni_bench archive LETTER FOLDER ROUNDS     read --verify, and archive into FOLDER\collection
// time the work on the real platform: "RESULT NAME ok|failed BEST MEDIAN" (ms),
// and the flush of the drive within it as "RESULT NAME-flush ...";
//   trakoni_bench rescue
// counts the requests (each at least one revolution of a drive) of a rescue on
// the simulated drive against the plain read, for some kinds of damage.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/DiskRescue.h"
#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

// A command of trakoni-cli, timed each time it runs.
struct Operation {
    const char* name;
    std::vector<std::string> words;
    std::vector<double> times{};
    std::vector<double> flushTimes{};
    bool ok = true;
};

double NowMs()
{
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The real platform, its flushes of the drive timed.
class TimingPlatform : public Win32Platform {
public:
    BOOL FlushFileBuffers(HANDLE file) override
    {
        const double start = NowMs();
        const BOOL flushed = Win32Platform::FlushFileBuffers(file);
        flushMs += NowMs() - start, ++flushes;
        return flushed;
    }
    double flushMs = 0;
    int flushes = 0;
};

void Time(Operation& operation)
{
    TimingPlatform platform;
    ScopedPlatformOverride use(platform);
    SimulatedDrive recorded;  // the messages alone
    ScopedErrorMessagesOverride useMessages(recorded);
    Arguments arguments;
    const double start = NowMs();
    const int status = ParseArguments(operation.words, arguments).empty() ? RunCommand(arguments) : ExitStatus::Usage;
    operation.times.push_back(NowMs() - start);
    if (platform.flushes > 0) {
        operation.flushTimes.push_back(platform.flushMs);
    }
    operation.ok = operation.ok && status == 0 && recorded.messages.empty();
}

void PrintResult(const std::string& name, bool ok, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("RESULT %s %s %.3f %.3f\n", name.c_str(), ok ? "ok" : "failed", times.front(), times[times.size() / 2]);
}

// Requests and sectors copied by a read or rescue with bad runs (first, count).
std::pair<size_t, size_t> MeasureRead(const std::vector<std::pair<int, int>>& damage, bool rescue)
{
    SimulatedDisk floppy(k144, Pattern(k144.MediumBytes(), 0, 'B'));
    for (const auto& [first, count] : damage) {
        floppy.sim.AddFault({SimulatedDrive::Read, first * 512ull, count * 512ull, {DriveFailure::Medium, ERROR_CRC}});
    }
    TempFolder folder;
    RescueResult result;
    const bool complete = (rescue ? RescueDiskToFiles('A', folder.Path(), {}, result) : CopyDiskToFiles('A', folder.Path())) == 0;
    const size_t reads = floppy.sim.CountOf(SimulatedDrive::Read);
    return {reads, rescue ? std::count(result.sectors.begin(), result.sectors.end(), '+') : (reads - !complete) * 36};
}

int CompareRescueRequests()
{
    std::vector<std::pair<int, int>> scattered;
    for (int cylinder = 5; cylinder < 80; cylinder += 8) {  // 10 sectors, each on a cylinder of its own
        scattered.push_back({cylinder * 36 + 2, 1});
    }
    const std::pair<const char*, std::vector<std::pair<int, int>>> damages[] = {
        {"healthy disk", {}}, {"1 unreadable sector", {{634, 1}}}, {"10 unreadable sectors", scattered}, {"a bad track", {{1440, 18}}}};
    std::printf("%-24s %22s %22s\n%-24s %10s %11s %10s %11s\n", "", "plain read", "rescue", "damage", "requests", "sectors",
                "requests", "sectors");
    for (const auto& [name, damage] : damages) {
        const auto plain = MeasureRead(damage, false), rescue = MeasureRead(damage, true);
        std::printf("%-24s %10zu %11zu %10zu %11zu\n", name, plain.first, plain.second, rescue.first, rescue.second);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "rescue") {
        return CompareRescueRequests();
    }
    if (!((what == "copies" && argc == 5) || (what == "cli" && argc == 6) || (what == "archive" && argc == 5))) {
        std::printf("usage: trakoni_bench copies|archive LETTER FOLDER ROUNDS | cli LETTER FOLDER IMAGE ROUNDS | rescue\n");
        return 2;
    }
    const std::string drive = argv[2], folder = argv[3];
    std::vector<Operation> operations;
    if (what == "copies") {  // the dialog's two copies
        operations = {{"disk-to-files", {"read", drive, folder, "--force", "--quiet"}}, {"files-to-disk", {"write", folder, drive, "--quiet"}}};
    } else if (what == "archive") {  // the same two reads, then the bag
        operations = {{"read-verify", {"read", drive, folder, "--verify", "--force", "--quiet"}},
                      {"archive", {"archive", drive, folder + "\\collection", "--id", "disk", "--force", "--quiet"}}};
    } else {
        operations = {{"write-verify", {"write", folder, drive, "--verify", "--quiet"}},
                      {"pack", {"pack", folder, argv[4], "--force", "--quiet"}},
                      {"unpack", {"unpack", argv[4], folder + "\\unpacked", "--force", "--quiet"}}};
    }
    for (int round = 0; round < std::max(1, std::atoi(argv[argc - 1])); ++round) {
        std::for_each(operations.begin(), operations.end(), Time);
    }
    bool ok = true;
    for (const Operation& operation : operations) {
        PrintResult(operation.name, operation.ok, operation.times);
        if (!operation.flushTimes.empty()) {
            PrintResult(std::string(operation.name) + "-flush", operation.ok, operation.flushTimes);
        }
        ok = ok && operation.ok;
    }
    return ok ? 0 : 1;
}
