#include "platform/Win32Platform.h"

HANDLE Win32Platform::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                  SECURITY_ATTRIBUTES* security, DWORD disposition,
                                  DWORD flags, HANDLE templateFile)
{
    return ::CreateFileA(path, access, shareMode, security, disposition, flags, templateFile);
}

namespace {

// A floppy image file standing in for a drive (a virtual floppy, as Wine maps
// \\.\A: to a file) has no driver to answer the geometry request; answer for
// it as a floppy driver would. Only a disk file of a floppy's size qualifies.
bool GeometryOfImageFile(HANDLE file, DISK_GEOMETRY& geometry)
{
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        return false;
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) {
        return false;
    }
    return GeometryOfFloppyImageSize(size.QuadPart, geometry);
}

}  // namespace

bool GeometryOfFloppyImageSize(LONGLONG bytes, DISK_GEOMETRY& geometry)
{
    struct Format {
        LONGLONG bytes;
        DWORD sectorsPerTrack;
        MEDIA_TYPE mediaType;
    };
    // The standard 80-cylinder, two-sided formats with 512-byte sectors.
    static const Format kFormats[] = {
        {737280, 9, F3_720_512},
        {1228800, 15, F5_1Pt2_512},
        {1474560, 18, F3_1Pt44_512},
        {1720320, 21, F3_1Pt44_512},  // no media type of its own; the engine reads none
        {2949120, 36, F3_2Pt88_512},
    };
    for (const Format& format : kFormats) {
        if (format.bytes == bytes) {
            geometry.Cylinders.QuadPart = 80;
            geometry.MediaType = format.mediaType;
            geometry.TracksPerCylinder = 2;
            geometry.SectorsPerTrack = format.sectorsPerTrack;
            geometry.BytesPerSector = 512;
            return true;
        }
    }
    return false;
}

BOOL Win32Platform::DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize,
                                    void* out, DWORD outSize, DWORD* returned,
                                    OVERLAPPED* overlapped)
{
    if (::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped)) {
        return TRUE;
    }
    const DWORD error = ::GetLastError();
    // A file has no driver to take the request: Wine answers 50, a Windows file
    // system 1. Any other error is a driver's own (a drive without a disk: 21)
    // and stands.
    const bool noDriver = error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
    if (noDriver && code == IOCTL_DISK_GET_DRIVE_GEOMETRY && out != nullptr &&
        outSize >= sizeof(DISK_GEOMETRY) &&
        GeometryOfImageFile(device, *static_cast<DISK_GEOMETRY*>(out))) {
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
