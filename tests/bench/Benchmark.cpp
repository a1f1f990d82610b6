// Copies the disk in a drive to cylinder files and back through the engine on
// the real platform, and reports how long each copy took inside this process
// and what it asked of the platform.
//   trakoni_bench [LETTER [FOLDER [ROUNDS]]]
// Defaults: drive A, a new folder under the temporary folder, 5 rounds.
// Exit status 0 when every copy succeeded with the expected requests.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Imager.h"
#include "tests/bench/CountingPlatform.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Bytes per cylinder of the disk in the drive, asked as the engine asks it.
DWORD BytesPerCylinder(char letter)
{
    Win32Platform platform;
    const std::string path = std::string("\\\\.\\") + letter + ":";
    HANDLE volume = platform.CreateFileA(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DISK_GEOMETRY geometry = {};
    DWORD returned = 0;
    const BOOL ok = platform.DeviceIoControl(volume, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                             &geometry, sizeof geometry, &returned, nullptr);
    platform.CloseHandle(volume);
    return ok ? geometry.TracksPerCylinder * geometry.SectorsPerTrack * geometry.BytesPerSector
              : 0;
}

struct Measured {
    std::vector<double> times;
    bool allSucceeded = true;
    bool countsAsExpected = true;
    CountingPlatform last;
};

using Operation = int (*)(char, const std::string&);

void Run(Operation operation, char letter, const std::string& folder, DWORD bytesPerCylinder,
         bool reads, Measured& measured)
{
    CountingPlatform counting;
    ScopedPlatformOverride override(counting);
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    ::QueryPerformanceCounter(&start);
    const int status = operation(letter, folder);
    ::QueryPerformanceCounter(&end);

    const TransferTally& used = reads ? counting.reads : counting.writes;
    const TransferTally& unused = reads ? counting.writes : counting.reads;
    measured.times.push_back(Milliseconds(start, end));
    measured.allSucceeded = measured.allSucceeded && status == 0 && counting.messages.empty();
    measured.countsAsExpected = measured.countsAsExpected &&
                                used.requests == static_cast<unsigned long>(kCylinderCount) &&
                                used.smallest == bytesPerCylinder &&
                                used.largest == bytesPerCylinder && unused.requests == 0 &&
                                counting.heapAllocations == 1 &&
                                counting.heapBytes == bytesPerCylinder && counting.opens == 1;
    for (const std::string& message : counting.messages) {
        std::printf("  message box: %s\n", message.c_str());
    }
    measured.last = counting;
}

void Report(const char* name, const char* direction, Measured& measured)
{
    std::vector<double> sorted = measured.times;
    std::sort(sorted.begin(), sorted.end());
    const CountingPlatform& c = measured.last;
    const TransferTally& t = c.reads.requests ? c.reads : c.writes;
    std::printf("%-14s %9.2f %9.2f   %lu %s of %lu..%lu bytes (%llu in all), %lu open, "
                "%lu buffer allocation of %llu bytes, %zu message boxes%s\n",
                name, sorted.front(), sorted[sorted.size() / 2], t.requests, direction,
                static_cast<unsigned long>(t.smallest), static_cast<unsigned long>(t.largest),
                t.bytes, c.opens, c.heapAllocations, c.heapBytes, c.messages.size(),
                measured.countsAsExpected ? "" : "  UNEXPECTED");
    // One line for scripts: name, status, best and median milliseconds.
    std::printf("RESULT %s %s %.3f %.3f\n", name, measured.allSucceeded ? "ok" : "failed",
                sorted.front(), sorted[sorted.size() / 2]);
}

}  // namespace

int main(int argc, char** argv)
{
    const char letter = argc > 1 ? argv[1][0] : 'A';
    std::string folder;
    if (argc > 2) {
        folder = argv[2];
    } else {
        char temp[MAX_PATH + 1] = {};
        ::GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "trakoni-bench";
    }
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    ::CreateDirectoryA(folder.c_str(), nullptr);

    const DWORD bytesPerCylinder = BytesPerCylinder(letter);
    if (bytesPerCylinder == 0) {
        std::printf("drive %c: has no disk of a known geometry\n", letter);
        return 2;
    }
    std::printf("drive %c: (%lu bytes per cylinder), folder %s, %d rounds\n", letter,
                static_cast<unsigned long>(bytesPerCylinder), folder.c_str(), rounds);
    std::printf("%-14s %9s %9s   %s\n", "operation", "best ms", "median ms",
                "what the engine asked of the platform (per copy)");

    Measured toFiles;
    Measured toDisk;
    for (int round = 0; round < rounds; ++round) {
        Run(CopyDiskToFiles, letter, folder, bytesPerCylinder, true, toFiles);
        Run(CopyFilesToDisk, letter, folder, bytesPerCylinder, false, toDisk);
    }
    Report("disk-to-files", "disk reads", toFiles);
    Report("files-to-disk", "disk writes", toDisk);
    const bool ok = toFiles.allSucceeded && toDisk.allSucceeded && toFiles.countsAsExpected &&
                    toDisk.countsAsExpected;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
