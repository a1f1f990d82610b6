// A regular file inside a folder that is not ours (a bag someone handed on),
// opened for reading without following a symbolic link anywhere between the
// folder and the file. The path is looked at first, so that the reason it is
// refused can be named; the opening then follows no link of its own either,
// so that a link swapped in after the look still leads nowhere.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

class PlainFile {
public:
    // Opens `relative` (already known not to leave `folder`: no "..", not
    // absolute) under `folder`, which itself may be reached through links.
    PlainFile(const std::filesystem::path& folder, const std::string& relative);
    ~PlainFile();
    PlainFile(const PlainFile&) = delete;
    PlainFile& operator=(const PlainFile&) = delete;

    // Why it was not opened, to follow the path's name ("which is a symbolic
    // link"); empty when it is open.
    const std::string& Why() const { return m_why; }

    // Reads up to `size` bytes: how many, 0 at the end, -1 on a failure.
    long long Read(char* buffer, size_t size);

private:
    void Open(const std::filesystem::path& folder, const std::string& relative);

    std::string m_why;
#ifdef _WIN32
    void* m_file = nullptr;  // the HANDLE
#else
    int m_descriptor = -1;
#endif
};
