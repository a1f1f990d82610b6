// The command line on the simulated drive: verification, a copy stopped by its
// observer after the current cylinder, and the exit statuses of a rescue.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Targets.h"
#include "archive/BagIt.h"
#include "engine/CommandLine.h"
#include "tests/support/TestSupport.h"

namespace {

const uint32_t kCylinderBytes = k144.BytesPerCylinder();
const size_t kDiskBytes = k144.MediumBytes();

TEST(CommandLineVerify, ADiskUnlikeItsFilesExitsWith3NamingTheFirstDifference)
{
    const struct {
        const char* command;
        int nthRead;    // the disk read before which the medium changes
        size_t offset;  // the byte of the disk that changes; past the end: none
        const char* box;
    } cases[] = {
        {"write", 0, 0, "0 of the disk differs from @cyl00.bin at byte 0 (byte 0 of the disk)"},
        {"write", 0, 5 * kCylinderBytes + 100, "5 of the disk differs from @cyl05.bin at byte 100 (byte 92260 of the disk)"},
        {"write", 79, kDiskBytes - 1, "79 of the disk differs from @cyl79.bin at byte 18431 (byte 1474559 of the disk)"},
        {"read", 80, 42 * kCylinderBytes + 7, "42 of the disk differs from @cyl42.bin at byte 7 (byte 774151 of the disk)"},
        {"write", 0, kDiskBytes, nullptr},
        {"read", 80, kDiskBytes, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.offset));
        const bool writing = std::string(c.command) == "write";
        const Bytes image = Pattern(kDiskBytes, 0, 'F');
        SimulatedDisk floppy(k144, writing ? Bytes(kDiskBytes) : image);
        TempFolder folder;
        if (writing) {
            folder.WriteSet(image);
        }
        Bytes& medium = floppy.sim.medium;
        floppy.sim.OnRequest(SimulatedDrive::Read, c.nthRead, [&] { c.offset < medium.size() ? medium[c.offset] ^= 0x5A : 0; });

        Arguments arguments;
        arguments.command = c.command;
        arguments.operands = writing ? std::vector<std::string>{folder.Path(), floppy.drive} : std::vector<std::string>{floppy.drive, folder.Path()};
        arguments.verify = arguments.quiet = true;
        EXPECT_EQ(RunCommand(arguments), c.box ? 3 : 0);
        // One pass, then verifying reads up to the first difference: all 80 when there is none.
        EXPECT_EQ(floppy.sim.CountOf(SimulatedDrive::Read), (writing ? 0 : 80) + std::min<size_t>(c.offset / kCylinderBytes + 1, 80));
        EXPECT_EQ(floppy.sim.CountOf(SimulatedDrive::Write), writing ? 80u : 0u);
        EXPECT_EQ(std::count(floppy.sim.opens.begin(), floppy.sim.opens.end(), DriveUse::Writing), writing ? 1 : 0) << "verifying only reads";
        std::string box = c.box ? std::string("Error: Verification failed: cylinder ") + c.box : "";
        // `read` verifies its files before they are moved into the folder, and moves none that differ.
        box.find('@') != std::string::npos ? box.replace(box.find('@'), 1, writing ? folder.Join("") : TemporaryName(folder.Path(), 0) + kSeparator) : box;
        EXPECT_EQ(floppy.sim.messages, c.box ? std::vector<std::string>{box} : std::vector<std::string>{});
        EXPECT_TRUE(writing || folder.ReadSet() == (c.box ? Bytes{} : image));
        EXPECT_EQ(floppy.sim.Unreleased(), 0) << "left open";
    }
}

// Stops after a given cylinder.
struct StopAfter : CylinderObserver {
    int last, told = 0;
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
        const Bytes old = Pattern(kDiskBytes, 0, 'O'), files = Pattern(kDiskBytes, 0, 'N');
        SimulatedDisk floppy(k144, old);
        TempFolder folder;
        folder.WriteSet(files);
        StopAfter observer(last);
        EXPECT_EQ(CopyFilesToDisk('A', folder.Path(), &observer), last < 79 ? EngineStatus::Interrupted : EngineStatus::Success);
        Bytes expected = old;
        std::copy_n(files.begin(), size_t{kCylinderBytes} * (last + 1), expected.begin());
        EXPECT_TRUE(floppy.sim.medium == expected) << last;
        EXPECT_EQ(floppy.sim.messages, std::vector<std::string>{});
    }
}

// 0 only for a whole disk, 4 for one with sectors unreadable, 1 for a disk
// that has gone (it says "not ready" and answers no more); a second run with the map goes on where the first stopped.
TEST(CommandLineRescue, ExitsWith4WhileSectorsAreUnreadable)
{
    SimulatedDisk floppy(k144, Pattern(kDiskBytes, 0, 'R'));
    floppy.sim.AddFault({SimulatedDrive::Read, 17 * kCylinderBytes + 512, 512, {DriveFailure::Medium, 5}, 5});
    TempFolder folder;
    Arguments arguments;
    ASSERT_EQ(ParseArguments({"read", floppy.drive, folder.Path(), "--rescue", "--retries", "2", "--quiet"}, arguments), "");
    EXPECT_EQ(RunCommand(arguments), ExitStatus::Incomplete);
    EXPECT_FALSE(ReadWholeFile(folder.Join("rescue.map")).empty());
    EXPECT_EQ(RunCommand(arguments), ExitStatus::Success);  // the sector reads at its sixth try
    EXPECT_TRUE(folder.ReadSet() == floppy.sim.medium);
    TempFolder other;
    floppy.sim.OnRequest(SimulatedDrive::Read, static_cast<int>(floppy.sim.CountOf(SimulatedDrive::Read)) + 40, [&] {
        floppy.sim.AddFault({SimulatedDrive::Read, 0, kDiskBytes, {DriveFailure::Medium, 5}});
        floppy.sim.AddFault({SimulatedDrive::Geometry, 0, 0, {DriveFailure::NoDisk, 6}});
    });
    ASSERT_EQ(ParseArguments({"read", floppy.drive, other.Path(), "--rescue", "--quiet"}, arguments = {}), "");
    EXPECT_EQ(RunCommand(arguments), ExitStatus::Failed);
    EXPECT_EQ(floppy.sim.Unreleased(), 0) << "left open";
}

// A temporary name that is there already is someone else's: pack and unpack take the next one and leave it
// alone; a read that fails leaves the old set as it was and no temporary folder behind.
TEST(CommandLineTargets, TemporaryNamesNeverTakeAFileThatIsThere)
{
    const Bytes disk = Pattern(kDiskBytes, 0, 'N'), old = Pattern(kDiskBytes, 0, 'O'), mine = {'m', 'i', 'n', 'e'};
    TempFolder work;
    const std::string set = work.Join("set"), image = work.Join("disk.img"), theirs = TemporaryName(set, 0);
    const struct {
        std::vector<std::string> words;
        std::string taken;  // a file (or, with a slash, a folder and its file) there before
        int status;
        bool lost;  // read's new cyl40.bin is lost before it is moved in; else the disk fails at cylinder 40
    } cases[] = {
        {{"pack", set, image}, TemporaryName(image, 0), 0, false},
        {{"unpack", image, set, "--force"}, CylinderFile(theirs, 0), 0, false},
        {{"read", "A:", set, "--force"}, CylinderFile(theirs, 0), 1, false},
        {{"read", "A:", set, "--force"}, CylinderFile(theirs, 0), 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words[0]);
        const bool reading = c.words[0] == "read";
        std::filesystem::create_directories(std::filesystem::path(c.taken).parent_path());
        ASSERT_TRUE(WriteWholeFile(c.taken, mine));
        SimulatedDisk floppy(k144, disk);
        c.lost ? floppy.sim.OnRequest(SimulatedDrive::Read, 79, [&] { std::filesystem::remove(CylinderFile(TemporaryName(set, 1), 40)); })
               : floppy.sim.AddFault({SimulatedDrive::Read, 40 * kCylinderBytes, kCylinderBytes, {DriveFailure::Medium, 5}});
        std::filesystem::create_directories(set);
        for (int cylinder = 0; cylinder < kCylinders && c.words[0] != "unpack"; ++cylinder) {  // unpack's image is pack's
            WriteWholeFile(CylinderFile(set, cylinder), Slice(reading ? old : disk, size_t{kCylinderBytes} * cylinder, kCylinderBytes));
        }
        Arguments arguments;
        std::vector<std::string> words = c.words;
        std::replace(words.begin(), words.end(), std::string("A:"), floppy.drive);
        ASSERT_EQ(ParseArguments(words, arguments), "");
        arguments.quiet = true;
        EXPECT_EQ(RunCommand(arguments), c.status);
        EXPECT_EQ(ReadWholeFile(c.taken), mine) << "a file that was there is left alone";
        EXPECT_TRUE(ReadWholeFile(image) == disk);
        Bytes files;
        for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
            const Bytes file = ReadWholeFile(CylinderFile(set, cylinder));
            files.insert(files.end(), file.begin(), file.end());
        }
        EXPECT_TRUE(files == (reading ? old : disk));
        EXPECT_FALSE(std::filesystem::exists(TemporaryName(set, 1)) || std::filesystem::exists(TemporaryName(set, 2)) || std::filesystem::exists(TemporaryName(image, 1)));
        std::filesystem::remove_all(theirs);
    }
}

// An archive of a disk with an unreadable sector is a valid bag that records
// it, with exit status 4; two reads that differ make no bag, with 3.
TEST(CommandLineArchive, ABagRecordsUnreadableSectorsAndTwoReadsThatDifferMakeNone)
{
    for (const bool rescue : {true, false}) {
        SimulatedDisk floppy(k144, Pattern(kDiskBytes, 0, 'B'));
        Bytes& medium = floppy.sim.medium;
        if (rescue) {
            floppy.sim.writeProtected = true;
            floppy.sim.AddFault({SimulatedDrive::Read, 17 * kCylinderBytes + 512, 512, {DriveFailure::Medium, 5}});
        } else {
            floppy.sim.OnRequest(SimulatedDrive::Read, 80, [&] { medium[100] ^= 1; });
        }
        TempFolder collection;
        Arguments arguments;
        std::vector<std::string> words = {"archive", floppy.drive, collection.Path(), "--id", "box1-07", "--quiet"};
        rescue ? words.insert(words.end(), {"--rescue", "--retries", "0"}) : words.end();
        ASSERT_EQ(ParseArguments(words, arguments), "");
        EXPECT_EQ(RunCommand(arguments), rescue ? ExitStatus::Incomplete : ExitStatus::Differs);
        const std::string bag = collection.Join("box1-07"), data = bag + "/data/box1-07";
        EXPECT_EQ(floppy.sim.Unreleased(), 0) << "left open";
        if (!rescue) {
            EXPECT_TRUE(std::filesystem::is_empty(collection.Path()));
            continue;
        }
        EXPECT_EQ(ValidateBag(bag), std::vector<std::string>{});
        EXPECT_EQ(TagValue(ReadBagInfo(bag), "Trakoni-Unreadable-Sectors"), "1");
        EXPECT_EQ(TagValue(ReadBagInfo(bag), "Trakoni-Write-Protected"), "yes");
        EXPECT_EQ(TagValue(ReadBagInfo(bag), "Trakoni-Status"), "unreadable sectors");
        const Bytes log = ReadWholeFile(data + ".log"), map = ReadWholeFile(data + ".map");
        const std::string logText(log.begin(), log.end());
        for (const char* line : {"1 of 2,880 sectors unreadable: cylinder 17 head 0 sector 2\n",
                                 "Write protection: the disk was write-protected\n",
                                 "\nh0 s 2 +++++++++++++++++-++++++++"}) {
            EXPECT_NE(logText.find(line), std::string::npos) << line;
        }
        EXPECT_NE(ReadWholeFile(data + "-map.svg").size(), 0u);
        EXPECT_NE(std::string(map.begin(), map.end()).find("0x0004CA00  0x00000200  -"), std::string::npos);
        const Bytes image = ReadWholeFile(data + ".img");
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 17 * kCylinderBytes + 512, medium.begin()));
        // The map names no folder (the bag's files were rescued elsewhere): the rescue goes on from the bag's
        // image and a copy of its map, the damage gone.
        EXPECT_EQ(std::string(map.begin(), map.end()).find("Trakoni-Folder"), std::string::npos);
        TempFolder again;
        SimulatedDisk repaired(k144, medium);
        ASSERT_TRUE(WriteWholeFile(again.Join("rescue.map"), map));
        for (const std::vector<std::string>& command : {std::vector<std::string>{"unpack", data + ".img", again.Path(), "--quiet"},
                                                         {"read", repaired.drive, again.Path(), "--rescue", "--quiet"}}) {
            ASSERT_EQ(ParseArguments(command, arguments = {}), "");
            EXPECT_EQ(RunCommand(arguments), ExitStatus::Success);
        }
        EXPECT_TRUE(again.ReadSet() == medium);
    }
}

// A disk changed between the look into the drive (its format named) and the read stops before a sector is read.
TEST(CommandLineProbe, ADiskChangedAfterItsFormatWasAskedIsNotRead)
{
    SimulatedDisk floppy(k144, Pattern(kDiskBytes, 0, 'P'));
    floppy.sim.OnRequest(SimulatedDrive::Geometry, 1, [&] { floppy.sim.medium = Bytes(k720.MediumBytes()), floppy.sim.geometry = k720.Geometry(); });
    TempFolder collection;
    Arguments arguments;
    ASSERT_EQ(ParseArguments({"archive", floppy.drive, collection.Path(), "--id", "b1", "--quiet"}, arguments), "");
    EXPECT_EQ(RunCommand(arguments), ExitStatus::Failed);
    EXPECT_EQ(floppy.sim.messages, std::vector<std::string>{"Error: The disk in " + floppy.drive + " changed before it was read: it holds 737280 bytes, not 1474560 as before; nothing was read"});
    EXPECT_TRUE(floppy.sim.CountOf(SimulatedDrive::Read) == 0 && !std::filesystem::exists(collection.Join("b1")));
    EXPECT_EQ(floppy.sim.Unreleased(), 0) << "left open";
}

// map: the grid of a set's sectors (from its map, else its files' markers)
// or of any mapfile, one character a sector; a map of no floppy is refused.
TEST(CommandLineMap, ShowsEverySectorWhereItIsOnTheDisk)
{
    const struct {
        std::vector<std::pair<int, char>> markers;  // in a 1.44 MB set: sector, '-' or '?'
        const char* map;   // the set's rescue.map; with no markers, a mapfile alone
        int status, rows;  // a row per sector of each head
        std::vector<std::string> marked;  // "h1 s 5 17-": the row, the cylinder whose sector is not '+', its status
    } cases[] = {
        {{{634, '-'}, {635, '-'}, {2879, '?'}}, nullptr, 4, 36, {"h1 s 5 17-", "h1 s 6 17-", "h1 s18 79?"}},
        {{{5, '+'}}, nullptr, 0, 36, {}},  // a whole set
        {{{634, '-'}}, "0 +\n0 0x200 +\n0x200 0x200 -\n0x400 0x167C00 +\n", 4, 36, {"h0 s 2 0-"}},  // the map wins
        {{}, "0 +\n0x0 0x1200 +\n0x1200 0x400 -\n0x1600 0x200 ?\n0x1800 0xB2800 +\n", 4, 18, {"h1 s 1 0-", "h1 s 2 0-", "h1 s 3 0?"}},  // 720 KB
        {{}, "0 +\n0 0x400 -\n", 1, 0, {}},  // "it maps 1024 bytes, the size of no floppy disk"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.map ? c.map : "markers");
        TempFolder folder;
        Bytes image = Pattern(kDiskBytes, 0, 'M');
        for (const auto& [sector, status] : c.markers) {
            const std::string marker = status == '-' ? kBadSectorMarker : status == '?' ? kNotReadMarker : "";
            for (int i = 0; i < 512 && !marker.empty(); ++i) {
                image[512 * sector + i] = static_cast<unsigned char>(marker[i % marker.size()]);
            }
        }
        if (!c.markers.empty()) {
            folder.WriteSet(image);
        }
        const std::string map = folder.Join(c.markers.empty() ? "other.map" : "rescue.map");
        if (c.map) {
            WriteWholeFile(map, Bytes(c.map, c.map + std::strlen(c.map)));
        }
        Arguments arguments;
        ASSERT_EQ(ParseArguments({"map", c.markers.empty() ? map : folder.Path()}, arguments), "");
        testing::internal::CaptureStdout();
        EXPECT_EQ(RunCommand(arguments), c.status);
        std::istringstream out(testing::internal::GetCapturedStdout());
        int rows = 0;
        for (std::string line; std::getline(out, line);) {
            if (line[0] != 'h') {
                continue;
            }
            ++rows;
            std::string want(80, '+');
            for (const std::string& m : c.marked) {
                if (m.compare(0, 7, line, 0, 7) == 0) {
                    want[std::stoul(m.substr(7))] = m.back();
                }
            }
            EXPECT_EQ(line.substr(7), want) << line.substr(0, 7);
        }
        EXPECT_EQ(rows, c.rows);
    }
}

// A bag that appears while an archive runs is replaced only with --force.
TEST(CommandLineArchive, ABagThatAppearsMeanwhileIsReplacedOnlyWithForce)
{
    for (const bool force : {false, true}) {
        SimulatedDisk floppy(k144, Pattern(kDiskBytes, 0, 'B'));
        TempFolder collection;
        const std::string bag = collection.Join("d1");
        floppy.sim.OnRequest(SimulatedDrive::Read, 100, [&] { std::filesystem::create_directories(bag + "/data"), WriteWholeFile(bag + "/data/mine", {'m'}); });
        Arguments arguments;
        ASSERT_EQ(ParseArguments({"archive", floppy.drive, collection.Path(), "--id", "d1", "--quiet", force ? "--force" : "--quiet"}, arguments), "");
        EXPECT_EQ(RunCommand(arguments), force ? ExitStatus::Success : ExitStatus::Failed);
        EXPECT_EQ(std::filesystem::exists(bag + "/data/mine"), !force);
        EXPECT_EQ(std::filesystem::exists(collection.Join("catalog.tsv")), force);
    }
}

#ifndef _WIN32
// The station checks its drive before it asks for the first disk, as an archive does.
TEST(CommandLineStation, RefusesAPathThatIsNoDriveAtOnce)
{
    TempFolder work;  // the real drives: nothing there to open
    ASSERT_TRUE(WriteWholeFile(work.Join("ids"), {'d', '1', '\n'}));
    Arguments arguments;
    ASSERT_EQ(ParseArguments({"station", work.Join("sdzz"), work.Join("coll"), "--ids", work.Join("ids")}, arguments), "");
    EXPECT_EQ(RunCommand(arguments), ExitStatus::Failed);
    EXPECT_FALSE(std::filesystem::exists(work.Join("coll")));
}
#endif

}  // namespace
