// The real platform: a thin pass-through to Win32. Its one addition is the
// geometry of a floppy image file or a block device under Wine, which no
// driver answers for, see DeviceIoControl.
#pragma once

#include "drive/win32/FloppyPlatform.h"

class Win32Platform : public FloppyPlatform {
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
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* rootPath) override;
};

// The geometry a floppy driver reports for an image file of this many bytes:
// the standard 80-cylinder two-sided formats. False for any other size.
bool GeometryOfFloppyImageSize(LONGLONG bytes, DISK_GEOMETRY& geometry);
