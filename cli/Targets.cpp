#include "cli/Targets.h"

#include "cli/ConsolePlatform.h"
#include "engine/Imager.h"
#include "platform/Win32.h"

namespace {

void ShowSystemError(const std::string& text, DWORD error)
{
    ShowError(text + " (error " + std::to_string(error) + ")");
}

DWORD MoveFlags(bool replace)
{
    return MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
}

// Renames `from` to `to`, after an error line when it cannot.
bool Move(const std::string& from, const std::string& to, bool replace)
{
    if (::MoveFileExA(from.c_str(), to.c_str(), MoveFlags(replace))) {
        return true;
    }
    const DWORD error = ::GetLastError();
    ShowSystemError("Could not move " + from + " to " + to, error);
    return false;
}

}  // namespace

bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MayFill(const std::string& folder, bool force)
{
    for (int cylinder = 0; cylinder < kCylinderCount && !force; ++cylinder) {
        const std::string name = CylinderFileName(folder, cylinder);
        if (Exists(name)) {
            ShowError(folder + " already holds cylinder files (" + name +
                      "); use --force to replace them");
            return false;
        }
    }
    return true;
}

FolderForFiles::FolderForFiles(const std::string& path) : m_path(path)
{
    if (IsFolder(path)) {
        m_ready = true;
    } else if (::CreateDirectoryA(path.c_str(), nullptr)) {
        m_ready = m_created = true;
    } else {
        const DWORD error = ::GetLastError();
        ShowSystemError("Could not create the folder " + path, error);
    }
}

FolderForFiles::~FolderForFiles()
{
    // Fails, as it should, when files are in it.
    if (m_created) {
        ::RemoveDirectoryA(m_path.c_str());
    }
}

PartialImage::PartialImage(const std::string& image)
    : m_image(image), m_path(image + ".partial")
{
}

PartialImage::~PartialImage()
{
    if (!m_placed) {
        ::DeleteFileA(m_path.c_str());
    }
}

bool PartialImage::Place(bool replace)
{
    m_placed = Move(m_path, m_image, replace);
    return m_placed;
}

PartialFileSet::PartialFileSet(const std::string& folder)
    : m_folder(folder), m_path(folder + "\\trakoni.partial")
{
    if (!::CreateDirectoryA(m_path.c_str(), nullptr)) {
        const DWORD error = ::GetLastError();
        // One left by a program that was killed is used again.
        if (error != ERROR_ALREADY_EXISTS || !IsFolder(m_path)) {
            ShowSystemError("Could not create the folder " + m_path, error);
            m_path.clear();
        }
    }
}

PartialFileSet::~PartialFileSet()
{
    if (m_path.empty()) {
        return;
    }
    for (int cylinder = m_placed; cylinder < kCylinderCount; ++cylinder) {
        ::DeleteFileA(CylinderFileName(m_path, cylinder).c_str());
    }
    ::RemoveDirectoryA(m_path.c_str());
}

bool PartialFileSet::Place(bool replace)
{
    for (; m_placed < kCylinderCount; ++m_placed) {
        if (!Move(CylinderFileName(m_path, m_placed), CylinderFileName(m_folder, m_placed),
                  replace)) {
            return false;
        }
    }
    return true;
}
