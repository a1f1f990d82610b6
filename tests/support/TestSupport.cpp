#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

Bytes Pattern(size_t size, uint64_t start, uint32_t tag)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        const uint64_t offset = start + i, word = (offset & ~uint64_t{7}) ^ (uint64_t{tag} << 32);
        bytes[i] = static_cast<unsigned char>(word >> (8 * (offset % 8)));
    }
    return bytes;
}

Bytes ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

std::string CylinderFile(const std::string& folder, int cylinder)
{
    char name[16];
    std::snprintf(name, sizeof name, "cyl%02d.bin", cylinder);
    return folder + kSeparator + name;
}

std::string ProgramPathOf(const std::string& hostPath)
{
#ifdef _WIN32
    return WinePathOf(hostPath);
#else
    return hostPath;
#endif
}

#ifdef _WIN32
std::string WinePathOf(const std::string& hostPath)
{
    std::string path = "Z:" + hostPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ImageOf(char letter)
{
    const char* device = std::getenv((std::string("TRAKONI_LOOP_") + letter).c_str());
    return WinePathOf(device ? device : std::string(std::getenv("WINEPREFIX")) + "/floppies/" + char(letter - 'A' + 'a') + ".img");
}

#endif

TempFolder::TempFolder()
{
    static int s_count = 0;
    m_path = (fs::temp_directory_path() / ("trakoni-test-" + std::to_string(std::random_device{}()) + "-" +
                                           std::to_string(++s_count))).string();
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string SimulatedDriveWord()
{
#ifdef _WIN32
    return "A:";
#else
    static const TempFolder s_drives;
    const std::string path = s_drives.Join("A");
    WriteWholeFile(path, {});
    return path;
#endif
}

std::string TempFolder::Join(const std::string& name) const
{
    return m_path + kSeparator + name;
}

void TempFolder::WriteSet(const Bytes& image) const
{
    const size_t bytes = image.size() / kCylinders;
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        ASSERT_TRUE(WriteWholeFile(File(cylinder), Slice(image, bytes * cylinder, bytes)));
    }
}

Bytes TempFolder::ReadSet() const
{
    Bytes image;
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        const Bytes file = ReadWholeFile(File(cylinder));
        if (file.empty()) {
            return {};
        }
        image.insert(image.end(), file.begin(), file.end());
    }
    return image;
}

#ifdef _WIN32
std::vector<std::string> Boxes(const SimulatedPlatform& platform)
{
    std::vector<std::string> boxes;
    for (const auto& call : platform.CallsTo(Api::MessageBoxA)) {
        boxes.push_back(call.text + (call.owner == nullptr && call.type == (MB_ICONERROR | MB_OK) ? "" : " (not the engine's kind of box)"));
    }
    return boxes;
}

void ExpectNothingLeaked(const SimulatedPlatform& platform)
{
    EXPECT_EQ(platform.OpenHandles() + platform.OpenEvents() + platform.LiveHeapBlocks(), 0) << "left open";
}
#endif
