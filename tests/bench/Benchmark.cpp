// Times the engine's work on the real platform inside this process;
// scripts/bench.sh runs it and counts its requests from outside.
//   trakoni_bench copies LETTER FOLDER ROUNDS      disk to files, files to disk
//   trakoni_bench cli LETTER FOLDER IMAGE ROUNDS   write --verify, pack, unpack
// Prints "RESULT NAME ok|failed BEST MEDIAN" (milliseconds) per operation;
// exits 0 when every run succeeded without a message.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

struct Operation {
    const char* name;
    std::function<int()> run;
    std::vector<double> times{};
    bool ok = true;
};

void Time(Operation& operation)
{
    RecordingPlatform platform;
    ScopedPlatformOverride use(platform);
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const int status = operation.run();
    ::QueryPerformanceCounter(&end);
    operation.times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    operation.ok = operation.ok && status == 0 && platform.messages.empty();
}

std::function<int()> Command(std::vector<std::string> words)
{
    return [words] {
        Arguments arguments;
        return ParseArguments(words, arguments).empty() ? RunCommand(arguments) : ExitStatus::Usage;
    };
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (!((what == "copies" && argc == 5) || (what == "cli" && argc == 6))) {
        std::printf("usage: trakoni_bench copies LETTER FOLDER ROUNDS | cli LETTER FOLDER IMAGE ROUNDS\n");
        return 2;
    }
    const char letter = argv[2][0];
    const std::string folder = argv[3], drive = std::string(1, letter) + ":";
    std::vector<Operation> operations;
    if (what == "copies") {
        operations = {{"disk-to-files", [=] { return CopyDiskToFiles(letter, folder); }},
                      {"files-to-disk", [=] { return CopyFilesToDisk(letter, folder); }}};
    } else {
        operations = {{"write-verify", Command({"write", folder, drive, "--verify", "--quiet"})},
                      {"pack", Command({"pack", folder, argv[4], "--force", "--quiet"})},
                      {"unpack", Command({"unpack", argv[4], folder + "\\unpacked", "--force", "--quiet"})}};
    }
    for (int round = 0; round < std::max(1, std::atoi(argv[argc - 1])); ++round) {
        std::for_each(operations.begin(), operations.end(), Time);
    }
    bool ok = true;
    for (Operation& operation : operations) {
        std::sort(operation.times.begin(), operation.times.end());
        std::printf("RESULT %s %s %.3f %.3f\n", operation.name, operation.ok ? "ok" : "failed", operation.times.front(),
                    operation.times[operation.times.size() / 2]);
        ok = ok && operation.ok;
    }
    return ok ? 0 : 1;
}
