#include "drive/win32/Win32Platform.h"

#include "drive/FloppyFormats.h"
#include "drive/win32/ScopedHandle.h"
#include "drive/win32/Win32Drive.h"

HANDLE Win32Platform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                  SECURITY_ATTRIBUTES* security, DWORD disposition,
                                  DWORD flags, HANDLE templateFile)
{
    return ::CreateFileA(path, access, shareMode, security, disposition, flags, templateFile);
}

namespace {

// The geometry a floppy driver reports for a disk of this format.
void FillFloppyGeometry(const FloppyFormat& format, DISK_GEOMETRY& geometry)
{
    geometry = DISK_GEOMETRY{};
    geometry.Cylinders.QuadPart = kFloppyCylinders;
    geometry.MediaType = Win32MediaType(format.media);
    geometry.TracksPerCylinder = kFloppyHeads;
    geometry.SectorsPerTrack = format.sectorsPerTrack;
    geometry.BytesPerSector = kFloppySectorBytes;
}

constexpr DWORD kSectorBytes = kFloppySectorBytes;

// What a one-sector read at an offset brought back.
enum class SectorRead {
    Full,     // the whole sector
    Nothing,  // no byte: 0 bytes, or an error as some drivers give past the end
    Partial,  // some bytes: no medium of whole sectors ends here
    NotAsked, // no event for the request
};

// Reads one sector at `offset` and waits for it. The engine's handle is
// overlapped, so the request carries its own OVERLAPPED and event and is
// waited for to the end before its buffer goes.
SectorRead ReadSectorAt(HANDLE device, LONGLONG offset)
{
    const ScopedWin32Handle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return SectorRead::NotAsked;
    }
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    overlapped.hEvent = event.Get();

    unsigned char sector[kSectorBytes];
    if (!::ReadFile(device, sector, kSectorBytes, nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return SectorRead::Nothing;
    }
    DWORD read = 0;
    if (!::GetOverlappedResult(device, &overlapped, &read, TRUE) || read == 0) {
        return SectorRead::Nothing;
    }
    return read == kSectorBytes ? SectorRead::Full : SectorRead::Partial;
}

// The format of a medium whose size no query gives (Wine answers 0 for a block
// device such as a USB floppy drive): the smallest standard size S whose last
// sector reads in full while a read at S brings nothing. A medium that reads
// past every standard size is no floppy. At most six one-sector reads.
bool GeometryOfMediumByReading(HANDLE device, DISK_GEOMETRY& geometry)
{
    for (const FloppyFormat& format : kFloppyFormats) {
        const SectorRead past = ReadSectorAt(device, format.bytes);
        if (past == SectorRead::NotAsked) {
            return false;
        }
        if (past != SectorRead::Nothing) {
            continue;  // the medium goes on: a larger format, if any
        }
        // The medium ends at or before S: it fits S, or no format at all.
        if (ReadSectorAt(device, format.bytes - kSectorBytes) != SectorRead::Full) {
            return false;
        }
        FillFloppyGeometry(format, geometry);
        return true;
    }
    return false;
}

// A disk handle with no driver to answer the geometry request: a floppy image
// file standing in for a drive (a virtual floppy, as Wine maps \\.\A: to a
// file), or a block device under Wine. Answer for it as a floppy driver would,
// when its size is a floppy's: the file's size, or else the medium's as found
// by reading.
bool GeometryOfUnansweredDisk(HANDLE device, DISK_GEOMETRY& geometry)
{
    if (::GetFileType(device) != FILE_TYPE_DISK) {
        return false;
    }
    LARGE_INTEGER size;
    if (::GetFileSizeEx(device, &size) && size.QuadPart != 0) {
        return GeometryOfFloppyImageSize(size.QuadPart, geometry);
    }
    return GeometryOfMediumByReading(device, geometry);
}

}  // namespace

bool GeometryOfFloppyImageSize(LONGLONG bytes, DISK_GEOMETRY& geometry)
{
    const FloppyFormat* format = FloppyFormatOfSize(bytes);
    if (format == nullptr) {
        return false;
    }
    FillFloppyGeometry(*format, geometry);
    return true;
}

BOOL Win32Platform::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                    void* out, DWORD outSize, DWORD* returned,
                                    OVERLAPPED* overlapped)
{
    if (::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped)) {
        return TRUE;
    }
    const DWORD error = ::GetLastError();
    // Nothing answered the request: Wine answers 50 for a file or a block
    // device, a Windows file system 1. Any other error is a driver's own (a
    // drive without a disk: 21) and stands, and so does every driver's answer.
    const bool noDriver = error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
    if (noDriver && code == IOCTL_DISK_GET_DRIVE_GEOMETRY && out != nullptr &&
        outSize >= sizeof(DISK_GEOMETRY) &&
        GeometryOfUnansweredDisk(device, *static_cast<DISK_GEOMETRY*>(out))) {
        if (returned != nullptr) {
            *returned = sizeof(DISK_GEOMETRY);
        }
        return TRUE;
    }
    ::SetLastError(error);
    return FALSE;
}

BOOL Win32Platform::ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* done,
                             OVERLAPPED* overlapped)
{
    return ::ReadFile(file, buffer, bytes, done, overlapped);
}

BOOL Win32Platform::WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                              OVERLAPPED* overlapped)
{
    return ::WriteFile(file, buffer, bytes, done, overlapped);
}

BOOL Win32Platform::CancelIo(HANDLE file)
{
    return ::CancelIo(file);
}

BOOL Win32Platform::FlushFileBuffers(HANDLE file)
{
    return ::FlushFileBuffers(file);
}

BOOL Win32Platform::CloseHandle(HANDLE handle)
{
    return ::CloseHandle(handle);
}

HANDLE Win32Platform::CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                                   BOOL initialState, const char* name)
{
    return ::CreateEventA(security, manualReset, initialState, name);
}

DWORD Win32Platform::WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL Win32Platform::GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped,
                                        DWORD* transferred, BOOL wait)
{
    return ::GetOverlappedResult(file, overlapped, transferred, wait);
}

DWORD Win32Platform::GetLastError()
{
    return ::GetLastError();
}

void* Win32Platform::HeapAlloc(SIZE_T bytes)
{
    return ::HeapAlloc(::GetProcessHeap(), 0, bytes);
}

BOOL Win32Platform::HeapFree(void* block)
{
    return ::HeapFree(::GetProcessHeap(), 0, block);
}

int Win32Platform::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    return ::MessageBoxA(owner, text, caption, type);
}

DWORD Win32Platform::GetLogicalDrives()
{
    return ::GetLogicalDrives();
}

UINT Win32Platform::GetDriveTypeA(const char* rootPath)
{
    return ::GetDriveTypeA(rootPath);
}
