// PosixDrive on an image file: its format from its size, a read past its end
// never complete (the disk has gone), the file held exclusively.
#include <gtest/gtest.h>

#include "drive/posix/PosixDrive.h"
#include "tests/support/TestSupport.h"

TEST(PosixDrive, ReadsAnImageFileHeldExclusivelyAndNeverPastItsEnd)
{
    TempFolder folder;
    const FloppyDrive image = FloppyDrive::AtPath(folder.Join("disk.img"));
    const Bytes disk = Pattern(k720.MediumBytes(), 0, 'P');
    ASSERT_TRUE(WriteWholeFile(image.devicePath, disk));
    PosixDriveSystem system;
    DriveError error;
    const std::unique_ptr<Drive> drive = system.Open(image, DriveUse::Reading, error);
    DriveGeometry geometry;
    ASSERT_TRUE(drive && !drive->QueryGeometry(geometry).Failed());
    EXPECT_TRUE(geometry == (DriveGeometry{80, 2, 9, 512, FloppyMedia::Kb720}));
    const DriveBuffer buffer = system.AllocateBuffer(1024);
    const TransferResult past = drive->Read(buffer.Data(), disk.size() - 512, 1024);
    EXPECT_TRUE(past.moved == 512 && !past.Complete() && past.error.failure == DriveFailure::Gone && std::equal(buffer.Data(), buffer.Data() + 512, disk.end() - 512));
    EXPECT_TRUE(!system.Open(image, DriveUse::Reading, error) && error.failure == DriveFailure::InUse);
}
