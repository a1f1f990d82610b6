// The engine on the real platform, on the virtual floppies of the test prefix:
// real opens, sharing, geometry and transfers as Wine performs them.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

// A tag that differs from run to run, so an image left by an earlier run
// never passes for this one's.
uint32_t FreshTag()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart) | 0x80000000u;
}

// Where two byte strings first differ, or -1 when they are equal.
long long FirstDifference(const Bytes& a, const Bytes& b)
{
    const size_t common = std::min(a.size(), b.size());
    const auto at = std::mismatch(a.begin(), a.begin() + common, b.begin()).first - a.begin();
    return at == static_cast<ptrdiff_t>(common) && a.size() == b.size() ? -1 : at;
}

// True when no handle to the volume (the engine's included) is open.
bool VolumeIsFree(char letter)
{
    return OpenVolume(letter, FILE_READ_DATA | FILE_WRITE_DATA).IsValid();
}

// Cylinder files that together hold the offset pattern of a whole disk.
void WritePatternSet(const std::string& folder, size_t bytesPerCylinder, uint32_t tag)
{
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        ASSERT_TRUE(WriteWholeFile(CylinderFile(folder, cylinder),
                                   Pattern(bytesPerCylinder, cylinder * bytesPerCylinder, tag)))
            << "cylinder " << cylinder;
    }
}

class VirtualFloppyTest : public ::testing::Test {
protected:
    RecordingPlatform m_platform;
    ScopedPlatformOverride m_override{m_platform};
    TempFolder m_scratch;
};

struct Floppy {
    char letter;
    size_t imageBytes;
    size_t bytesPerCylinder;
};

class RoundTrip : public VirtualFloppyTest, public ::testing::WithParamInterface<Floppy> {};

// Files to disk and back: every byte lands at its own offset of the image and
// comes back into the file of its own cylinder.
TEST_P(RoundTrip, FilesToDiskAndBackByteForByte)
{
    const Floppy floppy = GetParam();
    const std::string image = FloppyImageOf(floppy.letter);
    ASSERT_EQ(ReadWholeFile(image).size(), floppy.imageBytes) << image;

    const uint32_t tag = FreshTag();
    const std::string source = m_scratch.Sub("source");
    const std::string copy = m_scratch.Sub("copy");
    WritePatternSet(source, floppy.bytesPerCylinder, tag);

    EXPECT_EQ(CopyFilesToDisk(floppy.letter, source), 0);
    EXPECT_EQ(m_platform.messages, BoxList{});
    EXPECT_TRUE(VolumeIsFree(floppy.letter)) << "the drive handle was left open";
    const Bytes written = ReadWholeFile(image);
    EXPECT_EQ(written.size(), floppy.imageBytes);
    EXPECT_EQ(FirstDifference(written, Pattern(floppy.imageBytes, 0, tag)), -1)
        << "first wrong byte of the image";

    EXPECT_EQ(CopyDiskToFiles(floppy.letter, copy), 0);
    EXPECT_EQ(m_platform.messages, BoxList{});
    EXPECT_TRUE(VolumeIsFree(floppy.letter)) << "the drive handle was left open";
    EXPECT_EQ(FolderEntries(copy).size(), static_cast<size_t>(kCylinderCount));
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const Bytes read = ReadWholeFile(CylinderFile(copy, cylinder));
        EXPECT_EQ(read.size(), floppy.bytesPerCylinder) << "cylinder " << cylinder;
        EXPECT_EQ(FirstDifference(read, ReadWholeFile(CylinderFile(source, cylinder))), -1)
            << "first wrong byte of cylinder " << cylinder;
    }
}

INSTANTIATE_TEST_SUITE_P(Floppies, RoundTrip,
                         ::testing::Values(Floppy{'A', 1474560, 18432},
                                           Floppy{'B', 737280, 9216}),
                         [](const ::testing::TestParamInfo<Floppy>& info) {
                             return std::string(1, info.param.letter) + "_" +
                                    std::to_string(info.param.imageBytes);
                         });

// A 1.44 MB set offered to the 720 KB disk is refused before the first write.
TEST_F(VirtualFloppyTest, SetOfAnotherFormatLeavesDiskUntouched)
{
    const std::string image = FloppyImageOf('B');
    const Bytes before = ReadWholeFile(image);
    const std::string source = m_scratch.Sub("source");
    WritePatternSet(source, 18432, FreshTag());

    EXPECT_EQ(CopyFilesToDisk('B', source), 1);
    EXPECT_EQ(m_platform.messages,
              OneErrorBox(source + "\\cyl00.bin does not match the size of a cylinder, imaging failed.",
                          "Error"));
    EXPECT_TRUE(VolumeIsFree('B'));
    EXPECT_EQ(FirstDifference(ReadWholeFile(image), before), -1);
}

// Every way an operation stops before it touches the disk or the folder: a
// volume held by another program (whatever sharing it allows, the engine asks
// for the volume alone), volumes Wine will not open, and E:, an image of
// 100,000 bytes, a file of no floppy format, whose geometry request fails as
// on a drive without a readable disk.
TEST_F(VirtualFloppyTest, FailuresBeforeTheFirstCylinderNameTheirCause)
{
    struct Case {
        const char* name;
        char letter;
        DWORD holderAccess;  // 0: not held
        DWORD holderShare;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"held by an exclusive reader and writer", 'A', FILE_READ_DATA | FILE_WRITE_DATA, 0, 2,
         "Drive is currently in use"},
        {"held by a reader sharing everything", 'A', GENERIC_READ,
         FILE_SHARE_READ | FILE_SHARE_WRITE, 2, "Drive is currently in use"},
        // No drive of that letter: not found (2).
        {"unmapped letter", 'Q', 0, 0, 2, "There is no disk in drive Q:"},
        // The device path ends right after \\.\ : invalid name (123).
        {"NUL letter of an empty list", '\0', 0, 0, 2,
         "Could not open drive for READ/WRITE access.  Error: 123"},
        // The host's root is a folder, not a volume to write: access denied (5).
        {"host root", 'Z', 0, 0, 2, "Could not open drive for READ/WRITE access.  Error: 5"},
        {"image of no floppy size", 'E', 0, 0, 1, "Disk is either missing or damaged"},
    };
    const std::string source = m_scratch.Sub("source");
    WritePatternSet(source, 18432, FreshTag());
    const Bytes imageA = ReadWholeFile(FloppyImageOf('A'));
    const Bytes imageE = ReadWholeFile(FloppyImageOf('E'));
    ASSERT_EQ(imageE.size(), 100000u);

    for (const Case& c : cases) {
        for (const auto run : {CopyDiskToFiles, CopyFilesToDisk}) {
            const bool toDisk = run == CopyFilesToDisk;
            SCOPED_TRACE(std::string(toDisk ? "files to disk, " : "disk to files, ") + c.name);
            const std::string target = m_scratch.Sub("target");
            m_platform.messages.clear();
            {
                KernelHandle held;
                if (c.holderAccess != 0) {
                    held = OpenVolume(c.letter, c.holderAccess, c.holderShare);
                    ASSERT_TRUE(held.IsValid()) << "error " << ::GetLastError();
                }
                EXPECT_EQ(run(c.letter, toDisk ? source : target), c.status);
            }
            EXPECT_EQ(m_platform.messages, OneErrorBox(c.message, "ERROR"));
            EXPECT_EQ(FolderEntries(target), std::vector<std::string>{});
            if (c.letter == 'A' || c.letter == 'E') {
                EXPECT_TRUE(VolumeIsFree(c.letter)) << "the drive handle was left open";
            }
        }
    }
    EXPECT_EQ(FirstDifference(ReadWholeFile(FloppyImageOf('A')), imageA), -1);
    EXPECT_EQ(FirstDifference(ReadWholeFile(FloppyImageOf('E')), imageE), -1);
}

// The prefix has floppies A:, B:, E:, a CD-ROM D:, its own C: and the host's
// root Z:. Only the floppies are offered; every drive is traced.
TEST(VirtualFloppyDiscovery, ListsTheFloppiesAndTracesEveryDrive)
{
    RecordingPlatform platform;
    ScopedPlatformOverride override(platform);
    CapturedOutput trace;
    EXPECT_EQ(FindFloppyDrives(), "ABE");
    EXPECT_EQ(trace.Text(), "A\nB\nC\nD\nE\nZ\n");
    EXPECT_EQ(platform.messages, BoxList{});
}

}  // namespace
