// The engine's statuses: plain integers, 0 for success. Every non-zero status
// that reaches the dialog has already been reported by one message box.
#pragma once

namespace EngineStatus {
constexpr int Success = 0;
constexpr int Failure = 1;            // general failure
constexpr int DriveNotOpened = 2;     // the drive could not be opened
constexpr int OutOfMemory = 3;        // the cylinder buffer could not be allocated
constexpr int TransferRefused = 4;    // the platform refused a transfer outright
constexpr int TransferFailed = 6;     // an overlapped transfer failed to start or complete
constexpr int FileUnreadable = 7;     // a cylinder image file could not be read
constexpr int FileSizeMismatch = 8;   // a cylinder image file has the wrong size (engine-internal)
}  // namespace EngineStatus
