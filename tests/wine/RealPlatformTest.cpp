// The engine on the real platform, on the virtual floppies of the test prefix
// (A: 1.44 MB, B: 720 KB, E: an image of 100,000 bytes, D: a CD-ROM): real
// opens, sharing, geometry and transfers as Wine performs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

// The image file behind drive `letter` of the prefix the tests run in.
std::string FloppyImageOf(char letter)
{
    const char name = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    return WinePathOf(std::string(std::getenv("WINEPREFIX")) + "/floppies/" + name + ".img");
}

// A tag that differs from run to run, so an image left by an earlier run never
// passes for this one's.
uint32_t FreshTag()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart) | 0x80000000u;
}

// True when no handle to the volume (the engine's included) is open.
bool VolumeIsFree(char letter)
{
    return OpenVolume(letter, FILE_READ_DATA | FILE_WRITE_DATA).IsValid();
}

class RealPlatform : public ::testing::Test {
protected:
    RecordingPlatform m_platform;
    ScopedPlatformOverride m_override{m_platform};
};

// Files to disk and back: every byte lands at its own offset of the image and
// comes back into the file of its own cylinder.
TEST_F(RealPlatform, CopiesFilesToEachFloppyAndBackByteForByte)
{
    for (const FloppyFormat& format : {k144, k720}) {
        const char letter = format.sectorsPerTrack == 18 ? 'A' : 'B';
        SCOPED_TRACE(letter);
        const Bytes image = Pattern(format.MediumBytes(), 0, FreshTag());
        TempFolder source, copy;
        source.WriteSet(image);

        EXPECT_EQ(CopyFilesToDisk(letter, source.Path()), 0);
        EXPECT_TRUE(ReadWholeFile(FloppyImageOf(letter)) == image);
        EXPECT_EQ(CopyDiskToFiles(letter, copy.Path()), 0);
        EXPECT_TRUE(copy.ReadSet() == image);
        EXPECT_EQ(m_platform.messages, std::vector<std::string>{});
        EXPECT_TRUE(VolumeIsFree(letter)) << "the drive handle was left open";
    }
}

// Every way an operation stops before it touches the disk or the folder.
TEST_F(RealPlatform, FailuresBeforeTheFirstCylinderNameTheirCause)
{
    const struct {
        const char* name;
        char letter;
        DWORD holderAccess;  // 0: not held
        DWORD holderShare;
        int status;
        const char* box;
    } cases[] = {
        {"held exclusively", 'A', FILE_READ_DATA | FILE_WRITE_DATA, 0, 2, "ERROR: Drive is currently in use"},
        // Whatever another program shares, the engine asks for the volume alone.
        {"held by a reader sharing all", 'A', GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 2,
         "ERROR: Drive is currently in use"},
        {"unmapped letter", 'Q', 0, 0, 2, "ERROR: There is no disk in drive Q:"},
        {"NUL letter of an empty list", '\0', 0, 0, 2, "ERROR: Could not open drive for READ/WRITE access.  Error: 123"},
        {"image of no floppy size", 'E', 0, 0, 1, "ERROR: Disk is either missing or damaged"},
        {"720 KB disk, 1.44 MB set", 'B', 0, 0, 1, "Error: @ does not match the size of a cylinder, imaging failed."},
    };
    TempFolder source;
    source.WriteSet(Pattern(k144.MediumBytes(), 0, FreshTag()));
    const Bytes imageA = ReadWholeFile(FloppyImageOf('A')), imageB = ReadWholeFile(FloppyImageOf('B'));
    const Bytes imageE = ReadWholeFile(FloppyImageOf('E'));
    ASSERT_EQ(imageE.size(), 100000u);

    for (const auto& c : cases) {
        for (const auto copy : {CopyDiskToFiles, CopyFilesToDisk}) {
            const bool toDisk = copy == CopyFilesToDisk;
            if (c.letter == 'B' && !toDisk) {
                continue;
            }
            SCOPED_TRACE(std::string(toDisk ? "files to disk, " : "disk to files, ") + c.name);
            TempFolder target;
            m_platform.messages.clear();
            {
                const KernelHandle held(c.holderAccess ? OpenVolume(c.letter, c.holderAccess, c.holderShare) : KernelHandle());
                EXPECT_EQ(copy(c.letter, toDisk ? source.Path() : target.Path()), c.status);
            }
            std::string box = c.box;
            if (box.find('@') != std::string::npos) {
                box.replace(box.find('@'), 1, source.File(0));
            }
            EXPECT_EQ(m_platform.messages, std::vector<std::string>{box});
            EXPECT_TRUE(target.ReadSet().empty() && ReadWholeFile(target.File(0)).empty());
            EXPECT_TRUE(c.letter == 'Q' || c.letter == '\0' || VolumeIsFree(c.letter));
        }
    }
    EXPECT_TRUE(ReadWholeFile(FloppyImageOf('A')) == imageA);
    EXPECT_TRUE(ReadWholeFile(FloppyImageOf('B')) == imageB);
    EXPECT_TRUE(ReadWholeFile(FloppyImageOf('E')) == imageE);
}

// Only the floppies are offered; every drive is traced.
TEST_F(RealPlatform, DiscoveryListsTheFloppiesAndTracesEveryDrive)
{
    CapturedOutput trace;
    EXPECT_EQ(FindFloppyDrives(), "ABE");
    EXPECT_EQ(trace.Text(), "A\nB\nC\nD\nE\nZ\n");
}

// An image file has no driver: the platform answers the geometry request for
// a file of a standard floppy size, with a geometry that covers it exactly,
// and otherwise fails as Win32 does.
TEST(Win32Platform, AnswersTheGeometryOfAFloppyImageFileOnly)
{
    const LONGLONG sizes[] = {737280,  1228800, 1474560, 1720320, 2949120, 0,      737279, 737281,
                              1474048, 1475072, 368640,  2457600, 100000,  3145728};
    TempFolder folder;
    for (const LONGLONG size : sizes) {
        SCOPED_TRACE(size);
        const std::string file = folder.Path() + "\\" + std::to_string(size) + ".img";
        ASSERT_TRUE(WriteWholeFile(file, Bytes(static_cast<size_t>(size))));
        const KernelHandle handle(::CreateFileA(file.c_str(), FILE_READ_DATA | FILE_WRITE_DATA, 0, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        DISK_GEOMETRY geometry{}, unanswered{};
        DWORD returned = 0;
        const BOOL win32 = ::DeviceIoControl(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                             &unanswered, sizeof unanswered, &returned, nullptr);
        const DWORD win32Error = ::GetLastError();
        ASSERT_FALSE(win32) << "Wine now answers for image files";
        Win32Platform platform;
        const BOOL answered = platform.DeviceIoControl(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                                       &geometry, sizeof geometry, &returned, nullptr);
        const bool standard = std::find(sizes, sizes + 5, size) != sizes + 5;
        EXPECT_EQ(answered != FALSE, standard);
        if (standard) {
            EXPECT_EQ(returned, sizeof geometry);
            EXPECT_EQ(geometry.Cylinders.QuadPart * geometry.TracksPerCylinder * geometry.SectorsPerTrack *
                          geometry.BytesPerSector, size);
            EXPECT_EQ(geometry.Cylinders.QuadPart, 80);
            EXPECT_EQ(geometry.BytesPerSector, 512u);
        } else {
            EXPECT_EQ(platform.GetLastError(), win32Error);
        }
    }
}

}  // namespace
