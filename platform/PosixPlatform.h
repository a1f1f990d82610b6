// The real platform on a POSIX system (Linux): the seam's Win32 calls carried
// out with the system's own. A drive is a block device or an image file,
// opened exclusively with direct I/O, so that every request reaches the
// medium and a bad sector fails alone. Requests complete before ReadFile and
// WriteFile return; their outcome waits in the OVERLAPPED record for
// GetOverlappedResult, as a completed overlapped request's would.
#pragma once

#include "platform/FloppyPlatform.h"

class PosixPlatform : public FloppyPlatform {
public:
    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                         void* out, DWORD outSize, DWORD* returned,
                         OVERLAPPED* overlapped) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                  OVERLAPPED* overlapped) override;
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                   OVERLAPPED* overlapped) override;
    BOOL CancelIo(HANDLE file) override;
    // fsync: what an image file or a loop device holds in the page cache
    // reaches the medium, and a write error there shows.
    BOOL FlushFileBuffers(HANDLE file) override;
    BOOL CloseHandle(HANDLE handle) override;
    HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                        BOOL initialState, const char* name) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                             DWORD* transferred, BOOL wait) override;
    DWORD GetLastError() override;
    void* HeapAlloc(SIZE_T bytes) override;
    BOOL HeapFree(void* block) override;
    // "ERROR: <text>" on standard error: there is no window to show.
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
    // No drive letters on a POSIX system: none exists, none is removable.
    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* rootPath) override;
};

// The Win32 error code the engine reads for a system error `errnoValue` of a
// transfer: a media error is the medium's (ERROR_CRC), a medium or device
// that has gone the drive's, and so on.
DWORD Win32ErrorOfErrno(int errnoValue);
