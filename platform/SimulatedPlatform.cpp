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

SimulatedPlatform::SimulatedPlatform() = default;
SimulatedPlatform::~SimulatedPlatform() = default;

// ---- The machine and its faults

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

void SimulatedPlatform::SetLogicalDriveMask(DWORD mask)
{
    m_maskSet = true;
    m_mask = mask;
}

void SimulatedPlatform::FailCall(Api api, DWORD error, int nth)
{
    m_faults.push_back({api, error, nth});
}

void SimulatedPlatform::PlanTransferAt(Api api, ULONGLONG offset, const TransferPlan& plan)
{
    m_plans.push_back({api, offset, plan});
}

void SimulatedPlatform::SetDefaultTransferPlan(const TransferPlan& plan)
{
    m_defaultPlan = plan;
}

void SimulatedPlatform::OnCall(Api api, int nth, std::function<void()> action)
{
    m_hooks.push_back({api, nth, std::move(action)});
}

// ---- What happened

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

SimulatedPlatform::Call& SimulatedPlatform::Begin(Api api, int& index)
{
    index = m_callCounts[api]++;
    for (const Hook& hook : m_hooks) {
        if (hook.api == api && hook.nth == index) {
            hook.action();
        }
    }
    Call call;
    call.api = api;
    m_calls.push_back(call);
    return m_calls.back();
}

bool SimulatedPlatform::Faulted(Api api, int index, DWORD& error) const
{
    for (const Fault& fault : m_faults) {
        if (fault.api == api && (fault.nth == kEveryCall || fault.nth == index)) {
            error = fault.error;
            return true;
        }
    }
    return false;
}

void SimulatedPlatform::Misuse(const std::string& what)
{
    m_misuses.push_back(what);
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
    if (state == nullptr || state->isEvent) {
        return nullptr;
    }
    return &m_drives[state->letter];
}

SimulatedPlatform::TransferPlan SimulatedPlatform::PlanFor(Api api, ULONGLONG offset) const
{
    for (const PlannedTransfer& planned : m_plans) {
        if (planned.api == api && planned.offset == offset) {
            return planned.plan;
        }
    }
    return m_defaultPlan;
}

unsigned char* SimulatedPlatform::BlockHolding(const unsigned char* address, DWORD bytes)
{
    for (auto& [start, block] : m_blocks) {
        if (address >= start && address < start + block.size) {
            if (static_cast<SIZE_T>(address - start) + bytes > block.size) {
                Misuse("a transfer runs past the end of its heap block");
            }
            return start;
        }
    }
    return nullptr;
}

void SimulatedPlatform::Signal(HANDLE event)
{
    if (OpenHandle* state = Find(event)) {
        state->signalled = true;
    }
}

DWORD SimulatedPlatform::MoveBytes(Request& request, DWORD wanted)
{
    Drive* drive = DriveOf(request.file);
    if (drive == nullptr) {
        return 0;
    }
    std::vector<unsigned char>& medium = drive->medium;
    // Past the end of the medium nothing moves, as with an image file.
    const ULONGLONG available =
        request.offset < medium.size() ? medium.size() - request.offset : 0;
    const DWORD moved = static_cast<DWORD>(std::min<ULONGLONG>(wanted, available));
    if (request.blockReleased) {
        Misuse("a transfer landed in released memory");
        return moved;
    }
    if (moved == 0) {
        return 0;
    }
    if (request.api == Api::ReadFile) {
        std::memcpy(request.buffer, medium.data() + request.offset, moved);
    } else {
        std::memcpy(medium.data() + request.offset, request.buffer, moved);
    }
    return moved;
}

void SimulatedPlatform::Finish(Request& request)
{
    request.pending = false;
    if (request.plan.end == TransferPlan::End::Fail) {
        request.succeeded = false;
        request.error = request.plan.error;
        request.transferred = 0;
    } else {
        DWORD wanted = request.bytes;
        if (request.plan.end == TransferPlan::End::Short) {
            wanted -= std::min(wanted, request.plan.missingBytes);
        }
        request.succeeded = true;
        request.transferred = MoveBytes(request, wanted);
    }
    Signal(request.event);
}

void SimulatedPlatform::Cancel(Request& request)
{
    request.pending = false;
    request.succeeded = false;
    request.error = ERROR_OPERATION_ABORTED;
    request.transferred = 0;
    Signal(request.event);
}

// ---- Raw volume access

HANDLE SimulatedPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                      SECURITY_ATTRIBUTES* security, DWORD disposition,
                                      DWORD flags, HANDLE templateFile)
{
    int index = 0;
    Call& call = Begin(Api::CreateFileA, index);
    call.text = path != nullptr ? path : "";
    call.access = access;
    call.shareMode = shareMode;
    call.security = security != nullptr;
    call.disposition = disposition;
    call.flags = flags;
    call.templateFile = templateFile != nullptr;

    DWORD error = 0;
    if (Faulted(Api::CreateFileA, index, error)) {
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    // Only the raw volume form \\.\X: is known here.
    const std::string text = call.text;
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
    HANDLE handle = NewHandle(state);
    call.result = handle;
    return handle;
}

BOOL SimulatedPlatform::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                        void* out, DWORD outSize, DWORD* returned,
                                        OVERLAPPED* overlapped)
{
    int index = 0;
    Call& call = Begin(Api::DeviceIoControl, index);
    call.handle = device;
    call.code = code;
    call.input = in != nullptr;
    call.inSize = inSize;
    call.outSize = outSize;
    call.overlapped = overlapped != nullptr;

    DWORD error = 0;
    if (Faulted(Api::DeviceIoControl, index, error)) {
        return Fail(error);
    }
    Drive* drive = DriveOf(device);
    if (drive == nullptr) {
        Misuse("DeviceIoControl on a handle that is not an open drive");
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
    int index = 0;
    Call& call = Begin(Api::ReadFile, index);
    return StartTransfer(Api::ReadFile, file, static_cast<unsigned char*>(buffer), bytes, done,
                         overlapped, call, index);
}

BOOL SimulatedPlatform::WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                                  OVERLAPPED* overlapped)
{
    int index = 0;
    Call& call = Begin(Api::WriteFile, index);
    // Only read from: the request writes from this buffer onto the medium.
    auto* source = const_cast<unsigned char*>(static_cast<const unsigned char*>(buffer));
    return StartTransfer(Api::WriteFile, file, source, bytes, done, overlapped, call, index);
}

BOOL SimulatedPlatform::StartTransfer(Api api, HANDLE file, unsigned char* buffer, DWORD bytes,
                                      DWORD* done, OVERLAPPED* overlapped, Call& call,
                                      int index)
{
    call.handle = file;
    call.bytes = bytes;
    call.countOut = done != nullptr;
    call.overlapped = overlapped != nullptr;
    if (overlapped != nullptr) {
        call.offset = overlapped->Offset;
        call.offsetHigh = overlapped->OffsetHigh;
        call.event = overlapped->hEvent;
    }

    DWORD error = 0;
    if (Faulted(api, index, error)) {
        return Fail(error);
    }
    if (DriveOf(file) == nullptr) {
        Misuse("a transfer on a handle that is not an open drive");
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (overlapped == nullptr) {
        Misuse("a transfer without an OVERLAPPED record on an overlapped handle");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    OpenHandle* event = Find(overlapped->hEvent);
    if (event == nullptr || !event->isEvent) {
        Misuse("a transfer without an open event of its own");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const auto previous = m_requests.find(overlapped);
    if (previous != m_requests.end() && previous->second.pending) {
        Misuse("an OVERLAPPED record reused while its request is pending");
    }

    Request request;
    request.api = api;
    request.file = file;
    request.event = overlapped->hEvent;
    request.buffer = buffer;
    request.bytes = bytes;
    request.offset = (ULONGLONG{overlapped->OffsetHigh} << 32) | overlapped->Offset;
    request.plan = PlanFor(api, request.offset);
    if (request.plan.start == TransferPlan::Start::Refused) {
        return Fail(request.plan.error);
    }
    request.slicesLeft = request.plan.timedOutSlices;
    request.block = BlockHolding(buffer, bytes);
    // Starting a request resets its event, as Windows does.
    event->signalled = false;

    Request& stored = m_requests[overlapped] = request;
    if (request.plan.start == TransferPlan::Start::Immediate) {
        Finish(stored);
        if (done != nullptr) {
            *done = stored.transferred;
        }
        return stored.succeeded ? TRUE : Fail(stored.error);
    }
    stored.pending = true;
    if (done != nullptr) {
        *done = 0;
    }
    return Fail(ERROR_IO_PENDING);
}

BOOL SimulatedPlatform::CancelIo(HANDLE file)
{
    int index = 0;
    Call& call = Begin(Api::CancelIo, index);
    call.handle = file;

    DWORD error = 0;
    if (Faulted(Api::CancelIo, index, error)) {
        return Fail(error);
    }
    if (DriveOf(file) == nullptr) {
        Misuse("CancelIo on a handle that is not an open drive");
        return Fail(ERROR_INVALID_HANDLE);
    }
    for (auto& entry : m_requests) {
        if (entry.second.file == file && entry.second.pending) {
            Cancel(entry.second);
        }
    }
    return TRUE;
}

BOOL SimulatedPlatform::CloseHandle(HANDLE handle)
{
    int index = 0;
    Call& call = Begin(Api::CloseHandle, index);
    call.handle = handle;

    const auto found = m_handles.find(handle);
    if (found == m_handles.end()) {
        Misuse("CloseHandle of a handle that is not open (closed twice?)");
        return Fail(ERROR_INVALID_HANDLE);
    }
    for (auto& entry : m_requests) {
        Request& request = entry.second;
        if (!request.pending) {
            continue;
        }
        if (request.event == handle) {
            Misuse("an event closed while its request is pending");
        }
        if (request.file == handle) {
            Misuse("a drive handle closed while a request on it is pending");
            Cancel(request);
        }
    }
    if (!found->second.isEvent) {
        m_drives[found->second.letter].open = false;
    }
    m_handles.erase(found);
    return TRUE;
}

// ---- Completion of overlapped requests

HANDLE SimulatedPlatform::CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                                       BOOL initialState, const char* name)
{
    int index = 0;
    Call& call = Begin(Api::CreateEventA, index);
    call.security = security != nullptr;
    call.manualReset = manualReset;
    call.initialState = initialState;
    call.named = name != nullptr;

    DWORD error = 0;
    if (Faulted(Api::CreateEventA, index, error)) {
        Fail(error);
        return nullptr;
    }
    OpenHandle state;
    state.isEvent = true;
    state.signalled = initialState != FALSE;
    HANDLE handle = NewHandle(state);
    call.result = handle;
    return handle;
}

DWORD SimulatedPlatform::WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    int index = 0;
    Call& call = Begin(Api::WaitForSingleObject, index);
    call.handle = handle;
    call.timeout = milliseconds;

    DWORD error = 0;
    if (Faulted(Api::WaitForSingleObject, index, error)) {
        Fail(error);
        return WAIT_FAILED;
    }
    OpenHandle* event = Find(handle);
    if (event == nullptr || !event->isEvent) {
        Misuse("a wait on a handle that is not an open event");
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
            Misuse("a wait for ever on an event that nothing will signal");
            Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        return WAIT_TIMEOUT;
    }
    Request& request = pending->second;
    if (request.slicesLeft > 0) {
        --request.slicesLeft;
        return WAIT_TIMEOUT;
    }
    if (request.plan.waitFails) {
        Fail(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    Finish(request);
    return WAIT_OBJECT_0;
}

BOOL SimulatedPlatform::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                            DWORD* transferred, BOOL wait)
{
    int index = 0;
    Call& call = Begin(Api::GetOverlappedResult, index);
    call.handle = file;
    call.wait = wait;
    call.overlapped = overlapped != nullptr;
    if (overlapped != nullptr) {
        call.event = overlapped->hEvent;
    }

    DWORD error = 0;
    if (Faulted(Api::GetOverlappedResult, index, error)) {
        return Fail(error);
    }
    const auto found = m_requests.find(overlapped);
    if (found == m_requests.end() || found->second.file != file || transferred == nullptr) {
        Misuse("GetOverlappedResult for no request of this handle");
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
    int index = 0;
    Begin(Api::GetLastError, index);
    return m_lastError;
}

// ---- Heap

void* SimulatedPlatform::HeapAlloc(SIZE_T bytes)
{
    int index = 0;
    Call& call = Begin(Api::HeapAlloc, index);
    call.bytes = bytes;

    DWORD error = 0;
    if (Faulted(Api::HeapAlloc, index, error)) {
        return nullptr;
    }
    ++m_allocations;
    Block block{std::make_unique<unsigned char[]>(std::max<SIZE_T>(bytes, 1)), bytes};
    unsigned char* start = block.bytes.get();
    m_blocks.emplace(start, std::move(block));
    return start;
}

BOOL SimulatedPlatform::HeapFree(void* block)
{
    int index = 0;
    Begin(Api::HeapFree, index);

    const auto found = m_blocks.find(static_cast<unsigned char*>(block));
    if (found == m_blocks.end()) {
        Misuse("HeapFree of a block that is not live");
        return FALSE;
    }
    for (auto& entry : m_requests) {
        Request& request = entry.second;
        if (request.block == found->first) {
            if (request.pending) {
                Misuse("a heap block freed while a request into it is pending");
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
    int index = 0;
    Call& call = Begin(Api::MessageBoxA, index);
    call.owner = owner;
    call.text = text != nullptr ? text : "";
    call.caption = caption != nullptr ? caption : "";
    call.type = type;
    m_boxes.push_back({owner, call.text, call.caption, type});
    return IDOK;
}

DWORD SimulatedPlatform::GetLogicalDrives()
{
    int index = 0;
    Begin(Api::GetLogicalDrives, index);
    if (m_maskSet) {
        return m_mask;
    }
    DWORD mask = 0;
    for (const auto& entry : m_drives) {
        if (entry.first >= 'A' && entry.first <= 'Z') {
            mask |= 1u << (entry.first - 'A');
        }
    }
    return mask;
}

UINT SimulatedPlatform::GetDriveTypeA(const char* rootPath)
{
    int index = 0;
    Call& call = Begin(Api::GetDriveTypeA, index);
    call.text = rootPath != nullptr ? rootPath : "";
    if (call.text.size() != 3 || call.text.compare(1, 2, ":\\") != 0) {
        return DRIVE_NO_ROOT_DIR;
    }
    const auto found = m_drives.find(call.text[0]);
    return found == m_drives.end() ? DRIVE_NO_ROOT_DIR : found->second.type;
}
