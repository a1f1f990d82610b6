// Shared by the engine tests: floppy media for the simulated platform and the
// checks every failing operation must pass.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SimulatedPlatform.h"
#include "tests/support/TestSupport.h"

using Api = SimulatedPlatform::Api;
using Plan = SimulatedPlatform::TransferPlan;

constexpr int kCylinders = 80;

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

Bytes Slice(const Bytes& bytes, size_t from, size_t count);
// The 80 files of `image`, cut into cylinders.
void WriteFileSet(const TempFolder& folder, const Bytes& image, DWORD bytesPerCylinder);

// The simulated platform in place of the real one while this lives, with
// drive A holding `medium` in `format`.
struct SimulatedFloppy {
    SimulatedPlatform platform;
    ScopedPlatformOverride use{platform};

    SimulatedFloppy(const FloppyFormat& format, const Bytes& medium);
};

// The message boxes the platform was asked to show.
std::vector<MessageBoxCall> Boxes(const SimulatedPlatform& platform);
// Every handle, event and heap block released, no request left pending, no
// misuse of the platform.
void ExpectNothingLeaked(const SimulatedPlatform& platform);
