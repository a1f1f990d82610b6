// The targets through the standard file system library and the engine's
// temporary names and moves that must not replace.
#include "cli/Targets.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/ConsoleMessages.h"
#include "drive/Drive.h"
#include "engine/Imager.h"

namespace fs = std::filesystem;

namespace {

void ShowSystemError(const std::string& text, int error)
{
    ShowError(text + " (" + SystemErrorText(error) + ")");
}

// Renames `from` to `to`, after an error line when it cannot.
bool Move(const std::string& from, const std::string& to, bool replace)
{
    int error = 0;
    if (MoveIntoPlace(from, to, replace, error)) {
        return true;
    }
    ShowSystemError("Could not move " + from + " to " + to, error);
    return false;
}

}  // namespace

bool Exists(const std::string& path)
{
    std::error_code failed;
    return fs::exists(fs::symlink_status(path, failed));
}

bool IsFolder(const std::string& path)
{
    std::error_code failed;
    return fs::is_directory(path, failed);
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
    std::error_code failed;
    if (IsFolder(path)) {
        m_ready = true;
    } else if (fs::create_directory(path, failed)) {
        m_ready = m_created = true;
    } else {
        ShowSystemError("Could not create the folder " + path, failed.value());
    }
}

FolderForFiles::~FolderForFiles()
{
    // Fails, as it should, when files are in it.
    std::error_code ignored;
    if (m_created) {
        fs::remove(m_path, ignored);
    }
}

PartialImage::PartialImage(const std::string& image)
    : m_image(image), m_path(CreateTemporaryFile(image))
{
}

PartialImage::~PartialImage()
{
    std::error_code ignored;
    if (Ready() && !m_placed) {
        fs::remove(m_path, ignored);
    }
}

bool PartialImage::Place(bool replace)
{
    m_placed = Move(m_path, m_image, replace);
    return m_placed;
}

PartialFileSet::PartialFileSet(const std::string& folder)
    : m_folder(folder), m_path(CreateTemporaryFolder(folder))
{
}

PartialFileSet::~PartialFileSet()
{
    if (m_path.empty()) {
        return;
    }
    std::error_code ignored;
    for (int cylinder = m_placed; cylinder < kCylinderCount; ++cylinder) {
        fs::remove(CylinderFileName(m_path, cylinder), ignored);
    }
    fs::remove(m_path, ignored);
}

// The old files wait in a folder of ours until every new one is in place, so
// that the folder never holds a mix of two disks: on a failure the new ones
// go back into the temporary folder and the old ones back where they were.
bool PartialFileSet::Place(bool replace)
{
    const std::string aside = replace ? CreateTemporaryFolder(m_folder) : std::string();
    if (replace && aside.empty()) {
        return false;
    }
    std::vector<int> old;  // the cylinders whose old file is aside
    bool placed = true;
    for (int cylinder = 0; replace && placed && cylinder < kCylinderCount; ++cylinder) {
        const std::string file = CylinderFileName(m_folder, cylinder);
        if (Exists(file) && (placed = Move(file, CylinderFileName(aside, cylinder), false))) {
            old.push_back(cylinder);
        }
    }
    for (; placed && m_placed < kCylinderCount; ++m_placed) {
        placed = Move(CylinderFileName(m_path, m_placed), CylinderFileName(m_folder, m_placed), false);
    }
    int error = 0;
    for (; !placed && m_placed > 0; --m_placed) {
        MoveIntoPlace(CylinderFileName(m_folder, m_placed - 1), CylinderFileName(m_path, m_placed - 1), false, error);
    }
    bool kept = false;  // an old file that could not go back stays aside
    std::error_code ignored;
    for (const int cylinder : old) {
        const std::string file = CylinderFileName(aside, cylinder);
        const bool back = !placed && MoveIntoPlace(file, CylinderFileName(m_folder, cylinder), false, error);
        kept = kept || (!placed && !back);
        if (placed) {
            fs::remove(file, ignored);
        }
    }
    if (kept) {
        ShowError("The old cylinder files of " + m_folder + " that could not be put back are in " + aside);
    } else if (!aside.empty()) {
        fs::remove(aside, ignored);
    }
    return placed;
}
