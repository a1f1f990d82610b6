// The targets through the standard file system library, so that this builds
// on every system; only exclusive creation of a file and a move that must not
// replace need the system's own calls.
#include "cli/Targets.h"

#include <filesystem>
#include <system_error>

#include "cli/ConsoleMessages.h"
#include "drive/Drive.h"
#include "engine/Imager.h"

#ifdef _WIN32
#include <process.h>

#include "platform/Win32.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

void ShowSystemError(const std::string& text, int error)
{
    ShowError(text + " (" + SystemErrorText(error) + ")");
}

#ifdef _WIN32
int ProcessNumber() { return _getpid(); }

// Creates `path` as a new empty file; false when anything is there, with the error.
bool CreateNewFile(const std::string& path, int& error)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    ::CloseHandle(file);
    return true;
}

constexpr int kAlreadyThere = ERROR_ALREADY_EXISTS;
bool AlreadyThere(int error) { return error == ERROR_FILE_EXISTS || error == kAlreadyThere; }

// Renames `from` to `to`; unless `replace`, never over a file that is there.
bool Rename(const std::string& from, const std::string& to, bool replace, int& error)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExA(from.c_str(), to.c_str(), flags)) {
        return true;
    }
    error = static_cast<int>(::GetLastError());
    return false;
}
#else
int ProcessNumber() { return static_cast<int>(::getpid()); }

bool CreateNewFile(const std::string& path, int& error)
{
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (file < 0) {
        error = errno;
        return false;
    }
    ::close(file);
    return true;
}

constexpr int kAlreadyThere = EEXIST;
bool AlreadyThere(int error) { return error == kAlreadyThere; }

// A link fails where a file is there; rename replaces.
bool Rename(const std::string& from, const std::string& to, bool replace, int& error)
{
    if (replace ? ::rename(from.c_str(), to.c_str()) == 0
                : ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0) {
        return true;
    }
    error = errno;
    return false;
}
#endif

// Renames `from` to `to`, after an error line when it cannot.
bool Move(const std::string& from, const std::string& to, bool replace)
{
    int error = 0;
    if (Rename(from, to, replace, error)) {
        return true;
    }
    ShowSystemError("Could not move " + from + " to " + to, error);
    return false;
}

// Makes a temporary name for `base` with `create`, trying the next number
// while something is there; empty after an error line when it cannot.
template <typename Create>
std::string CreateTemporary(const std::string& base, Create create)
{
    int error = 0;
    for (int n = 0; n < 1000; ++n) {
        const std::string name = TemporaryName(base, n);
        if (create(name, error)) {
            return name;
        }
        if (!AlreadyThere(error)) {
            ShowSystemError("Could not create " + name, error);
            return {};
        }
    }
    ShowSystemError("Could not create " + TemporaryName(base, 0), error);
    return {};
}

// The folder without separators at its end, so that a name can follow it.
std::string WithoutTrailingSeparators(std::string folder)
{
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder;
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

std::string TemporaryName(const std::string& base, int n)
{
    return base + ".trakoni-" + std::to_string(ProcessNumber()) + "-" + std::to_string(n) +
           ".partial";
}

PartialImage::PartialImage(const std::string& image)
    : m_image(image), m_path(CreateTemporary(image, CreateNewFile))
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

std::string CreateTemporaryFolder(const std::string& base)
{
    return CreateTemporary(WithoutTrailingSeparators(base), [](const std::string& name, int& error) {
        std::error_code failed;
        // False, with no error or this one, when something is there already.
        const bool created = fs::create_directory(name, failed);
        error = !failed || failed == std::errc::file_exists ? kAlreadyThere : failed.value();
        return created;
    });
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
