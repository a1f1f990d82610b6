#include "cli/Drives.h"

#include <cctype>
#include <cstdio>
#include <sstream>

#include "cli/ConsoleMessages.h"
#include "cli/Formats.h"
#include "engine/CommandLine.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "drive/posix/BlockDevices.h"
#endif

namespace {

// "1.44 MB (80 x 2 x 18 x 512)", "no disk", "in use" or "cannot be opened".
std::string ContentsOf(const FloppyDrive& drive)
{
    DriveGeometry geometry{};
    switch (ProbeDrive(drive, geometry)) {
    case EngineStatus::Success:
        return FormatOfGeometry(geometry);
    case EngineStatus::DriveInUse:
        return "in use";
    case EngineStatus::NoDisk:
        return "no disk";
    default:
        return "cannot be opened";
    }
}

}  // namespace

#ifdef _WIN32

namespace {

// 'A' to 'Z' for "A:", "a" and the like; NUL for anything else.
char DriveLetterOf(const std::string& word)
{
    const bool shape = word.size() == 1 || (word.size() == 2 && word[1] == ':');
    if (!shape || !std::isalpha(static_cast<unsigned char>(word[0]))) {
        return '\0';
    }
    return static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
}

}  // namespace

std::string WhyNotADriveOperand(const std::string& word)
{
    return DriveLetterOf(word) != '\0' ? "" : "'" + word + "' is not a drive letter (A: to Z:)";
}

bool NamesADrive(const std::string& word)
{
    return DriveLetterOf(word) != '\0';
}

bool DriveIsThere(const std::string& word)
{
    // The engine traces every drive on standard output; ours is for results.
    std::ostringstream trace;
    const char letter = DriveLetterOf(word);
    return letter != '\0' && FindFloppyDrives(trace).find(letter) != std::string::npos;
}

FloppyDrive DriveNamed(const std::string& word)
{
    return FloppyDrive(DriveLetterOf(word));
}

std::optional<FloppyDrive> TakeDrive(const std::string& word, bool)
{
    return DriveNamed(word);
}

void ListDrives()
{
    // The engine traces every drive on standard output; ours is for results.
    std::ostringstream trace;
    const std::string letters = FindFloppyDrives(trace);
    if (letters.empty()) {
        std::fprintf(stderr, "No floppy drives were detected.\n");
    }
    for (const char letter : letters) {
        const FloppyDrive drive(letter);
        std::printf("%s  %s\n", drive.name.c_str(), ContentsOf(drive).c_str());
    }
}

#else

std::string WhyNotADriveOperand(const std::string& word)
{
    return word.empty() ? "an empty DRIVE: give a block device (/dev/sdb, /dev/fd0) or a disk image file"
                        : "";
}

bool NamesADrive(const std::string& word)
{
    struct stat status {};
    return ::stat(word.c_str(), &status) == 0 && S_ISBLK(status.st_mode);
}

bool DriveIsThere(const std::string& word)
{
    return NamesADrive(word);
}

FloppyDrive DriveNamed(const std::string& word)
{
    return FloppyDrive::AtPath(word);
}

std::optional<FloppyDrive> TakeDrive(const std::string& word, bool forWriting)
{
    const std::string why = WhyNotADrive(word, forWriting);
    if (!why.empty()) {
        ShowError(why);
        return std::nullopt;
    }
    return DriveNamed(word);
}

void ListDrives()
{
    const std::vector<RemovableBlockDevice> devices = FindRemovableFloppyDevices();
    if (devices.empty()) {
        std::fprintf(stderr, "No floppy drives were detected.\n");
    }
    for (const RemovableBlockDevice& device : devices) {
        std::printf("%s  %s  %s\n", device.path.c_str(),
                    ContentsOf(FloppyDrive::AtPath(device.path)).c_str(), device.model.c_str());
    }
}

#endif
