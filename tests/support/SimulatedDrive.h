// A simulated floppy behind the Drive interface: the medium in memory, every
// request recorded by its kind, any read or write failing as planned, the
// engine's messages recorded as "caption: text", open drives and buffers counted.
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
    bool writeProtected = false;
    std::vector<DriveUse> opens;
    std::vector<Kind> requests;
    std::vector<std::string> messages;
    int liveDrives = 0;
    static int& LiveBuffers() { static int s_count = 0; return s_count; }
    int Unreleased() const { return liveDrives + LiveBuffers(); }  // drives and buffers

    void AddFault(const Fault& fault) { m_faults.push_back(fault); }
    // Runs `action` as the nth request of `kind` (from 0) begins.
    void OnRequest(Kind kind, int nth, std::function<void()> action) { m_hooks.push_back({kind, nth, std::move(action)}); }
    size_t CountOf(Kind kind) const { return static_cast<size_t>(std::count(requests.begin(), requests.end(), kind)); }

    std::unique_ptr<Drive> Open(const FloppyDrive&, DriveUse use, DriveError& error) override
    {
        return opens.push_back(use), error = {}, std::make_unique<Opened>(*this);
    }
    DriveBuffer AllocateBuffer(size_t bytes) override
    {
        return ++LiveBuffers(), DriveBuffer(new unsigned char[std::max<size_t>(bytes, 1)], [](void* b) { delete[] static_cast<unsigned char*>(b), --LiveBuffers(); });
    }
    std::string OpenFailureText(const FloppyDrive&, DriveUse, int) override { return {}; }
    void Show(const std::string& text, const char* caption) override { messages.push_back(std::string(caption) + ": " + text); }

private:
    struct Hook { Kind kind; int nth; std::function<void()> action; };
    struct Opened : Drive {
        SimulatedDrive& s;
        explicit Opened(SimulatedDrive& system) : s(system) { ++s.liveDrives; }
        ~Opened() override { --s.liveDrives; }
        DriveError QueryGeometry(DriveGeometry& geometry) override { return s.Begin(SimulatedDrive::Geometry, 0, 0, &geometry).error; }
        TransferResult Read(unsigned char* buffer, uint64_t offset, uint32_t bytes) override { return s.Move(SimulatedDrive::Read, buffer, offset, bytes); }
        TransferResult Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes) override { return s.Move(SimulatedDrive::Write, const_cast<unsigned char*>(buffer), offset, bytes); }
        DriveError Flush() override { return s.Begin(SimulatedDrive::Flush, 0, 0).error; }
        DriveError AskWritable() override { return s.writeProtected ? DriveError{DriveFailure::WriteProtected, 19} : DriveError{}; }
    };

    // Records the request (a geometry's answer after the hooks ran); its result before any byte moves (the last
    // fault that applies).
    TransferResult Begin(Kind kind, uint64_t offset, uint32_t bytes, DriveGeometry* answer = nullptr)
    {
        const int nth = static_cast<int>(CountOf(kind));
        std::for_each(m_hooks.begin(), m_hooks.end(), [&](const Hook& hook) { hook.kind == kind && hook.nth == nth ? hook.action() : void(); });
        requests.push_back(kind), answer ? void(*answer = geometry) : void();
        TransferResult result{bytes, TransferStop::None, {}};
        for (Fault& fault : m_faults) {
            if (fault.kind == kind && fault.times != 0 && (bytes == 0 || (offset < fault.from + fault.bytes && fault.from < offset + bytes))) {
                result = {fault.moved, fault.stop, fault.error}, --fault.times;
            }
        }
        return result;
    }
    // Past the end of the medium nothing moves, and the disk is gone, as PosixDrive says.
    TransferResult Move(Kind kind, unsigned char* buffer, uint64_t offset, uint32_t bytes)
    {
        TransferResult result = Begin(kind, offset, bytes);
        result.moved = offset < medium.size() ? static_cast<uint32_t>(std::min<uint64_t>(result.moved, medium.size() - offset)) : 0;
        if (result.moved > 0) {
            kind == Read ? std::memcpy(buffer, &medium[offset], result.moved) : std::memcpy(&medium[offset], buffer, result.moved);
        }
        return result.Complete() && result.moved < bytes ? TransferResult{result.moved, TransferStop::Failed, {DriveFailure::Gone, 0}} : result;
    }

    std::vector<Fault> m_faults;
    std::vector<Hook> m_hooks;
};
