#include "tests/wine/VirtualFloppy.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

namespace fs = std::filesystem;

bool operator==(const MessageBoxCall& a, const MessageBoxCall& b)
{
    return a.text == b.text && a.caption == b.caption && a.type == b.type &&
           a.owner == b.owner;
}

void PrintTo(const MessageBoxCall& call, std::ostream* os)
{
    *os << "{\"" << call.text << "\", \"" << call.caption << "\", type 0x" << std::hex
        << call.type << std::dec << ", owner " << call.owner << "}";
}

int MessageRecordingPlatform::MessageBoxA(HWND owner, const char* text, const char* caption,
                                          UINT type)
{
    messages.push_back({text ? text : "", caption ? caption : "", type, owner});
    return IDOK;
}

MessageBoxCall ErrorBox(const std::string& text, const std::string& caption)
{
    return {text, caption, MB_ICONERROR | MB_OK, nullptr};
}

std::string HostImagePath(char letter)
{
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string name(1, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
    return std::string("Z:") + (prefix ? prefix : "") + "/floppies/" + name + ".img";
}

std::vector<unsigned char> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::in | std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::out | std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

std::vector<unsigned char> OffsetPattern(uint64_t first, size_t count, uint32_t tag)
{
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t offset = first + i;
        const uint64_t word = (static_cast<uint64_t>(tag) << 32) | (offset & ~uint64_t{7});
        bytes[i] = static_cast<unsigned char>(word >> (8 * (offset % 8)));
    }
    return bytes;
}

uint32_t FreshTag()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart) | 0x80000000u;
}

long long FirstDifference(const std::vector<unsigned char>& a,
                          const std::vector<unsigned char>& b)
{
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return static_cast<long long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long long>(common);
}

namespace {

std::string VolumePath(char letter)
{
    return std::string("\\\\.\\") + letter + ":";
}

}  // namespace

bool VolumeIsFree(char letter)
{
    HeldVolume volume(letter, FILE_READ_DATA | FILE_WRITE_DATA, 0);
    return volume.IsOpen();
}

HeldVolume::HeldVolume(char letter, DWORD access, DWORD shareMode)
    : m_h(::CreateFileA(VolumePath(letter).c_str(), access, shareMode, nullptr, OPEN_EXISTING,
                        0, nullptr))
{
}

HeldVolume::~HeldVolume()
{
    if (m_h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_h);
    }
}

ScratchFolder::ScratchFolder()
{
    static int s_count = 0;
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp) + "trakoni-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(++s_count);
    std::error_code error;
    fs::remove_all(m_path, error);
    fs::create_directories(m_path);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code error;
    fs::remove_all(m_path, error);
}

std::string ScratchFolder::Sub(const std::string& name) const
{
    const std::string path = m_path + "\\" + name;
    fs::create_directories(path);
    return path;
}

std::vector<std::string> ScratchFolder::List(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}
