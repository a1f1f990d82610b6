#include "archive/FileLock.h"

#include <thread>

#ifdef _WIN32
#include "platform/Win32.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait, const std::function<void()>& waiting)
{
#ifdef _WIN32
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_error = file == INVALID_HANDLE_VALUE ? static_cast<int>(::GetLastError()) : 0;
    m_file = file == INVALID_HANDLE_VALUE ? nullptr : file;
    const bool opened = m_file != nullptr;
#else
    m_descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    m_error = m_descriptor < 0 ? errno : 0;
    const bool opened = m_descriptor >= 0;
#endif
    // Without a signal to wait on that also lets the wait end, the lock is
    // asked for again and again.
    const auto giveUp = std::chrono::steady_clock::now() + wait;
    bool told = false;
    while (opened && !(m_held = TryLock()) && m_error == 0 && std::chrono::steady_clock::now() < giveUp) {
        if (!told && waiting) {
            waiting();
        }
        told = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FileLock::~FileLock()
{
    // Closing the file releases the lock.
#ifdef _WIN32
    if (m_file != nullptr) {
        ::CloseHandle(m_file);
    }
#else
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
#endif
}

// False, with no error, while another holds it.
bool FileLock::TryLock()
{
#ifdef _WIN32
    OVERLAPPED whole{};
    if (::LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    m_error = error == ERROR_LOCK_VIOLATION ? 0 : static_cast<int>(error);
#else
    if (::flock(m_descriptor, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    m_error = errno == EWOULDBLOCK || errno == EINTR ? 0 : errno;
#endif
    return false;
}
