#include "tests/bench/CountingPlatform.h"

void TransferTally::Add(DWORD count)
{
    smallest = requests == 0 || count < smallest ? count : smallest;
    largest = count > largest ? count : largest;
    ++requests;
    bytes += count;
}

HANDLE CountingPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                     SECURITY_ATTRIBUTES* security, DWORD disposition,
                                     DWORD flags, HANDLE templateFile)
{
    ++opens;
    return Win32Platform::CreateFileA(path, access, shareMode, security, disposition, flags,
                                      templateFile);
}

BOOL CountingPlatform::ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                                OVERLAPPED* overlapped)
{
    reads.Add(bytes);
    return Win32Platform::ReadFile(file, buffer, bytes, done, overlapped);
}

BOOL CountingPlatform::WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                                 OVERLAPPED* overlapped)
{
    writes.Add(bytes);
    return Win32Platform::WriteFile(file, buffer, bytes, done, overlapped);
}

void* CountingPlatform::HeapAlloc(SIZE_T bytes)
{
    ++heapAllocations;
    heapBytes += bytes;
    return Win32Platform::HeapAlloc(bytes);
}
