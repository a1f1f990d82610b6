// Raw drive access on the simulated platform: the open and its messages, the
// geometry request, and one cylinder transfer in every way a request can end.
#include "engine/DriveAccess.h"

#include <algorithm>

#include "EngineTestSupport.h"

namespace {

constexpr DWORD kCylinder = 18432;

class DriveAccessTest : public ::testing::Test {
protected:
    SimulatedFloppy m_floppy{k144, Pattern(k144.MediumBytes(), 0, 'M')};
    SimulatedPlatform& m_platform = m_floppy.platform;

    ScopedPlatformHandle OpenDriveA()
    {
        HANDLE hDrive = INVALID_HANDLE_VALUE;
        EXPECT_EQ(OpenFloppyDrive('A', hDrive), 0);
        return ScopedPlatformHandle(hDrive);
    }
};

TEST_F(DriveAccessTest, OpensTheRawVolumeExclusivelyForOverlappedTransfers)
{
    ScopedPlatformHandle drive = OpenDriveA();
    const auto opens = m_platform.CallsTo(Api::CreateFileA);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "\\\\.\\A:");
    EXPECT_EQ(opens[0].access, 3u);
    EXPECT_EQ(opens[0].shareMode, 0u);
    EXPECT_FALSE(opens[0].security);
    EXPECT_EQ(opens[0].disposition, DWORD{OPEN_EXISTING});
    EXPECT_EQ(opens[0].flags, DWORD{FILE_FLAG_OVERLAPPED});
    EXPECT_FALSE(opens[0].templateFile);
    EXPECT_EQ(drive.Get(), opens[0].result);
    EXPECT_EQ(Boxes(m_platform), BoxList{});
}

TEST_F(DriveAccessTest, AFailedOpenShowsOneMessageChosenByTheErrorCode)
{
    struct Case {
        char letter;
        DWORD error;
        const char* text;
    };
    const Case cases[] = {
        {'A', ERROR_SHARING_VIOLATION, "Drive is currently in use"},
        {'A', ERROR_FILE_NOT_FOUND, "There is no disk in drive A:"},
        {'B', ERROR_GEN_FAILURE, "There is no disk in drive B:"},
        {'A', ERROR_ACCESS_DENIED, "Could not open drive for READ/WRITE access.  Error: 5"},
        {'A', ERROR_NOT_READY, "Could not open drive for READ/WRITE access.  Error: 21"},
        // The code is shown signed.
        {'A', 0x80070005, "Could not open drive for READ/WRITE access.  Error: -2147024891"},
        // An empty drive list hands over NUL: no letter before the colon.
        {'\0', ERROR_FILE_NOT_FOUND, "There is no disk in drive :"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SimulatedFloppy floppy(k144, Bytes(k144.MediumBytes()));
        SimulatedPlatform& platform = floppy.platform;
        platform.FailCall(Api::CreateFileA, c.error);

        HANDLE hDrive = nullptr;
        EXPECT_EQ(OpenFloppyDrive(c.letter, hDrive), 1);
        EXPECT_EQ(hDrive, INVALID_HANDLE_VALUE);
        // A NUL letter ends the device path right after its prefix.
        EXPECT_EQ(platform.CallsTo(Api::CreateFileA).at(0).text,
                  c.letter ? std::string("\\\\.\\") + c.letter + ":" : "\\\\.\\");
        EXPECT_EQ(Boxes(platform), OneErrorBox(c.text, "ERROR"));
        ExpectNothingLeaked(platform);
    }
}

TEST_F(DriveAccessTest, GeometryIsOneSynchronousRequest)
{
    ScopedPlatformHandle drive = OpenDriveA();
    DISK_GEOMETRY geometry{};
    ASSERT_EQ(GetDriveGeometry(drive.Get(), geometry), 0);
    EXPECT_EQ(geometry.SectorsPerTrack, 18u);
    EXPECT_EQ(geometry.TracksPerCylinder, 2u);
    EXPECT_EQ(geometry.BytesPerSector, 512u);

    const auto requests = m_platform.CallsTo(Api::DeviceIoControl);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].handle, drive.Get());
    EXPECT_EQ(requests[0].code, DWORD{IOCTL_DISK_GET_DRIVE_GEOMETRY});
    EXPECT_EQ(requests[0].outSize, 24u);

    m_platform.FailCall(Api::DeviceIoControl, ERROR_NOT_READY);
    EXPECT_EQ(GetDriveGeometry(drive.Get(), geometry), 1);
    EXPECT_EQ(Boxes(m_platform), BoxList{});
}

TEST(BytesPerCylinder, IsTheProductWhenItFitsIn32BitsAndIsNotZero)
{
    struct Case {
        DWORD tracks, sectors, bytes;
        bool valid;
        uint32_t expected;
    };
    const Case cases[] = {
        {2, 18, 512, true, 18432},
        {2, 9, 512, true, 9216},
        {1, 1, 0xFFFFFFFF, true, 0xFFFFFFFF},
        {0, 18, 512, false, 0},
        {2, 0, 512, false, 0},
        {2, 18, 0, false, 0},
        {2, 1, 0x80000000, false, 0},
        {65536, 65536, 512, false, 0},
        // Each factor at its largest: no 64-bit product may wrap either.
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tracks << " x " << c.sectors << " x " << c.bytes);
        uint32_t bytes = 7;
        EXPECT_EQ(ComputeBytesPerCylinder(MakeGeometry(c.tracks, c.sectors, c.bytes), bytes),
                  c.valid);
        EXPECT_EQ(bytes, c.valid ? c.expected : 7u);
    }
}

// How a request can end, and what each transfer makes of it.
struct TransferCase {
    const char* name;
    Plan plan;
    int readStatus;
    int writeStatus;
    const char* writeText;  // null: no message
    size_t waits;           // WaitForSingleObject calls
    bool cancelled;         // CancelIo, then GetOverlappedResult waiting
    DWORD moved;            // bytes that reach their target
};

const char kWriteFailed[] = "Read from disk failed.  Disk might be damaged or missing.";

const TransferCase kTransferCases[] = {
    {"completes at once", Plan::Immediate(), 0, 0, nullptr, 0, false, kCylinder},
    {"completes at the first wait", Plan::Pending(0), 0, 0, nullptr, 1, false, kCylinder},
    {"completes after three slices", Plan::Pending(3), 0, 0, nullptr, 4, false, kCylinder},
    {"refused", Plan::Refused(ERROR_NOT_READY), 4, 4, "Error in communications", 0, false, 0},
    {"fails after one slice", Plan::PendingFails(1, ERROR_CRC), 6, 1, kWriteFailed, 2, false,
     0},
    {"short at once", Plan::ImmediateShort(512), 6, 1, kWriteFailed, 0, false, kCylinder - 512},
    {"short after two slices", Plan::PendingShort(2, 1), 6, 1, kWriteFailed, 3, false,
     kCylinder - 1},
    {"wait fails after two slices", Plan::WaitFails(2), 6, 1, kWriteFailed, 3, true, 0},
};

// The calls every transfer makes, whatever its outcome.
void ExpectRequestShape(const SimulatedPlatform& platform, Api api, const TransferCase& c,
                        HANDLE hDrive, DWORD offset)
{
    const auto events = platform.CallsTo(Api::CreateEventA);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].manualReset);
    EXPECT_FALSE(events[0].initialState);

    const auto transfers = platform.CallsTo(api);
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].handle, hDrive);
    EXPECT_EQ(transfers[0].bytes, kCylinder);
    EXPECT_EQ(transfers[0].offset, offset);
    EXPECT_EQ(transfers[0].offsetHigh, 0u);
    EXPECT_EQ(transfers[0].event, events[0].result);

    const auto waits = platform.CallsTo(Api::WaitForSingleObject);
    EXPECT_EQ(waits.size(), c.waits);
    for (const auto& wait : waits) {
        EXPECT_EQ(wait.handle, events[0].result);
        EXPECT_EQ(wait.timeout, 500u);
    }
    EXPECT_EQ(platform.CallsTo(Api::CancelIo).size(), c.cancelled ? 1u : 0u);

    // A refusal has no completion; every other end is looked at without
    // waiting, and a cancelled request is waited for once.
    std::vector<BOOL> expectedResults;
    if (c.cancelled) {
        expectedResults = {TRUE};
    } else if (c.plan.start != Plan::Start::Refused) {
        expectedResults = {FALSE};
    }
    std::vector<BOOL> results;
    for (const auto& result : platform.CallsTo(Api::GetOverlappedResult)) {
        results.push_back(result.wait);
    }
    EXPECT_EQ(results, expectedResults);
    EXPECT_EQ(platform.PeakOpenEvents(), 1);
}

TEST(CylinderTransfers, ReturnTheStatusOfEveryWayARequestEnds)
{
    const int cylinder = 41;
    const DWORD offset = kCylinder * cylinder;
    const Bytes old = Pattern(k144.MediumBytes(), 0, 'O');
    const Bytes data = Pattern(kCylinder, offset, 'N');
    for (const TransferCase& c : kTransferCases) {
        for (const Api api : {Api::ReadFile, Api::WriteFile}) {
            const bool read = api == Api::ReadFile;
            SCOPED_TRACE(std::string(read ? "read " : "write ") + c.name);
            SimulatedFloppy floppy(k144, old);
            SimulatedPlatform& platform = floppy.platform;
            platform.PlanTransferAt(api, offset, c.plan);
            Bytes buffer = read ? Bytes(kCylinder, 0xEE) : data;
            {
                HANDLE hDrive = INVALID_HANDLE_VALUE;
                ASSERT_EQ(OpenFloppyDrive('A', hDrive), 0);
                ScopedPlatformHandle drive(hDrive);
                if (read) {
                    EXPECT_EQ(ReadCylinder(hDrive, buffer.data(), cylinder, k144.Geometry()),
                              c.readStatus);
                } else {
                    EXPECT_EQ(WriteCylinder(hDrive, buffer.data(), kCylinder, cylinder),
                              c.writeStatus);
                }
                ExpectRequestShape(platform, api, c, hDrive, offset);
            }
            // A read reports nothing itself; its caller shows the message.
            if (read) {
                Bytes expected = Slice(old, offset, c.moved);
                expected.resize(kCylinder, 0xEE);
                EXPECT_EQ(buffer, expected);
                EXPECT_EQ(Boxes(platform), BoxList{});
            } else {
                Bytes expected = old;
                std::copy(data.begin(), data.begin() + c.moved, expected.begin() + offset);
                EXPECT_TRUE(platform.Medium('A') == expected);
                EXPECT_EQ(Boxes(platform),
                          c.writeText ? OneErrorBox(c.writeText, "Error") : BoxList{});
            }
            ExpectNothingLeaked(platform);
        }
    }
}

TEST_F(DriveAccessTest, LargeCylinderOffsetsCarryIntoTheHighHalf)
{
    // 64 MiB cylinders: cylinder 64 starts at 4 GiB, where a 32-bit offset
    // would wrap to the start of the disk.
    const DWORD bytes = 1u << 26;
    const DISK_GEOMETRY geometry = MakeGeometry(1, 1, bytes);
    const Bytes start = Pattern(65536, 0, 'M');
    m_platform.InsertMedium('A', start, geometry);
    ScopedPlatformHandle drive = OpenDriveA();
    Bytes buffer(bytes, 0x55);

    // Past the end of this small medium nothing moves: the write ends short.
    EXPECT_EQ(WriteCylinder(drive.Get(), buffer.data(), bytes, 64), 1);
    EXPECT_EQ(ReadCylinder(drive.Get(), buffer.data(), 79, geometry), 6);

    const auto write = m_platform.CallsTo(Api::WriteFile).at(0);
    EXPECT_EQ(write.offset, 0u);
    EXPECT_EQ(write.offsetHigh, 1u);
    const auto read = m_platform.CallsTo(Api::ReadFile).at(0);
    EXPECT_EQ((ULONGLONG{read.offsetHigh} << 32) | read.offset, ULONGLONG{bytes} * 79);
    EXPECT_TRUE(m_platform.Medium('A') == start);
}

}  // namespace
