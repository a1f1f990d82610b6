// The command line's copies on the simulated drive: verification catching a
// disk that does not hold what was written, and a copy stopped by its
// observer after the current cylinder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli/Commands.h"
#include "engine/CommandLine.h"
#include "platform/SimulatedPlatform.h"
#include "tests/support/TestSupport.h"

namespace {

using Api = SimulatedPlatform::Api;
constexpr DWORD kCylinderBytes = 2 * 18 * 512;
constexpr size_t kDiskBytes = size_t{kCylinderBytes} * 80;

// Drive A with a 1.44 MB disk holding `disk`, and a set of files in a folder.
struct Rig {
    SimulatedPlatform platform;
    ScopedPlatformOverride use{platform};
    TempFolder folder;

    Rig(const Bytes& disk, const Bytes& files)
    {
        DISK_GEOMETRY geometry{};
        GeometryOfFloppyImageSize(kDiskBytes, geometry);
        platform.AddDrive('A', DRIVE_REMOVABLE);
        platform.InsertMedium('A', disk, geometry);
        for (int cylinder = 0; cylinder < 80 && !files.empty(); ++cylinder) {
            const auto start = files.begin() + size_t{kCylinderBytes} * cylinder;
            WriteWholeFile(folder.File(cylinder), Bytes(start, start + kCylinderBytes));
        }
    }
    // Every handle, event and buffer released.
    ~Rig()
    {
        EXPECT_EQ(platform.OpenHandles() + platform.OpenEvents() + platform.LiveHeapBlocks(), 0);
    }
};

TEST(CommandLineVerify, ADiskUnlikeItsFilesExitsWith3NamingTheFirstDifference)
{
    struct Case {
        const char* command;
        int nthRead;      // the disk read before which the medium changes
        size_t offset;    // the byte of the disk that changes; past the end: none
        int exitStatus;
        const char* text; // of the one message, after "cylinder "
    };
    const Case cases[] = {
        {"write", 0, 0, 3,
         "0 of the disk differs from <folder>\\cyl00.bin at byte 0 (byte 0 of the disk)"},
        {"write", 0, 5 * kCylinderBytes + 100, 3,
         "5 of the disk differs from <folder>\\cyl05.bin at byte 100 (byte 92260 of the disk)"},
        {"write", 79, kDiskBytes - 1, 3,
         "79 of the disk differs from <folder>\\cyl79.bin at byte 18431 (byte 1474559 of the disk)"},
        {"read", 80, 42 * kCylinderBytes + 7, 3,
         "42 of the disk differs from <folder>\\cyl42.bin at byte 7 (byte 774151 of the disk)"},
        {"write", 0, kDiskBytes, 0, nullptr},
        {"read", 80, kDiskBytes, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.offset));
        const bool writing = std::string(c.command) == "write";
        const Bytes image = Pattern(kDiskBytes, 0, 'F');
        Rig rig(writing ? Bytes(kDiskBytes, 0) : image, writing ? image : Bytes());
        Bytes& medium = rig.platform.Medium('A');
        rig.platform.OnCall(Api::ReadFile, c.nthRead, [&] {
            if (c.offset < medium.size()) {
                medium[c.offset] ^= 0x5A;
            }
        });

        Arguments arguments;
        arguments.command = c.command;
        arguments.operands = {rig.folder.Path(), "A:"};
        if (!writing) {
            std::swap(arguments.operands[0], arguments.operands[1]);
        }
        arguments.verify = arguments.quiet = true;
        EXPECT_EQ(RunCommand(arguments), c.exitStatus);

        // One pass of writes or reads, then verifying reads up to the first
        // difference: all 80 when there is none.
        const size_t verifyReads = std::min<size_t>(c.offset / kCylinderBytes + 1, 80);
        EXPECT_EQ(rig.platform.CallsTo(Api::ReadFile).size(), (writing ? 0 : 80) + verifyReads);
        EXPECT_EQ(rig.platform.CallsTo(Api::WriteFile).size(), writing ? 80u : 0u);
        const auto boxes = rig.platform.CallsTo(Api::MessageBoxA);
        if (c.text == nullptr) {
            EXPECT_TRUE(boxes.empty());
        } else {
            std::string text = std::string("Verification failed: cylinder ") + c.text;
            text.replace(text.find("<folder>"), 8, rig.folder.Path());
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, text);
        }
    }
}

// Stops after a given cylinder.
struct StopAfter : CylinderObserver {
    int last;
    int told = 0;
    explicit StopAfter(int cylinder) : last(cylinder) {}
    bool CylinderDone(int cylinder, const unsigned char*, uint32_t bytes) override
    {
        EXPECT_EQ(cylinder, told++);
        EXPECT_EQ(bytes, kCylinderBytes);
        return cylinder < last;
    }
};

TEST(CommandLineObserver, StopsTheCopyAfterTheCurrentCylinder)
{
    for (const int last : {0, 41, 79}) {
        SCOPED_TRACE(last);
        const Bytes old = Pattern(kDiskBytes, 0, 'O');
        const Bytes files = Pattern(kDiskBytes, 0, 'N');
        Rig rig(old, files);
        StopAfter observer(last);
        EXPECT_EQ(CopyFilesToDisk('A', rig.folder.Path(), &observer),
                  last < 79 ? EngineStatus::Interrupted : EngineStatus::Success);
        const size_t split = size_t{kCylinderBytes} * (last + 1);
        const Bytes& medium = rig.platform.Medium('A');
        EXPECT_TRUE(std::equal(files.begin(), files.begin() + split, medium.begin()));
        EXPECT_TRUE(std::equal(old.begin() + split, old.end(), medium.begin() + split));
        EXPECT_EQ(rig.platform.CallsTo(Api::MessageBoxA).size(), 0u);
    }
}

}  // namespace
