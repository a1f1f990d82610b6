#include "tests/bench/CountingPlatform.h"

void TransferTally::Add(DWORD count)
{
    smallest = requests == 0 || count < smallest ? count : smallest;
    largest = count > largest ? count : largest;
    ++requests;
    bytes += count;
}

void CountingPlatform::Reset()
{
    reads = TransferTally();
    writes = TransferTally();
    heapAllocations = 0;
    heapBytes = 0;
    opens = 0;
    messages.clear();
}

HANDLE CountingPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                     SECURITY_ATTRIBUTES* security, DWORD disposition,
                                     DWORD flags, HANDLE templateFile)
{
    ++opens;
    return m_real.CreateFileA(path, access, shareMode, security, disposition, flags,
                              templateFile);
}

BOOL CountingPlatform::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                       void* out, DWORD outSize, DWORD* returned,
                                       OVERLAPPED* overlapped)
{
    return m_real.DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL CountingPlatform::ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                                OVERLAPPED* overlapped)
{
    reads.Add(bytes);
    return m_real.ReadFile(file, buffer, bytes, done, overlapped);
}

BOOL CountingPlatform::WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                                 OVERLAPPED* overlapped)
{
    writes.Add(bytes);
    return m_real.WriteFile(file, buffer, bytes, done, overlapped);
}

BOOL CountingPlatform::CancelIo(HANDLE file)
{
    return m_real.CancelIo(file);
}

BOOL CountingPlatform::CloseHandle(HANDLE handle)
{
    return m_real.CloseHandle(handle);
}

HANDLE CountingPlatform::CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                                      BOOL initialState, const char* name)
{
    return m_real.CreateEventA(security, manualReset, initialState, name);
}

DWORD CountingPlatform::WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return m_real.WaitForSingleObject(handle, milliseconds);
}

BOOL CountingPlatform::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                           DWORD* transferred, BOOL wait)
{
    return m_real.GetOverlappedResult(file, overlapped, transferred, wait);
}

DWORD CountingPlatform::GetLastError()
{
    return m_real.GetLastError();
}

void* CountingPlatform::HeapAlloc(SIZE_T bytes)
{
    ++heapAllocations;
    heapBytes += bytes;
    return m_real.HeapAlloc(bytes);
}

BOOL CountingPlatform::HeapFree(void* block)
{
    return m_real.HeapFree(block);
}

int CountingPlatform::MessageBoxA(HWND, const char* text, const char* caption, UINT)
{
    messages.push_back(std::string(caption ? caption : "") + ": " + (text ? text : ""));
    return IDOK;
}

DWORD CountingPlatform::GetLogicalDrives()
{
    return m_real.GetLogicalDrives();
}

UINT CountingPlatform::GetDriveTypeA(const char* rootPath)
{
    return m_real.GetDriveTypeA(rootPath);
}
