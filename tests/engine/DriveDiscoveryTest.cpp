// Drive discovery on the simulated platform: the removable drives in order,
// and the trace line of every existing drive.
#include "EngineTestSupport.h"
#include "engine/Imager.h"

namespace {

TEST(FindFloppyDrives, ListsTheRemovableDrivesAndTracesEveryDrive)
{
    struct Drive {
        char letter;
        UINT type;
    };
    struct Case {
        const char* name;
        std::vector<Drive> drives;
        DWORD extraMaskBits;  // drive bits beyond the letters
        const char* letters;
        const char* trace;
    };
    const Case cases[] = {
        {"floppy, fixed, optical",
         {{'A', DRIVE_REMOVABLE}, {'C', DRIVE_FIXED}, {'D', DRIVE_CDROM}}, 0, "A", "A\nC\nD\n"},
        {"two floppies and a removable USB drive",
         {{'E', DRIVE_REMOVABLE}, {'A', DRIVE_REMOVABLE}, {'C', DRIVE_FIXED},
          {'B', DRIVE_REMOVABLE}},
         0, "ABE", "A\nB\nC\nE\n"},
        {"no removable drive",
         {{'C', DRIVE_FIXED}, {'R', DRIVE_REMOTE}, {'S', DRIVE_RAMDISK}, {'U', DRIVE_UNKNOWN}},
         0, "", "C\nR\nS\nU\n"},
        {"no drives at all", {}, 0, "", ""},
        {"bits above Z", {{'Z', DRIVE_REMOVABLE}}, 0xFC000000u, "Z", "Z\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedPlatform platform;
        ScopedPlatformOverride use(platform);
        for (const Drive& drive : c.drives) {
            platform.AddDrive(drive.letter, drive.type);
        }
        platform.AddMaskBits(c.extraMaskBits);

        CapturedOutput output;
        EXPECT_EQ(FindFloppyDrives(), c.letters);
        EXPECT_EQ(output.Text(), c.trace);
        EXPECT_EQ(platform.CallsTo(Api::GetLogicalDrives).size(), 1u);
        EXPECT_EQ(Boxes(platform), BoxList{});
    }
}

}  // namespace
