#include "archive/PlainFile.h"

#include <system_error>

#ifdef _WIN32
#include "platform/Win32.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

// Why the path names no regular file, each part looked at without following
// a link; empty when it names one.
std::string WhyNotPlain(const fs::path& folder, const std::string& relative)
{
    fs::path at = folder;
    std::error_code error;
    for (const fs::path& part : fs::path(relative)) {
        at /= part;
        const fs::file_type type = fs::symlink_status(at, error).type();
        if (type == fs::file_type::symlink) {
            return "which is a symbolic link";
        }
        if (type == fs::file_type::not_found || error) {
            return "which does not exist";
        }
    }
    return fs::symlink_status(at, error).type() == fs::file_type::regular ? "" : "which is no regular file";
}

}  // namespace

PlainFile::PlainFile(const fs::path& folder, const std::string& relative) : m_why(WhyNotPlain(folder, relative))
{
    if (m_why.empty()) {
        Open(folder, relative);
    }
}

// What the look found may have been swapped since: whatever the opening
// meets that is not what it found is "changed".
#ifdef _WIN32
void PlainFile::Open(const fs::path& folder, const std::string& relative)
{
    // A reparse point (a link or junction) at the end is opened as itself,
    // not followed; links on the way need a privilege to make, and the look
    // has just found none.
    const HANDLE file = ::CreateFileW((folder / relative).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    const bool plain = file != INVALID_HANDLE_VALUE && ::GetFileType(file) == FILE_TYPE_DISK &&
                       ::GetFileInformationByHandle(file, &information) &&
                       (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    m_file = file == INVALID_HANDLE_VALUE ? nullptr : file;
    m_why = plain ? "" : "which changed while it was looked at";
}

PlainFile::~PlainFile()
{
    if (m_file != nullptr) {
        ::CloseHandle(m_file);
    }
}

long long PlainFile::Read(char* buffer, size_t size)
{
    DWORD moved = 0;
    const DWORD asked = size > 1u << 30 ? 1u << 30 : static_cast<DWORD>(size);
    if (!m_why.empty() || !::ReadFile(m_file, buffer, asked, &moved, nullptr)) {
        return -1;
    }
    return moved;
}
#else
void PlainFile::Open(const fs::path& folder, const std::string& relative)
{
    // Each folder on the way opened from the one before, none through a link
    // (O_NOFOLLOW); the file itself without waiting (a FIFO swapped in would
    // block an open), then asked what it is.
    int at = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const fs::path path(relative);
    for (auto part = path.begin(); at >= 0 && part != path.end();) {
        const fs::path name = *part++;
        const int flags = part == path.end() ? O_RDONLY | O_NONBLOCK : O_RDONLY | O_DIRECTORY;
        const int next = ::openat(at, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
        ::close(at);
        at = next;
    }
    struct stat status {};
    const bool plain = at >= 0 && ::fstat(at, &status) == 0 && S_ISREG(status.st_mode);
    m_descriptor = at;
    m_why = plain ? "" : "which changed while it was looked at";
}

PlainFile::~PlainFile()
{
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

long long PlainFile::Read(char* buffer, size_t size)
{
    if (!m_why.empty()) {
        return -1;
    }
    ssize_t moved = 0;
    do {
        moved = ::read(m_descriptor, buffer, size);
    } while (moved < 0 && errno == EINTR);
    return moved;
}
#endif
