// The engine on the real platform on the prefix's virtual floppies (A: 1.44 MB,
// B: 720 KB, E: 100,000 bytes), as Wine performs them; the copies and the disks
// of no floppy size run on kernel block devices too (tests/blockdevice).
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

using Texts = std::vector<std::string>;

// True when no handle to the volume (the engine's included) is open.
bool VolumeIsFree(char letter) { return OpenVolume(letter, FILE_READ_DATA | FILE_WRITE_DATA).IsValid(); }

class RealPlatform : public ::testing::Test {
protected:
    SimulatedDrive m_platform;  // its record of the messages alone: the drive is the real one
    ScopedErrorMessagesOverride m_override{m_platform};
};

// Every byte lands at its own offset and comes back into its cylinder's file.
TEST_F(RealPlatform, CopiesFilesToEachFloppyAndBackByteForByte)
{
    for (const auto& [letter, format] : {std::pair{'A', k144}, std::pair{'B', k720}}) {
        const Bytes image = Pattern(format.MediumBytes(), 0, ::GetTickCount());
        TempFolder source, copy;
        source.WriteSet(image);
        EXPECT_EQ(CopyFilesToDisk(letter, source.Path()), 0);
        EXPECT_TRUE(ReadWholeFile(ImageOf(letter)) == image) << letter;
        EXPECT_EQ(CopyDiskToFiles(letter, copy.Path()), 0);
        EXPECT_TRUE(copy.ReadSet() == image) << letter;
        EXPECT_EQ(m_platform.messages, Texts{});
        EXPECT_TRUE(VolumeIsFree(letter)) << "the drive handle was left open";
    }
}

// Every way an operation stops before it touches the disk or the folder.
TEST_F(RealPlatform, FailuresBeforeTheFirstCylinderNameTheirCause)
{
    const struct { char letter; DWORD holderAccess, holderShare; int status; const char* box; } cases[] = {
        {'A', FILE_READ_DATA | FILE_WRITE_DATA, 0, 2, "ERROR: Drive is currently in use"},
        // Whatever another program shares, the engine asks for the volume alone.
        {'A', GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 2, "ERROR: Drive is currently in use"},
        {'Q', 0, 0, 2, "ERROR: There is no disk in drive Q:"},
        {'\0', 0, 0, 2, "ERROR: Could not open drive for READ/WRITE access.  Error: 123"},
        {'B', 0, 0, 1, "Error: @ does not match the size of a cylinder, imaging failed."},  // a 1.44 MB set
    };
    TempFolder source;
    source.WriteSet(Pattern(k144.MediumBytes(), 0, 'S'));
    const Bytes images[2] = {ReadWholeFile(ImageOf('A')), ReadWholeFile(ImageOf('B'))};
    for (const auto& c : cases) {
        for (const auto copy : {CopyDiskToFiles, CopyFilesToDisk}) {
            if (c.letter == 'B' && copy == CopyDiskToFiles) {
                continue;
            }
            TempFolder target;
            m_platform.messages.clear();
            {
                const KernelHandle held(c.holderAccess ? OpenVolume(c.letter, c.holderAccess, c.holderShare) : KernelHandle());
                EXPECT_EQ(copy(c.letter, copy == CopyFilesToDisk ? source.Path() : target.Path()), c.status) << c.box;
            }
            std::string box = c.box;
            box.find('@') != std::string::npos ? box.replace(box.find('@'), 1, source.File(0)) : box;
            EXPECT_EQ(m_platform.messages, Texts{box});
            EXPECT_TRUE(ReadWholeFile(target.File(0)).empty());
            EXPECT_TRUE(c.letter == 'Q' || c.letter == '\0' || VolumeIsFree(c.letter));
        }
    }
    EXPECT_TRUE(ReadWholeFile(ImageOf('A')) == images[0] && ReadWholeFile(ImageOf('B')) == images[1]) << "a disk was written";
}

// E: (and on block devices F: and G:, one sector short of and past 1.44 MB)
// holds a disk of no floppy size: refused as a drive whose disk is unreadable.
TEST_F(RealPlatform, DisksOfNoFloppySizeAreNeitherReadNorWritten)
{
    TempFolder source, target;
    source.WriteSet(Pattern(k144.MediumBytes(), 0, 'S'));
    size_t tried = 0;
    for (const char letter : {'E', 'F', 'G'}) {
        const Bytes disk = ReadWholeFile(ImageOf(letter));
        if (letter == 'E' || !disk.empty()) {
            ++tried;
            EXPECT_EQ(CopyFilesToDisk(letter, source.Path()) * 10 + CopyDiskToFiles(letter, target.Path()), 11) << letter;
            EXPECT_TRUE(ReadWholeFile(ImageOf(letter)) == disk && ReadWholeFile(target.File(0)).empty()) << "written";
        }
    }
    EXPECT_EQ(m_platform.messages, Texts(2 * tried, "ERROR: Disk is either missing or damaged"));
}

// An image file has no driver: the platform answers for one of a floppy's size
// with a geometry that covers it, and otherwise fails as Win32 does.
TEST(Win32Platform, AnswersTheGeometryOfAFloppyImageFileOnly)
{
    const LONGLONG sizes[] = {737280, 1228800, 1474560, 1720320, 2949120, 0, 737279, 737281, 1474048, 1475072, 368640, 3145728};
    TempFolder folder;
    for (const LONGLONG size : sizes) {
        const std::string file = folder.Path() + "\\" + std::to_string(size) + ".img";
        ASSERT_TRUE(WriteWholeFile(file, Bytes(static_cast<size_t>(size))));
        const KernelHandle handle(::CreateFileA(file.c_str(), FILE_READ_DATA | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OVERLAPPED, nullptr));
        DISK_GEOMETRY geometry{};
        DWORD returned = 0;
        ASSERT_FALSE(::DeviceIoControl(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                                       &returned, nullptr)) << "Wine now answers for image files";
        const DWORD win32Error = ::GetLastError();
        Win32Platform platform;
        const bool standard = std::find(sizes, sizes + 5, size) != sizes + 5;
        EXPECT_EQ(platform.DeviceIoControl(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                                           &returned, nullptr) != FALSE, standard) << size;
        if (standard) {
            EXPECT_EQ(geometry.Cylinders.QuadPart * geometry.TracksPerCylinder * geometry.SectorsPerTrack * geometry.BytesPerSector, size);
            EXPECT_TRUE(geometry.Cylinders.QuadPart == 80 && geometry.BytesPerSector == 512 && returned == sizeof geometry);
        } else {
            EXPECT_EQ(platform.GetLastError(), win32Error);
        }
    }
}

}  // namespace
