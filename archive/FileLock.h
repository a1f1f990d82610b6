// An exclusive lock of the system on a lock file: flock on POSIX, LockFileEx
// on Windows. The kernel releases it when its holder ends, however it ends,
// so a program that was killed never leaves it behind and no lock has to be
// guessed stale.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class FileLock {
public:
    // Takes the lock of the file `path` (made when missing, never removed:
    // another program may be waiting on it), trying for `wait` at most;
    // calls `waiting` once when another holds it.
    FileLock(const std::string& path, std::chrono::milliseconds wait, const std::function<void()>& waiting);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return m_held; }
    // The system's error when the file could not be opened or locked; 0 when
    // another held it for all the wait.
    int Error() const { return m_error; }

private:
    bool TryLock();

#ifdef _WIN32
    void* m_file = nullptr;  // the HANDLE
#else
    int m_descriptor = -1;
#endif
    bool m_held = false;
    int m_error = 0;
};
