// A drive as the engine opens it: the path of its raw device and the name its
// messages give it. On Windows a drive is a letter, whose raw volume is
// \\.\X:; on a POSIX system it is a block device or an image file, named by
// its own path.
#pragma once

#include <string>

struct FloppyDrive {
    // \\.\X: named "X:". An empty drive list hands over NUL, which names no
    // drive: the path then ends right after "\\.\", the name is ":" alone.
    FloppyDrive(char letter);  // NOLINT(google-explicit-constructor): a letter is a drive
    // The device or image file at `path`, named by it.
    static FloppyDrive AtPath(const std::string& path);

    std::string devicePath;
    std::string name;
    // The disk's size when the caller looked into the drive, 0 when it did
    // not: an operation that then finds another size (a disk changed in
    // between) stops with a message, so a format reported is the one copied.
    unsigned long long probedBytes = 0;

private:
    FloppyDrive() = default;
};
