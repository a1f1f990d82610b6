#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

namespace fs = std::filesystem;

Bytes Pattern(size_t size, uint64_t start, uint32_t tag)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        const uint64_t offset = start + i;
        const uint64_t word = (offset & ~uint64_t{7}) ^ (uint64_t{tag} << 32);
        bytes[i] = static_cast<unsigned char>(word >> (8 * (offset % 8)));
    }
    return bytes;
}

Bytes ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

std::string CylinderFile(const std::string& folder, int cylinder)
{
    char name[16];
    std::snprintf(name, sizeof name, "\\cyl%02d.bin", cylinder);
    return folder + name;
}

std::string WinePathOf(const std::string& hostPath)
{
    std::string path = "Z:" + hostPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string FloppyImageOf(char letter)
{
    const char* prefix = std::getenv("WINEPREFIX");
    const char name = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    return WinePathOf(std::string(prefix != nullptr ? prefix : "") + "/floppies/" + name + ".img");
}

TempFolder::TempFolder()
{
    static int s_count = 0;
    const fs::path path = fs::temp_directory_path() /
                          ("trakoni-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(++s_count));
    std::error_code ignored;
    fs::remove_all(path, ignored);
    fs::create_directories(path);
    m_path = path.string();
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string TempFolder::Sub(const std::string& name) const
{
    const std::string path = m_path + "\\" + name;
    fs::create_directories(path);
    return path;
}

KernelHandle OpenVolume(char letter, DWORD access, DWORD shareMode)
{
    const std::string path = std::string("\\\\.\\") + letter + ":";
    return KernelHandle(
        ::CreateFileA(path.c_str(), access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr));
}

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

BoxList OneErrorBox(const std::string& text, const std::string& caption)
{
    return {{text, caption, MB_ICONERROR | MB_OK, nullptr}};
}

int RecordingPlatform::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    messages.push_back({text ? text : "", caption ? caption : "", type, owner});
    return IDOK;
}
