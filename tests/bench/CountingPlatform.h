// The real platform with counters: every request passes through to Win32
// unchanged, and what the engine asked for is tallied. Message boxes are
// recorded and answered OK, so a run never waits for a user.
#pragma once

#include "tests/support/TestSupport.h"

struct TransferTally {
    unsigned long requests = 0;
    unsigned long long bytes = 0;
    DWORD smallest = 0;
    DWORD largest = 0;

    void Add(DWORD count);
};

class CountingPlatform : public RecordingPlatform {
public:
    TransferTally reads;
    TransferTally writes;
    unsigned long heapAllocations = 0;
    unsigned long long heapBytes = 0;
    unsigned long opens = 0;

    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode,
                       SECURITY_ATTRIBUTES* security, DWORD disposition,
                       DWORD flags, HANDLE templateFile) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                  OVERLAPPED* overlapped) override;
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                   OVERLAPPED* overlapped) override;
    void* HeapAlloc(SIZE_T bytes) override;
};
