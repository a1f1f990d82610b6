// The cylinder image files, through the language runtime: binary file streams
// (no translation of any byte) and the runtime's file-status query.
#include "engine/CylinderFiles.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "engine/Imager.h"
#include "engine/Status.h"

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
using FileStatus = struct _stat64;
int QueryFileStatus(const char* name, FileStatus* status)
{
    return _stat64(name, status);
}
#else
constexpr char kPathSeparator = '/';
using FileStatus = struct stat;
int QueryFileStatus(const char* name, FileStatus* status)
{
    return stat(name, status);
}
#endif

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder + kPathSeparator + name;
}

// The 64-bit query, so a large stray file is not mistaken for a small one.
bool QueryFileSize(const std::string& name, long long& size)
{
    FileStatus status{};
    if (QueryFileStatus(name.c_str(), &status) != 0) {
        return false;
    }
    size = status.st_size;
    return true;
}

namespace {

int CheckFileSize(const std::string& name, int bytesPerCylinder)
{
    long long size = 0;
    if (!QueryFileSize(name, size)) {
        return EngineStatus::FileUnreadable;
    }
    return size == bytesPerCylinder ? EngineStatus::Success : EngineStatus::FileSizeMismatch;
}

}  // namespace

std::string CylinderFileName(const std::string& folder, int cylinder)
{
    char number[16];
    std::snprintf(number, sizeof number, "%2.2i", cylinder);
    return JoinPath(folder, std::string("cyl") + number + ".bin");
}

int CheckCylinderFileSize(int bytesPerCylinder, const std::string& folder, int cylinder)
{
    return CheckFileSize(CylinderFileName(folder, cylinder), bytesPerCylinder);
}

int ReadCylinderFile(unsigned char* buffer, int bytesPerCylinder, std::string folder,
                     int cylinder)
{
    const std::string name = CylinderFileName(folder, cylinder);
    const int checked = CheckFileSize(name, bytesPerCylinder);
    if (checked != EngineStatus::Success) {
        return checked;
    }
    std::ifstream file(name, std::ios::in | std::ios::binary);
    if (!file) {
        return EngineStatus::FileUnreadable;
    }
    // A file cut short after its size was read must not pass stale bytes on.
    file.read(reinterpret_cast<char*>(buffer), bytesPerCylinder);
    if (file.gcount() != bytesPerCylinder) {
        return EngineStatus::FileUnreadable;
    }
    return EngineStatus::Success;
}

int WriteCylinderFile(const unsigned char* buffer, int bytesPerCylinder, std::string folder,
                      int cylinder)
{
    std::ofstream file(CylinderFileName(folder, cylinder), std::ios::out | std::ios::binary);
    if (!file) {
        return EngineStatus::Failure;
    }
    file.write(reinterpret_cast<const char*>(buffer), bytesPerCylinder);
    // The close flushes: a full disk shows here, not earlier.
    file.close();
    return file ? EngineStatus::Success : EngineStatus::Failure;
}

int WriteCylinderFilePart(const unsigned char* data, int offset, int bytes,
                          const std::string& folder, int cylinder)
{
    // Opened for reading too, so that the file is neither created nor cut.
    std::fstream file(CylinderFileName(folder, cylinder),
                      std::ios::in | std::ios::out | std::ios::binary);
    if (!file) {
        return EngineStatus::Failure;
    }
    file.seekp(offset);
    file.write(reinterpret_cast<const char*>(data), bytes);
    file.close();
    return file ? EngineStatus::Success : EngineStatus::Failure;
}
