// The files command. The list goes to standard output; the reader's problems,
// refusals and failures to standard error. Extracted files are written through
// the standard file system library with UTF-8 paths, so long names come out
// as they are on every system.
#include "cli/Files.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "archive/Dfxml.h"
#include "archive/FatVolume.h"
#include "cli/Commands.h"
#include "cli/ConsoleMessages.h"
#include "cli/Drives.h"
#include "cli/Progress.h"
#include "cli/Targets.h"
#include "engine/CommandLine.h"

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace fs = std::filesystem;

namespace {

// What the name of an extracted damaged file gets: the archivist sees it at once.
constexpr char kDamagedSuffix[] = ".damaged";

class Collecting : public Progress {
public:
    Collecting(bool quiet, std::vector<unsigned char>& image) : Progress("Reading", quiet), m_image(image) {}

    bool CylinderDone(int cylinder, const unsigned char* data, uint32_t bytes) override
    {
        m_image.insert(m_image.end(), data, data + bytes);
        return Progress::CylinderDone(cylinder, data, bytes);
    }

private:
    std::vector<unsigned char>& m_image;
};

void PrintFile(const FatFile& file)
{
    const std::string size = file.IsFolder() ? "folder" : std::to_string(file.size);
    std::string line = file.path + (file.IsFolder() ? "/" : "") + "  " + size + "  " +
                       FormatFatMinute(file.modified);
    if (!file.allocated) {
        line += "  deleted";
    }
    if (file.Damaged()) {
        line += "  damaged: " + SectorsText(file.damagedSectors);
    }
    std::printf("%s\n", line.c_str());
}

// What makes a name from the disk no name of a file inside the folder on this
// or another system, or an empty text: it would climb out ("..", a drive
// letter, a separator) or name a device.
std::string NameProblem(const std::string& name)
{
    if (name.empty() || name == "." || name == "..") {
        return "is no name of a file";
    }
    for (const char c : name) {
        if (c == '/' || c == '\\' || c == ':') {
            return std::string("holds '") + c + "'";
        }
        if (static_cast<unsigned char>(c) < 0x20 || std::string("<>\"|?*").find(c) != std::string::npos) {
            return "holds a character no file name may hold";
        }
    }
    return IsDeviceName(name) ? "names a device" : "";
}

class Extraction {
public:
    Extraction(const FatReport& report, const std::vector<unsigned char>& image, const std::string& folder,
               bool force)
        : m_report(report), m_image(image), m_root(fs::u8path(folder)), m_force(force)
    {
    }

    // False when anything was refused or could not be written, each named.
    bool Run()
    {
        std::error_code failed;
        fs::create_directories(m_root, failed);
        if (!fs::is_directory(m_root, failed)) {
            ShowError("Could not create the folder " + m_root.u8string());
            return false;
        }
        bool all = true;
        for (size_t i = 0; i < m_report.files.size(); ++i) {
            const FatFile& file = m_report.files[i];
            if (file.allocated) {
                all = Extract(file) && all;
            }
        }
        return all;
    }

private:
    // The path inside the folder, from each name of the file's folders; empty
    // after naming the name refused.
    bool PathOf(const FatFile& file, fs::path& path) const
    {
        std::vector<const FatFile*> chain;
        for (const FatFile* at = &file; chain.size() <= m_report.files.size(); at = &m_report.files[at->parent]) {
            chain.push_back(at);
            if (at->parent < 0) {
                break;
            }
        }
        path = m_root;
        std::error_code failed;
        for (size_t i = chain.size(); i-- > 0;) {
            const std::string problem = NameProblem(chain[i]->name);
            if (!problem.empty()) {
                ShowError("Refused to extract " + file.path + ": the name '" + chain[i]->name + "' " + problem);
                return false;
            }
            // A link made in the folder since would lead the files elsewhere.
            if (path != m_root && fs::is_symlink(path, failed)) {
                ShowError("Refused to extract " + file.path + ": " + path.u8string() + " is a link");
                return false;
            }
            path /= fs::u8path(chain[i]->name);
        }
        return true;
    }

    bool Extract(const FatFile& file)
    {
        fs::path path;
        if (!PathOf(file, path)) {
            return false;
        }
        std::error_code failed;
        if (file.IsFolder()) {
            fs::create_directories(path, failed);
            if (!fs::is_directory(path, failed) || fs::is_symlink(path, failed)) {
                ShowError("Could not create the folder " + path.u8string());
                return false;
            }
            return true;
        }
        if (file.Damaged()) {
            path += kDamagedSuffix;
        }
        const std::string shown = path.u8string();
        if (fs::exists(fs::symlink_status(path, failed))) {
            if (!m_force) {
                ShowError(shown + " already exists; use --force to replace it");
                return false;
            }
            fs::remove(path, failed);
        }
        if (!Write(file, path)) {
            ShowError("Could not write " + shown);
            return false;
        }
        SetModified(path, file.modified);
        return true;
    }

    bool Write(const FatFile& file, const fs::path& path) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (const ByteRun& run : file.runs) {
            out.write(reinterpret_cast<const char*>(m_image.data() + run.offset),
                      static_cast<std::streamsize>(run.bytes));
        }
        out.close();
        return !out.fail();
    }

    // A FAT time is the local time of the machine that wrote it.
    static void SetModified(const fs::path& path, const FatTimestamp& stamp)
    {
        if (FormatFatMinute(stamp).empty()) {
            return;
        }
        std::tm local{};
        local.tm_year = stamp.Year() - 1900;
        local.tm_mon = stamp.Month() - 1;
        local.tm_mday = stamp.Day();
        local.tm_hour = stamp.Hour();
        local.tm_min = stamp.Minute();
        local.tm_sec = stamp.Second();
        local.tm_isdst = -1;
        const std::time_t when = std::mktime(&local);
#ifdef _WIN32
        struct _utimbuf times = {when, when};
        _wutime(path.c_str(), &times);
#else
        struct utimbuf times = {when, when};
        ::utime(path.c_str(), &times);
#endif
    }

    const FatReport& m_report;
    const std::vector<unsigned char>& m_image;
    fs::path m_root;
    bool m_force;
};

// The DFXML beside the list, written under a temporary name and renamed when whole.
bool WriteDfxmlFile(const FatReport& report, const std::vector<unsigned char>& image, const Arguments& arguments)
{
    const std::string& target = arguments.dfxml;
    if (!arguments.force && Exists(target)) {
        ShowError(target + " already exists; use --force to replace it");
        return false;
    }
    DfxmlSource source;
    source.imageName = fs::u8path(arguments.operands[0]).filename().u8string();
    source.commandLine = CommandLineText(arguments);
    const std::string text = WriteDfxml(report, image.data(), image.size(), source);
    PartialImage partial(target);
    if (!partial.Ready()) {
        return false;
    }
    {
        std::ofstream out(partial.Path(), std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (out.fail()) {
            ShowError("Could not write " + target);
            return false;
        }
    }
    return partial.Place(arguments.force);
}

}  // namespace

int LoadDiskImage(const std::string& source, bool quiet, std::vector<unsigned char>& image)
{
    Collecting collecting(quiet, image);
    int status = 0;
    if (NamesADrive(source)) {
        const std::optional<FloppyDrive> drive = TakeDrive(source, false);
        if (!drive) {
            return ExitStatus::Failed;
        }
        status = ReadDisk(*drive, &collecting);
    } else if (IsFolder(source)) {
        status = ReadFileSet(source, &collecting);
    } else {
        status = ReadImage(source, &collecting);
    }
    ClearProgressLine();
    if (status == EngineStatus::Interrupted) {
        std::fprintf(stderr, "Interrupted: nothing has been listed\n");
        return InterruptedStatus();
    }
    return status == EngineStatus::Success ? ExitStatus::Success : ExitStatus::Failed;
}

int RunFiles(const Arguments& arguments)
{
    std::vector<unsigned char> image;
    const int loaded = LoadDiskImage(arguments.operands[0], arguments.quiet, image);
    if (loaded != ExitStatus::Success) {
        return loaded;
    }
    std::string sectors;
    ScanRescueMarkers(image.data(), static_cast<uint32_t>(image.size()), sectors);
    FatOptions options;
    options.deleted = arguments.deleted;
    const FatReport report = ReadFatVolume(image.data(), image.size(), sectors, options);
    if (!report.found) {
        ShowError(arguments.operands[0] + ": " + kNoFatFileSystem);
        return ExitStatus::Failed;
    }
    std::printf("volume label: %s\n", report.label.empty() ? "(none)" : report.label.c_str());
    for (const FatFile& file : report.files) {
        PrintFile(file);
    }
    std::fflush(stdout);
    for (const std::string& problem : report.problems) {
        std::fprintf(stderr, "problem: %s\n", problem.c_str());
    }
    const std::string warning = BootSectorSizeWarning(image.data(), image.size());
    if (!warning.empty()) {
        std::fprintf(stderr, "WARNING: %s\n", warning.c_str());
    }
    if (!arguments.dfxml.empty() && !WriteDfxmlFile(report, image, arguments)) {
        return ExitStatus::Failed;
    }
    if (report.stopped) {
        return ExitStatus::Failed;
    }
    if (!arguments.extract.empty() && !Extraction(report, image, arguments.extract, arguments.force).Run()) {
        return ExitStatus::Failed;
    }
    // A folder the damage hit has lost entries: the listing is short too.
    const bool damaged = std::any_of(report.files.begin(), report.files.end(),
                                     [](const FatFile& file) { return file.allocated && file.Damaged(); });
    return damaged ? ExitStatus::Incomplete : ExitStatus::Success;
}
