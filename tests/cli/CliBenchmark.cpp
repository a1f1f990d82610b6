// The command line's write --verify, pack and unpack, timed inside this
// process on the real platform, with the disk requests and buffers they asked
// of it (scripts/bench.sh runs it):
//   trakoni_cli_bench LETTER FOLDER IMAGE ROUNDS
// FOLDER holds the disk of drive LETTER as cylinder files; IMAGE is packed
// from them and unpacked into FOLDER\unpacked.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "tests/bench/CountingPlatform.h"

namespace {

struct Measured {
    const char* name;
    std::vector<std::string> words;
    unsigned long diskReads, diskWrites, buffers;  // expected
    std::vector<double> times{};
    bool ok = true;
    CountingPlatform last{};
};

void Run(Measured& measured)
{
    Arguments arguments;
    ParseArguments(measured.words, arguments);
    CountingPlatform counting;
    ScopedPlatformOverride use(counting);
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const int status = RunCommand(arguments);
    ::QueryPerformanceCounter(&end);
    measured.times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                             static_cast<double>(frequency.QuadPart));
    measured.ok = measured.ok && status == 0 && counting.messages.empty() &&
                  counting.reads.requests == measured.diskReads &&
                  counting.writes.requests == measured.diskWrites &&
                  counting.heapAllocations == measured.buffers;
    measured.last = counting;
}

void Report(Measured& measured)
{
    std::sort(measured.times.begin(), measured.times.end());
    const double best = measured.times.front(), median = measured.times[measured.times.size() / 2];
    const CountingPlatform& c = measured.last;
    std::printf("%-14s %9.2f %9.2f   %lu disk reads, %lu disk writes, %lu buffer allocations "
                "of %llu bytes in all%s\n",
                measured.name, best, median, c.reads.requests, c.writes.requests,
                c.heapAllocations, c.heapBytes, measured.ok ? "" : "  UNEXPECTED");
    std::printf("RESULT %s %s %.3f %.3f\n", measured.name, measured.ok ? "ok" : "failed", best,
                median);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::printf("usage: trakoni_cli_bench LETTER FOLDER IMAGE ROUNDS\n");
        return 2;
    }
    const std::string drive = argv[1], folder = argv[2], image = argv[3];
    Measured operations[] = {
        // Verifying adds exactly 80 disk reads, with a buffer of its own.
        {"write-verify", {"write", folder, drive, "--verify", "--quiet"}, 80, 80, 2},
        {"pack", {"pack", folder, image, "--force", "--quiet"}, 0, 0, 1},
        {"unpack", {"unpack", image, folder + "\\unpacked", "--force", "--quiet"}, 0, 0, 1},
    };
    for (int round = 0; round < std::max(1, std::atoi(argv[4])); ++round) {
        for (Measured& measured : operations) {
            Run(measured);
        }
    }
    bool ok = true;
    for (Measured& measured : operations) {
        Report(measured);
        ok = ok && measured.ok;
    }
    return ok ? 0 : 1;
}
