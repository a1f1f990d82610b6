// The real platform's one addition to Win32: the geometry of a floppy image
// file that stands in for a drive, and only of such a file.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

struct FloppyFormat {
    LONGLONG bytes;
    DWORD sectorsPerTrack;
};

// The standard 80-cylinder, two-sided formats with 512-byte sectors.
const FloppyFormat kFloppyFormats[] = {
    {737280, 9}, {1228800, 15}, {1474560, 18}, {1720320, 21}, {2949120, 36},
};

void ExpectFloppyGeometry(const DISK_GEOMETRY& geometry, LONGLONG bytes,
                          DWORD sectorsPerTrack)
{
    EXPECT_EQ(geometry.Cylinders.QuadPart, 80);
    EXPECT_EQ(geometry.TracksPerCylinder, 2u);
    EXPECT_EQ(geometry.SectorsPerTrack, sectorsPerTrack);
    EXPECT_EQ(geometry.BytesPerSector, 512u);
    EXPECT_EQ(geometry.Cylinders.QuadPart * geometry.TracksPerCylinder *
                  geometry.SectorsPerTrack * geometry.BytesPerSector,
              bytes)
        << "the geometry does not cover the image";
}

TEST(GeometryOfFloppyImageSize, AnswersForEveryStandardFormat)
{
    for (const FloppyFormat& format : kFloppyFormats) {
        SCOPED_TRACE(format.bytes);
        DISK_GEOMETRY geometry = {};
        ASSERT_TRUE(GeometryOfFloppyImageSize(format.bytes, geometry));
        ExpectFloppyGeometry(geometry, format.bytes, format.sectorsPerTrack);
    }
}

TEST(GeometryOfFloppyImageSize, RejectsEveryOtherSize)
{
    const LONGLONG sizes[] = {
        0, -1, -1474560, 1, 100000,
        737279, 737281, 737280 - 512, 737280 + 512,
        1228799, 1228801, 1474559, 1474561, 1474560 - 512, 1474560 + 512,
        1720319, 1720321, 2949119, 2949121,
        368640,             // 360 KB: 40 cylinders
        163840,             // 160 KB: 40 cylinders, one side
        2 * 1228800,        // no format of its own
        1474560LL << 32,    // wraps to 0 in 32 bits
        1474560 + (1LL << 32),
    };
    for (LONGLONG bytes : sizes) {
        DISK_GEOMETRY geometry = {};
        EXPECT_FALSE(GeometryOfFloppyImageSize(bytes, geometry)) << bytes;
    }
}

// The geometry request as the engine sends it, through the real platform,
// with the raw Win32 answer on the same handle beside it.
struct GeometryAnswer {
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD returned = 0;
    DISK_GEOMETRY geometry = {};
};

GeometryAnswer Ask(FloppyPlatform& platform, HANDLE handle,
                   DWORD code = IOCTL_DISK_GET_DRIVE_GEOMETRY,
                   DWORD outSize = sizeof(DISK_GEOMETRY))
{
    GeometryAnswer answer;
    answer.ok = platform.DeviceIoControl(handle, code, nullptr, 0, &answer.geometry, outSize,
                                         &answer.returned, nullptr);
    answer.error = answer.ok ? 0 : platform.GetLastError();
    return answer;
}

// Win32 itself: the real platform less its one addition.
struct PlainWin32 : Win32Platform {
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, OVERLAPPED* overlapped) override
    {
        return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    }
} g_win32;
Win32Platform g_platform;

// Opens a volume the way the engine does.
KernelHandle OpenLikeEngine(const std::string& path)
{
    return KernelHandle(::CreateFileA(path.c_str(), FILE_READ_DATA | FILE_WRITE_DATA, 0,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

// Wine has no driver for a volume backed by an image file: the request fails
// there, and the platform answers for the floppy images.
TEST(Win32PlatformGeometry, VirtualFloppiesGetTheGeometryOfTheirImage)
{
    struct Case {
        char letter;
        LONGLONG bytes;
        DWORD sectorsPerTrack;
    };
    const Case cases[] = {{'A', 1474560, 18}, {'B', 737280, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.letter));
        const KernelHandle volume(OpenLikeEngine(std::string("\\\\.\\") + c.letter + ":"));
        ASSERT_NE(volume.Get(), INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
        ASSERT_FALSE(Ask(g_win32, volume.Get()).ok) << "Wine now answers for image files";

        const GeometryAnswer answer = Ask(g_platform, volume.Get());
        ASSERT_TRUE(answer.ok) << "error " << answer.error;
        EXPECT_EQ(answer.returned, sizeof(DISK_GEOMETRY));
        ExpectFloppyGeometry(answer.geometry, c.bytes, c.sectorsPerTrack);
    }
}

// Everything the platform does not answer for fails exactly as Win32 fails,
// error code included.
TEST(Win32PlatformGeometry, OtherwiseKeepsTheWin32Answer)
{
    TempFolder scratch;
    const std::string floppySized = scratch.Path() + "\\floppy-sized.img";
    const std::string oddSized = scratch.Path() + "\\odd-sized.img";
    ASSERT_TRUE(WriteWholeFile(floppySized, Bytes(737280)));
    ASSERT_TRUE(WriteWholeFile(oddSized, Bytes(737281)));

    struct Case {
        const char* name;
        std::string path;
        DWORD code;
        DWORD outSize;
    };
    const Case cases[] = {
        {"image of no floppy size (E:)", "\\\\.\\E:", IOCTL_DISK_GET_DRIVE_GEOMETRY,
         sizeof(DISK_GEOMETRY)},
        {"plain file of no floppy size", oddSized, IOCTL_DISK_GET_DRIVE_GEOMETRY,
         sizeof(DISK_GEOMETRY)},
        {"another request on a floppy image", "\\\\.\\A:", IOCTL_DISK_GET_DRIVE_GEOMETRY_EX,
         sizeof(DISK_GEOMETRY)},
        {"output too small for the record", "\\\\.\\A:", IOCTL_DISK_GET_DRIVE_GEOMETRY,
         sizeof(DISK_GEOMETRY) - 1},
        // Wine's C: is a folder that its driver does answer for.
        {"volume with a driver (C:)", "\\\\.\\C:", IOCTL_DISK_GET_DRIVE_GEOMETRY,
         sizeof(DISK_GEOMETRY)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KernelHandle handle(OpenLikeEngine(c.path));
        ASSERT_NE(handle.Get(), INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
        const GeometryAnswer expected = Ask(g_win32, handle.Get(), c.code, c.outSize);
        const GeometryAnswer answer = Ask(g_platform, handle.Get(), c.code, c.outSize);
        EXPECT_EQ(answer.ok, expected.ok);
        EXPECT_EQ(answer.error, expected.error);
        if (expected.ok) {
            EXPECT_EQ(answer.returned, expected.returned);
            EXPECT_EQ(std::memcmp(&answer.geometry, &expected.geometry, sizeof(DISK_GEOMETRY)), 0);
        }
    }

    // A plain file of a floppy size is a floppy image too.
    const KernelHandle file(OpenLikeEngine(floppySized));
    ASSERT_NE(file.Get(), INVALID_HANDLE_VALUE);
    const GeometryAnswer answer = Ask(g_platform, file.Get());
    ASSERT_TRUE(answer.ok) << "error " << answer.error;
    ExpectFloppyGeometry(answer.geometry, 737280, 9);
}

}  // namespace
