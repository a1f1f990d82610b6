#include "drive/posix/BlockDevices.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/fd.h>
#include <linux/major.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive/Drive.h"
#include "drive/FloppyFormats.h"
#include "drive/posix/PosixDrive.h"

namespace {

// More than any floppy format holds: a hard disk or a USB stick typed by
// mistake never gets further.
constexpr long long kLargestFloppyBytes = 3LL * 1024 * 1024;

std::string FirstLine(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    line.erase(line.find_last_not_of(" \t\r\n") + 1);
    return line;
}

// The device's folder in sysfs, from its device number.
std::filesystem::path SysfsOf(dev_t device)
{
    return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

long long SysfsBytes(const std::filesystem::path& sysfs)
{
    try {
        return std::stoll(FirstLine(sysfs / "size")) * 512;  // counted in 512-byte units
    } catch (...) {
        return -1;
    }
}

// Where the file system on `device` is mounted, or an empty text.
std::string MountPointOf(dev_t device)
{
    const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, devNumber, root, mountPoint;
        fields >> id >> parent >> devNumber >> root >> mountPoint;
        if (devNumber == number) {
            return mountPoint;
        }
    }
    return {};
}

std::string NameOfUser(uid_t uid)
{
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string NameOfGroup(gid_t gid)
{
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

// Why the user may not do with `path` what is asked (read it, and write it
// `forWriting`), naming the permission missing, or an empty text.
std::string NoAccess(const std::string& path, const struct stat& status, bool forWriting)
{
    const bool mayRead = ::access(path.c_str(), R_OK) == 0;
    const bool mayWrite = !forWriting || ::access(path.c_str(), W_OK) == 0;
    if (mayRead && mayWrite) {
        return {};
    }
    const char* missing = !mayRead && !mayWrite ? "read and write" : !mayRead ? "read" : "write";
    const mode_t groupBits = (mayRead ? 0 : S_IRGRP) | (mayWrite ? 0 : S_IWGRP);
    const std::string me = NameOfUser(::geteuid());
    const std::string group = NameOfGroup(status.st_gid);
    std::string text = "you (" + me + ") cannot " + missing + " " + path + ": it belongs to " +
                       NameOfUser(status.st_uid) + ", group " + group + ". ";
    const bool groupMay = (status.st_mode & groupBits) == groupBits;
    if (groupMay && status.st_gid != 0) {
        return text + "Run as root, or join the group " + group + ": sudo usermod -aG " + group +
               " " + me + ", then log in again";
    }
    return text + "Only its owner may: run as root";
}

// What the floppy driver (/dev/fdN) says of its disk. Its size in sysfs is 0
// until the device is first opened, which tells nothing: only an open without
// O_NONBLOCK tells (ENXIO: no disk), and after it FDGETPRM the format found.
std::string WhyNoFloppyDisk(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // Any other refusal is the engine's open's to report.
        return errno == ENXIO ? "There is no disk in drive " + path : "";
    }
    floppy_struct format{};
    const bool asked = ::ioctl(fd, FDGETPRM, &format) == 0;
    ::close(fd);
    if (asked && FloppyFormatOfSize(1LL * format.size * kFloppySectorBytes) == nullptr) {
        return "The disk in " + path + " is of no standard floppy format (" +
               std::to_string(format.size) + " sectors)";
    }
    return {};
}

// As the drive answers when an archive asks: one reading of the tab for both.
bool IsWriteProtected(const std::string& path)
{
    DriveError error;
    const std::unique_ptr<Drive> drive = PosixDriveSystem().Open(FloppyDrive::AtPath(path), DriveUse::Reading, error);
    return drive && drive->AskWritable().failure == DriveFailure::WriteProtected;
}

std::string WhyNotABlockDrive(const std::string& path, const struct stat& status, bool forWriting)
{
    const std::filesystem::path sysfs = SysfsOf(status.st_rdev);
    if (std::filesystem::exists(sysfs / "partition")) {
        const std::string whole = std::filesystem::canonical(sysfs).parent_path().filename();
        return path + " is a partition; give the whole device, /dev/" + whole;
    }
    const long long bytes = SysfsBytes(sysfs);
    if (bytes > kLargestFloppyBytes) {
        return path + " holds " + std::to_string(bytes) +
               " bytes, more than 3 MiB: no floppy disk, refused";
    }
    const std::string mountPoint = MountPointOf(status.st_rdev);
    if (!mountPoint.empty()) {
        return path + " is mounted on " + mountPoint + "; unmount it first: umount " + mountPoint;
    }
    const std::string denied = NoAccess(path, status, forWriting);
    if (!denied.empty()) {
        return denied;
    }
    const std::string noDisk = major(status.st_rdev) == FLOPPY_MAJOR ? WhyNoFloppyDisk(path)
                               : bytes == 0 ? "There is no disk in drive " + path
                                            : "";
    if (!noDisk.empty()) {
        return noDisk;
    }
    if (forWriting && IsWriteProtected(path)) {
        return "The disk in " + path +
               " is write-protected: slide its tab to close the hole, and try again";
    }
    return {};
}

}  // namespace

std::vector<RemovableBlockDevice> FindRemovableFloppyDevices()
{
    std::vector<RemovableBlockDevice> devices;
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/block", failed)) {
        const std::filesystem::path sysfs = entry.path();
        const std::string name = sysfs.filename();
        const bool floppy = name.rfind("fd", 0) == 0;
        if (std::filesystem::exists(sysfs / "partition") ||
            (!floppy && FirstLine(sysfs / "removable") != "1") ||
            SysfsBytes(sysfs) > kLargestFloppyBytes) {
            continue;
        }
        std::string model = FirstLine(sysfs / "device" / "vendor") + " " +
                            FirstLine(sysfs / "device" / "model");
        model.erase(0, model.find_first_not_of(' '));
        devices.push_back({"/dev/" + name, model.empty() ? "floppy drive" : model});
    }
    std::sort(devices.begin(), devices.end(),
              [](const RemovableBlockDevice& a, const RemovableBlockDevice& b) { return a.path < b.path; });
    return devices;
}

std::string WhyNotADrive(const std::string& path, bool forWriting)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        // A folder on the way that this user may not search hides what is there.
        return errno == ENOENT || errno == ENOTDIR ? path + ": no such file or device"
                                                   : path + ": " + SystemErrorText(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return path + " is a folder, not a drive or a disk image file";
    }
    if (S_ISCHR(status.st_mode)) {
        return path + " is a character device, not a block device or a disk image file";
    }
    if (S_ISBLK(status.st_mode)) {
        return WhyNotABlockDrive(path, status, forWriting);
    }
    if (!S_ISREG(status.st_mode)) {
        return path + " is neither a block device nor a disk image file";
    }
    return NoAccess(path, status, forWriting);
}
