#include "tests/ui/TrakoniSession.h"

#include "app/res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace ui {
namespace {

struct FindCloser {
    void operator()(HANDLE search) const
    {
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
        }
    }
};
using FileSearch = std::unique_ptr<void, FindCloser>;

}  // namespace

std::string TrakoniExe()
{
    return WinePathOf(TRAKONI_EXE);
}

std::string WorkFolder()
{
    // On the prefix's own C: drive: this Wine's folder browser cannot select a
    // folder on Z:, the drive that shows the host's root.
    const std::string work = "C:\\trakoni-ui";
    CreateDirectoryA(work.c_str(), nullptr);
    return work;
}

std::string FreshFolder(const std::string& name)
{
    const std::string folder = WorkFolder() + "\\" + name;
    WIN32_FIND_DATAA found{};
    const FileSearch search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (search.get() != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
            }
        } while (FindNextFileA(search.get(), &found));
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void ListFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found{};
    const FileSearch search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (search.get() != INVALID_HANDLE_VALUE) {
        while (FindNextFileA(search.get(), &found)) {
        }
    }
}

std::string FloppyImageOf(char letter)
{
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string image = std::string("/floppies/") + static_cast<char>(letter - 'A' + 'a') + ".img";
    return WinePathOf((prefix != nullptr ? prefix : "") + image);
}

std::string CylinderFile(const std::string& folder, int cylinder)
{
    char name[16] = {};
    std::snprintf(name, sizeof name, "\\cyl%2.2i.bin", cylinder);
    return folder + name;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const size_t length = end > start && text[end - 1] == '\r' ? end - start - 1 : end - start;
        lines.push_back(text.substr(start, length));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start) + " (unterminated)");
    }
    return lines;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> Pattern(size_t size, uint64_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t offset = 0; offset < size; ++offset) {
        const uint64_t word = (static_cast<uint64_t>(offset / 8) * 8) ^ (seed * 0x9E3779B97F4A7C15ull);
        bytes[offset] = static_cast<uint8_t>(word >> (8 * (offset % 8)));
    }
    return bytes;
}

TrakoniSession::TrakoniSession(const std::string& exe, bool waitForDialog)
{
    if (m_program.Start(exe) && waitForDialog) {
        WaitForDialog();
    }
}

HWND TrakoniSession::WaitForDialog()
{
    m_dialog = m_program.WaitForDialog(kMainCaption);
    return m_dialog;
}

void TrakoniSession::SetFolder(const std::string& folder)
{
    SetText(Control(IDC_IMAGE_PATH), folder);
}

std::string TrakoniSession::Folder() const
{
    return WindowText(Control(IDC_IMAGE_PATH));
}

void TrakoniSession::ChooseDirection(int radioId)
{
    Click(Control(radioId));
}

void TrakoniSession::PressCopyImage()
{
    PostClick(Control(IDC_COPY_IMAGE));
}

bool TrakoniSession::CopyImageEnabled() const
{
    return IsWindowEnabled(Control(IDC_COPY_IMAGE)) != FALSE;
}

bool TrakoniSession::WaitForCopyImageEnabled() const
{
    return WaitUntil([&] { return CopyImageEnabled(); });
}

DialogBoxInfo TrakoniSession::WaitForBox(DWORD timeoutMs) const
{
    HWND box = m_program.WaitForNewDialog({m_dialog}, timeoutMs);
    if (box == nullptr) {
        return {};
    }
    // A box becomes visible once initialised, so its texts are in place.
    return Describe(box);
}

bool TrakoniSession::Dismiss(const DialogBoxInfo& box) const
{
    if (box.window == nullptr) {
        return false;
    }
    PressButton(box.window, IDOK);
    return WaitForClose(box.window);
}

std::vector<HWND> TrakoniSession::OtherDialogs() const
{
    std::vector<HWND> others;
    for (HWND window : m_program.Dialogs()) {
        if (window != m_dialog) {
            others.push_back(window);
        }
    }
    return others;
}

}  // namespace ui
