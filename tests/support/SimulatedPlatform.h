// A simulated floppy platform: media in memory, every call recorded, any call
// failing as Windows would, transfers moving real bytes (a pending one when it
// completes); a handle closed twice or under a pending request counts as open.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drive/win32/FloppyPlatform.h"

class SimulatedPlatform : public FloppyPlatform {
public:
    enum class Api { CreateFileA, DeviceIoControl, ReadFile, WriteFile, CancelIo, FlushFileBuffers, CloseHandle, CreateEventA,
                     WaitForSingleObject, GetOverlappedResult, HeapAlloc, HeapFree, MessageBoxA, Other };
    // One call; fields that do not apply stay zero.
    struct Call {
        Api api = Api::Other;
        std::string text;  // CreateFileA path; a message box as "caption: text"
        HANDLE handle = nullptr, result = nullptr, event = nullptr;
        DWORD access = 0, shareMode = 0, flags = 0, code = 0, timeout = 0;
        ULONGLONG bytes = 0, offset = 0;  // of a transfer (both offset halves) or an allocation
        BOOL wait = FALSE;  // GetOverlappedResult bWait; CreateEventA manual reset (initial state in flags)
        HWND owner = nullptr;
        UINT type = 0;
    };
    // How the drive answers one ReadFile or WriteFile.
    struct Plan {
        bool pending = true;     // false: ends before the call returns
        int timedOutSlices = 0;  // waits that time out before it ends
        DWORD error = 0;         // refused (not pending) or failed (pending) with this error
        DWORD missingBytes = 0;  // ends this many bytes short
        bool waitFails = false;  // the wait after the timed-out slices fails
    };

    void AddDrive(char letter, UINT type) { m_drives[letter].type = type; }
    void InsertMedium(char letter, std::vector<unsigned char> bytes, const DISK_GEOMETRY& geometry)
    {
        m_drives[letter].medium = std::move(bytes), m_drives[letter].geometry = geometry;
    }
    std::vector<unsigned char>& Medium(char letter) { return m_drives[letter].medium; }
    void AddMaskBits(DWORD bits) { m_extraMaskBits |= bits; }
    // The nth call of `api` (from 0), or every one (-1), fails with `error`.
    void FailCall(Api api, DWORD error, int nth = -1) { m_faults.push_back({api, nth, error}); }
    // The transfer at this offset ends as planned; others end at their first wait.
    void PlanTransferAt(Api api, ULONGLONG offset, const Plan& plan) { m_plans.push_back({api, offset, 1, plan, -1}); }
    // Runs `action` as the nth call of `api` begins.
    void OnCall(Api api, int nth, std::function<void()> action) { m_hooks.push_back({api, nth, std::move(action)}); }

    std::vector<Call> CallsTo(Api api) const
    {
        std::vector<Call> calls;
        return std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(calls), [&](const Call& c) { return c.api == api; }), calls;
    }
    const std::vector<Call>& Calls() const { return m_calls; }
    int OpenHandles() const { return Count(false); }
    int OpenEvents() const { return Count(true); }
    int LiveHeapBlocks() const { return static_cast<int>(m_blocks.size()); }

    HANDLE CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES*, DWORD, DWORD flags,
                       HANDLE) override
    {
        Call& call = Begin(Api::CreateFileA);
        call.text = path, call.access = access, call.shareMode = share, call.flags = flags;
        const std::string name = path;
        const char letter = name.size() == 6 ? name[4] : '\0';
        if (Faulted(call) || (!m_drives.count(letter) && Fail(ERROR_FILE_NOT_FOUND))) {
            return INVALID_HANDLE_VALUE;
        }
        return call.result = NewHandle({false, letter});
    }
    BOOL DeviceIoControl(HANDLE device, DWORD code, void*, DWORD, void* out, DWORD outSize, DWORD* returned,
                         OVERLAPPED*) override
    {
        Call& call = Begin(Api::DeviceIoControl);
        call.handle = device, call.code = code, call.bytes = outSize;
        if (Faulted(call)) {
            return FALSE;
        }
        std::memcpy(out, &m_drives[m_handles[device].letter].geometry, sizeof(DISK_GEOMETRY));
        *returned = sizeof(DISK_GEOMETRY);
        return TRUE;
    }
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD*, OVERLAPPED* o) override { return StartTransfer(Api::ReadFile, file, buffer, bytes, o); }
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD*, OVERLAPPED* o) override
    {
        return StartTransfer(Api::WriteFile, file, const_cast<void*>(buffer), bytes, o);
    }
    BOOL CancelIo(HANDLE file) override
    {
        Begin(Api::CancelIo).handle = file;
        for (auto& [overlapped, request] : m_requests) {
            if (request.pending && request.call.handle == file) {
                End(request, ERROR_OPERATION_ABORTED);
            }
        }
        return TRUE;
    }
    BOOL FlushFileBuffers(HANDLE file) override
    {
        Call& call = Begin(Api::FlushFileBuffers);
        return call.handle = file, Faulted(call) ? FALSE : TRUE;
    }
    BOOL CloseHandle(HANDLE handle) override
    {
        Begin(Api::CloseHandle).handle = handle;
        const bool underRequest = std::any_of(m_requests.begin(), m_requests.end(), [&](const auto& r) {
            return r.second.pending && (r.second.call.handle == handle || r.second.call.event == handle);
        });
        return !underRequest && m_handles.erase(handle) == 1 ? TRUE : (m_handles[handle] = {}, FALSE);
    }
    HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, const char*) override
    {
        Call& call = Begin(Api::CreateEventA);
        call.wait = manualReset, call.flags = initialState;
        if (Faulted(call)) {
            return nullptr;
        }
        return call.result = NewHandle({true, 0, initialState != FALSE});
    }
    DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override
    {
        Call& call = Begin(Api::WaitForSingleObject);
        call.handle = event, call.timeout = milliseconds;
        if (Faulted(call)) {
            return WAIT_FAILED;
        }
        for (auto& [overlapped, request] : m_requests) {
            if (request.pending && request.call.event == event) {
                if (request.waits++ < request.plan.timedOutSlices) {
                    return WAIT_TIMEOUT;
                }
                if (request.plan.waitFails) {
                    return Fail(ERROR_INVALID_HANDLE), WAIT_FAILED;
                }
                End(request, request.plan.error);
            }
        }
        // An event nothing will signal would be waited for for ever: fail instead.
        return m_handles[event].signalled ? WAIT_OBJECT_0 : m_calls.size() > 100000 ? WAIT_FAILED : WAIT_TIMEOUT;
    }
    BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) override
    {
        Call& call = Begin(Api::GetOverlappedResult);
        call.handle = file, call.wait = wait;
        Request& request = m_requests[overlapped];
        if (Faulted(call) || (request.pending && !wait && Fail(ERROR_IO_INCOMPLETE))) {
            return FALSE;
        }
        if (request.pending) {
            End(request, request.plan.error);
        }
        *transferred = request.transferred;
        m_lastError = request.error;
        return request.error == 0;
    }
    DWORD GetLastError() override { return m_lastError; }
    void* HeapAlloc(SIZE_T bytes) override
    {
        Call& call = Begin(Api::HeapAlloc);
        call.bytes = bytes;
        if (Faulted(call)) {
            return nullptr;
        }
        std::vector<unsigned char> block(std::max<SIZE_T>(bytes, 1));
        void* start = block.data();
        m_blocks[start] = std::move(block);
        return start;
    }
    BOOL HeapFree(void* block) override { return Begin(Api::HeapFree), m_blocks.erase(block) == 1; }
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override
    {
        Call& call = Begin(Api::MessageBoxA);
        call.text = std::string(caption) + ": " + text, call.owner = owner, call.type = type;
        return IDOK;
    }
    DWORD GetLogicalDrives() override
    {
        DWORD mask = m_extraMaskBits;
        return std::for_each(m_drives.begin(), m_drives.end(), [&](const auto& drive) { mask |= 1u << (drive.first - 'A'); }), mask;
    }
    UINT GetDriveTypeA(const char* root) override { return m_drives.count(root[0]) ? m_drives[root[0]].type : DRIVE_NO_ROOT_DIR; }

private:
    struct Drive { UINT type = DRIVE_REMOVABLE; std::vector<unsigned char> medium; DISK_GEOMETRY geometry{}; };
    struct Handle { bool isEvent = false; char letter = 0; bool signalled = false; };
    struct Request {
        Call call;
        unsigned char* buffer = nullptr;
        Plan plan;
        int waits = 0;
        bool pending = true;
        DWORD error = 0, transferred = 0;
    };
    struct Fault { Api api; int nth; DWORD error; };
    struct Planned { Api api; ULONGLONG from, bytes; Plan plan; int times; };
    struct Hook { Api api; int nth; std::function<void()> action; };

    Call& Begin(Api api)
    {
        const int nth = m_counts[api]++;
        for (const Hook& hook : m_hooks) {
            if (hook.api == api && hook.nth == nth) {
                hook.action();
            }
        }
        m_calls.emplace_back().api = api;
        return m_calls.back();
    }
    bool Faulted(const Call& call)
    {
        for (const Fault& fault : m_faults) {
            if (fault.api == call.api && (fault.nth == -1 || fault.nth == m_counts[call.api] - 1)) {
                return Fail(fault.error);
            }
        }
        return false;
    }
    bool Fail(DWORD error) { return m_lastError = error, true; }
    int Count(bool events) const { return static_cast<int>(std::count_if(m_handles.begin(), m_handles.end(), [&](const auto& h) { return h.second.isEvent == events; })); }
    HANDLE NewHandle(const Handle& state)
    {
        const HANDLE handle = reinterpret_cast<HANDLE>(m_nextHandle += 4);  // never reused: a second close shows
        m_handles[handle] = state;
        return handle;
    }
    BOOL StartTransfer(Api api, HANDLE file, void* buffer, DWORD bytes, OVERLAPPED* overlapped)
    {
        Call& call = Begin(api);
        call.handle = file, call.bytes = bytes, call.event = overlapped->hEvent;
        call.offset = overlapped->Offset | (ULONGLONG{overlapped->OffsetHigh} << 32);
        Request request{call, static_cast<unsigned char*>(buffer), Plan{}};
        for (Planned& planned : m_plans) {  // the last that applies
            if (planned.api == api && planned.times != 0 && call.offset < planned.from + planned.bytes && planned.from < call.offset + bytes) {
                request.plan = planned.plan, --planned.times;
            }
        }
        if (Faulted(call) || (!request.plan.pending && request.plan.error != 0 && Fail(request.plan.error))) {
            return FALSE;
        }
        Request& started = m_requests[overlapped] = request;
        if (!started.plan.pending) {
            return End(started, 0), TRUE;
        }
        return Fail(ERROR_IO_PENDING), FALSE;
    }
    // The request ends, moving its bytes unless it failed, and signals its event.
    void End(Request& request, DWORD error)
    {
        request.pending = false, request.error = error;
        if (m_handles.count(request.call.event)) {
            m_handles[request.call.event].signalled = true;
        }
        std::vector<unsigned char>& medium = m_drives[m_handles[request.call.handle].letter].medium;
        const ULONGLONG offset = request.call.offset;
        // Past the end of the medium nothing moves, as with an image file.
        const size_t moved = error ? 0 : static_cast<size_t>(std::min<ULONGLONG>(
            request.call.bytes - std::min<ULONGLONG>(request.call.bytes, request.plan.missingBytes),
            offset < medium.size() ? medium.size() - offset : 0));
        if (moved > 0) {
            unsigned char* disk = medium.data() + offset;
            request.call.api == Api::ReadFile ? std::memcpy(request.buffer, disk, moved) : std::memcpy(disk, request.buffer, moved);
        }
        request.transferred = static_cast<DWORD>(moved);
    }

    std::map<char, Drive> m_drives;
    DWORD m_extraMaskBits = 0;
    std::map<HANDLE, Handle> m_handles;
    uintptr_t m_nextHandle = 0x1000;
    std::map<const OVERLAPPED*, Request> m_requests;
    std::map<void*, std::vector<unsigned char>> m_blocks;
    std::map<Api, int> m_counts;
    std::vector<Fault> m_faults;
    std::vector<Planned> m_plans;
    std::vector<Hook> m_hooks;
    std::vector<Call> m_calls;
    DWORD m_lastError = 0;
};
