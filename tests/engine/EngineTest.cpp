// The engine through Win32Drive on the simulated floppy platform, the image
// files on the real file system: the Win32 calls of whole copies both ways and
// a fault at every step of either direction.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/CylinderFiles.h"
#include "drive/win32/Win32Drive.h"
#include "engine/Imager.h"
#include "tests/engine/ShrinkingFiles.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using Plan = SimulatedPlatform::Plan;
using Texts = std::vector<std::string>;

namespace {

std::string g_shrinking;
const char kReadFailed[] = "Error: Could not read from disk.  Disk might be damaged or missing.";
const char kWriteFailed[] = "Error: Read from disk failed.  Disk might be damaged or missing.";
const char kDamaged[] = "ERROR: Disk is either missing or damaged";
const char kSize[] = "Error: @ does not match the size of a cylinder, imaging failed.";  // @: the file
const char kFiles[] = "Error: Error reading files from #";                                // #: the folder

struct Rig : SimulatedFloppy {
    using SimulatedFloppy::SimulatedFloppy;
    TempFolder folder;
};

TEST(ImagingOperations, CopyADiskToFilesAndBackOnEveryFormat)
{
    for (const TestFormat& format : {k144, k720}) {
        const ULONGLONG bytes = format.BytesPerCylinder();
        const Bytes disk = Pattern(format.MediumBytes(), 0, 'D');
        Rig rig(format, disk);
        rig.folder.WriteSet(Pattern(disk.size() + 80 * 4096, 0, 'O'));  // longer files are replaced by one cylinder each
        ASSERT_EQ(CopyDiskToFiles('A', rig.folder.Path()), 0);
        EXPECT_TRUE(rig.folder.ReadSet() == disk);
        rig.platform.Medium('A').assign(disk.size(), 0);
        ASSERT_EQ(CopyFilesToDisk('A', rig.folder.Path()), 0);
        EXPECT_TRUE(rig.platform.Medium('A') == disk);

        // The raw volume alone, with both data rights always, overlapped, a whole cylinder a request, one buffer.
        const auto opens = rig.platform.CallsTo(Api::CreateFileA);
        ASSERT_EQ(opens.size(), 2u);
        for (const auto& open : opens) {
            EXPECT_EQ(open.text + " " + std::to_string(open.access) + " " + std::to_string(open.shareMode) + " " + std::to_string(open.flags),
                      "\\\\.\\A: 3 0 " + std::to_string(FILE_FLAG_OVERLAPPED));
        }
        EXPECT_EQ(rig.platform.CallsTo(Api::DeviceIoControl).at(1).code, DWORD{IOCTL_DISK_GET_DRIVE_GEOMETRY});
        for (const Api api : {Api::ReadFile, Api::WriteFile}) {
            const auto transfers = rig.platform.CallsTo(api);
            ASSERT_EQ(transfers.size(), 80u);
            for (ULONGLONG cylinder = 0; cylinder < 80; ++cylinder) {
                EXPECT_EQ(transfers[cylinder].offset + transfers[cylinder].bytes, bytes * (cylinder + 1));
            }
        }
        const auto flushes = rig.platform.CallsTo(Api::FlushFileBuffers);
        EXPECT_TRUE(flushes.size() == 1 && flushes[0].handle == rig.platform.CallsTo(Api::WriteFile).back().handle);
        EXPECT_EQ(std::find_if(rig.platform.Calls().rbegin(), rig.platform.Calls().rend(), [](const auto& c) { return c.api == Api::WriteFile || c.api == Api::FlushFileBuffers; })->api, Api::FlushFileBuffers) << "after the last write";
        EXPECT_EQ(rig.platform.CallsTo(Api::HeapAlloc).size(), 2u);
        EXPECT_EQ(rig.platform.CallsTo(Api::HeapAlloc).at(1).bytes, bytes);
        EXPECT_EQ(Boxes(rig.platform), Texts{});
        ExpectNothingLeaked(rig.platform);
    }
}

// What goes wrong at cylinder k of a copy whose transfers are `api`.
using Fault = std::function<void(Rig& rig, int k, Api api)>;

Fault FailCall(Api failing, DWORD error) { return [=](Rig& rig, int k, Api) { rig.platform.FailCall(failing, error, k); }; }
Fault Geometry(DWORD sectors, DWORD bytesPerSector)
{
    return [=](Rig& rig, int, Api) { rig.platform.InsertMedium('A', rig.platform.Medium('A'), MakeGeometry(2, sectors, bytesPerSector)); };
}
Fault Transfer(const Plan& plan)
{
    return [=](Rig& rig, int k, Api api) { rig.platform.PlanTransferAt(api, ULONGLONG{k144.BytesPerCylinder()} * k, plan); };
}
// Changes the file of cylinder k before the copy, or as the transfer of the
// cylinder before begins (`during`), or right after its size was read.
Fault ChangeFile(void (*change)(const std::string& file), bool during = false)
{
    return [=](Rig& rig, int k, Api) {
        const std::string file = rig.folder.File(k);
        during ? rig.platform.OnCall(Api::WriteFile, k - 1, [=] { change(file); }) : change(file);
    };
}
void OneByteShort(const std::string& file) { fs::resize_file(file, k144.BytesPerCylinder() - 1); }
void Gone(const std::string& file) { fs::remove(file); }
void AFolder(const std::string& file) { fs::remove(file), fs::create_directory(file); }
void ShrinksAfterItsSizeIsRead(const std::string& file) { g_shrinking = file; }

struct FaultCase {
    const char* name;
    Fault fault;
    int status;
    std::string box;
    int cylinder = 0, copied = 0;  // where it strikes, cylinders copied before it
    DWORD partial = 0;             // bytes of the failing cylinder that still arrive
};

std::vector<FaultCase> Faults(bool toFiles)
{
    std::vector<FaultCase> cases = {
        {"in use", FailCall(Api::CreateFileA, ERROR_SHARING_VIOLATION), 2, "ERROR: Drive is currently in use"},
        {"refused", FailCall(Api::CreateFileA, 0x80070005), 2, "ERROR: Could not open drive for READ/WRITE access.  Error: -2147024891"},
        {"no disk", FailCall(Api::CreateFileA, ERROR_GEN_FAILURE), 2, "ERROR: There is no disk in drive A:"},
        {"no geometry", FailCall(Api::DeviceIoControl, ERROR_NOT_READY), 1, kDamaged},
        {"empty geometry", Geometry(0, 512), 1, kDamaged},
        {"geometry over 32 bits", Geometry(1, 0x80000000), 1, kDamaged},
        {"no memory", FailCall(Api::HeapAlloc, ERROR_NOT_ENOUGH_MEMORY), 3, "Error: Out of memory"},
    };
    const DWORD shortBy512 = k144.BytesPerCylinder() - 512;
    for (const int k : {0, 40, 79}) {
        const auto add = [&](const char* name, Fault fault, int status, const char* toFilesBox, const char* toDiskBox,
                             DWORD partial = 0) {
            cases.push_back({name, std::move(fault), toFiles ? status : 1, toFiles ? toFilesBox : toDiskBox, k, k, toFiles ? 0 : partial});
        };
        add("no event", FailCall(Api::CreateEventA, ERROR_NOT_ENOUGH_MEMORY), 6, kReadFailed, "Error: Error: could not create overlapped event");
        add("completion fails", Transfer({true, 2, ERROR_CRC}), 6, kReadFailed, kWriteFailed);
        add("short at once", Transfer({false, 0, 0, 512}), 6, kReadFailed, kWriteFailed, shortBy512);
        add("short after a wait", Transfer({true, 3, 0, 512}), 6, kReadFailed, kWriteFailed, shortBy512);
        add("wait fails", Transfer({true, 1, 0, 0, true}), 6, kReadFailed, kWriteFailed);
        cases.push_back({"refused", Transfer({false, 0, ERROR_NOT_READY}), 4, toFiles ? kReadFailed : "Error: Error in communications", k, k});
        if (toFiles) {
            cases.push_back({"file not writable", ChangeFile(AFolder), 1, "Error: Could not write to disk", k, k});
        } else {  // the whole set is checked before the disk is touched
            cases.push_back({"file one byte short", ChangeFile(OneByteShort), 1, kSize, k});
            cases.push_back({"file gone", ChangeFile(Gone), 7, kFiles, k});
        }
    }
    if (!toFiles) {  // every cylinder went out, but the disk did not take it
        cases.push_back({"flush fails", FailCall(Api::FlushFileBuffers, ERROR_IO_DEVICE), 1, kWriteFailed, 0, kCylinders});
    }
    for (const int k : toFiles ? std::vector<int>{} : std::vector<int>{1, 79}) {  // files changing while the disk is written
        cases.push_back({"file shrinks mid-copy", ChangeFile(OneByteShort, true), 1, kSize, k, k});
        cases.push_back({"file gone mid-copy", ChangeFile(Gone, true), 7, kFiles, k, k});
        cases.push_back({"file shrinks after its size was read", ChangeFile(ShrinksAfterItsSizeIsRead, true), 7, kFiles, k, k});
    }
    return cases;
}

// One message while the drive is open and the buffer held, then both released;
// a failed wait cancels its request and waits for it.
void ExpectReportedThenReleased(const SimulatedPlatform& platform, const std::string& box, bool waitFailed)
{
    EXPECT_EQ(Boxes(platform), Texts{box});
    ExpectNothingLeaked(platform);
    std::string order;
    const auto opens = platform.CallsTo(Api::CreateFileA);
    for (const auto& call : platform.Calls()) {
        if (call.api == Api::MessageBoxA || call.api == Api::HeapFree ||
            (call.api == Api::CloseHandle && call.handle == opens.at(0).result)) {
            order += call.api == Api::MessageBoxA ? "box " : call.api == Api::HeapFree ? "free " : "close ";
        }
    }
    EXPECT_TRUE(order == "box " || order == "box close " || order == "box close free ") << order;
    const auto looks = platform.CallsTo(Api::GetOverlappedResult);
    const auto waitingLooks = std::count_if(looks.begin(), looks.end(), [](const auto& call) { return call.wait; });
    EXPECT_EQ(platform.CallsTo(Api::CancelIo).size() * 10 + waitingLooks, waitFailed ? 11u : 0u);
    for (const auto& call : platform.Calls()) {
        EXPECT_TRUE(call.api != Api::WaitForSingleObject || call.timeout == 500u) << "waited in 500 ms slices";
        EXPECT_TRUE(call.api != Api::CreateEventA || (call.wait && !call.flags)) << "manual reset, not signalled";
    }
}

// Each fault in each direction: its status and one message, the cylinders
// before it copied (of the failing one what arrived), the rest as it was.
TEST(ImagingOperations, StopAtTheFirstFaultWithOneMessage)
{
    const DWORD bytes = k144.BytesPerCylinder();
    const Bytes source = Pattern(k144.MediumBytes(), 0, 'N'), old = Pattern(k144.MediumBytes(), 0, 'O');
    for (const bool toFiles : {true, false}) {
        for (const FaultCase& c : Faults(toFiles)) {
            SCOPED_TRACE(testing::Message() << (toFiles ? "to files, " : "to disk, ") << c.name << " at " << c.cylinder);
            Rig rig(k144, toFiles ? source : old);
            rig.folder.WriteSet(toFiles ? old : source);
            c.fault(rig, c.cylinder, toFiles ? Api::ReadFile : Api::WriteFile);
            EXPECT_EQ((toFiles ? CopyDiskToFiles : CopyFilesToDisk)('A', rig.folder.Path()), c.status);

            std::string box = c.box;
            box.find('@') != std::string::npos ? box.replace(box.find('@'), 1, rig.folder.File(c.cylinder)) : box;
            box.find('#') != std::string::npos ? box.replace(box.find('#'), 1, rig.folder.Path()) : box;
            ExpectReportedThenReleased(rig.platform, box, std::string(c.name) == "wait fails");
            Bytes expected = old;
            std::copy_n(source.begin(), size_t{bytes} * c.copied + c.partial, expected.begin());
            EXPECT_TRUE(rig.platform.Medium('A') == (toFiles ? source : expected));
            for (int cylinder = 0; toFiles && cylinder < kCylinders; ++cylinder) {
                if (!fs::is_directory(rig.folder.File(cylinder))) {
                    ASSERT_EQ(ReadWholeFile(rig.folder.File(cylinder)), Slice(expected, size_t{bytes} * cylinder, bytes)) << cylinder;
                }
            }
        }
    }
}

#ifdef TRAKONI_FULL_FOLDER
// A file system with no space left fails a cylinder file when it is closed:
// never "Copy Successful" for a set that is not all there.
TEST(ImagingOperations, AFullFileSystemFailsTheCopy)
{
    Rig rig(k144, Pattern(k144.MediumBytes(), 0, 'N'));
    EXPECT_EQ(CopyDiskToFiles('A', ProgramPathOf(TRAKONI_FULL_FOLDER)), 1);
    ExpectReportedThenReleased(rig.platform, "Error: Could not write to disk", false);
}
#endif

}  // namespace

int QuerySizeThenShrink(const char* name, ShrinkingFileStatus* status)
{
#ifdef _WIN32
    const int answered = (_stat64)(name, status);
#else
    const int answered = (stat)(name, status);
#endif
    if (answered == 0 && name == g_shrinking) {
        g_shrinking.clear();
        fs::resize_file(name, static_cast<uintmax_t>(status->st_size) - 1);
    }
    return answered;
}
