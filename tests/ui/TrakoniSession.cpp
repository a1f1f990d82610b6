#include "tests/ui/TrakoniSession.h"

#include "app/res/resource.h"


namespace ui {
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
    for (const std::string& entry : FolderEntries(folder)) {
        DeleteFileA((folder + "\\" + entry).c_str());
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
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

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
