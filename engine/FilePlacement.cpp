// Exclusive creation and renames that must not replace need the system's own
// calls; the rest is the standard file system library.
#include "engine/FilePlacement.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

#include "engine/DriveSession.h"

#ifdef _WIN32
#include <process.h>

#include "platform/Win32.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace {

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

#else
int ProcessNumber() { return static_cast<int>(::getpid()); }

bool CreateNewFile(const std::string& path, int& error)
{
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        error = errno;
        return false;
    }
    ::close(file);
    return true;
}

constexpr int kAlreadyThere = EEXIST;

// Where the file system refuses RENAME_NOREPLACE: a link fails where a file is
// there; a folder takes the place of an empty one we have just made, and
// rename refuses one that has been filled since.
bool RenameWithoutReplacing(const std::string& from, const std::string& to)
{
    struct stat status {};
    if (::lstat(from.c_str(), &status) != 0) {
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
    }
    if (::mkdir(to.c_str(), 0700) != 0) {
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    const int error = errno;
    ::rmdir(to.c_str());
    errno = error == ENOTEMPTY ? EEXIST : error;
    return false;
}

#endif

// Makes a temporary name for `base` with `create`, trying the next number
// while something is there; empty after an error message when it cannot.
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
            ShowEngineError("Could not create " + name + " (" + SystemErrorText(error) + ")");
            return {};
        }
    }
    ShowEngineError("Could not create " + TemporaryName(base, 0) + " (" + SystemErrorText(error) + ")");
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

bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    std::transform(base.begin(), base.end(), base.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static const std::set<std::string> devices = {"CON", "PRN", "AUX", "NUL"};
    const bool numbered = base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
                          base[3] >= '1' && base[3] <= '9';
    return devices.count(base) > 0 || numbered;
}

std::string TemporaryName(const std::string& base, int n)
{
    return base + ".trakoni-" + std::to_string(ProcessNumber()) + "-" + std::to_string(n) + ".partial";
}

bool AlreadyThere(int error)
{
#ifdef _WIN32
    return error == ERROR_FILE_EXISTS || error == kAlreadyThere;
#else
    return error == kAlreadyThere;
#endif
}

std::string CreateTemporaryFile(const std::string& base)
{
    return CreateTemporary(base, CreateNewFile);
}

std::string CreateTemporaryFolder(const std::string& base)
{
    return CreateTemporary(WithoutTrailingSeparators(base), [](const std::string& name, int& error) {
        std::error_code failed;
        // False, with no error or this one, when something is there already.
        const bool created = std::filesystem::create_directory(name, failed);
        error = !failed || failed == std::errc::file_exists ? kAlreadyThere : failed.value();
        return created;
    });
}

#if defined(RENAME_EXCHANGE) && !defined(_WIN32)
bool SwapPlaces(const std::string& first, const std::string& second)
{
    return ::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0;
}
#else
bool SwapPlaces(const std::string&, const std::string&)
{
    return false;
}
#endif

#ifdef _WIN32

// Without MOVEFILE_REPLACE_EXISTING the system refuses a target that is there.
bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace, int& error)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExA(from.c_str(), to.c_str(), flags)) {
        return true;
    }
    error = static_cast<int>(::GetLastError());
    return false;
}
#else
bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace, int& error)
{
    bool renamed = false;
    if (replace) {
        renamed = ::rename(from.c_str(), to.c_str()) == 0;
    } else {
        // Linux's own way; older kernels and some file systems refuse the flag.
#ifdef RENAME_NOREPLACE
        renamed = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
        if (!renamed && (errno == EINVAL || errno == ENOSYS))
#endif
        {
            renamed = RenameWithoutReplacing(from, to);
        }
    }
    error = renamed ? 0 : errno;
    return renamed;
}
#endif
