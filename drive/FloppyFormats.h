// The standard floppy formats: 80 cylinders, two heads, 512-byte sectors.
// The one table the drives answer the geometry from and the command line
// names a format by.
#pragma once

#include <cstdint>

// The kind of medium a drive reports, as far as the engine tells them apart.
enum class FloppyMedia { Unknown, Kb720, Mb1_2, Mb1_44, Mb2_88 };

struct FloppyFormat {
    long long bytes;
    uint32_t sectorsPerTrack;
    FloppyMedia media;
    const char* name;
};

constexpr uint32_t kFloppySectorBytes = 512;
constexpr uint32_t kFloppyHeads = 2;
constexpr int kFloppyCylinders = 80;

// Smallest first: the sizes an image file or a medium may have to count as a
// floppy. 1.68 MB has no media kind of its own; the engine reads none.
constexpr FloppyFormat kFloppyFormats[] = {
    {737280, 9, FloppyMedia::Kb720, "720 KB"},
    {1228800, 15, FloppyMedia::Mb1_2, "1.2 MB"},
    {1474560, 18, FloppyMedia::Mb1_44, "1.44 MB"},
    {1720320, 21, FloppyMedia::Mb1_44, "1.68 MB"},
    {2949120, 36, FloppyMedia::Mb2_88, "2.88 MB"},
};

// The format of a disk of `bytes` bytes, or null.
inline const FloppyFormat* FloppyFormatOfSize(long long bytes)
{
    for (const FloppyFormat& format : kFloppyFormats) {
        if (format.bytes == bytes) {
            return &format;
        }
    }
    return nullptr;
}
