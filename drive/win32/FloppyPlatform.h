// The narrow seam between the imaging engine and the system. Every operating
// system call the engine makes goes through this interface, named after the
// Win32 call it stands for, so tests can put a simulated floppy drive (and any
// fault of it) in place of the real one.
#pragma once

#include "drive/ScopedOverride.h"
#include "platform/Win32.h"

class FloppyPlatform {
public:
    virtual ~FloppyPlatform() = default;

    // Raw volume access.
    virtual HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode,
                               SECURITY_ATTRIBUTES* security, DWORD disposition,
                               DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                 void* out, DWORD outSize, DWORD* returned,
                                 OVERLAPPED* overlapped) = 0;
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                          OVERLAPPED* overlapped) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                           OVERLAPPED* overlapped) = 0;
    virtual BOOL CancelIo(HANDLE file) = 0;
    // Written bytes reach the medium only here on some systems (a block device
    // under Wine reports its write errors at this call).
    virtual BOOL FlushFileBuffers(HANDLE file) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;

    // Completion of overlapped requests.
    virtual HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                                BOOL initialState, const char* name) = 0;
    virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    virtual BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                     DWORD* transferred, BOOL wait) = 0;
    virtual DWORD GetLastError() = 0;

    // The cylinder buffer, from the process heap.
    virtual void* HeapAlloc(SIZE_T bytes) = 0;
    virtual BOOL HeapFree(void* block) = 0;

    // The engine's error messages.
    virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;

    // Drive enumeration.
    virtual DWORD GetLogicalDrives() = 0;
    virtual UINT GetDriveTypeA(const char* rootPath) = 0;
};

// The platform the engine talks to: the system's real one unless a
// ScopedPlatformOverride is alive.
FloppyPlatform& CurrentPlatform();

// Puts another platform in place for the lifetime of this object (tests).
using ScopedPlatformOverride = ScopedOverride<FloppyPlatform>;
