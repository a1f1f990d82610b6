// The engine's operations on the simulated Drive: a copy both ways, opened for
// what it does, and each kind of fault of the drive stopping it with its
// status and one message, the drive and the buffer released.
#include <gtest/gtest.h>

#include "engine/Imager.h"
#include "tests/support/TestSupport.h"

namespace {

using Texts = std::vector<std::string>;
using Sim = SimulatedDrive;
constexpr uint32_t kBytes = k144.BytesPerCylinder();
const char kReadFailed[] = "Error: Could not read from disk.  Disk might be damaged or missing.";
const char kWriteFailed[] = "Error: Read from disk failed.  Disk might be damaged or missing.";
const char kDamaged[] = "ERROR: Disk is either missing or damaged";

TEST(Operations, CopyBothWaysOpeningTheDriveForWhatTheyDo)
{
    const Bytes disk = Pattern(k144.MediumBytes(), 0, 'D');
    SimulatedDisk floppy(k144, disk);
    TempFolder folder;
    ASSERT_EQ(CopyDiskToFiles('A', folder.Path()), 0);
    EXPECT_TRUE(folder.ReadSet() == disk);
    floppy.sim.medium.assign(disk.size(), 0);
    ASSERT_EQ(CopyFilesToDisk('A', folder.Path()), 0);
    EXPECT_TRUE(floppy.sim.medium == disk);
    EXPECT_EQ(floppy.sim.opens, (std::vector<DriveUse>{DriveUse::Reading, DriveUse::Writing}));
    EXPECT_EQ(floppy.sim.CountOf(Sim::Read) * 1000 + floppy.sim.CountOf(Sim::Write) * 10 + floppy.sim.CountOf(Sim::Flush), 80801u);
    EXPECT_EQ(floppy.sim.requests.back(), Sim::Flush) << "after the last write";
    EXPECT_EQ(floppy.sim.messages, Texts{});
    ExpectNothingLeaked(floppy.sim);
}

struct FaultCase {
    const char* name;
    Sim::Fault fault;  // at cylinder 40 for a transfer
    DriveFailure open;
    int status;
    const char* box;
    uint32_t partial = 0;  // bytes of cylinder 40 that still arrive
};

TEST(Operations, EachKindOfDriveFaultStopsTheCopyWithOneMessage)
{
    const DriveError medium{DriveFailure::Medium, 5};
    const auto at40 = [](Sim::Kind kind, DriveError error, TransferStop stop = TransferStop::Failed, uint32_t moved = 0) {
        return Sim::Fault{kind, 40ull * kBytes, kBytes, error, -1, moved, stop};
    };
    const FaultCase cases[] = {
        {"in use", {}, DriveFailure::InUse, 2, "ERROR: Drive is currently in use"},
        {"no disk", {}, DriveFailure::NoDisk, 2, "ERROR: There is no disk in drive A:"},
        {"no permission", {}, DriveFailure::NoPermission, 2, "ERROR: open A:: 13"},
        {"no geometry", {Sim::Geometry, 0, 0, {DriveFailure::NoDisk, 6}}, {}, 1, kDamaged},
        {"no memory", {}, {}, 3, "Error: Out of memory"},
        {"read: medium", at40(Sim::Read, medium), {}, 6, kReadFailed},
        {"read: refused", at40(Sim::Read, medium, TransferStop::Refused), {}, 4, kReadFailed},
        {"read: short", at40(Sim::Read, {DriveFailure::Gone, 0}, TransferStop::Failed, 512), {}, 6, kReadFailed},
        {"write: medium", at40(Sim::Write, medium), {}, 1, kWriteFailed},
        {"write: short", at40(Sim::Write, {DriveFailure::Gone, 0}, TransferStop::Failed, kBytes - 512), {}, 1, kWriteFailed, kBytes - 512},
        {"write: refused", at40(Sim::Write, {DriveFailure::WriteProtected, 30}, TransferStop::Refused), {}, 4, "Error: Error in communications"},
        {"flush", {Sim::Flush, 0, 0, medium}, {}, 1, kWriteFailed},
    };
    const Bytes source = Pattern(k144.MediumBytes(), 0, 'N'), old = Pattern(k144.MediumBytes(), 0, 'O');
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool toFiles = c.fault.kind != Sim::Write && c.fault.kind != Sim::Flush;
        SimulatedDisk floppy(k144, toFiles ? source : old);
        TempFolder folder;
        folder.WriteSet(toFiles ? old : source);
        floppy.sim.openError = {c.open, 13};
        floppy.sim.noMemory = c.status == 3;
        floppy.sim.AddFault(c.fault);
        EXPECT_EQ((toFiles ? CopyDiskToFiles : CopyFilesToDisk)('A', folder.Path()), c.status);
        EXPECT_EQ(floppy.sim.messages, Texts{c.box});
        ExpectNothingLeaked(floppy.sim);
        const bool transfer = c.fault.kind == Sim::Read || c.fault.kind == Sim::Write;
        Bytes expected = old;
        std::copy_n(source.begin(), c.fault.kind == Sim::Flush ? source.size() : transfer ? 40 * kBytes + c.partial : 0, expected.begin());
        EXPECT_TRUE((toFiles ? folder.ReadSet() : floppy.sim.medium) == expected);
    }
}

}  // namespace
