// Shared by the engine tests: floppy media for the simulated platform, a fill
// pattern that shows any misplaced or stale byte, temporary image folders on
// the real file system, and the checks every failing operation must pass.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SimulatedPlatform.h"

using Bytes = std::vector<unsigned char>;
using Api = SimulatedPlatform::Api;
using Plan = SimulatedPlatform::TransferPlan;

constexpr int kCylinders = 80;
constexpr UINT kErrorBox = MB_ICONERROR | MB_OK;

// An 80-cylinder, two-sided floppy format.
struct FloppyFormat {
    const char* name;
    MEDIA_TYPE mediaType;
    DWORD sectorsPerTrack;

    DWORD BytesPerCylinder() const { return 2 * sectorsPerTrack * 512; }
    size_t MediumBytes() const { return size_t{BytesPerCylinder()} * kCylinders; }
    DISK_GEOMETRY Geometry() const;
};

extern const FloppyFormat k144;  // 1.44 MB: 18,432 bytes per cylinder
extern const FloppyFormat k720;  // 720 KB: 9,216 bytes per cylinder

DISK_GEOMETRY MakeGeometry(DWORD tracks, DWORD sectors, DWORD bytesPerSector);

// `size` bytes in which every 8 bytes hold their own offset (from `start`),
// with `tag` in the top byte, so contents of different origins never match.
Bytes Pattern(size_t size, uint64_t start, unsigned char tag);
Bytes Slice(const Bytes& bytes, size_t from, size_t count);

// A fresh, empty folder in the temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(int cylinder) const;

private:
    std::string m_path;
};

Bytes ReadWholeFile(const std::string& name);
void WriteWholeFile(const std::string& name, const Bytes& bytes);
// The 80 files of `image`, cut into cylinders.
void WriteFileSet(const TempFolder& folder, const Bytes& image, DWORD bytesPerCylinder);

// The simulated platform in place of the real one while this lives, with
// drive A holding `medium` in `format`.
struct SimulatedFloppy {
    SimulatedPlatform platform;
    ScopedPlatformOverride use{platform};

    SimulatedFloppy(const FloppyFormat& format, const Bytes& medium);
};

// Exactly one message box: this text and caption, error icon, OK, no owner.
void ExpectOneErrorBox(const SimulatedPlatform& platform, const std::string& text,
                       const std::string& caption);
// No message box at all.
void ExpectNoBox(const SimulatedPlatform& platform);
// Every handle, event and heap block released, no request left pending, no
// misuse of the platform.
void ExpectNothingLeaked(const SimulatedPlatform& platform);
