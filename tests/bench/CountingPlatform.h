// The real platform with counters: every request passes through to Win32
// unchanged, and what the engine asked for is tallied. Message boxes are
// recorded and answered OK, so a run never waits for a user.
#pragma once

#include <string>
#include <vector>

#include "platform/Win32Platform.h"

struct TransferTally {
    unsigned long requests = 0;
    unsigned long long bytes = 0;
    DWORD smallest = 0;
    DWORD largest = 0;

    void Add(DWORD count);
};

class CountingPlatform : public FloppyPlatform {
public:
    TransferTally reads;
    TransferTally writes;
    unsigned long heapAllocations = 0;
    unsigned long long heapBytes = 0;
    unsigned long opens = 0;
    std::vector<std::string> messages;

    void Reset();

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

private:
    Win32Platform m_real;
};
