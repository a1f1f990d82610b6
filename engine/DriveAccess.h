// Raw access to a floppy drive: open the volume, ask its geometry, move one
// whole cylinder (both heads), or any run of whole sectors, per request.
#pragma once

#include <cstdint>

#include "engine/FloppyDrive.h"
#include "platform/Win32.h"

// What an operation does with the disk. On a POSIX system a drive that is only
// read is opened for reading alone, so that read permission is enough and a
// write-protected disk or a read-only image reads; on Windows the raw volume
// is always asked for both data rights, as the dialog always has.
enum class DriveUse { Reading, Writing };

// Opens the drive as OpenFloppyDrive does but shows nothing. Returns 0 and a
// valid handle, or 11 (in use), 12 (no disk) or 2 (any other refusal) with
// the open's error in `error`.
int OpenFloppyDriveQuietly(const FloppyDrive& drive, DriveUse use, HANDLE& hDrive, DWORD& error);

// Opens the drive's raw device (\\.\X: for a letter) exclusively for
// overlapped transfers. Returns 0 and a valid handle (the caller closes it),
// or 1 after one "ERROR" message box with `hDrive` left at
// INVALID_HANDLE_VALUE.
int OpenFloppyDrive(const FloppyDrive& drive, DriveUse use, HANDLE& hDrive);

// Asks the driver for the medium's geometry. Returns 0 or 1; shows nothing.
int GetDriveGeometry(HANDLE hDrive, DISK_GEOMETRY& geometry);

// Tracks per cylinder x sectors per track x bytes per sector, or false when
// that is 0 or does not fit in 32 bits.
bool ComputeBytesPerCylinder(const DISK_GEOMETRY& geometry, uint32_t& bytesPerCylinder);

// How one overlapped request ended.
enum class TransferOutcome {
    Complete,    // every byte was moved
    NoEvent,     // the request's event could not be created
    Refused,     // the platform refused the request outright
    Failed,      // it completed with an error, or short
    WaitFailed,  // its wait failed; the request was cancelled and is over
};

// The outcome and the platform's error code (0 when complete, or short).
struct TransferResult {
    TransferOutcome outcome;
    DWORD error;
};

// Reads `bytes` bytes at byte `offset` of the disk into `buffer` in one
// request. Both must be whole sectors, as the raw volume demands. Shows
// nothing.
TransferResult ReadRange(HANDLE hDrive, unsigned char* buffer, ULONGLONG offset, uint32_t bytes);

// Reads one cylinder into `buffer` (at least one cylinder long). Returns 0,
// 4 (refused) or 6 (failed or short); shows nothing.
int ReadCylinder(HANDLE hDrive, unsigned char* buffer, int cylinder,
                 const DISK_GEOMETRY& geometry);

// Writes one cylinder from `buffer`. Returns 0, or 1 or 4 after one "Error"
// message box.
int WriteCylinder(HANDLE hDrive, const unsigned char* buffer,
                  uint32_t bytesPerCylinder, int cylinder);

// Makes every byte written so far reach the disk. Returns 0, or 1 after the
// write path's "Error" message box: a write the disk did not take is a failed
// write, even when each request completed.
int FlushDrive(HANDLE hDrive);
