// Conversion between a cylinder file set and one image file holding the 80
// cylinders end to end, and reading either for its checksums. No drive takes
// part: a source hands each cylinder to a target through one buffer of the
// drive system. The image goes through the language runtime's binary
// streams, as the cylinder files do.
#include <climits>
#include <fstream>
#include <map>

#include "engine/CylinderFiles.h"
#include "engine/DriveSession.h"
#include "engine/Observing.h"

namespace {

constexpr long long kSectorBytes = 512;

int ShowConversionError(const std::string& text, int status)
{
    ShowEngineError(text);
    return status;
}

int CannotRead(const std::string& name, int status = EngineStatus::FileUnreadable)
{
    return ShowConversionError("Could not read " + name, status);
}

int CannotWrite(const std::string& name)
{
    return ShowConversionError("Could not write " + name, EngineStatus::Failure);
}

std::string SizeText(long long bytes)
{
    return std::to_string(bytes) + " bytes";
}

// The 80 files of a complete set of a convertible size.
class FileSetSource {
public:
    explicit FileSetSource(const std::string& folder) : m_folder(folder) {}

    int Check(int& bytesPerCylinder) const
    {
        const FileSetSurvey survey = SurveyFileSet(m_folder);
        if (!survey.missing.empty()) {
            return CannotRead(Name(survey.missing.front()) + ": it does not exist");
        }
        if (!IsConvertibleCylinderSize(survey.bytesPerCylinder)) {
            return ShowConversionError(Name(survey.typical) + " is " +
                                           SizeText(survey.bytesPerCylinder) +
                                           "; a cylinder is one or more whole 512-byte sectors",
                                       EngineStatus::FileSizeMismatch);
        }
        if (!survey.oddSizes.empty()) {
            const FileSetSurvey::OddFile& odd = survey.oddSizes.front();
            return ShowConversionError(Name(odd.cylinder) + " is " + SizeText(odd.bytes) +
                                           "; the other cylinder files are " +
                                           SizeText(survey.bytesPerCylinder),
                                       EngineStatus::FileSizeMismatch);
        }
        bytesPerCylinder = static_cast<int>(survey.bytesPerCylinder);
        return EngineStatus::Success;
    }

    // Checked again as it is read: a file can change after the survey.
    int Read(int cylinder, unsigned char* buffer, int bytes) const
    {
        const int read = ReadCylinderFile(buffer, bytes, m_folder, cylinder);
        return read == EngineStatus::Success ? read : CannotRead(Name(cylinder), read);
    }

private:
    std::string Name(int cylinder) const { return CylinderFileName(m_folder, cylinder); }

    std::string m_folder;
};

// An image file 80 times a convertible cylinder size.
class ImageSource {
public:
    explicit ImageSource(const std::string& image) : m_image(image) {}

    int Check(int& bytesPerCylinder)
    {
        long long size = 0;
        if (!QueryFileSize(m_image, size)) {
            return CannotRead(m_image);
        }
        if (size % kCylinderCount != 0 || !IsConvertibleCylinderSize(size / kCylinderCount)) {
            return ShowConversionError(
                m_image + " is " + SizeText(size) +
                    "; an image is 80 cylinders of one or more whole 512-byte sectors",
                EngineStatus::FileSizeMismatch);
        }
        m_file.open(m_image, std::ios::in | std::ios::binary);
        if (!m_file) {
            return CannotRead(m_image);
        }
        bytesPerCylinder = static_cast<int>(size / kCylinderCount);
        return EngineStatus::Success;
    }

    // A file cut short after its size was read must not pass stale bytes on.
    int Read(int, unsigned char* buffer, int bytes)
    {
        m_file.read(reinterpret_cast<char*>(buffer), bytes);
        return m_file.gcount() == bytes ? EngineStatus::Success : CannotRead(m_image);
    }

private:
    std::string m_image;
    std::ifstream m_file;
};

// The image file, created or replaced once the source has passed its checks.
class ImageTarget {
public:
    explicit ImageTarget(const std::string& image) : m_image(image) {}

    int Open()
    {
        m_file.open(m_image, std::ios::out | std::ios::binary | std::ios::trunc);
        return m_file ? EngineStatus::Success : CannotWrite(m_image);
    }

    int Write(int, const unsigned char* buffer, int bytes)
    {
        m_file.write(reinterpret_cast<const char*>(buffer), bytes);
        return m_file ? EngineStatus::Success : CannotWrite(m_image);
    }

    // The close flushes: a full disk shows here, not earlier.
    int Close()
    {
        m_file.close();
        return m_file ? EngineStatus::Success : CannotWrite(m_image);
    }

private:
    std::string m_image;
    std::ofstream m_file;
};

class FileSetTarget {
public:
    explicit FileSetTarget(const std::string& folder) : m_folder(folder) {}

    int Open() { return EngineStatus::Success; }

    int Write(int cylinder, const unsigned char* buffer, int bytes)
    {
        const int written = WriteCylinderFile(buffer, bytes, m_folder, cylinder);
        return written == EngineStatus::Success
                   ? written
                   : CannotWrite(CylinderFileName(m_folder, cylinder));
    }

    int Close() { return EngineStatus::Success; }

private:
    std::string m_folder;
};

// Reading only: the observer is the one that uses the bytes.
struct NoTarget {
    int Open() { return EngineStatus::Success; }
    int Write(int, const unsigned char*, int) { return EngineStatus::Success; }
    int Close() { return EngineStatus::Success; }
};

// Checks the source, then carries every cylinder from it to the target
// through one buffer, telling the observer after each.
template <typename Source, typename Target>
int Convert(Source&& source, Target&& target, CylinderObserver* observer)
{
    int bytes = 0;
    const int checked = source.Check(bytes);
    if (checked != EngineStatus::Success) {
        return checked;
    }
    const DriveBuffer block = CurrentDriveSystem().AllocateBuffer(static_cast<size_t>(bytes));
    if (!block) {
        return ShowConversionError("Out of memory", EngineStatus::OutOfMemory);
    }
    const int opened = target.Open();
    if (opened != EngineStatus::Success) {
        return opened;
    }
    unsigned char* buffer = block.Data();
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        const int read = source.Read(cylinder, buffer, bytes);
        if (read != EngineStatus::Success) {
            return read;
        }
        const int written = target.Write(cylinder, buffer, bytes);
        if (written != EngineStatus::Success) {
            return written;
        }
        if (!GoOnAfter(observer, cylinder, buffer, static_cast<uint32_t>(bytes))) {
            return EngineStatus::Interrupted;
        }
    }
    return target.Close();
}

}  // namespace

FileSetSurvey SurveyFileSet(const std::string& folder)
{
    CylinderSizes sizes;
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        if (!QueryFileSize(CylinderFileName(folder, cylinder), sizes[cylinder])) {
            sizes[cylinder] = -1;
        }
    }
    return SurveyCylinderSizes(sizes);
}

FileSetSurvey SurveyCylinderSizes(const CylinderSizes& sizes)
{
    FileSetSurvey survey;
    std::map<long long, int> filesOfSize;
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        if (sizes[cylinder] >= 0) {
            ++filesOfSize[sizes[cylinder]];
        } else {
            survey.missing.push_back(cylinder);
        }
    }
    // The map is ordered by size, so on a tie the smaller size stays.
    int most = 0;
    for (const auto& [bytes, files] : filesOfSize) {
        if (files > most) {
            most = files;
            survey.bytesPerCylinder = bytes;
        }
    }
    for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
        if (sizes[cylinder] < 0) {
            continue;
        }
        if (sizes[cylinder] != survey.bytesPerCylinder) {
            survey.oddSizes.push_back({cylinder, sizes[cylinder]});
        } else if (survey.typical < 0) {
            survey.typical = cylinder;
        }
    }
    return survey;
}

bool IsConvertibleCylinderSize(long long bytes)
{
    return bytes > 0 && bytes % kSectorBytes == 0 && bytes <= INT_MAX;
}

int PackFilesToImage(const std::string& folder, const std::string& image,
                     CylinderObserver* observer)
{
    return Convert(FileSetSource(folder), ImageTarget(image), observer);
}

int UnpackImageToFiles(const std::string& image, const std::string& folder,
                       CylinderObserver* observer)
{
    return Convert(ImageSource(image), FileSetTarget(folder), observer);
}

int ReadFileSet(const std::string& folder, CylinderObserver* observer)
{
    return Convert(FileSetSource(folder), NoTarget(), observer);
}

int ReadImage(const std::string& image, CylinderObserver* observer)
{
    return Convert(ImageSource(image), NoTarget(), observer);
}
