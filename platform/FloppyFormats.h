// The standard floppy formats: 80 cylinders, two heads, 512-byte sectors.
// The one table the real platforms answer the geometry from and the command
// line names a format by.
#pragma once

#include "platform/Win32.h"

struct FloppyFormat {
    LONGLONG bytes;
    DWORD sectorsPerTrack;
    MEDIA_TYPE mediaType;
    const char* name;
};

constexpr DWORD kFloppySectorBytes = 512;
constexpr DWORD kFloppyHeads = 2;
constexpr int kFloppyCylinders = 80;

// Smallest first: the sizes an image file or a medium may have to count as a
// floppy. 1.68 MB has no media type of its own; the engine reads none.
constexpr FloppyFormat kFloppyFormats[] = {
    {737280, 9, F3_720_512, "720 KB"},
    {1228800, 15, F5_1Pt2_512, "1.2 MB"},
    {1474560, 18, F3_1Pt44_512, "1.44 MB"},
    {1720320, 21, F3_1Pt44_512, "1.68 MB"},
    {2949120, 36, F3_2Pt88_512, "2.88 MB"},
};

// The format of a disk of `bytes` bytes, or null.
inline const FloppyFormat* FloppyFormatOfSize(LONGLONG bytes)
{
    for (const FloppyFormat& format : kFloppyFormats) {
        if (format.bytes == bytes) {
            return &format;
        }
    }
    return nullptr;
}

// The geometry a floppy driver reports for a disk of this format.
inline void FillFloppyGeometry(const FloppyFormat& format, DISK_GEOMETRY& geometry)
{
    geometry = DISK_GEOMETRY{};
    geometry.Cylinders.QuadPart = kFloppyCylinders;
    geometry.MediaType = format.mediaType;
    geometry.TracksPerCylinder = kFloppyHeads;
    geometry.SectorsPerTrack = format.sectorsPerTrack;
    geometry.BytesPerSector = kFloppySectorBytes;
}
