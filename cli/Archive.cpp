// A bag is made under a temporary name beside its real one, created
// exclusively by this run (COLLECTION/.ID.trakoni-<process>-<n>.partial): the
// disk is read into cylinder files there, checked, made one image, logged and
// bagged, and only then renamed. Every way out before that removes it.
// Identifiers never begin with a '.', so no temporary name is ever a bag's.
#include "cli/Archive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "archive/BagIt.h"
#include "archive/Catalog.h"
#include "archive/Dfxml.h"
#include "archive/DiskPicture.h"
#include "archive/FileSystemReport.h"
#include "cli/Commands.h"
#include "cli/ConsoleMessages.h"
#include "cli/Drives.h"
#include "cli/Formats.h"
#include "cli/Progress.h"
#include "cli/Targets.h"
#include "engine/CommandLine.h"
#include "digest/Digest.h"
#include "trakoni/Version.h"

namespace fs = std::filesystem;

namespace {

std::string Now(const char* format)
{
    const std::time_t now = std::time(nullptr);
    char text[40];
    std::strftime(text, sizeof text, format, std::localtime(&now));
    return text;
}

std::string BagThere(const fs::path& bag)
{
    return bag.string() + " already holds a bag; use --force to replace it";
}

// The temporary bag, removed with all in it unless it has been placed.
class PartialBag {
public:
    PartialBag(const fs::path& collection, const std::string& id)
        : m_bag(collection / id), m_path(CreateTemporaryFolder((collection / ("." + id)).string()))
    {
        std::error_code error;
        m_ready = !m_path.empty() && fs::create_directory(m_path / "data", error);
        if (!m_path.empty() && !m_ready) {
            ShowError("Could not create the folder " + (m_path / "data").string());
        }
    }
    ~PartialBag()
    {
        std::error_code error;
        if (!m_path.empty()) {
            fs::remove_all(m_path, error);
        }
    }
    PartialBag(const PartialBag&) = delete;
    PartialBag& operator=(const PartialBag&) = delete;

    bool Ready() const { return m_ready; }
    std::string Path(const std::string& name = {}) const { return (name.empty() ? m_path : m_path / name).string(); }

    // Gives the bag its real name; the system refuses a bag there, even one
    // that appeared while this archive ran, unless `replace`. A bag replaced
    // changes places with the new one in one step where the system can;
    // elsewhere it waits under a name of ours alone until the new one is in
    // place, is put back if that fails, and is removed only then.
    bool Place(bool replace)
    {
        std::string old;
        int error = 0;
        std::error_code ignored;
        if (replace && Exists(m_bag.string())) {
            if (SwapPlaces(m_path.string(), m_bag.string())) {
                fs::remove_all(m_path, ignored);  // the old bag, under our name now
                return true;
            }
            old = CreateTemporaryFolder(m_path.string() + ".replaced");
            fs::remove(old, ignored);  // ours, empty: the old bag takes its name
            if (old.empty() || !MoveIntoPlace(m_bag.string(), old, false, error)) {
                ShowError("Could not move the old bag " + m_bag.string() + " aside (" + SystemErrorText(error) + ")");
                return false;
            }
        }
        if (!MoveIntoPlace(m_path.string(), m_bag.string(), false, error)) {
            ShowError(AlreadyThere(error) ? BagThere(m_bag) : "Could not move " + m_path.string() + " to " + m_bag.string() + " (" + SystemErrorText(error) + ")");
            if (!old.empty()) {
                MoveIntoPlace(old, m_bag.string(), false, error);
            }
            return false;
        }
        if (!old.empty()) {
            fs::remove_all(old, ignored);
        }
        return true;
    }

private:
    fs::path m_bag;
    fs::path m_path;
    bool m_ready = false;
};

// The image and its SHA-256, from the cylinders as they go by.
class ImageDigest : public CylinderObserver {
public:
    bool CylinderDone(int, const unsigned char* data, uint32_t bytes) override
    {
        m_digest.Add(data, bytes);
        m_bytesPerCylinder = bytes;
        image.insert(image.end(), data, data + bytes);
        return true;
    }
    std::vector<unsigned char> image;
    std::string Finish() { return m_digest.Finish(); }
    uint32_t BytesPerCylinder() const { return m_bytesPerCylinder; }

private:
    uint32_t m_bytesPerCylinder = 0;
    Digest m_digest{DigestAlgorithm::Sha256};
};

// What an archive has found out on its way, for the log, bag-info.txt and
// the result line.
struct DiskRecord {
    std::string drive, format, started, unreadable, verification, sha256;
    RescueResult rescue;
    std::vector<std::string> passes;
    WriteProtection protection = WriteProtection::Unknown;
    int protectionError = 0;  // why it is unknown
    FileSystemReport fileSystem;
};

// Whether the disk was write-protected, for the log and bag-info.txt.
std::string ProtectionText(const DiskRecord& record)
{
    switch (record.protection) {
    case WriteProtection::Protected:
        return "the disk was write-protected";
    case WriteProtection::Writable:
        return "the disk was not write-protected";
    default:
        return "not known: the drive did not say (" + SystemErrorText(record.protectionError) + ")";
    }
}

std::string ProtectionTag(WriteProtection protection)
{
    return protection == WriteProtection::Protected ? "yes" : protection == WriteProtection::Writable ? "no" : "unknown";
}

int Interrupted()
{
    ClearProgressLine();
    std::fprintf(stderr, "Interrupted: no bag has been made\n");
    return InterruptedStatus();
}

int ExitOf(int engineStatus)
{
    return engineStatus == EngineStatus::Interrupted ? Interrupted() : ExitStatus::Failed;
}

// A plain read into `folder`, checked by a second read.
int ReadTwice(const FloppyDrive& drive, const std::string& folder, bool quiet, DiskRecord& record)
{
    {
        Progress progress("Reading " + record.drive, quiet);
        const int status = CopyDiskToFiles(drive, folder, &progress);
        if (status != EngineStatus::Success) {
            return ExitOf(status);
        }
    }
    record.passes.push_back("read the disk into 80 cylinder files");
    Progress progress("Verifying " + record.drive, quiet);
    const int status = VerifyDiskAgainstFiles(drive, folder, &progress);
    if (status == EngineStatus::Differs) {
        ShowError("The two reads of " + record.drive + " differ; no bag has been made");
        return ExitStatus::Differs;
    }
    if (status != EngineStatus::Success) {
        return ExitOf(status);
    }
    record.passes.push_back("read the disk again and compared it with the files: identical");
    record.verification = "two reads identical";
    return ExitStatus::Success;
}

int Rescue(const FloppyDrive& drive, const std::string& folder, const std::string& map, const Arguments& arguments,
           DiskRecord& record)
{
    RescueOptions options;
    options.map = map;
    options.retries = RescueRetriesOf(arguments);
    options.mapNamesFolder = false;  // the files are not kept where they are rescued into
    RescueProgressLine progress(arguments.quiet);
    options.observer = &progress;
    const int status = RescueDiskToFiles(drive, folder, options, record.rescue);
    ClearProgressLine();
    if (status != EngineStatus::Success && status != EngineStatus::RescueIncomplete) {
        return ExitOf(status);
    }
    record.passes.push_back("rescued the disk: whole cylinders, then the tracks and sectors of those that failed, " +
                            std::to_string(options.retries) + " retries of each unreadable sector");
    record.verification = "rescue; every sector read is checked by the drive";
    return ExitStatus::Success;
}

std::string LogText(const Arguments& arguments, const DiskRecord& record)
{
    std::string log = "Trakoni " TRAKONI_VERSION_STRING " (trakoni-cli)\n";
    log += "Command: " + CommandLineText(arguments) + "\n";
    log += "Started: " + record.started + "\n";
    log += "Drive: " + record.drive + "\nFormat: " + record.format + "\n";
    log += "Write protection: " + ProtectionText(record) + "\n";
    for (size_t pass = 0; pass < record.passes.size(); ++pass) {
        log += "Pass " + std::to_string(pass + 1) + ": " + record.passes[pass] + "\n";
    }
    log += "Unreadable: " + RescueSummary(record.rescue) + "\n";
    log += "Verification: " + record.verification + "\n";
    log += "Image SHA-256: " + record.sha256 + "\n";
    log += FileSystemLog(record.fileSystem);
    log += "Sectors:\n" + DiskGridText(record.rescue, false);
    return log + "Ended: " + Now("%Y-%m-%dT%H:%M:%S") + "\n";
}

bool WriteLog(const std::string& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        ShowError("Could not write " + file);
    }
    return static_cast<bool>(out);
}

BagTags TagsOf(const Arguments& arguments, const std::string& id, const DiskRecord& record)
{
    BagTags tags = {{"Bag-Software-Agent", "Trakoni " TRAKONI_VERSION_STRING " (trakoni-cli)"},
                    {"Bagging-Date", Now("%Y-%m-%d")},
                    {"External-Identifier", id}};
    if (!arguments.operatorName.empty()) {
        tags.push_back({"Contact-Name", arguments.operatorName});
    }
    if (!arguments.note.empty()) {
        tags.push_back({"External-Description", arguments.note});
    }
    tags.push_back({"Trakoni-Drive", record.drive});
    tags.push_back({"Trakoni-Format", record.format});
    tags.push_back({"Trakoni-Write-Protected", ProtectionTag(record.protection)});
    tags.push_back({"Trakoni-Unreadable-Sectors", record.unreadable});
    tags.push_back({"Trakoni-Verification", record.verification});
    tags.push_back({"Trakoni-Image-SHA-256", record.sha256});
    for (const BagTag& tag : FileSystemTags(record.fileSystem)) {
        tags.push_back(tag);
    }
    tags.push_back({"Trakoni-Status", record.unreadable == "0" ? "complete" : "unreadable sectors"});
    return tags;
}

// The disk in the files of `folder` as the bag's payload: one image (the
// files removed) or, with --cylinders, the files themselves; its SHA-256,
// its bytes and its file system.
int MakePayload(const PartialBag& bag, const std::string& folder, const std::string& image, bool cylinders,
                DiskRecord& record, std::vector<unsigned char>& bytes)
{
    ImageDigest digest;
    const int status = cylinders ? ReadFileSet(folder, &digest) : PackFilesToImage(folder, image, &digest);
    if (status != EngineStatus::Success) {
        return ExitStatus::Failed;
    }
    std::error_code error;
    if (!cylinders) {
        fs::remove_all(bag.Path("cylinders"), error);
    }
    record.sha256 = digest.Finish();
    if (record.rescue.sectors.empty()) {
        // Read whole: every sector of the two-sided disk, read.
        const int sectorsPerTrack = static_cast<int>(digest.BytesPerCylinder() / 1024);
        record.rescue = {std::string(2 * kCylinderCount * sectorsPerTrack, '+'), sectorsPerTrack, 2};
    }
    record.unreadable = std::to_string(std::count(record.rescue.sectors.begin(), record.rescue.sectors.end(), '-'));
    bytes.swap(digest.image);
    record.fileSystem = ReportFileSystem(bytes.data(), bytes.size(), record.rescue.sectors);
    return record.sha256.empty() ? (ShowError("The system's checksum routines failed"), ExitStatus::Failed)
                                 : ExitStatus::Success;
}

// What an archive tells when it ends: the station's result line, the lines
// it warns with (a boot sector of another size than the disk), and whether
// the disk was not write-protected.
struct ArchiveOutcome {
    std::string result;
    std::vector<std::string> warnings;
    bool writable = false;
};

// Archives the disk in the drive as COLLECTION/ID. The identifier has been
// checked.
int ArchiveDisk(const Arguments& arguments, const std::string& id, ArchiveOutcome& outcome)
{
    const fs::path collection(arguments.operands[1]);
    const CtrlCHold hold;
    DiskRecord record;
    record.started = Now("%Y-%m-%dT%H:%M:%S");
    std::error_code error;
    if (fs::exists(collection / id, error) && !arguments.force) {
        ShowError(BagThere(collection / id));
        return ExitStatus::Failed;
    }
    std::optional<FloppyDrive> taken = TakeDrive(arguments.operands[0], false);
    DriveGeometry geometry{};
    if (!taken || ProbeWithMessage(*taken, geometry) != ExitStatus::Success) {
        return ExitStatus::Failed;
    }
    const FloppyDrive& drive = *taken;
    // Another archive may create the collection at the same moment: only
    // whether it is a folder afterwards counts.
    fs::create_directories(collection, error);
    if (!fs::is_directory(collection, error)) {
        ShowError("Could not create the folder " + collection.string());
        return ExitStatus::Failed;
    }
    record.drive = drive.name;
    record.format = FormatOfGeometry(geometry);
    record.protection = AskWriteProtection(drive, record.protectionError);
    PartialBag bag(collection, id);
    if (!bag.Ready()) {
        return ExitStatus::Failed;
    }
    const std::string folder = arguments.cylinders ? bag.Path("data/cylinders") : bag.Path("cylinders");
    fs::create_directories(folder, error);
    int status = arguments.rescue ? Rescue(drive, folder, bag.Path("data/" + id + ".map"), arguments, record)
                                  : ReadTwice(drive, folder, arguments.quiet, record);
    if (status != ExitStatus::Success) {
        return status;
    }
    std::vector<unsigned char> image;
    status = MakePayload(bag, folder, bag.Path("data/" + id + ".img"), arguments.cylinders, record, image);
    if (status != ExitStatus::Success) {
        return status;
    }
    const DfxmlSource source{arguments.cylinders ? "cylinders" : id + ".img", CommandLineText(arguments)};
    if (!WriteLog(bag.Path("data/" + id + ".log"), LogText(arguments, record)) ||
        !WriteLog(bag.Path("data/" + id + "-map.svg"),
                  DiskPictureSvg(record.rescue, id + ", " + record.format, DamagedFileLines(record.fileSystem.fat))) ||
        !WriteLog(bag.Path("data/" + id + "-dfxml.xml"),
                  WriteDfxml(record.fileSystem.fat, image.data(), image.size(), source)) ||
        CompleteBag(bag.Path(), TagsOf(arguments, id, record)) != EngineStatus::Success) {
        return ExitStatus::Failed;
    }
    if (Interruption() != InterruptedBy::Nothing) {
        return Interrupted();
    }
    if (!bag.Place(arguments.force)) {
        return ExitStatus::Failed;
    }
    const std::string placed = (collection / id).string();
    const auto waiting = [](const std::string& lock) {
        std::fprintf(stderr, "Waiting for the catalog's lock %s: another archive holds it\n", lock.c_str());
    };
    if (AddToCatalog(collection.string(), id, waiting) != EngineStatus::Success) {
        ShowError("The bag " + placed + " is complete; 'trakoni-cli catalog' lists it in the catalog");
        return ExitStatus::Failed;
    }
    outcome.result = "archived as " + placed + ": " + RescueSummary(record.rescue);
    outcome.writable = record.protection == WriteProtection::Writable;
    if (!record.fileSystem.bootSectorWarning.empty()) {
        outcome.warnings.push_back("WARNING: " + record.fileSystem.bootSectorWarning);
    }
    return record.unreadable == "0" ? ExitStatus::Success : ExitStatus::Incomplete;
}

// Waits, a probe a second, until the drive holds a disk (`present`) or none
// any more; false when Ctrl+C ends the wait.
bool WaitForDisk(const FloppyDrive& drive, bool present)
{
    for (;;) {
        DriveGeometry geometry{};
        const int probed = ProbeDrive(drive, geometry);
        // Two heads: Wine answers for a drive whose image file has gone with
        // the geometry of a hard disk.
        const bool inDrive = (probed == EngineStatus::Success && geometry.heads == 2) ||
                             probed == EngineStatus::DriveInUse;
        if (Interruption() != InterruptedBy::Nothing) {
            return false;
        }
        if (inDrive == present && probed != EngineStatus::DriveInUse) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

}  // namespace

bool NextIdentifier(std::istream& source, bool asking, std::string& id)
{
    if (asking) {
        std::fprintf(stderr, "Identifier of the next disk (empty to end): ");
        std::fflush(stderr);
    }
    if (!std::getline(source, id)) {
        return false;
    }
    id = !id.empty() && id.back() == '\r' ? id.substr(0, id.size() - 1) : id;
    return !id.empty();
}

namespace {

// The station's drive, checked as an archive checks it before the first disk
// is asked for; a drive or image file that holds no disk yet passes, a drive
// letter of no removable drive does not (no disk would ever come). False
// after an error line.
bool MayBeStationDrive(const std::string& word)
{
    if (NamesADrive(word) && !DriveIsThere(word)) {
        ShowError("No removable drive has the letter " + word + "; trakoni-cli list shows the floppy drives");
        return false;
    }
    DriveGeometry geometry{};
    std::error_code error;
    const bool empty = ProbeDrive(DriveNamed(word), geometry) == EngineStatus::NoDisk &&
                       (NamesADrive(word) || fs::is_regular_file(word, error));
    return empty || TakeDrive(word, false).has_value();
}

}  // namespace

int RunArchive(const Arguments& arguments)
{
    ArchiveOutcome outcome;
    const int status = ArchiveDisk(arguments, arguments.id, outcome);
    if (!outcome.result.empty() && (!arguments.quiet || status != ExitStatus::Success)) {
        std::fprintf(stderr, "%s %s\n", arguments.id.c_str(), outcome.result.c_str());
    }
    for (const std::string& warning : outcome.warnings) {
        std::fprintf(stderr, "%s %s\n", arguments.id.c_str(), warning.c_str());
    }
    return status;
}

int RunCatalog(const Arguments& arguments)
{
    const std::string& collection = arguments.operands[0];
    bool rebuilt = false;
    std::error_code error;
    if (!fs::is_directory(collection, error)) {
        ShowError(collection + " is not a folder");
        return ExitStatus::Failed;
    }
    if (RefreshCatalog(collection, rebuilt) != EngineStatus::Success) {
        return ExitStatus::Failed;
    }
    if (rebuilt && !arguments.quiet) {
        std::fprintf(stderr, "Rebuilt %s from the bags\n", (fs::path(collection) / "catalog.tsv").string().c_str());
    }
    std::ifstream catalog(fs::path(collection) / "catalog.tsv", std::ios::binary);
    std::cout << catalog.rdbuf();
    return ExitStatus::Success;
}

int RunValidate(const Arguments& arguments)
{
    int status = ExitStatus::Success;
    for (const std::string& bag : arguments.operands) {
        const std::vector<std::string> problems = ValidateBag(bag);
        for (const std::string& problem : problems) {
            std::printf("%s: %s\n", bag.c_str(), problem.c_str());
        }
        std::printf("%s: %s\n", bag.c_str(), problems.empty() ? "valid" : "NOT VALID");
        status = problems.empty() ? status : ExitStatus::Differs;
    }
    return status;
}

int RunStation(const Arguments& arguments)
{
    const FloppyDrive drive = DriveNamed(arguments.operands[0]);
    if (!MayBeStationDrive(arguments.operands[0])) {
        return ExitStatus::Failed;
    }
    std::ifstream file;
    if (!arguments.ids.empty()) {
        file.open(arguments.ids, std::ios::binary);
        if (!file) {
            ShowError("Could not read " + arguments.ids);
            return ExitStatus::Failed;
        }
    }
    std::istream& source = arguments.ids.empty() ? std::cin : file;
    const CtrlCHold hold;
    int counts[3] = {};  // archived, with unreadable sectors, failed or refused
    std::string id;
    bool interrupted = false;
    while (!interrupted && NextIdentifier(source, arguments.ids.empty(), id)) {
        const std::string problem = IdentifierProblem(id);
        std::error_code error;
        const bool taken = fs::exists(fs::path(arguments.operands[1]) / id, error) && !arguments.force;
        ArchiveOutcome outcome;
        std::string& result = outcome.result;
        int status = ExitStatus::Failed;
        if (!problem.empty() || taken) {
            result = "refused: " + (taken ? "already in the collection; --force replaces it" : problem);
        } else {
            std::fprintf(stderr, "Put the disk %s into %s\n", id.c_str(), drive.name.c_str());
            interrupted = !WaitForDisk(drive, true);
            status = interrupted ? ExitStatus::Interrupted : ArchiveDisk(arguments, id, outcome);
            interrupted = status == ExitStatus::Interrupted || status == ExitStatus::Terminated;
            result = !result.empty() ? result : interrupted ? "interrupted, no bag" : "failed (exit status " + std::to_string(status) + "), no bag; the message above says why";
        }
        ++counts[status == ExitStatus::Success ? 0 : status == ExitStatus::Incomplete ? 1 : 2];
        std::printf("%s: %s\n", id.c_str(), result.c_str());
        if (outcome.writable) {
            outcome.warnings.push_back("WARNING: the disk was not write-protected; some systems write to a disk "
                                       "they are shown, so slide the next disk's tab to open its hole first");
        }
        for (const std::string& warning : outcome.warnings) {
            std::printf("%s: %s\n", id.c_str(), warning.c_str());
        }
        std::fflush(stdout);
        if (!interrupted && problem.empty() && !taken) {
            std::fprintf(stderr, "Take the disk %s out of %s\n", id.c_str(), drive.name.c_str());
            interrupted = !WaitForDisk(drive, false);
        }
    }
    std::printf("Station ended: %d disks archived, %d with unreadable sectors, %d failed or refused%s\n", counts[0],
                counts[1], counts[2], interrupted ? " (interrupted)" : "");
    return interrupted ? ExitStatus::Interrupted : ExitStatus::Success;
}
