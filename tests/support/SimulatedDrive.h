// A simulated floppy behind the Drive interface: the medium in memory, every
// request recorded, any request failing with a DriveFailure, the engine's
// messages recorded as "caption: text", open drives and buffers counted.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "drive/Drive.h"
#include "engine/ErrorMessages.h"

class SimulatedDrive : public DriveSystem, public ErrorMessages {
public:
    enum Kind { Geometry, Read, Write, Flush };
    // The first `times` requests of `kind` (-1: every one) that touch these
    // bytes of the medium end at `stop` with `error`, `moved` bytes moved.
    struct Fault { Kind kind; uint64_t from, bytes; DriveError error; int times = -1; uint32_t moved = 0; TransferStop stop = TransferStop::Failed; };

    std::vector<unsigned char> medium;
    DriveGeometry geometry;
    DriveError openError;
    bool noMemory = false, writeProtected = false;
    std::vector<DriveUse> opens;
    std::vector<Kind> requests;
    std::vector<std::string> messages;
    int liveDrives = 0;
    static int& LiveBuffers() { static int s_count = 0; return s_count; }

    void AddFault(const Fault& fault) { m_faults.push_back(fault); }
    // Runs `action` as the nth request of `kind` (from 0) begins.
    void OnRequest(Kind kind, int nth, std::function<void()> action) { m_hooks.push_back({kind, nth, std::move(action)}); }
    size_t CountOf(Kind kind) const
    {
        return static_cast<size_t>(std::count(requests.begin(), requests.end(), kind));
    }

    std::unique_ptr<Drive> Open(const FloppyDrive&, DriveUse use, DriveError& error) override
    {
        opens.push_back(use);
        error = openError;
        return error.Failed() ? nullptr : std::make_unique<Opened>(*this);
    }
    DriveBuffer AllocateBuffer(size_t bytes) override
    {
        return noMemory ? DriveBuffer() : (++LiveBuffers(), DriveBuffer(new unsigned char[std::max<size_t>(bytes, 1)], [](void* block) {
            delete[] static_cast<unsigned char*>(block), --LiveBuffers();
        }));
    }
    std::string OpenFailureText(const FloppyDrive& drive, DriveUse, int code) override { return "open " + drive.name + ": " + std::to_string(code); }
    void Show(const std::string& text, const char* caption) override { messages.push_back(std::string(caption) + ": " + text); }

private:
    struct Hook { Kind kind; int nth; std::function<void()> action; };
    struct Opened : Drive {
        SimulatedDrive& s;
        explicit Opened(SimulatedDrive& system) : s(system) { ++s.liveDrives; }
        ~Opened() override { --s.liveDrives; }
        DriveError QueryGeometry(DriveGeometry& geometry) override
        {
            const DriveError error = s.Begin(SimulatedDrive::Geometry, 0, 0).error;
            return geometry = s.geometry, error;
        }
        TransferResult Read(unsigned char* buffer, uint64_t offset, uint32_t bytes) override { return s.Move(SimulatedDrive::Read, buffer, offset, bytes); }
        TransferResult Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes) override
        {
            return s.Move(SimulatedDrive::Write, const_cast<unsigned char*>(buffer), offset, bytes);
        }
        DriveError Flush() override { return s.Begin(SimulatedDrive::Flush, 0, 0).error; }
        DriveError AskWritable() override { return s.writeProtected ? DriveError{DriveFailure::WriteProtected, 19} : DriveError{}; }
    };

    // Records the request; its result before any byte moves.
    TransferResult Begin(Kind kind, uint64_t offset, uint32_t bytes)
    {
        const int nth = static_cast<int>(CountOf(kind));
        for (const Hook& hook : m_hooks) {
            if (hook.kind == kind && hook.nth == nth) {
                hook.action();
            }
        }
        requests.push_back(kind);
        TransferResult result{bytes, TransferStop::None, {}};
        for (Fault& fault : m_faults) {  // the last that applies
            const bool touches = bytes == 0 || (offset < fault.from + fault.bytes && fault.from < offset + bytes);
            if (fault.kind == kind && fault.times != 0 && touches) {
                result = {fault.moved, fault.stop, fault.error}, --fault.times;
            }
        }
        return result;
    }
    // Past the end of the medium nothing moves, as with an image file.
    TransferResult Move(Kind kind, unsigned char* buffer, uint64_t offset, uint32_t bytes)
    {
        TransferResult result = Begin(kind, offset, bytes);
        result.moved = offset < medium.size() ? static_cast<uint32_t>(std::min<uint64_t>(result.moved, medium.size() - offset)) : 0;
        if (result.moved > 0) {
            kind == Read ? std::memcpy(buffer, &medium[offset], result.moved) : std::memcpy(&medium[offset], buffer, result.moved);
        }
        if (result.Complete() && result.moved < bytes) {
            result.stop = TransferStop::Failed, result.error = {DriveFailure::Gone, 0};
        }
        return result;
    }

    std::vector<Fault> m_faults;
    std::vector<Hook> m_hooks;
};
