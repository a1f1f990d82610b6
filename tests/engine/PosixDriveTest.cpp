// PosixDrive on image files: the geometry from the size, a request past the
// end of the medium never complete, the file held exclusively, and what an
// open that finds no drive answers.
#include <gtest/gtest.h>

#include "drive/posix/PosixDrive.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(PosixDrive, ReadsAnImageFileHeldExclusivelyAndNeverPastItsEnd)
{
    TempFolder folder;
    const Bytes disk = Pattern(k720.MediumBytes(), 0, 'P');
    ASSERT_TRUE(WriteWholeFile(folder.Join("disk.img"), disk));
    PosixDriveSystem system;
    DriveError error;
    const std::unique_ptr<Drive> drive = system.Open(FloppyDrive::AtPath(folder.Join("disk.img")), DriveUse::Reading, error);
    ASSERT_TRUE(drive);
    DriveGeometry geometry;
    EXPECT_FALSE(drive->QueryGeometry(geometry).Failed());
    EXPECT_TRUE(geometry == (DriveGeometry{80, 2, 9, 512, FloppyMedia::Kb720}));

    const DriveBuffer buffer = system.AllocateBuffer(2 * k720.BytesPerCylinder());
    const TransferResult last = drive->Read(buffer.Data(), disk.size() - k720.BytesPerCylinder(), k720.BytesPerCylinder());
    EXPECT_TRUE(last.Complete() && std::equal(buffer.Data(), buffer.Data() + last.moved, disk.end() - k720.BytesPerCylinder()));
    const TransferResult past = drive->Read(buffer.Data(), disk.size() - 512, 1024);
    EXPECT_EQ(std::to_string(past.moved) + (past.Complete() ? " complete" : " failed") + " " + std::to_string(int(past.error.failure)),
              "512 failed " + std::to_string(int(DriveFailure::Gone)));

    const struct {
        std::string path;
        DriveFailure failure;
    } refusals[] = {{folder.Join("disk.img"), DriveFailure::InUse}, {folder.Path(), DriveFailure::Other}, {folder.Join("none"), DriveFailure::Gone}};
    for (const auto& r : refusals) {
        EXPECT_FALSE(system.Open(FloppyDrive::AtPath(r.path), DriveUse::Reading, error));
        EXPECT_EQ(error.failure, r.failure) << r.path;
    }
}

}  // namespace
