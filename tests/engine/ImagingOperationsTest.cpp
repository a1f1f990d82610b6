// The two imaging operations on a simulated floppy, with the image files on
// the real file system: whole copies both ways, and a fault at every step.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "EngineTestSupport.h"
#include "engine/Imager.h"

namespace {

namespace fs = std::filesystem;

const char kReadFailed[] = "Could not read from disk.  Disk might be damaged or missing.";
const char kWriteFailed[] = "Read from disk failed.  Disk might be damaged or missing.";
const char kDamaged[] = "Disk is either missing or damaged";
// Stand-ins for the texts that name the image folder or a file in it.
const char kSizeMessage[] = "<file> does not match the size of a cylinder, imaging failed.";
const char kFolderMessage[] = "Error reading files from <folder>";

// A simulated floppy and an image folder.
struct Rig : SimulatedFloppy {
    using SimulatedFloppy::SimulatedFloppy;
    TempFolder folder;
};

TEST(ImagingOperations, CopyADiskToFilesAndBackOnEveryFormat)
{
    for (const FloppyFormat* format : {&k144, &k720}) {
        SCOPED_TRACE(format->name);
        const DWORD bytes = format->BytesPerCylinder();
        const Bytes disk = Pattern(format->MediumBytes(), 0, 'D');
        Rig rig(*format, disk);

        ASSERT_EQ(CopyDiskToFiles('A', rig.folder.Path()), 0);
        for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
            ASSERT_EQ(ReadWholeFile(rig.folder.File(cylinder)),
                      Slice(disk, size_t{bytes} * cylinder, bytes))
                << cylinder;
        }
        const auto reads = rig.platform.CallsTo(Api::ReadFile);
        ASSERT_EQ(reads.size(), 80u);
        for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
            EXPECT_EQ(reads[cylinder].bytes, bytes);
            EXPECT_EQ(reads[cylinder].offset, bytes * cylinder);
        }

        rig.platform.Medium('A').assign(disk.size(), 0);
        ASSERT_EQ(CopyFilesToDisk('A', rig.folder.Path()), 0);
        EXPECT_TRUE(rig.platform.Medium('A') == disk);
        const auto writes = rig.platform.CallsTo(Api::WriteFile);
        ASSERT_EQ(writes.size(), 80u);
        EXPECT_EQ(writes[79].bytes, bytes);
        EXPECT_EQ(writes[79].offset, bytes * 79);

        // One cylinder buffer per operation; one request and event at a time.
        const auto allocations = rig.platform.CallsTo(Api::HeapAlloc);
        ASSERT_EQ(allocations.size(), 2u);
        EXPECT_EQ(allocations[0].bytes, bytes);
        EXPECT_EQ(rig.platform.CallsTo(Api::CreateFileA).at(1).text, "\\\\.\\A:");
        EXPECT_EQ(rig.platform.PeakOpenEvents(), 1);
        EXPECT_EQ(Boxes(rig.platform), BoxList{});
        ExpectNothingLeaked(rig.platform);
    }
}

// What goes wrong: done to the rig before the copy, at cylinder k of a copy
// whose transfers are `transfer` with `bytes` per cylinder.
using Fault = std::function<void(Rig& rig, int k, Api transfer, DWORD bytes)>;

struct FaultCase {
    const char* name;
    Fault fault;
    int cylinder;  // where the fault strikes
    int status;
    const char* text;
    const char* caption;
    int newCylinders;    // cylinders copied before the failure
    DWORD partialBytes;  // bytes of the failing cylinder that still arrive
};

Fault FailEvery(Api api, DWORD error)
{
    return [=](Rig& rig, int, Api, DWORD) { rig.platform.FailCall(api, error); };
}

Fault FailNth(Api api, DWORD error)
{
    return [=](Rig& rig, int k, Api, DWORD) { rig.platform.FailCall(api, error, k); };
}

Fault GeometryOf(DWORD tracks, DWORD sectors)
{
    return [=](Rig& rig, int, Api, DWORD) {
        rig.platform.InsertMedium('A', rig.platform.Medium('A'), MakeGeometry(tracks, sectors, 512));
    };
}

Fault Transfer(const Plan& plan)
{
    return [=](Rig& rig, int k, Api transfer, DWORD bytes) {
        rig.platform.PlanTransferAt(transfer, ULONGLONG{bytes} * k, plan);
    };
}

// Changes the file of cylinder k, before the copy or (mid) as the transfer of
// the cylinder before it begins.
Fault ChangeFile(void (*change)(const std::string& file, DWORD bytes), bool mid = false)
{
    return [=](Rig& rig, int k, Api, DWORD bytes) {
        const std::string file = rig.folder.File(k);
        if (mid) {
            rig.platform.OnCall(Api::WriteFile, k - 1, [=] { change(file, bytes); });
        } else {
            change(file, bytes);
        }
    };
}

void OneByteShort(const std::string& file, DWORD bytes) { fs::resize_file(file, bytes - 1); }
void Gone(const std::string& file, DWORD) { fs::remove(file); }
void AFolder(const std::string& file, DWORD)
{
    fs::remove(file);
    fs::create_directory(file);
}

std::string ExpectedText(const FaultCase& c, const std::string& folder)
{
    if (c.text == kSizeMessage) {
        return CylinderFile(folder, c.cylinder) +
               " does not match the size of a cylinder, imaging failed.";
    }
    if (c.text == kFolderMessage) {
        return "Error reading files from " + folder;
    }
    return c.text;
}

// One message, shown while the drive is still open and the buffer still
// held; then the drive closed and the buffer released, nothing left over.
void ExpectReportedAndReleased(const SimulatedPlatform& platform, const std::string& text,
                               const std::string& caption)
{
    EXPECT_EQ(Boxes(platform), OneErrorBox(text, caption));
    ExpectNothingLeaked(platform);
    EXPECT_LE(platform.CallsTo(Api::HeapAlloc).size(), 1u);

    const auto opens = platform.CallsTo(Api::CreateFileA);
    const HANDLE drive = opens.empty() ? nullptr : opens[0].result;
    int box = -1, driveClosed = -1, bufferFreed = -1;
    const auto& calls = platform.Calls();
    for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
        if (calls[i].api == Api::MessageBoxA) {
            box = i;
        } else if (calls[i].api == Api::CloseHandle && drive != nullptr &&
                   calls[i].handle == drive) {
            driveClosed = i;
        } else if (calls[i].api == Api::HeapFree) {
            bufferFreed = i;
        }
    }
    if (drive != nullptr) {
        EXPECT_LT(box, driveClosed);
    }
    if (bufferFreed >= 0) {
        EXPECT_LT(driveClosed, bufferFreed);
    }
}

// Faults before the first cylinder: the same for both operations.
std::vector<FaultCase> OpeningFaults()
{
    return {
        {"open in use", FailEvery(Api::CreateFileA, ERROR_SHARING_VIOLATION), 0, 2,
         "Drive is currently in use", "ERROR", 0, 0},
        {"open denied", FailEvery(Api::CreateFileA, ERROR_ACCESS_DENIED), 0, 2,
         "Could not open drive for READ/WRITE access.  Error: 5", "ERROR", 0, 0},
        {"geometry fails", FailEvery(Api::DeviceIoControl, ERROR_NOT_READY), 0, 1, kDamaged,
         "ERROR", 0, 0},
        {"geometry empty", GeometryOf(2, 0), 0, 1, kDamaged, "ERROR", 0, 0},
        {"geometry too large", GeometryOf(65536, 65536), 0, 1, kDamaged, "ERROR", 0, 0},
        {"no memory", FailEvery(Api::HeapAlloc, ERROR_NOT_ENOUGH_MEMORY), 0, 3, "Out of memory",
         "Error", 0, 0},
    };
}

const int kPositions[] = {0, 40, 79};

const char kNotWritable[] = "file not writable";

std::vector<FaultCase> DiskToFilesFaults()
{
    std::vector<FaultCase> cases = OpeningFaults();
    for (const int k : kPositions) {
        const auto add = [&](const char* name, Fault fault, int status) {
            cases.push_back({name, std::move(fault), k, status, kReadFailed, "Error", k, 0});
        };
        add("no event", FailNth(Api::CreateEventA, ERROR_NOT_ENOUGH_MEMORY), 6);
        add("refused", Transfer(Plan::Refused(ERROR_NOT_READY)), 4);
        add("completion fails", Transfer(Plan::PendingFails(2, ERROR_CRC)), 6);
        add("short at once", Transfer(Plan::ImmediateShort(512)), 6);
        add("short after a wait", Transfer(Plan::PendingShort(3, 512)), 6);
        add("wait fails", Transfer(Plan::WaitFails(1)), 6);
        cases.push_back({kNotWritable, ChangeFile(AFolder), k, 1, "Could not write to disk",
                         "Error", k, 0});
    }
    return cases;
}

std::vector<FaultCase> FilesToDiskFaults()
{
    std::vector<FaultCase> cases = OpeningFaults();
    const DWORD shortBy512 = k144.BytesPerCylinder() - 512;
    for (const int k : kPositions) {
        const auto add = [&](const char* name, Fault fault, int status, const char* text,
                             int copied, DWORD partial) {
            cases.push_back({name, std::move(fault), k, status, text, "Error", copied, partial});
        };
        // The whole set is checked before the disk is touched.
        add("file one byte short", ChangeFile(OneByteShort), 1, kSizeMessage, 0, 0);
        add("file gone", ChangeFile(Gone), 7, kFolderMessage, 0, 0);
        add("no event", FailNth(Api::CreateEventA, ERROR_NOT_ENOUGH_MEMORY), 1,
            "Error: could not create overlapped event", k, 0);
        add("refused", Transfer(Plan::Refused(ERROR_NOT_READY)), 4, "Error in communications",
            k, 0);
        add("completion fails", Transfer(Plan::PendingFails(2, ERROR_CRC)), 1, kWriteFailed, k,
            0);
        add("short at once", Transfer(Plan::ImmediateShort(512)), 1, kWriteFailed, k,
            shortBy512);
        add("short after a wait", Transfer(Plan::PendingShort(3, 512)), 1, kWriteFailed, k,
            shortBy512);
        add("wait fails", Transfer(Plan::WaitFails(1)), 1, kWriteFailed, k, 0);
    }
    // A file that changes during the copy: the check per cylinder catches it.
    for (const int k : {1, 40, 79}) {
        cases.push_back({"file shrinks mid-copy", ChangeFile(OneByteShort, true), k, 1,
                         kSizeMessage, "Error", k, 0});
        cases.push_back({"file gone mid-copy", ChangeFile(Gone, true), k, 7, kFolderMessage,
                         "Error", k, 0});
    }
    return cases;
}

struct Direction {
    const char* name;
    int (*copy)(char, const std::string&);
    Api transfer;
    std::vector<FaultCase> faults;
};

// Each fault in each direction: the table's status and one message, the
// cylinders before the fault copied (and of the failing one what arrived),
// the rest of the target as it was.
TEST(ImagingOperations, StopAtTheFirstFaultWithOneMessage)
{
    const DWORD bytes = k144.BytesPerCylinder();
    const Bytes source = Pattern(k144.MediumBytes(), 0, 'N');
    const Bytes old = Pattern(k144.MediumBytes(), 0, 'O');
    const Direction directions[] = {
        {"disk to files", CopyDiskToFiles, Api::ReadFile, DiskToFilesFaults()},
        {"files to disk", CopyFilesToDisk, Api::WriteFile, FilesToDiskFaults()},
    };
    for (const Direction& direction : directions) {
        const bool toFiles = direction.transfer == Api::ReadFile;
        for (const FaultCase& c : direction.faults) {
            SCOPED_TRACE(testing::Message() << direction.name << ", " << c.name << " at cylinder "
                                              << c.cylinder);
            Rig rig(k144, toFiles ? source : old);
            WriteFileSet(rig.folder, toFiles ? old : source, bytes);
            c.fault(rig, c.cylinder, direction.transfer, bytes);

            EXPECT_EQ(direction.copy('A', rig.folder.Path()), c.status);
            ExpectReportedAndReleased(rig.platform, ExpectedText(c, rig.folder.Path()),
                                      c.caption);

            Bytes expected = old;
            const size_t arrived = size_t{bytes} * c.newCylinders + c.partialBytes;
            std::copy(source.begin(), source.begin() + arrived, expected.begin());
            if (!toFiles) {
                EXPECT_TRUE(rig.platform.Medium('A') == expected);
                continue;
            }
            EXPECT_TRUE(rig.platform.Medium('A') == source);
            for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
                const std::string file = rig.folder.File(cylinder);
                if (c.name == kNotWritable && cylinder == c.cylinder) {
                    EXPECT_TRUE(fs::is_directory(file));
                    continue;
                }
                ASSERT_EQ(ReadWholeFile(file), Slice(expected, size_t{bytes} * cylinder, bytes))
                    << cylinder;
            }
        }
    }
}

}  // namespace
