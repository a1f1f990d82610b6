// What every test program shares: a fill that shows any misplaced or stale
// byte, whole files, temporary folders, kernel handles, the cylinder file
// names, the virtual floppy images of the test prefix, and the real platform
// with its message boxes recorded instead of shown.
#pragma once

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ScopedHandle.h"
#include "platform/Win32Platform.h"

using Bytes = std::vector<unsigned char>;

// `size` bytes of a disk from offset `start` in which every 8 bytes hold their
// own offset, with `tag` in the high half, so contents of different origins
// never match.
Bytes Pattern(size_t size, uint64_t start, uint32_t tag);

Bytes ReadWholeFile(const std::string& path);  // empty when unreadable
bool WriteWholeFile(const std::string& path, const Bytes& bytes);
// The names of the entries of `folder`; listing also updates its access time.
std::vector<std::string> FolderEntries(const std::string& folder);

// The file of one cylinder, built here rather than by the engine so that a
// wrong name there shows.
std::string CylinderFile(const std::string& folder, int cylinder);

// The path under which Wine shows a host path: drive Z: is the host's root.
std::string WinePathOf(const std::string& hostPath);
// The image file behind drive `letter` of the prefix the tests run in.
std::string FloppyImageOf(char letter);

// A fresh, empty folder in the temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(int cylinder) const { return CylinderFile(m_path, cylinder); }
    // A new empty folder inside this one.
    std::string Sub(const std::string& name) const;

private:
    std::string m_path;
};

// A Win32 kernel handle of the test itself, closed by ::CloseHandle.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
using KernelHandle = ScopedHandle<KernelHandleTraits>;

// Opens the volume of drive `letter` as another program would hold it.
KernelHandle OpenVolume(char letter, DWORD access = GENERIC_READ | GENERIC_WRITE,
                        DWORD shareMode = 0);

// One message box as the engine asked for it.
struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type = 0;
    HWND owner = nullptr;
};
bool operator==(const MessageBoxCall& a, const MessageBoxCall& b);
void PrintTo(const MessageBoxCall& call, std::ostream* os);
using BoxList = std::vector<MessageBoxCall>;
// Just the engine's error box: no owner, error icon, OK only.
BoxList OneErrorBox(const std::string& text, const std::string& caption);

// The real platform, except that message boxes are recorded and answered OK,
// so a run never waits for a user.
class RecordingPlatform : public Win32Platform {
public:
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;

    std::vector<MessageBoxCall> messages;
};

// Collects what is written to std::cout while it lives (the drive trace).
class CapturedOutput {
public:
    CapturedOutput() : m_previous(std::cout.rdbuf(m_text.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(m_previous); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    std::string Text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
    std::streambuf* m_previous;
};
