// The floppy drives of a Linux system: its removable block devices small
// enough to hold a floppy disk (a USB floppy drive's /dev/sdX, /dev/fdN), and
// the checks that keep any other device, a partition or a mounted disk away
// from the engine. Found through /sys/class/block and /proc/self/mountinfo.
#pragma once

#include <string>
#include <vector>

struct RemovableBlockDevice {
    std::string path;   // /dev/sdb
    std::string model;  // the drive's vendor and model, as the kernel has them
};

// Whole removable devices (never a partition, never a fixed disk) whose medium
// is no larger than a floppy's, or that have none; by name.
std::vector<RemovableBlockDevice> FindRemovableFloppyDevices();

// Why `path` cannot be a drive, in a message that says how to fix it, or an
// empty text. A drive is a block device or an image file; a block device must
// be a whole device of at most 3 MiB with a disk of a floppy's in it, and not
// mounted; the user must be able to read it and, `forWriting`, write it; and
// then its disk must not be write-protected.
std::string WhyNotADrive(const std::string& path, bool forWriting);
