// Helpers for tests of the real platform on the virtual floppies of the test
// prefix: A: holds a 1.44 MB image, B: a 720 KB image, E: an image of 100,000
// bytes (no floppy size), each a file of the prefix seen by the host.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Win32Platform.h"

// One message box as the engine asked for it.
struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type = 0;
    HWND owner = nullptr;
};
bool operator==(const MessageBoxCall& a, const MessageBoxCall& b);
void PrintTo(const MessageBoxCall& call, std::ostream* os);

// The real platform, except that message boxes are recorded and answered OK
// instead of shown.
class MessageRecordingPlatform : public Win32Platform {
public:
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;

    std::vector<MessageBoxCall> messages;
};

// The engine's error box: no owner, error icon, OK only.
MessageBoxCall ErrorBox(const std::string& text, const std::string& caption);

// The image file behind drive `letter`, reached through Z: (the host's root).
std::string HostImagePath(char letter);

std::vector<unsigned char> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Disk bytes [first, first + count) of a disk filled so that every 8 bytes
// hold their own offset, marked with `tag` in the high half so that bytes of
// another run never pass for this one's.
std::vector<unsigned char> OffsetPattern(uint64_t first, size_t count, uint32_t tag);

// A tag that differs from run to run.
uint32_t FreshTag();

// Where two byte strings first differ, or -1 when they are equal.
long long FirstDifference(const std::vector<unsigned char>& a,
                          const std::vector<unsigned char>& b);

// True when the volume of `letter` opens exclusively, that is when no handle
// to it (the engine's included) is open.
bool VolumeIsFree(char letter);

// An open volume handle, closed on destruction.
class HeldVolume {
public:
    HeldVolume(char letter, DWORD access, DWORD shareMode);
    ~HeldVolume();
    HeldVolume(const HeldVolume&) = delete;
    HeldVolume& operator=(const HeldVolume&) = delete;

    bool IsOpen() const { return m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// A new empty folder under the temporary folder, removed with its contents on
// destruction.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // A new empty folder inside this one.
    std::string Sub(const std::string& name) const;
    // The names of the entries in `folder`.
    static std::vector<std::string> List(const std::string& folder);

private:
    std::string m_path;
};
