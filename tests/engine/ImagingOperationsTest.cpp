// The two imaging operations on a simulated floppy, with the image files on
// the real file system: whole copies both ways, and a fault at every step.
#include <algorithm>
#include <filesystem>

#include "EngineTestSupport.h"
#include "engine/CylinderFiles.h"
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
        EXPECT_EQ(rig.platform.Medium('A'), disk);
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
        ExpectNoBox(rig.platform);
        ExpectNothingLeaked(rig.platform);
    }
}

enum class Fault {
    OpenInUse,
    OpenDenied,
    GeometryFails,
    GeometryEmpty,
    GeometryTooLarge,
    NoMemory,
    NoEvent,
    Refused,
    CompletionFails,
    ShortAtOnce,
    ShortAfterWait,
    WaitFails,
    FileNotWritable,     // the file is a folder
    FileWrongSize,       // one byte short from the start
    FileGone,            // missing from the start
    FileShrinksMidCopy,  // one byte short by the time its cylinder comes
    FileGoneMidCopy,
};

struct FaultCase {
    Fault fault;
    int cylinder;  // where the fault strikes
    int status;
    const char* text;
    const char* caption;
    int newCylinders;    // cylinders copied before the failure
    DWORD partialBytes;  // bytes of the failing cylinder that still arrive
};

std::string DescribeCase(const FaultCase& c)
{
    return "fault " + std::to_string(static_cast<int>(c.fault)) + " at cylinder " +
           std::to_string(c.cylinder);
}

void Apply(const FaultCase& c, Rig& rig, Api transfer, DWORD bytes)
{
    SimulatedPlatform& platform = rig.platform;
    const ULONGLONG offset = ULONGLONG{bytes} * c.cylinder;
    const std::string file = rig.folder.File(c.cylinder);
    switch (c.fault) {
    case Fault::OpenInUse:
        platform.FailCall(Api::CreateFileA, ERROR_SHARING_VIOLATION);
        break;
    case Fault::OpenDenied:
        platform.FailCall(Api::CreateFileA, ERROR_ACCESS_DENIED);
        break;
    case Fault::GeometryFails:
        platform.FailCall(Api::DeviceIoControl, ERROR_NOT_READY);
        break;
    case Fault::GeometryEmpty:
        platform.InsertMedium('A', platform.Medium('A'), MakeGeometry(2, 0, 512));
        break;
    case Fault::GeometryTooLarge:
        platform.InsertMedium('A', platform.Medium('A'), MakeGeometry(65536, 65536, 512));
        break;
    case Fault::NoMemory:
        platform.FailCall(Api::HeapAlloc, ERROR_NOT_ENOUGH_MEMORY);
        break;
    case Fault::NoEvent:
        platform.FailCall(Api::CreateEventA, ERROR_NOT_ENOUGH_MEMORY, c.cylinder);
        break;
    case Fault::Refused:
        platform.PlanTransferAt(transfer, offset, Plan::Refused(ERROR_NOT_READY));
        break;
    case Fault::CompletionFails:
        platform.PlanTransferAt(transfer, offset, Plan::PendingFails(2, ERROR_CRC));
        break;
    case Fault::ShortAtOnce:
        platform.PlanTransferAt(transfer, offset, Plan::ImmediateShort(512));
        break;
    case Fault::ShortAfterWait:
        platform.PlanTransferAt(transfer, offset, Plan::PendingShort(3, 512));
        break;
    case Fault::WaitFails:
        platform.PlanTransferAt(transfer, offset, Plan::WaitFails(1));
        break;
    case Fault::FileNotWritable:
        fs::remove(file);
        fs::create_directory(file);
        break;
    case Fault::FileWrongSize:
        fs::resize_file(file, bytes - 1);
        break;
    case Fault::FileGone:
        fs::remove(file);
        break;
    case Fault::FileShrinksMidCopy:
        platform.OnCall(Api::WriteFile, c.cylinder - 1, [file, bytes] {
            fs::resize_file(file, bytes - 1);
        });
        break;
    case Fault::FileGoneMidCopy:
        platform.OnCall(Api::WriteFile, c.cylinder - 1, [file] { fs::remove(file); });
        break;
    }
}

std::string ExpectedText(const FaultCase& c, const std::string& folder)
{
    if (c.text == kSizeMessage) {
        return CylinderFileName(folder, c.cylinder) +
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
    ExpectOneErrorBox(platform, text, caption);
    ExpectNothingLeaked(platform);
    EXPECT_LE(platform.HeapAllocations(), 1);

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
        {Fault::OpenInUse, 0, 2, "Drive is currently in use", "ERROR", 0, 0},
        {Fault::OpenDenied, 0, 2, "Could not open drive for READ/WRITE access.  Error: 5",
         "ERROR", 0, 0},
        {Fault::GeometryFails, 0, 1, kDamaged, "ERROR", 0, 0},
        {Fault::GeometryEmpty, 0, 1, kDamaged, "ERROR", 0, 0},
        {Fault::GeometryTooLarge, 0, 1, kDamaged, "ERROR", 0, 0},
        {Fault::NoMemory, 0, 3, "Out of memory", "Error", 0, 0},
    };
}

const int kPositions[] = {0, 40, 79};

std::vector<FaultCase> DiskToFilesFaults()
{
    std::vector<FaultCase> cases = OpeningFaults();
    for (const int k : kPositions) {
        cases.push_back({Fault::NoEvent, k, 6, kReadFailed, "Error", k, 0});
        cases.push_back({Fault::Refused, k, 4, kReadFailed, "Error", k, 0});
        cases.push_back({Fault::CompletionFails, k, 6, kReadFailed, "Error", k, 0});
        cases.push_back({Fault::ShortAtOnce, k, 6, kReadFailed, "Error", k, 0});
        cases.push_back({Fault::ShortAfterWait, k, 6, kReadFailed, "Error", k, 0});
        cases.push_back({Fault::WaitFails, k, 6, kReadFailed, "Error", k, 0});
        cases.push_back({Fault::FileNotWritable, k, 1, "Could not write to disk", "Error", k, 0});
    }
    return cases;
}

TEST(ImagingOperations, DiskToFilesStopsAtTheFirstFaultWithOneMessage)
{
    const DWORD bytes = k144.BytesPerCylinder();
    const Bytes disk = Pattern(k144.MediumBytes(), 0, 'D');
    const Bytes before = Pattern(k144.MediumBytes(), 0, 'O');
    for (const FaultCase& c : DiskToFilesFaults()) {
        SCOPED_TRACE(DescribeCase(c));
        Rig rig(k144, disk);
        WriteFileSet(rig.folder, before, bytes);
        Apply(c, rig, Api::ReadFile, bytes);

        EXPECT_EQ(CopyDiskToFiles('A', rig.folder.Path()), c.status);
        ExpectReportedAndReleased(rig.platform, ExpectedText(c, rig.folder.Path()), c.caption);

        // Cylinders before the fault are new, the rest as they were.
        for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
            const std::string file = rig.folder.File(cylinder);
            if (c.fault == Fault::FileNotWritable && cylinder == c.cylinder) {
                EXPECT_TRUE(fs::is_directory(file));
                continue;
            }
            const Bytes& source = cylinder < c.newCylinders ? disk : before;
            ASSERT_EQ(ReadWholeFile(file), Slice(source, size_t{bytes} * cylinder, bytes))
                << cylinder;
        }
    }
}

std::vector<FaultCase> FilesToDiskFaults()
{
    std::vector<FaultCase> cases = OpeningFaults();
    const DWORD shortBy512 = k144.BytesPerCylinder() - 512;
    for (const int k : kPositions) {
        // The whole set is checked before the disk is touched.
        cases.push_back({Fault::FileWrongSize, k, 1, kSizeMessage, "Error", 0, 0});
        cases.push_back({Fault::FileGone, k, 7, kFolderMessage, "Error", 0, 0});
        cases.push_back(
            {Fault::NoEvent, k, 1, "Error: could not create overlapped event", "Error", k, 0});
        cases.push_back({Fault::Refused, k, 4, "Error in communications", "Error", k, 0});
        cases.push_back({Fault::CompletionFails, k, 1, kWriteFailed, "Error", k, 0});
        cases.push_back({Fault::ShortAtOnce, k, 1, kWriteFailed, "Error", k, shortBy512});
        cases.push_back({Fault::ShortAfterWait, k, 1, kWriteFailed, "Error", k, shortBy512});
        cases.push_back({Fault::WaitFails, k, 1, kWriteFailed, "Error", k, 0});
    }
    for (const int k : {1, 40, 79}) {
        cases.push_back({Fault::FileShrinksMidCopy, k, 1, kSizeMessage, "Error", k, 0});
        cases.push_back({Fault::FileGoneMidCopy, k, 7, kFolderMessage, "Error", k, 0});
    }
    return cases;
}

TEST(ImagingOperations, FilesToDiskStopsAtTheFirstFaultWithOneMessage)
{
    const DWORD bytes = k144.BytesPerCylinder();
    const Bytes image = Pattern(k144.MediumBytes(), 0, 'F');
    const Bytes before = Pattern(k144.MediumBytes(), 0, 'O');
    for (const FaultCase& c : FilesToDiskFaults()) {
        SCOPED_TRACE(DescribeCase(c));
        Rig rig(k144, before);
        WriteFileSet(rig.folder, image, bytes);
        Apply(c, rig, Api::WriteFile, bytes);

        EXPECT_EQ(CopyFilesToDisk('A', rig.folder.Path()), c.status);
        ExpectReportedAndReleased(rig.platform, ExpectedText(c, rig.folder.Path()), c.caption);

        Bytes expected = before;
        const size_t arrived = size_t{bytes} * c.newCylinders + c.partialBytes;
        std::copy(image.begin(), image.begin() + arrived, expected.begin());
        EXPECT_TRUE(rig.platform.Medium('A') == expected);
    }
}

TEST(ImagingOperations, ASetFromASmallerFormatLeavesTheDiskUntouched)
{
    const Bytes before = Pattern(k144.MediumBytes(), 0, 'O');
    Rig rig(k144, before);
    WriteFileSet(rig.folder, Pattern(k720.MediumBytes(), 0, 'F'), k720.BytesPerCylinder());

    EXPECT_EQ(CopyFilesToDisk('A', rig.folder.Path()), 1);
    ExpectReportedAndReleased(
        rig.platform,
        rig.folder.Path() + "\\cyl00.bin does not match the size of a cylinder, imaging failed.",
        "Error");
    EXPECT_TRUE(rig.platform.CallsTo(Api::WriteFile).empty());
    EXPECT_TRUE(rig.platform.Medium('A') == before);
}

}  // namespace
