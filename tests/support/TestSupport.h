// What the test programs share: a fill that shows any misplaced or stale byte,
// files and cylinder sets, temporary folders, the simulated drive, and on
// Windows the simulated and the real platform as tests use them.
#pragma once

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/SimulatedDrive.h"
#ifdef _WIN32
#include "drive/win32/ScopedHandle.h"
#include "drive/win32/Win32Platform.h"
#include "tests/support/SimulatedPlatform.h"
#endif

using Bytes = std::vector<unsigned char>;
#ifdef _WIN32
constexpr char kSeparator[] = "\\";
#else
constexpr char kSeparator[] = "/";
#endif
constexpr int kCylinders = 80;

// `size` bytes of a disk from offset `start` in which every 8 bytes hold their
// own offset, `tag` in the high half, so contents of different origins differ.
Bytes Pattern(size_t size, uint64_t start, uint32_t tag);
inline Bytes Slice(const Bytes& bytes, size_t from, size_t count) { return Bytes(&bytes[from], &bytes[from] + count); }
Bytes ReadWholeFile(const std::string& path);  // empty when unreadable
bool WriteWholeFile(const std::string& path, const Bytes& bytes);
// Built here rather than by the engine, so that a wrong name there shows.
std::string CylinderFile(const std::string& folder, int cylinder);
// How the program under test names a host path: under Wine through its drive
// Z:, natively as it is.
std::string ProgramPathOf(const std::string& hostPath);
#ifdef _WIN32
// How Wine shows a host path: drive Z: is the host's root.
std::string WinePathOf(const std::string& hostPath);
// What is behind a drive of the prefix the test runs in: the loop device that
// with-loop-drives.sh attached, or the prefix's image file.
std::string ImageOf(char letter);
#endif

// A fresh, empty folder in the temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(int cylinder) const { return CylinderFile(m_path, cylinder); }
    std::string Join(const std::string& name) const;  // a file in it, by name
    void WriteSet(const Bytes& image) const;  // the image as 80 cylinder files
    Bytes ReadSet() const;                    // the 80 files end to end; empty when one is missing

private:
    std::string m_path;
};

// An 80-cylinder, two-sided floppy format with 512-byte sectors.
struct TestFormat {
    uint32_t sectorsPerTrack;
    constexpr uint32_t BytesPerCylinder() const { return 2 * sectorsPerTrack * 512; }
    constexpr size_t MediumBytes() const { return size_t{BytesPerCylinder()} * kCylinders; }
    DriveGeometry Geometry() const { return {kCylinders, 2, sectorsPerTrack, 512, FloppyMedia::Unknown}; }
};
constexpr TestFormat k144{18}, k720{9};

// What a command line names the simulated drive by: "A:" on Windows;
// elsewhere a placeholder file that passes the drive checks.
std::string SimulatedDriveWord();

// The simulated drive in place of the real ones, holding `medium`; the
// engine's messages recorded by it.
struct SimulatedDisk {
    SimulatedDrive sim;
    ScopedDriveSystemOverride useDrive{sim};
    ScopedErrorMessagesOverride useMessages{sim};
    std::string drive = SimulatedDriveWord();
    SimulatedDisk(const TestFormat& format, const Bytes& medium) { sim.medium = medium, sim.geometry = format.Geometry(); }
};

#ifdef _WIN32
using Api = SimulatedPlatform::Api;
inline DISK_GEOMETRY MakeGeometry(DWORD tracks, DWORD sectors, DWORD bytesPerSector)
{
    return {{{kCylinders, 0}}, RemovableMedia, tracks, sectors, bytesPerSector};
}

// The simulated platform in place of the real one, drive A holding `medium`.
struct SimulatedFloppy {
    SimulatedPlatform platform;
    ScopedPlatformOverride use{platform};
    SimulatedFloppy(const TestFormat& format, const Bytes& medium)
    {
        platform.AddDrive('A', DRIVE_REMOVABLE);
        platform.InsertMedium('A', medium, MakeGeometry(2, format.sectorsPerTrack, 512));
    }
};
// The message boxes shown, as "caption: text", each marked unless it is the
// engine's kind (no owner, the error icon, OK only).
std::vector<std::string> Boxes(const SimulatedPlatform& platform);
// Every handle, event and heap block released once, none under a pending request.
void ExpectNothingLeaked(const SimulatedPlatform& platform);

using KernelHandle = ScopedWin32Handle;
// Opens the volume of drive `letter` as another program would hold it.
inline KernelHandle OpenVolume(char letter, DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD shareMode = 0)
{
    return KernelHandle(::CreateFileA((std::string("\\\\.\\") + letter + ":").c_str(), access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr));
}
#endif

// Collects what is written to std::cout while it lives (the drive trace).
class CapturedOutput {
public:
    CapturedOutput() : m_previous(std::cout.rdbuf(m_text.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(m_previous); }
    std::string Text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
    std::streambuf* m_previous;
};
