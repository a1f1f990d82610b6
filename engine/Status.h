// The engine's statuses: plain integers, 0 for success. Every non-zero status
// has already been reported by one message box, except Interrupted (the
// caller asked for it), RescueIncomplete (the rescue's summary tells it) and
// those of the quiet drive probe.
#pragma once

namespace EngineStatus {
constexpr int Success = 0;
constexpr int Failure = 1;            // general failure
constexpr int DriveNotOpened = 2;     // the drive could not be opened
constexpr int OutOfMemory = 3;        // the cylinder buffer could not be allocated
constexpr int TransferRefused = 4;    // the drive refused a transfer outright
constexpr int TransferFailed = 6;     // a transfer failed to start or complete, or came short
constexpr int FileUnreadable = 7;     // a cylinder image file could not be read
constexpr int FileSizeMismatch = 8;   // a cylinder image file has the wrong size (engine-internal)
constexpr int Interrupted = 9;        // the observer asked to stop; the target is partly written
constexpr int Differs = 10;           // verification found the disk unlike its files
constexpr int DriveInUse = 11;        // another program holds the drive
constexpr int NoDisk = 12;            // the drive has no disk, or none of a readable geometry
constexpr int RescueIncomplete = 13;  // a rescue ended with sectors unreadable
}  // namespace EngineStatus
