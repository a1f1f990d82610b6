// The engine on the real platform, on the virtual floppies of the test prefix:
// real opens, sharing, geometry and transfers as Wine performs them.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Imager.h"
#include "tests/wine/VirtualFloppy.h"

namespace {

using Operation = int (*)(char, const std::string&);

struct NamedOperation {
    const char* name;
    Operation run;
};

const NamedOperation kOperations[] = {
    {"CopyDiskToFiles", CopyDiskToFiles},
    {"CopyFilesToDisk", CopyFilesToDisk},
};

// Built here rather than by the engine, so that a wrong name there shows.
std::string CylinderFile(const std::string& folder, int cylinder)
{
    const char digits[] = {static_cast<char>('0' + cylinder / 10),
                           static_cast<char>('0' + cylinder % 10), '\0'};
    return folder + "\\cyl" + digits + ".bin";
}

// Cylinder files that together hold the offset pattern of a whole disk.
void WritePatternSet(const std::string& folder, size_t bytesPerCylinder, uint32_t tag)
{
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        ASSERT_TRUE(WriteWholeFile(CylinderFile(folder, cylinder),
                                   OffsetPattern(cylinder * bytesPerCylinder,
                                                 bytesPerCylinder, tag)))
            << "cylinder " << cylinder;
    }
}

class VirtualFloppyTest : public ::testing::Test {
protected:
    MessageRecordingPlatform m_platform;
    ScopedPlatformOverride m_override{m_platform};
    ScratchFolder m_scratch;
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
    const std::string image = HostImagePath(floppy.letter);
    ASSERT_EQ(ReadWholeFile(image).size(), floppy.imageBytes) << image;

    const uint32_t tag = FreshTag();
    const std::string source = m_scratch.Sub("source");
    const std::string copy = m_scratch.Sub("copy");
    WritePatternSet(source, floppy.bytesPerCylinder, tag);

    EXPECT_EQ(CopyFilesToDisk(floppy.letter, source), 0);
    EXPECT_EQ(m_platform.messages, std::vector<MessageBoxCall>{});
    EXPECT_TRUE(VolumeIsFree(floppy.letter)) << "the drive handle was left open";
    const std::vector<unsigned char> written = ReadWholeFile(image);
    EXPECT_EQ(written.size(), floppy.imageBytes);
    EXPECT_EQ(FirstDifference(written, OffsetPattern(0, floppy.imageBytes, tag)), -1)
        << "first wrong byte of the image";

    EXPECT_EQ(CopyDiskToFiles(floppy.letter, copy), 0);
    EXPECT_EQ(m_platform.messages, std::vector<MessageBoxCall>{});
    EXPECT_TRUE(VolumeIsFree(floppy.letter)) << "the drive handle was left open";
    EXPECT_EQ(ScratchFolder::List(copy).size(), static_cast<size_t>(kCylinderCount));
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const std::vector<unsigned char> read = ReadWholeFile(CylinderFile(copy, cylinder));
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
    const std::string image = HostImagePath('B');
    const std::vector<unsigned char> before = ReadWholeFile(image);
    const std::string source = m_scratch.Sub("source");
    WritePatternSet(source, 18432, FreshTag());

    EXPECT_EQ(CopyFilesToDisk('B', source), 1);
    EXPECT_EQ(m_platform.messages,
              std::vector<MessageBoxCall>{ErrorBox(
                  source + "\\cyl00.bin does not match the size of a cylinder, imaging failed.",
                  "Error")});
    EXPECT_TRUE(VolumeIsFree('B'));
    EXPECT_EQ(FirstDifference(ReadWholeFile(image), before), -1);
}

// Another program holding the volume keeps both operations off it, whatever
// sharing it allows: the engine asks for the volume alone.
TEST_F(VirtualFloppyTest, DriveHeldElsewhereIsInUse)
{
    struct Holder {
        const char* name;
        DWORD access;
        DWORD shareMode;
    };
    const Holder holders[] = {
        {"exclusive reader and writer", FILE_READ_DATA | FILE_WRITE_DATA, 0},
        {"reader sharing everything", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    const std::string source = m_scratch.Sub("source");
    WritePatternSet(source, 18432, FreshTag());
    const std::vector<unsigned char> before = ReadWholeFile(HostImagePath('A'));

    for (const Holder& holder : holders) {
        for (const NamedOperation& operation : kOperations) {
            SCOPED_TRACE(std::string(operation.name) + ", held by a " + holder.name);
            const std::string target = m_scratch.Sub(std::string("target-") + operation.name);
            m_platform.messages.clear();
            {
                HeldVolume held('A', holder.access, holder.shareMode);
                ASSERT_TRUE(held.IsOpen()) << "error " << ::GetLastError();
                const std::string& folder =
                    operation.run == CopyFilesToDisk ? source : target;
                EXPECT_EQ(operation.run('A', folder), 2);
            }
            EXPECT_EQ(m_platform.messages,
                      std::vector<MessageBoxCall>{ErrorBox("Drive is currently in use", "ERROR")});
            EXPECT_EQ(ScratchFolder::List(target), std::vector<std::string>{});
            EXPECT_TRUE(VolumeIsFree('A'));
        }
    }
    EXPECT_EQ(FirstDifference(ReadWholeFile(HostImagePath('A')), before), -1);
}

// Volumes that Wine will not open, each with the message of its error code.
TEST_F(VirtualFloppyTest, OpenErrorsNameTheirCause)
{
    struct Case {
        const char* name;
        char letter;
        const char* message;
    };
    const Case cases[] = {
        // No drive of that letter: not found (2).
        {"unmapped letter", 'Q', "There is no disk in drive Q:"},
        // The device path ends right after \\.\ : invalid name (123).
        {"NUL letter of an empty list", '\0',
         "Could not open drive for READ/WRITE access.  Error: 123"},
        // The host's root is a folder, not a volume to write: access denied (5).
        {"host root", 'Z', "Could not open drive for READ/WRITE access.  Error: 5"},
    };
    // An empty folder: should an open ever succeed, the size check of the
    // missing set stops the copy before any write.
    const std::string folder = m_scratch.Sub("empty");
    for (const Case& c : cases) {
        for (const NamedOperation& operation : kOperations) {
            SCOPED_TRACE(std::string(operation.name) + ", " + c.name);
            m_platform.messages.clear();
            EXPECT_EQ(operation.run(c.letter, folder), 2);
            EXPECT_EQ(m_platform.messages,
                      std::vector<MessageBoxCall>{ErrorBox(c.message, "ERROR")});
            EXPECT_EQ(ScratchFolder::List(folder), std::vector<std::string>{});
        }
    }
}

// E: holds an image of 100,000 bytes: a file, but of no floppy format, so the
// geometry request fails as it does on a drive without a readable disk.
TEST_F(VirtualFloppyTest, ImageOfNoFloppySizeIsMissingOrDamaged)
{
    const std::string image = HostImagePath('E');
    const std::vector<unsigned char> before = ReadWholeFile(image);
    ASSERT_EQ(before.size(), 100000u) << image;
    const std::string source = m_scratch.Sub("source");
    WritePatternSet(source, 18432, FreshTag());

    for (const NamedOperation& operation : kOperations) {
        SCOPED_TRACE(operation.name);
        const std::string target = m_scratch.Sub(std::string("target-") + operation.name);
        m_platform.messages.clear();
        EXPECT_EQ(operation.run('E', operation.run == CopyFilesToDisk ? source : target), 1);
        EXPECT_EQ(m_platform.messages,
                  std::vector<MessageBoxCall>{
                      ErrorBox("Disk is either missing or damaged", "ERROR")});
        EXPECT_TRUE(VolumeIsFree('E')) << "the drive handle was left open";
        EXPECT_EQ(ScratchFolder::List(target), std::vector<std::string>{});
    }
    EXPECT_EQ(FirstDifference(ReadWholeFile(image), before), -1);
}

// The prefix has floppies A:, B:, E:, a CD-ROM D:, its own C: and the host's
// root Z:. Only the floppies are offered; every drive is traced.
TEST(VirtualFloppyDiscovery, ListsTheFloppiesAndTracesEveryDrive)
{
    MessageRecordingPlatform platform;
    ScopedPlatformOverride override(platform);
    std::ostringstream trace;
    std::streambuf* const standardOutput = std::cout.rdbuf(trace.rdbuf());
    const std::string drives = FindFloppyDrives();
    std::cout.rdbuf(standardOutput);

    EXPECT_EQ(drives, "ABE");
    EXPECT_EQ(trace.str(), "A\nB\nC\nD\nE\nZ\n");
    EXPECT_EQ(platform.messages, std::vector<MessageBoxCall>{});
}

}  // namespace
