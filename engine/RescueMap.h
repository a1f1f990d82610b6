// The rescue's map as read back: a mapfile as GNU ddrescue writes it (byte
// offsets in the disk image, "+" read, "-" unreadable, "?" not read yet, and
// ddrescue's other statuses), with two comment lines of ours that name the
// folder and the disk it belongs to. Maps come from other tools and from
// people's editors, so anything may be in one.
#pragma once

#include <istream>
#include <string>
#include <vector>

// What a map says of itself in comment lines, which ddrescue's tools skip.
constexpr char kFolderTag[] = "# Trakoni-Folder: ";
constexpr char kDiskTag[] = "# Trakoni-Disk: ";

// A map file as read: its identity lines (empty when absent) and its areas,
// contiguous from byte 0, `bytes` in all.
struct MapFile {
    struct Area {
        long long first, size;
        char status;
    };
    std::string folder, disk;
    std::vector<Area> areas;
    long long bytes = 0;
};

// Reads `file` as a mapfile: an optional header of comments, one status line
// (pos, status, pass), then data lines. Returns why it is none, or "".
std::string ParseMap(std::istream& file, MapFile& map);
