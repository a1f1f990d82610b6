#include "EngineTestSupport.h"

#include <process.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

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

Bytes Pattern(size_t size, uint64_t start, unsigned char tag)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        const uint64_t word = ((start + i) & ~uint64_t{7}) | (uint64_t{tag} << 56);
        bytes[i] = static_cast<unsigned char>(word >> (8 * ((start + i) % 8)));
    }
    return bytes;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count)
{
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

TempFolder::TempFolder()
{
    static std::atomic<int> s_count{0};
    const fs::path path = fs::temp_directory_path() /
                          ("trakoni-engine-" + std::to_string(_getpid()) + "-" +
                           std::to_string(s_count++));
    fs::remove_all(path);
    fs::create_directories(path);
    m_path = path.string();
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string TempFolder::File(int cylinder) const
{
    char name[16];
    std::snprintf(name, sizeof name, "cyl%02d.bin", cylinder);
    return m_path + "\\" + name;
}

Bytes ReadWholeFile(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& name, const Bytes& bytes)
{
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << name;
}

void WriteFileSet(const TempFolder& folder, const Bytes& image, DWORD bytesPerCylinder)
{
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        WriteWholeFile(folder.File(cylinder),
                       Slice(image, size_t{bytesPerCylinder} * cylinder, bytesPerCylinder));
    }
}

SimulatedFloppy::SimulatedFloppy(const FloppyFormat& format, const Bytes& medium)
{
    platform.AddDrive('A', DRIVE_REMOVABLE);
    platform.InsertMedium('A', medium, format.Geometry());
}

void ExpectOneErrorBox(const SimulatedPlatform& platform, const std::string& text,
                       const std::string& caption)
{
    const auto& boxes = platform.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, caption);
    EXPECT_EQ(boxes[0].type, kErrorBox);
    EXPECT_EQ(boxes[0].owner, nullptr);
}

void ExpectNoBox(const SimulatedPlatform& platform)
{
    for (const auto& box : platform.MessageBoxes()) {
        ADD_FAILURE() << "unexpected message box: " << box.text;
    }
}

void ExpectNothingLeaked(const SimulatedPlatform& platform)
{
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_EQ(platform.OpenEvents(), 0);
    EXPECT_EQ(platform.LiveHeapBlocks(), 0);
    EXPECT_EQ(platform.PendingRequests(), 0);
    for (const std::string& misuse : platform.Misuses()) {
        ADD_FAILURE() << "platform misuse: " << misuse;
    }
}
