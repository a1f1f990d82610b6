// The misuse the engine tests rely on the simulated platform to catch.
#include "EngineTestSupport.h"

namespace {

class MisuseTest : public ::testing::Test {
protected:
    SimulatedFloppy m_floppy{k144, Pattern(k144.MediumBytes(), 0, 'M')};
    SimulatedPlatform& m_platform = m_floppy.platform;
    HANDLE m_drive = nullptr;
    OVERLAPPED m_overlapped{};

    // Opens drive A and starts a read of cylinder 0 that stays pending.
    void StartPendingRead(void* buffer)
    {
        m_drive = m_platform.CreateFileA("\\\\.\\A:", 3, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, nullptr);
        m_overlapped.hEvent = m_platform.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_platform.PlanTransferAt(Api::ReadFile, 0, Plan::Pending(5));
        ASSERT_FALSE(m_platform.ReadFile(m_drive, buffer, 18432, nullptr, &m_overlapped));
        ASSERT_EQ(m_platform.GetLastError(), DWORD{ERROR_IO_PENDING});
    }
};

TEST_F(MisuseTest, FreeingABufferUnderAPendingReadIsCaughtAndNothingLandsInIt)
{
    void* buffer = m_platform.HeapAlloc(18432);
    StartPendingRead(buffer);
    m_platform.HeapFree(buffer);
    DWORD transferred = 0;
    m_platform.GetOverlappedResult(m_drive, &m_overlapped, &transferred, TRUE);
    EXPECT_EQ(m_platform.Misuses(),
              (std::vector<std::string>{"a heap block freed while a request into it is pending",
                                        "a transfer landed in released memory"}));
}

TEST_F(MisuseTest, ClosingUnderAPendingRequestOrTwiceIsCaught)
{
    Bytes buffer(18432);
    StartPendingRead(buffer.data());
    m_platform.CloseHandle(m_overlapped.hEvent);
    m_platform.CloseHandle(m_drive);
    EXPECT_FALSE(m_platform.CloseHandle(m_drive));
    EXPECT_EQ(m_platform.Misuses(),
              (std::vector<std::string>{
                  "an event closed while its request is pending",
                  "a drive handle closed while a request on it is pending",
                  "CloseHandle of a handle that is not open (closed twice?)"}));
    EXPECT_EQ(m_platform.PendingRequests(), 0);
}

}  // namespace
