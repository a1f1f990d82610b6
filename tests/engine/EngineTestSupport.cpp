#include "EngineTestSupport.h"

const FloppyFormat k144{"1.44 MB", F3_1Pt44_512, 18};
const FloppyFormat k720{"720 KB", F3_720_512, 9};

DISK_GEOMETRY FloppyFormat::Geometry() const
{
    DISK_GEOMETRY geometry = MakeGeometry(2, sectorsPerTrack, 512);
    geometry.MediaType = mediaType;
    return geometry;
}

DISK_GEOMETRY MakeGeometry(DWORD tracks, DWORD sectors, DWORD bytesPerSector)
{
    DISK_GEOMETRY geometry{};
    geometry.Cylinders.QuadPart = kCylinders;
    geometry.MediaType = FixedMedia;
    geometry.TracksPerCylinder = tracks;
    geometry.SectorsPerTrack = sectors;
    geometry.BytesPerSector = bytesPerSector;
    return geometry;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count)
{
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

void WriteFileSet(const TempFolder& folder, const Bytes& image, DWORD bytesPerCylinder)
{
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        ASSERT_TRUE(WriteWholeFile(folder.File(cylinder), Slice(image, size_t{bytesPerCylinder} * cylinder,
                                                               bytesPerCylinder)));
    }
}

SimulatedFloppy::SimulatedFloppy(const FloppyFormat& format, const Bytes& medium)
{
    platform.AddDrive('A', DRIVE_REMOVABLE);
    platform.InsertMedium('A', medium, format.Geometry());
}

std::vector<MessageBoxCall> Boxes(const SimulatedPlatform& platform)
{
    std::vector<MessageBoxCall> boxes;
    for (const auto& call : platform.CallsTo(Api::MessageBoxA)) {
        boxes.push_back({call.text, call.caption, call.type, call.owner});
    }
    return boxes;
}

void ExpectNothingLeaked(const SimulatedPlatform& platform)
{
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_EQ(platform.OpenEvents(), 0);
    EXPECT_EQ(platform.LiveHeapBlocks(), 0);
    EXPECT_EQ(platform.PendingRequests(), 0);
    EXPECT_EQ(platform.Misuses(), std::vector<std::string>{});
}
