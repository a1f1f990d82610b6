// The dialog's copy onto the disk, through the engine on the real drive, on
// a drive A: whose medium fails the write of some sectors: run by
// fault-tests.sh inside with-fault-device.sh, which sets those faults.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/CommandLine.h"
#include "tests/support/TestSupport.h"

namespace {

// The cylinders reach the medium only after the last one is handed over: a
// copy that said nothing then would report a disk it did not write.
TEST(FaultDevice, CopyOntoADiskThatFailsTheWriteSaysSoOnce)
{
    SimulatedDrive recorded;  // its messages alone: the drive is the real one
    ScopedErrorMessagesOverride use{recorded};
    const Bytes image = Pattern(k144.MediumBytes(), 0, 'F');
    TempFolder source;
    source.WriteSet(image);
#ifdef _WIN32
    const FloppyDrive drive('A');
#else
    const char* device = std::getenv("TRAKONI_FAULT_DEVICE");
    ASSERT_NE(device, nullptr) << "not on the fault device";
    const FloppyDrive drive = FloppyDrive::AtPath(device);
#endif
    EXPECT_NE(CopyFilesToDisk(drive, source.Path(), nullptr), 0);
    EXPECT_EQ(recorded.messages.size(), 1u) << (recorded.messages.empty() ? "" : recorded.messages[0]);
    const char* medium = std::getenv("TRAKONI_FAULT_IMAGE");
    ASSERT_NE(medium, nullptr) << "not on the fault device";
    EXPECT_FALSE(ReadWholeFile(ProgramPathOf(medium)) == image) << "the medium holds the set: the fault did not act";
}

}  // namespace
