#include "platform/SimulatedPlatform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace {

// An engine that waits this often on an event nothing will signal would wait
// for ever; the wait fails instead, so the test ends.
constexpr int kIdleWaitLimit = 1000;

}  // namespace

// ---- The machine, its faults, and what happened

void SimulatedPlatform::AddDrive(char letter, UINT driveType)
{
    m_drives[letter].type = driveType;
}

void SimulatedPlatform::InsertMedium(char letter, std::vector<unsigned char> bytes,
                                     const DISK_GEOMETRY& geometry)
{
    Drive& drive = m_drives[letter];
    drive.hasMedium = true;
    drive.medium = std::move(bytes);
    drive.geometry = geometry;
}

std::vector<unsigned char>& SimulatedPlatform::Medium(char letter)
{
    return m_drives[letter].medium;
}

void SimulatedPlatform::AddMaskBits(DWORD bits)
{
    m_extraMaskBits |= bits;
}

void SimulatedPlatform::FailCall(Api api, DWORD error, int nth)
{
    m_faults.push_back({api, error, nth});
}

void SimulatedPlatform::PlanTransferAt(Api api, ULONGLONG offset, const TransferPlan& plan)
{
    m_plans.push_back({api, offset, plan});
}

void SimulatedPlatform::OnCall(Api api, int nth, std::function<void()> action)
{
    m_hooks.push_back({api, nth, std::move(action)});
}

std::vector<SimulatedPlatform::Call> SimulatedPlatform::CallsTo(Api api) const
{
    std::vector<Call> calls;
    std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(calls),
                 [api](const Call& call) { return call.api == api; });
    return calls;
}

int SimulatedPlatform::OpenHandles() const
{
    return static_cast<int>(std::count_if(m_handles.begin(), m_handles.end(),
                                           [](const auto& h) { return !h.second.isEvent; }));
}

int SimulatedPlatform::OpenEvents() const
{
    return static_cast<int>(m_handles.size()) - OpenHandles();
}

int SimulatedPlatform::PendingRequests() const
{
    return static_cast<int>(std::count_if(m_requests.begin(), m_requests.end(),
                                           [](const auto& r) { return r.second.pending; }));
}

// ---- Helpers

SimulatedPlatform::Call& SimulatedPlatform::Begin(Api api)
{
    Call call;
    call.api = api;
    call.nth = m_callCounts[api]++;
    for (const Hook& hook : m_hooks) {
        if (hook.api == api && hook.nth == call.nth) {
            hook.action();
        }
    }
    m_calls.push_back(call);
    return m_calls.back();
}

// True, with the fault's error as the last error, when this call is to fail.
bool SimulatedPlatform::Faulted(const Call& call)
{
    for (const Fault& fault : m_faults) {
        if (fault.api == call.api && (fault.nth == kEveryCall || fault.nth == call.nth)) {
            m_lastError = fault.error;
            return true;
        }
    }
    return false;
}

BOOL SimulatedPlatform::Fail(DWORD error)
{
    m_lastError = error;
    return FALSE;
}

HANDLE SimulatedPlatform::NewHandle(const OpenHandle& state)
{
    // Handle values are never reused, so a second close is always caught.
    HANDLE handle = reinterpret_cast<HANDLE>(m_nextHandle);
    m_nextHandle += 4;
    m_handles[handle] = state;
    m_peakEvents = std::max(m_peakEvents, OpenEvents());
    return handle;
}

SimulatedPlatform::OpenHandle* SimulatedPlatform::Find(HANDLE handle)
{
    const auto found = m_handles.find(handle);
    return found == m_handles.end() ? nullptr : &found->second;
}

SimulatedPlatform::Drive* SimulatedPlatform::DriveOf(HANDLE file)
{
    const OpenHandle* state = Find(file);
    return state == nullptr || state->isEvent ? nullptr : &m_drives[state->letter];
}

// The request ends and signals its event.
void SimulatedPlatform::End(Request& request, bool succeeded, DWORD error)
{
    request.pending = false;
    request.succeeded = succeeded;
    request.error = error;
    if (OpenHandle* event = Find(request.event)) {
        event->signalled = true;
    }
}

// The request ends as planned, moving its bytes between medium and buffer.
void SimulatedPlatform::Finish(Request& request)
{
    request.transferred = 0;
    if (request.plan.end == TransferPlan::End::Fail) {
        End(request, false, request.plan.error);
        return;
    }
    DWORD wanted = request.bytes;
    if (request.plan.end == TransferPlan::End::Short) {
        wanted -= std::min(wanted, request.plan.missingBytes);
    }
    std::vector<unsigned char>& medium = DriveOf(request.file)->medium;
    // Past the end of the medium nothing moves, as with an image file.
    const ULONGLONG available =
        request.offset < medium.size() ? medium.size() - request.offset : 0;
    const DWORD moved = static_cast<DWORD>(std::min<ULONGLONG>(wanted, available));
    if (request.blockReleased) {
        m_misuses.push_back("a transfer landed in released memory");
    } else if (moved > 0 && request.api == Api::ReadFile) {
        std::memcpy(request.buffer, medium.data() + request.offset, moved);
    } else if (moved > 0) {
        std::memcpy(medium.data() + request.offset, request.buffer, moved);
    }
    request.transferred = moved;
    End(request, true, 0);
}

// ---- Raw volume access

HANDLE SimulatedPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                      SECURITY_ATTRIBUTES* security, DWORD disposition,
                                      DWORD flags, HANDLE templateFile)
{
    Call& call = Begin(Api::CreateFileA);
    call.text = path != nullptr ? path : "";
    call.access = access;
    call.shareMode = shareMode;
    call.security = security != nullptr;
    call.disposition = disposition;
    call.flags = flags;
    call.templateFile = templateFile != nullptr;
    if (Faulted(call)) {
        return INVALID_HANDLE_VALUE;
    }
    // Only the raw volume form \\.\X: is known here.
    const std::string& text = call.text;
    if (text.size() != 6 || text.compare(0, 4, "\\\\.\\") != 0 || text[5] != ':') {
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[4])));
    const auto found = m_drives.find(letter);
    if (found == m_drives.end() || !found->second.hasMedium) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (found->second.open) {
        Fail(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    found->second.open = true;
    OpenHandle state;
    state.letter = letter;
    call.result = NewHandle(state);
    return call.result;
}

BOOL SimulatedPlatform::DeviceIoControl(HANDLE device, DWORD code, void*, DWORD, void* out,
                                        DWORD outSize, DWORD* returned, OVERLAPPED*)
{
    Call& call = Begin(Api::DeviceIoControl);
    call.handle = device;
    call.code = code;
    call.outSize = outSize;
    if (Faulted(call)) {
        return FALSE;
    }
    Drive* drive = DriveOf(device);
    if (drive == nullptr) {
        m_misuses.push_back("DeviceIoControl on a handle that is not an open drive");
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (code != IOCTL_DISK_GET_DRIVE_GEOMETRY) {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    if (out == nullptr || outSize < sizeof(DISK_GEOMETRY)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(out, &drive->geometry, sizeof(DISK_GEOMETRY));
    if (returned != nullptr) {
        *returned = sizeof(DISK_GEOMETRY);
    }
    return TRUE;
}

BOOL SimulatedPlatform::ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                                 OVERLAPPED* overlapped)
{
    Call& call = Begin(Api::ReadFile);
    call.handle = file;
    call.bytes = bytes;
    return StartTransfer(call, static_cast<unsigned char*>(buffer), done, overlapped);
}

BOOL SimulatedPlatform::WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                                  OVERLAPPED* overlapped)
{
    Call& call = Begin(Api::WriteFile);
    call.handle = file;
    call.bytes = bytes;
    // Only read from: the request writes from this buffer onto the medium.
    auto* source = const_cast<unsigned char*>(static_cast<const unsigned char*>(buffer));
    return StartTransfer(call, source, done, overlapped);
}

BOOL SimulatedPlatform::StartTransfer(Call& call, unsigned char* buffer, DWORD* done,
                                      OVERLAPPED* overlapped)
{
    if (overlapped != nullptr) {
        call.offset = overlapped->Offset;
        call.offsetHigh = overlapped->OffsetHigh;
        call.event = overlapped->hEvent;
    }
    if (Faulted(call)) {
        return FALSE;
    }
    OpenHandle* event = overlapped != nullptr ? Find(overlapped->hEvent) : nullptr;
    if (DriveOf(call.handle) == nullptr || event == nullptr || !event->isEvent) {
        m_misuses.push_back("a transfer without an open drive, OVERLAPPED record and event");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const auto previous = m_requests.find(overlapped);
    if (previous != m_requests.end() && previous->second.pending) {
        m_misuses.push_back("an OVERLAPPED record reused while its request is pending");
    }

    Request request;
    request.api = call.api;
    request.file = call.handle;
    request.event = call.event;
    request.buffer = buffer;
    request.bytes = static_cast<DWORD>(call.bytes);
    request.offset = (ULONGLONG{call.offsetHigh} << 32) | call.offset;
    for (const PlannedTransfer& planned : m_plans) {
        if (planned.api == call.api && planned.offset == request.offset) {
            request.plan = planned.plan;
        }
    }
    if (request.plan.start == TransferPlan::Start::Refused) {
        return Fail(request.plan.error);
    }
    for (auto& [start, block] : m_blocks) {
        if (buffer >= start && buffer < start + block.size()) {
            request.block = start;
            if (static_cast<size_t>(buffer - start) + request.bytes > block.size()) {
                m_misuses.push_back("a transfer runs past the end of its heap block");
            }
        }
    }
    // Starting a request resets its event, as Windows does.
    event->signalled = false;

    Request& stored = m_requests[overlapped] = request;
    stored.pending = true;
    if (done != nullptr) {
        *done = 0;
    }
    if (request.plan.start == TransferPlan::Start::Pending) {
        return Fail(ERROR_IO_PENDING);
    }
    Finish(stored);
    if (done != nullptr) {
        *done = stored.transferred;
    }
    return stored.succeeded ? TRUE : Fail(stored.error);
}

BOOL SimulatedPlatform::CancelIo(HANDLE file)
{
    Call& call = Begin(Api::CancelIo);
    call.handle = file;
    if (Faulted(call)) {
        return FALSE;
    }
    if (DriveOf(file) == nullptr) {
        m_misuses.push_back("CancelIo on a handle that is not an open drive");
        return Fail(ERROR_INVALID_HANDLE);
    }
    for (auto& entry : m_requests) {
        if (entry.second.file == file && entry.second.pending) {
            End(entry.second, false, ERROR_OPERATION_ABORTED);
        }
    }
    return TRUE;
}

BOOL SimulatedPlatform::CloseHandle(HANDLE handle)
{
    Begin(Api::CloseHandle).handle = handle;
    const auto found = m_handles.find(handle);
    if (found == m_handles.end()) {
        m_misuses.push_back("CloseHandle of a handle that is not open (closed twice?)");
        return Fail(ERROR_INVALID_HANDLE);
    }
    for (auto& entry : m_requests) {
        Request& request = entry.second;
        if (request.pending && request.event == handle) {
            m_misuses.push_back("an event closed while its request is pending");
        }
        if (request.pending && request.file == handle) {
            m_misuses.push_back("a drive handle closed while a request on it is pending");
            End(request, false, ERROR_OPERATION_ABORTED);
        }
    }
    if (!found->second.isEvent) {
        m_drives[found->second.letter].open = false;
    }
    m_handles.erase(found);
    return TRUE;
}

// ---- Completion of overlapped requests

HANDLE SimulatedPlatform::CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset,
                                       BOOL initialState, const char*)
{
    Call& call = Begin(Api::CreateEventA);
    call.manualReset = manualReset;
    call.initialState = initialState;
    if (Faulted(call)) {
        return nullptr;
    }
    OpenHandle state;
    state.isEvent = true;
    state.signalled = initialState != FALSE;
    call.result = NewHandle(state);
    return call.result;
}

DWORD SimulatedPlatform::WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    Call& call = Begin(Api::WaitForSingleObject);
    call.handle = handle;
    call.timeout = milliseconds;
    if (Faulted(call)) {
        return WAIT_FAILED;
    }
    OpenHandle* event = Find(handle);
    if (event == nullptr || !event->isEvent) {
        m_misuses.push_back("a wait on a handle that is not an open event");
        Fail(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (event->signalled) {
        return WAIT_OBJECT_0;
    }
    const auto pending = std::find_if(m_requests.begin(), m_requests.end(), [&](const auto& r) {
        return r.second.pending && r.second.event == handle;
    });
    if (pending == m_requests.end()) {
        if (++event->idleWaits > kIdleWaitLimit) {
            m_misuses.push_back("a wait for ever on an event that nothing will signal");
            Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        return WAIT_TIMEOUT;
    }
    TransferPlan& plan = pending->second.plan;
    if (plan.timedOutSlices > 0) {
        --plan.timedOutSlices;
        return WAIT_TIMEOUT;
    }
    if (plan.waitFails) {
        Fail(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    Finish(pending->second);
    return WAIT_OBJECT_0;
}

BOOL SimulatedPlatform::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                            DWORD* transferred, BOOL wait)
{
    Call& call = Begin(Api::GetOverlappedResult);
    call.handle = file;
    call.wait = wait;
    if (Faulted(call)) {
        return FALSE;
    }
    const auto found = m_requests.find(overlapped);
    if (found == m_requests.end() || found->second.file != file || transferred == nullptr) {
        m_misuses.push_back("GetOverlappedResult for no request of this handle");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Request& request = found->second;
    if (request.pending) {
        if (!wait) {
            return Fail(ERROR_IO_INCOMPLETE);
        }
        Finish(request);
    }
    *transferred = request.transferred;
    return request.succeeded ? TRUE : Fail(request.error);
}

DWORD SimulatedPlatform::GetLastError()
{
    Begin(Api::GetLastError);
    return m_lastError;
}

// ---- Heap

void* SimulatedPlatform::HeapAlloc(SIZE_T bytes)
{
    Call& call = Begin(Api::HeapAlloc);
    call.bytes = bytes;
    if (Faulted(call)) {
        return nullptr;
    }
    std::vector<unsigned char> block(std::max<SIZE_T>(bytes, 1));
    unsigned char* start = block.data();
    m_blocks.emplace(start, std::move(block));
    return start;
}

BOOL SimulatedPlatform::HeapFree(void* block)
{
    Begin(Api::HeapFree);
    const auto found = m_blocks.find(static_cast<unsigned char*>(block));
    if (found == m_blocks.end()) {
        m_misuses.push_back("HeapFree of a block that is not live");
        return FALSE;
    }
    for (auto& entry : m_requests) {
        Request& request = entry.second;
        if (request.block == found->first) {
            if (request.pending) {
                m_misuses.push_back("a heap block freed while a request into it is pending");
            }
            request.blockReleased = true;
        }
    }
    m_blocks.erase(found);
    return TRUE;
}

// ---- Messages and drive enumeration

int SimulatedPlatform::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    Call& call = Begin(Api::MessageBoxA);
    call.owner = owner;
    call.text = text != nullptr ? text : "";
    call.caption = caption != nullptr ? caption : "";
    call.type = type;
    return IDOK;
}

DWORD SimulatedPlatform::GetLogicalDrives()
{
    Begin(Api::GetLogicalDrives);
    DWORD mask = m_extraMaskBits;
    for (const auto& entry : m_drives) {
        if (entry.first >= 'A' && entry.first <= 'Z') {
            mask |= 1u << (entry.first - 'A');
        }
    }
    return mask;
}

UINT SimulatedPlatform::GetDriveTypeA(const char* rootPath)
{
    Call& call = Begin(Api::GetDriveTypeA);
    call.text = rootPath != nullptr ? rootPath : "";
    if (call.text.size() != 3 || call.text.compare(1, 2, ":\\") != 0) {
        return DRIVE_NO_ROOT_DIR;
    }
    const auto found = m_drives.find(call.text[0]);
    return found == m_drives.end() ? DRIVE_NO_ROOT_DIR : found->second.type;
}
