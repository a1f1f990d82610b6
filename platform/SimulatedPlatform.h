// A simulated floppy platform for tests. Drives hold media in memory, every
// call is recorded with its arguments, and any call can be made to fail as
// Windows would. Transfers move real bytes between the medium and the caller's
// buffer (a pending one when it completes). Open handles, events and heap
// blocks are counted, and misuse is recorded: a heap block freed or a handle
// closed while a request on it is pending, a handle closed that is not open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FloppyPlatform.h"

class SimulatedPlatform : public FloppyPlatform {
public:
    enum class Api {
        CreateFileA,
        DeviceIoControl,
        ReadFile,
        WriteFile,
        CancelIo,
        CloseHandle,
        CreateEventA,
        WaitForSingleObject,
        GetOverlappedResult,
        GetLastError,
        HeapAlloc,
        HeapFree,
        MessageBoxA,
        GetLogicalDrives,
        GetDriveTypeA,
    };

    // One call as the platform saw it. Fields that do not apply stay zero.
    struct Call {
        Api api = Api::GetLastError;
        std::string text;             // CreateFileA path, GetDriveTypeA root, box text
        std::string caption;          // MessageBoxA
        HANDLE handle = nullptr;      // the handle acted on
        HANDLE result = nullptr;      // the handle returned by CreateFileA, CreateEventA
        DWORD access = 0;             // CreateFileA
        DWORD shareMode = 0;
        DWORD disposition = 0;
        DWORD flags = 0;
        bool security = false;        // security attributes given
        bool templateFile = false;    // CreateFileA template given
        DWORD code = 0;               // DeviceIoControl
        bool input = false;           // DeviceIoControl input buffer given
        DWORD inSize = 0;
        DWORD outSize = 0;
        bool overlapped = false;      // an OVERLAPPED record given
        ULONGLONG bytes = 0;          // transfer or allocation size
        bool countOut = false;        // ReadFile/WriteFile byte count pointer given
        DWORD offset = 0;             // OVERLAPPED Offset, OffsetHigh, hEvent
        DWORD offsetHigh = 0;
        HANDLE event = nullptr;
        DWORD timeout = 0;            // WaitForSingleObject
        BOOL wait = FALSE;            // GetOverlappedResult bWait
        BOOL manualReset = FALSE;     // CreateEventA
        BOOL initialState = FALSE;
        bool named = false;
        HWND owner = nullptr;         // MessageBoxA
        UINT type = 0;
    };

    struct ShownMessage {
        HWND owner;
        std::string text;
        std::string caption;
        UINT type;
    };

    // How the drive answers one ReadFile or WriteFile.
    struct TransferPlan {
        enum class Start { Immediate, Pending, Refused };
        enum class End { Complete, Fail, Short };
        Start start = Start::Pending;
        int timedOutSlices = 0;    // waits that time out before the request ends
        End end = End::Complete;
        DWORD error = 0;           // of a refusal or a failed completion
        DWORD missingBytes = 0;    // of a short completion
        bool waitFails = false;    // after the timed-out slices the wait fails

        static TransferPlan Immediate() { return {Start::Immediate}; }
        static TransferPlan ImmediateShort(DWORD missing)
        {
            return {Start::Immediate, 0, End::Short, 0, missing};
        }
        static TransferPlan Refused(DWORD error) { return {Start::Refused, 0, End::Fail, error}; }
        static TransferPlan Pending(int slices) { return {Start::Pending, slices}; }
        static TransferPlan PendingFails(int slices, DWORD error)
        {
            return {Start::Pending, slices, End::Fail, error};
        }
        static TransferPlan PendingShort(int slices, DWORD missing)
        {
            return {Start::Pending, slices, End::Short, 0, missing};
        }
        static TransferPlan WaitFails(int slices)
        {
            return {Start::Pending, slices, End::Complete, 0, 0, true};
        }
    };

    static constexpr int kEveryCall = -1;

    SimulatedPlatform();
    ~SimulatedPlatform() override;
    SimulatedPlatform(const SimulatedPlatform&) = delete;
    SimulatedPlatform& operator=(const SimulatedPlatform&) = delete;

    // The machine. A drive is listed in the logical-drive mask once added.
    void AddDrive(char letter, UINT driveType);
    void InsertMedium(char letter, std::vector<unsigned char> bytes,
                      const DISK_GEOMETRY& geometry);
    std::vector<unsigned char>& Medium(char letter);
    void SetLogicalDriveMask(DWORD mask);  // replaces the mask made from the drives

    // Faults. `nth` counts the calls of one kind from 0. A failing call returns
    // the platform's failure value with `error` as its last error: for
    // ReadFile/WriteFile a refusal, for WaitForSingleObject WAIT_FAILED. Calls
    // that cannot fail here: CloseHandle, HeapFree, GetLastError, MessageBoxA
    // and the drive enumeration.
    void FailCall(Api api, DWORD error, int nth = kEveryCall);
    // Answers the ReadFile or WriteFile at this byte offset with `plan`.
    void PlanTransferAt(Api api, ULONGLONG offset, const TransferPlan& plan);
    // For every other transfer; at first pending, completing at the first wait.
    void SetDefaultTransferPlan(const TransferPlan& plan);
    // Runs `action` when the nth call of `api` begins (to change files mid-copy).
    void OnCall(Api api, int nth, std::function<void()> action);

    // What happened.
    const std::vector<Call>& Calls() const { return m_calls; }
    std::vector<Call> CallsTo(Api api) const;
    const std::vector<ShownMessage>& MessageBoxes() const { return m_boxes; }
    const std::vector<std::string>& Misuses() const { return m_misuses; }
    int OpenHandles() const;    // drive handles not closed
    int OpenEvents() const;
    int PeakOpenEvents() const { return m_peakEvents; }
    int LiveHeapBlocks() const { return static_cast<int>(m_blocks.size()); }
    int HeapAllocations() const { return m_allocations; }
    int PendingRequests() const;

    // FloppyPlatform
    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, OVERLAPPED* overlapped) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                  OVERLAPPED* overlapped) override;
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                   OVERLAPPED* overlapped) override;
    BOOL CancelIo(HANDLE file) override;
    BOOL CloseHandle(HANDLE handle) override;
    HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState,
                        const char* name) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred,
                             BOOL wait) override;
    DWORD GetLastError() override;
    void* HeapAlloc(SIZE_T bytes) override;
    BOOL HeapFree(void* block) override;
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* rootPath) override;

private:
    struct Drive {
        UINT type = DRIVE_REMOVABLE;
        bool hasMedium = false;
        std::vector<unsigned char> medium;
        DISK_GEOMETRY geometry{};
        bool open = false;
    };
    struct OpenHandle {
        bool isEvent = false;
        char letter = 0;         // of a drive handle
        bool signalled = false;  // of an event
        int idleWaits = 0;
    };
    struct Request {
        Api api = Api::ReadFile;
        HANDLE file = nullptr;
        HANDLE event = nullptr;
        unsigned char* buffer = nullptr;
        DWORD bytes = 0;
        ULONGLONG offset = 0;
        TransferPlan plan;
        int slicesLeft = 0;
        bool pending = false;
        bool succeeded = false;
        DWORD transferred = 0;
        DWORD error = 0;
        unsigned char* block = nullptr;  // the heap block holding the buffer
        bool blockReleased = false;
    };
    struct Fault {
        Api api;
        DWORD error;
        int nth;
    };
    struct PlannedTransfer {
        Api api;
        ULONGLONG offset;
        TransferPlan plan;
    };
    struct Hook {
        Api api;
        int nth;
        std::function<void()> action;
    };
    struct Block {
        std::unique_ptr<unsigned char[]> bytes;
        SIZE_T size;
    };

    Call& Begin(Api api, int& index);
    bool Faulted(Api api, int index, DWORD& error) const;
    void Misuse(const std::string& what);
    BOOL Fail(DWORD error);
    HANDLE NewHandle(const OpenHandle& state);
    OpenHandle* Find(HANDLE handle);
    Drive* DriveOf(HANDLE file);
    TransferPlan PlanFor(Api api, ULONGLONG offset) const;
    unsigned char* BlockHolding(const unsigned char* address, DWORD bytes);
    BOOL StartTransfer(Api api, HANDLE file, unsigned char* buffer, DWORD bytes, DWORD* done,
                       OVERLAPPED* overlapped, Call& call, int index);
    void Finish(Request& request);
    void Cancel(Request& request);
    DWORD MoveBytes(Request& request, DWORD wanted);
    void Signal(HANDLE event);

    std::map<char, Drive> m_drives;
    bool m_maskSet = false;
    DWORD m_mask = 0;
    std::map<HANDLE, OpenHandle> m_handles;
    uintptr_t m_nextHandle = 0x1000;
    std::map<const OVERLAPPED*, Request> m_requests;
    std::map<unsigned char*, Block> m_blocks;
    int m_allocations = 0;
    int m_peakEvents = 0;
    DWORD m_lastError = 0;
    std::map<Api, int> m_callCounts;
    std::vector<Fault> m_faults;
    std::vector<PlannedTransfer> m_plans;
    TransferPlan m_defaultPlan;
    std::vector<Hook> m_hooks;
    std::vector<Call> m_calls;
    std::vector<ShownMessage> m_boxes;
    std::vector<std::string> m_misuses;
};
