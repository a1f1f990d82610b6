// A floppy drive as the engine uses it: opened for reading or for writing, its
// geometry asked, byte ranges of whole sectors read and written, written bytes
// flushed. Win32Drive (drive/win32) and PosixDrive (drive/posix) are the real
// ones; a test puts its own DriveSystem in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "drive/FloppyDrive.h"
#include "drive/FloppyFormats.h"
#include "drive/ScopedOverride.h"

// What an operation does with the disk. On a POSIX system a drive that is only
// read is opened for reading alone, so that read permission is enough and a
// write-protected disk or a read-only image reads; on Windows the raw volume
// is always asked for both data rights, as the dialog always has.
enum class DriveUse { Reading, Writing };

// Why a request failed, in the drive's terms.
enum class DriveFailure {
    None,
    Medium,          // the medium could not give or take these bytes
    Gone,            // the disk or the device has gone, or the disk was changed
    NoDisk,          // the drive holds no disk
    WriteProtected,  // the disk or the device takes no writes
    InUse,           // another program holds the drive
    NoPermission,    // the user may not open the drive so
    Other,
};

// A failure and the system's own code for it (errno, or the Win32 error; 0
// when the system gave none), for the message.
struct DriveError {
    DriveFailure failure = DriveFailure::None;
    int code = 0;

    bool Failed() const { return failure != DriveFailure::None; }
};

struct DriveGeometry {
    uint64_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectorsPerTrack = 0;
    uint32_t bytesPerSector = 0;
    FloppyMedia media = FloppyMedia::Unknown;

    bool operator==(const DriveGeometry& other) const
    {
        return cylinders == other.cylinders && heads == other.heads &&
               sectorsPerTrack == other.sectorsPerTrack &&
               bytesPerSector == other.bytesPerSector && media == other.media;
    }
};

// Where a request that did not move every byte ended.
enum class TransferStop {
    None,        // every byte moved
    NotStarted,  // the system lacked what it takes to start it
    Refused,     // refused outright
    Failed,      // it ended with an error, or short
    Abandoned,   // waiting for it failed; it was cancelled and is over
};

struct TransferResult {
    uint32_t moved = 0;
    TransferStop stop = TransferStop::None;
    DriveError error;

    bool Complete() const { return stop == TransferStop::None; }
};

class Drive {
public:
    virtual ~Drive() = default;
    // The medium's geometry as the drive reports it now.
    virtual DriveError QueryGeometry(DriveGeometry& geometry) = 0;
    // `bytes` bytes at byte `offset` of the disk, in one request; both whole
    // sectors, the buffer from DriveSystem::AllocateBuffer (or inside one).
    virtual TransferResult Read(unsigned char* buffer, uint64_t offset, uint32_t bytes) = 0;
    virtual TransferResult Write(const unsigned char* buffer, uint64_t offset, uint32_t bytes) = 0;
    // Makes every byte written so far reach the disk: a write the disk did not
    // take fails here, even when each request completed.
    virtual DriveError Flush() = 0;
    // Whether the disk takes writes, as its driver says: no failure when it
    // does, WriteProtected when it does not, any other when it cannot tell.
    virtual DriveError AskWritable() = 0;
};

// A block aligned for direct transfers, released by the system that gave it.
class DriveBuffer {
public:
    using Release = void (*)(void*);
    DriveBuffer() = default;
    DriveBuffer(void* block, Release release) : m_block(block), m_release(release) {}
    ~DriveBuffer() { Reset(); }
    DriveBuffer(DriveBuffer&& other) noexcept : m_block(other.m_block), m_release(other.m_release)
    {
        other.m_block = nullptr;
    }
    DriveBuffer& operator=(DriveBuffer&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_block = other.m_block, m_release = other.m_release;
            other.m_block = nullptr;
        }
        return *this;
    }
    DriveBuffer(const DriveBuffer&) = delete;
    DriveBuffer& operator=(const DriveBuffer&) = delete;

    unsigned char* Data() const { return static_cast<unsigned char*>(m_block); }
    explicit operator bool() const { return m_block != nullptr; }

private:
    void Reset()
    {
        if (m_block != nullptr) {
            m_release(m_block);
            m_block = nullptr;
        }
    }

    void* m_block = nullptr;
    Release m_release = nullptr;
};

// Opens drives and gives their buffers.
class DriveSystem {
public:
    virtual ~DriveSystem() = default;
    // The drive exclusively for `use`, or null with why in `error`.
    virtual std::unique_ptr<Drive> Open(const FloppyDrive& drive, DriveUse use, DriveError& error) = 0;
    // Empty when there is no memory for it.
    virtual DriveBuffer AllocateBuffer(size_t bytes) = 0;
    // The text that names the system's code of a failed open, for its message.
    virtual std::string OpenFailureText(const FloppyDrive& drive, DriveUse use, int code) = 0;
};

// A system's code as a message names it: "error 21" on Windows, as users
// know it; elsewhere errno's own text ("No medium found").
std::string SystemErrorText(int code);

// The system's real drives unless a ScopedDriveSystemOverride is alive.
DriveSystem& CurrentDriveSystem();

// Puts another drive system in place for the lifetime of this object (tests).
using ScopedDriveSystemOverride = ScopedOverride<DriveSystem>;
