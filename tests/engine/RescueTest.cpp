// A damaged 1.44 MB disk rescued on the simulated drive: files, map (as GNU ddrescuelog reads it too), summary,
// status and requests; then a second run with the map once the damage is gone completes the set, nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "engine/DiskRescue.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t kSector = 512;
const std::string kIdentity = "\n# Trakoni-Disk: 1474560 bytes, 80 x 2 x 18 x 512\n";

// Sectors (numbered through the disk from 0) that fail their first `times`
// reads (-1: every read) with `failure`.
struct Damage { int first, count, times; DriveFailure failure = DriveFailure::Medium; };
// From the nth read on (-1: never) the disk is gone: reads are refused ('r'), or fail ('f'), or a 720 KB disk
// is in the drive ('s'), or another 1.44 MB one whose first read fails ('o'); `read` sectors were read by then,
// as the message says.
struct Vanish { int nth = -1; DriveFailure failure = DriveFailure::None; char how = 'f'; const char* read = ""; };

struct RescueCase {
    const char* name;
    std::vector<Damage> damage;
    Vanish vanish;
    int stopAt, status;            // the observer says stop at request stopAt (-1: never)
    size_t reads;
    const char* areas;             // of the map: status and hex size of each, as "+4F400 -400"
    const char *summary, *passes;  // passes as the observer saw them: pass, retry, first cylinder, unreadable so far
    size_t readsAgain;             // of a second run once the damage is gone
};

const RescueCase kCases[] = {
    {"healthy", {}, {}, -1, 0, 80, "+168000", "0 of 2,880 sectors unreadable", "C@0", 0},
    {"bad sectors on one track", {{634, 2, -1}, {638, 1, -1}}, {}, -1, 13, 123, "+4F400 -400 +400 -200 +118200",
     "3 of 2,880 sectors unreadable: cylinder 17 head 1 sectors 5-6, 9", "C@0 T@17 S@17 R1/3@17:3 R2/3@17:3 R3/3@17:3", 3},
    {"a bad track", {{1440, 18, -1}}, {}, -1, 13, 228, "+B4000 -2400 +B1C00",
     "18 of 2,880 sectors unreadable: cylinder 40 head 0 sectors 1-18", "C@0 T@40 S@40 R1/3@40:18 R2/3@40:18 R3/3@40:18", 1},
    {"a sector that reads on the second try", {{634, 1, 1}}, {}, -1, 0, 83, "+168000", "0 of 2,880 sectors unreadable", "C@0 T@17", 0},
    {"a sector that reads on the last retry", {{634, 1, 5}}, {}, -1, 0, 108, "+168000",
     "0 of 2,880 sectors unreadable", "C@0 T@17 S@17 R1/3@17:1 R2/3@17:1 R3/3@17:1", 0},
    {"the first and the last sector", {{0, 1, -1}, {2879, 1, -1}}, {}, -1, 13, 137, "-200 +167C00 -200",
     "2 of 2,880 sectors unreadable: cylinder 0 head 0 sector 1; cylinder 79 head 1 sector 18",
     "C@0 T@0 S@0 R1/3@0:2 R2/3@0:2 R3/3@0:2", 2},
    {"the disk goes among the cylinders", {{634, 1, -1}}, {40, DriveFailure::Medium, 'r', "1,368"}, -1, 1, 42, "+4C800 ?4800 +5E800 ?B8800",
     "0 of 2,880 sectors unreadable, 1,512 not read", "C@0", 42},
    {"the disk goes among the sectors", {{634, 1, -1}}, {84, DriveFailure::NoDisk, 'f', "2,862"}, -1, 1, 85, "+4EC00 ?2400 +117000",
     "0 of 2,880 sectors unreadable, 18 not read", "C@0 T@17 S@17", 1},
    {"the disk said to be gone", {}, {40, DriveFailure::Gone, 'f', "1,440"}, -1, 1, 41, "+B4000 ?B4000",
     "0 of 2,880 sectors unreadable, 1,440 not read", "C@0", 40},
    {"the disk pulled out, failing as a bad sector does", {}, {40, DriveFailure::Medium, 'f', "1,440"}, -1, 1, 42, "+B4000 ?B4000",
     "0 of 2,880 sectors unreadable, 1,440 not read", "C@0", 40},
    {"another disk of this format put in", {}, {40, DriveFailure::Medium, 'o', "1,440"}, -1, 1, 42, "+B4000 ?B4000",
     "0 of 2,880 sectors unreadable, 1,440 not read", "C@0", 40},
    {"a disk of another format put in", {}, {40, DriveFailure::None, 's', "1,440"}, -1, 1, 41, "+B4000 ?B4000", "0 of 2,880 sectors unreadable, 1,440 not read", "C@0", 40},
    {"bad sectors that fail for another reason", {{634, 2, -1, DriveFailure::Other}}, {}, -1, 13, 116, "+4F400 -400 +118800",
     "2 of 2,880 sectors unreadable: cylinder 17 head 1 sectors 5-6", "C@0 T@17 S@17 R1/3@17:2 R2/3@17:2 R3/3@17:2", 2},
    {"stopped by the user", {}, {}, 50, 9, 50, "+E1000 ?87000", "0 of 2,880 sectors unreadable, 1,080 not read", "C@0", 30},
};

// Records where each pass began; says stop at request `stopAt`.
struct Recorder : RescueObserver {
    int stopAt = -1, requests = 0;
    std::string passes, last;
    bool GoOn(const RescueProgress& p) override
    {
        const std::string pass = "CTSR"[static_cast<int>(p.pass)] + (p.retry ? std::to_string(p.retry) + "/" + std::to_string(p.retries) : "");
        if (pass != std::exchange(last, pass)) {
            passes += (passes.empty() ? "" : " ") + pass + "@" + std::to_string(p.cylinder) + (p.unreadable ? ":" + std::to_string(p.unreadable) : "");
        }
        return requests++ != stopAt;
    }
};

// The areas of a map as "+4F400 -400": the status and hex size of each.
std::string Areas(const Bytes& map)
{
    std::istringstream lines(std::string(map.begin(), map.end()));
    std::string line, areas;
    for (int data = 0; std::getline(lines, line);) {
        unsigned long long position = 0, size = 0;
        char status = 0, area[24];
        if (line[0] != '#' && data++ > 0 && std::sscanf(line.c_str(), "%llx %llx %c", &position, &size, &status) == 3) {
            std::snprintf(area, sizeof area, " %c%llX", status, size);
            areas += area;
        }
    }
    return areas.empty() ? areas : areas.substr(1);
}

// The disk as its files should hold it: each sector not read is all marker, its own for unreadable and not tried yet.
Bytes Marked(Bytes disk, const std::string& sectors)
{
    for (size_t i = 0; i < disk.size(); ++i) {
        const std::string marker = sectors[i / kSector] == '-' ? "TRAKONI BAD SECTOR " : "TRAKONI NOT READ YET ";
        disk[i] = sectors[i / kSector] == '+' ? disk[i] : static_cast<unsigned char>(marker[i % kSector % marker.size()]);
    }
    return disk;
}

// `text` with @ for the folder, @\ for a file in it, and % for the map.
std::string Filled(std::string text, const TempFolder& folder)
{
    for (size_t at = text.find_first_of("@%"); at != std::string::npos; at = text.find_first_of("@%", at + 1)) {
        const bool inFolder = text[at] == '@' && text.compare(at + 1, 1, "\\") == 0;
        text.replace(at, inFolder ? 2 : 1, text[at] == '%' ? folder.Join("rescue.map") : inFolder ? folder.Join("") : folder.Path());
    }
    return text;
}


TEST(DiskRescue, ReadsAroundTheDamageMarksItAndCompletesTheSetOnceItIsGone)
{
    const Bytes disk = Pattern(k144.MediumBytes(), 0, 'D'), kept = Pattern(k144.BytesPerCylinder(), 0, 'K');
    for (const RescueCase& c : kCases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string map = folder.Join("rescue.map");
        const Bytes mine = {'m', 'i', 'n', 'e'};
        ASSERT_TRUE(WriteWholeFile(map + ".tmp", mine));  // the user's, no temporary file of ours
        RescueResult result;
        SimulatedDisk floppy(k144, disk);
        SimulatedDrive& sim = floppy.sim;
        for (const Damage& d : c.damage) {
            sim.AddFault({SimulatedDrive::Read, d.first * kSector, d.count * kSector, {d.failure, 5}, d.times});
        }
        const SimulatedDrive::Fault vanished{SimulatedDrive::Read, 0, disk.size(), {c.vanish.failure, 6}};
        sim.OnRequest(SimulatedDrive::Read, c.vanish.nth, [&] {
            c.vanish.how == 'r' ? sim.AddFault({vanished.kind, 0, disk.size(), vanished.error, -1, 0, TransferStop::Refused})
            : c.vanish.how == 'f' ? sim.AddFault(vanished)
            : c.vanish.how == 'o' ? (sim.medium = Pattern(disk.size(), 0, 'E'), sim.AddFault({vanished.kind, 0, disk.size(), vanished.error, 1}))
                                  : (sim.medium = Slice(disk, 0, k720.MediumBytes()), sim.geometry = k720.Geometry(), void());
        });
        Recorder recorder;
        recorder.stopAt = c.stopAt;
        EXPECT_EQ(RescueDiskToFiles('A', folder.Path(), {3, "", &recorder}, result), c.status);
        EXPECT_EQ(sim.CountOf(SimulatedDrive::Read), c.reads);
        EXPECT_TRUE(sim.CountOf(SimulatedDrive::Write) == 0 && sim.opens == std::vector<DriveUse>{DriveUse::Reading}) << "only read";
        const std::string gone = std::string("Error: the disk in A: was taken out (or changed); ") + c.vanish.read +
                                 " of 2,880 sectors read, the rest not tried yet: put it back and run again with the map";
        EXPECT_EQ(sim.messages, c.vanish.nth >= 0 ? std::vector<std::string>{gone} : std::vector<std::string>{});
        EXPECT_EQ(recorder.passes, c.passes);
        EXPECT_EQ(sim.Unreleased(), 0) << "left open";

        const Bytes mapText = ReadWholeFile(map);
        EXPECT_NE(std::search(mapText.begin(), mapText.end(), kIdentity.begin(), kIdentity.end()), mapText.end()) << "names its folder and disk";
        EXPECT_EQ(Areas(mapText), c.areas);
        EXPECT_EQ(RescueSummary(result), c.summary);
        EXPECT_TRUE(folder.ReadSet() == Marked(disk, result.sectors));
#ifdef TRAKONI_MAPS_FOR_DDRESCUELOG
        // Kept with the unreadable sectors it names, for GNU ddrescuelog to read after this test.
        std::string unreadable, copy = std::string(TRAKONI_MAPS_FOR_DDRESCUELOG) + "/" + std::to_string(&c - kCases);
        for (size_t s = result.sectors.find('-'); s != std::string::npos; s = result.sectors.find('-', s + 1)) {
            unreadable += std::to_string(s) + "\n";
        }
        ASSERT_TRUE(WriteWholeFile(ProgramPathOf(copy + ".map"), ReadWholeFile(map)) && WriteWholeFile(ProgramPathOf(copy + ".unreadable"), Bytes(unreadable.begin(), unreadable.end())));
#endif

        // Again with the map, the damage gone, cylinder 1's file changed, 2's cut short, 3's gone: only what was
        // not read is read, and the two files that are not whole (after one read that tells it is the same disk).
        ASSERT_TRUE(WriteWholeFile(folder.File(1), kept) && WriteWholeFile(folder.File(2), Slice(kept, 0, 512)) && fs::remove(folder.File(3)));
        SimulatedDisk repaired(k144, disk);
        EXPECT_EQ(RescueDiskToFiles('A', folder.Path(), {}, result), 0);
        EXPECT_EQ(repaired.sim.CountOf(SimulatedDrive::Read), c.readsAgain + 1 + 2);
        EXPECT_EQ(RescueSummary(result), "0 of 2,880 sectors unreadable");
        EXPECT_EQ(Areas(ReadWholeFile(map)), "+168000");
        Bytes expected = disk;
        std::copy(kept.begin(), kept.end(), expected.begin() + kept.size());
        EXPECT_TRUE(folder.ReadSet() == expected);
        EXPECT_EQ(ReadWholeFile(map + ".tmp"), mine);
    }
}

// A map that is not one of this folder and this disk stops the rescue before anything is written, with one message.
TEST(DiskRescue, RefusesAMapOfAnotherFolderOrDiskOrNoMapAtAll)
{
    const std::string ours = "# Trakoni-Folder: @\n# Trakoni-Disk: 1474560 bytes, 80 x 2 x 18 x 512\n0x0 ? 1\n";
    const struct {
        std::string map, box;
        size_t reads;
    } cases[] = {
        {"Shopping:\n  milk\n", "% is not a rescue map (line 1 is no status line)", 0},
        {"0 ?\nx\n", "% is not a rescue map (line 2 is no area that follows the one before)", 0},
        {ours + "0x0 0x168000 x\n", "% is not a rescue map (line 4 is no area that follows the one before)", 0},
        {ours + "0x0 0x200 +\n0x400 0x167C00 +\n", "% is not a rescue map (line 5 is no area that follows the one before)", 0},
        {ours, "% is not a rescue map (it names no areas)", 0},
        {"0 +\n0 1474560 +\n", "% does not say which disk it belongs to (it has no Trakoni-Disk line)", 0},
        {ours + "0 0xB4000 +\n", "% is the map of a disk of 737280 bytes, not of this disk's 1474560", 0},
        {"# Trakoni-Folder: C:\\elsewhere\n" + ours.substr(ours.find('\n') + 1) + "0 1474560 +\n", "% is the map of a rescue into C:\\elsewhere, not into @", 0},
        {ours + "# Trakoni-Disk: 1474560 bytes, 80 x 1 x 36 x 512\n0 1474560 +\n",
         "% is the map of a disk of 1474560 bytes, 80 x 1 x 36 x 512, not of this disk's 1474560 bytes, 80 x 2 x 18 x 512", 0},
        {ours + "0 1474560 +\n", "The drive holds another disk than the map % (cylinder 0 head 0 sector 1 differs from @\\cyl00.bin)", 1},
    };
    const Bytes files = Pattern(k144.MediumBytes(), 0, 'K');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        TempFolder folder;
        const std::string map = Filled(c.map, folder);
        folder.WriteSet(files);
        ASSERT_TRUE(WriteWholeFile(folder.Join("rescue.map"), Bytes(map.begin(), map.end())));
        SimulatedDisk floppy(k144, Pattern(k144.MediumBytes(), 0, 'D'));
        RescueResult result;
        EXPECT_EQ(RescueDiskToFiles('A', folder.Path(), {}, result), 1);
        EXPECT_EQ(floppy.sim.messages, std::vector<std::string>{"Error: " + Filled(c.box, folder)});
        EXPECT_EQ(floppy.sim.CountOf(SimulatedDrive::Read), c.reads);
        EXPECT_TRUE(folder.ReadSet() == files && ReadWholeFile(folder.Join("rescue.map")) == Bytes(map.begin(), map.end()));
        EXPECT_EQ(floppy.sim.Unreleased(), 0) << "left open";
    }
}

}  // namespace
