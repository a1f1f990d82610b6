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
#include <string>
#include <vector>

#include "platform/FloppyPlatform.h"

class SimulatedPlatform : public FloppyPlatform {
public:
    enum class Api {
        CreateFileA, DeviceIoControl, ReadFile, WriteFile, CancelIo, CloseHandle,
        CreateEventA, WaitForSingleObject, GetOverlappedResult, GetLastError,
        HeapAlloc, HeapFree, MessageBoxA, GetLogicalDrives, GetDriveTypeA,
    };

    // One call as the platform saw it. Fields that do not apply stay zero.
    struct Call {
        Api api = Api::GetLastError;
        int nth = 0;                  // among the calls of its kind, from 0
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
        DWORD outSize = 0;
        ULONGLONG bytes = 0;          // transfer or allocation size
        DWORD offset = 0;             // OVERLAPPED Offset, OffsetHigh, hEvent
        DWORD offsetHigh = 0;
        HANDLE event = nullptr;
        DWORD timeout = 0;            // WaitForSingleObject
        BOOL wait = FALSE;            // GetOverlappedResult bWait
        BOOL manualReset = FALSE;     // CreateEventA
        BOOL initialState = FALSE;
        HWND owner = nullptr;         // MessageBoxA
        UINT type = 0;
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

    // The machine. A drive is listed in the logical-drive mask once added.
    void AddDrive(char letter, UINT driveType);
    void InsertMedium(char letter, std::vector<unsigned char> bytes,
                      const DISK_GEOMETRY& geometry);
    std::vector<unsigned char>& Medium(char letter);
    void AddMaskBits(DWORD bits);  // beyond those of the drives (no letter)

    // Faults. `nth` counts the calls of one kind from 0. A failing call returns
    // the platform's failure value with `error` as its last error: for
    // ReadFile/WriteFile a refusal, for WaitForSingleObject WAIT_FAILED. Calls
    // that cannot fail here: CloseHandle, HeapFree, GetLastError, MessageBoxA
    // and the drive enumeration.
    void FailCall(Api api, DWORD error, int nth = kEveryCall);
    // Answers the ReadFile or WriteFile at this byte offset with `plan`; any
    // other transfer is pending and completes at the first wait.
    void PlanTransferAt(Api api, ULONGLONG offset, const TransferPlan& plan);
    // Runs `action` when the nth call of `api` begins (to change files mid-copy).
    void OnCall(Api api, int nth, std::function<void()> action);

    // What happened.
    const std::vector<Call>& Calls() const { return m_calls; }
    std::vector<Call> CallsTo(Api api) const;
    const std::vector<std::string>& Misuses() const { return m_misuses; }
    int OpenHandles() const;    // drive handles not closed
    int OpenEvents() const;
    int PeakOpenEvents() const { return m_peakEvents; }
    int LiveHeapBlocks() const { return static_cast<int>(m_blocks.size()); }
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

    Call& Begin(Api api);
    bool Faulted(const Call& call);
    BOOL Fail(DWORD error);
    HANDLE NewHandle(const OpenHandle& state);
    OpenHandle* Find(HANDLE handle);
    Drive* DriveOf(HANDLE file);
    BOOL StartTransfer(Call& call, unsigned char* buffer, DWORD* done, OVERLAPPED* overlapped);
    void Finish(Request& request);
    void End(Request& request, bool succeeded, DWORD error);

    std::map<char, Drive> m_drives;
    DWORD m_extraMaskBits = 0;
    std::map<HANDLE, OpenHandle> m_handles;
    uintptr_t m_nextHandle = 0x1000;
    std::map<const OVERLAPPED*, Request> m_requests;
    std::map<unsigned char*, std::vector<unsigned char>> m_blocks;
    int m_peakEvents = 0;
    DWORD m_lastError = 0;
    std::map<Api, int> m_callCounts;
    std::vector<Fault> m_faults;
    std::vector<PlannedTransfer> m_plans;
    std::vector<Hook> m_hooks;
    std::vector<Call> m_calls;
    std::vector<std::string> m_misuses;
};
