// The commands: each checks what it can before anything is written, runs the
// engine's operations with a progress observer, and turns the engine's status
// into the exit status. The engine has reported every failure by then, except
// an interruption: the command says what state the target is in.
#include "cli/Commands.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "trakoni/Version.h"
#include "archive/DiskPicture.h"
#include "archive/FatVolume.h"
#include "cli/Archive.h"
#include "cli/Checksums.h"
#include "cli/Drives.h"
#include "cli/Files.h"
#include "cli/Formats.h"
#include "cli/ConsoleMessages.h"
#include "cli/Progress.h"
#include "cli/Targets.h"
#include "engine/CommandLine.h"

namespace {

int Fail(const std::string& text)
{
    ShowError(text);
    return ExitStatus::Failed;
}

int Interrupted(const std::string& state)
{
    ClearProgressLine();
    std::fprintf(stderr, "Interrupted: %s\n", state.c_str());
    return InterruptedStatus();
}

int ExitStatusOf(int engineStatus)
{
    switch (engineStatus) {
    case EngineStatus::Success:
        return ExitStatus::Success;
    case EngineStatus::Differs:
        return ExitStatus::Differs;
    case EngineStatus::Interrupted:
        return InterruptedStatus();
    default:
        return ExitStatus::Failed;
    }
}

// "cylinders 0 to 41 <of> have been <how>"; for one, "cylinder 0 <of> has been <how>".
std::string CylindersDone(int done, const std::string& of, const std::string& how)
{
    if (done == 1) {
        return "cylinder 0" + of + " has been " + how;
    }
    return "cylinders 0 to " + std::to_string(done - 1) + of + " have been " + how;
}

// "cyl05.bin": the engine's file name without a folder.
std::string OwnName(int cylinder)
{
    return CylinderFileName("", cylinder).substr(1);
}

void PrintField(const char* label, const std::string& value)
{
    std::printf("%-12s%s\n", label, value.c_str());
}

int List(const Arguments&)
{
    ListDrives();
    return ExitStatus::Success;
}

// Verifies the disk against the files in `files`, which are those of
// `folder` (for `read`, before they are moved there); `state` is what an
// interruption leaves.
int Verify(const FloppyDrive& drive, const std::string& files, const std::string& folder, bool quiet,
           const std::string& state)
{
    Progress progress("Verifying " + drive.name, quiet);
    const int status = VerifyDiskAgainstFiles(drive, files, &progress);
    if (status == EngineStatus::Interrupted) {
        return Interrupted(state + "; " + CylindersDone(progress.Done(), "", "verified"));
    }
    if (status == EngineStatus::Success) {
        progress.Summary("Verified " + drive.name + " against " + folder);
    }
    return ExitStatusOf(status);
}

// Reads a damaged disk around its bad sectors. A folder that holds cylinder
// files is taken only with --force or with the map of an earlier rescue, whose
// areas still missing are read again.
int Rescue(const Arguments& arguments)
{
    const std::optional<FloppyDrive> taken = TakeDrive(arguments.operands[0], false);
    if (!taken) {
        return ExitStatus::Failed;
    }
    const FloppyDrive& drive = *taken;
    const std::string& folder = arguments.operands[1];
    RescueOptions options;
    options.map = arguments.map.empty() ? JoinPath(folder, "rescue.map") : arguments.map;
    options.retries = RescueRetriesOf(arguments);
    if (!Exists(options.map) && !MayFill(folder, arguments.force)) {
        return ExitStatus::Failed;
    }
    const FolderForFiles target(folder);
    if (!target.Ready()) {
        return ExitStatus::Failed;
    }
    RescueProgressLine progress(arguments.quiet);
    options.observer = &progress;
    RescueResult result;
    const int status = RescueDiskToFiles(drive, folder, options, result);
    ClearProgressLine();
    if (status == EngineStatus::Interrupted) {
        return Interrupted("the files in " + folder + " and the map " + options.map +
                           " hold what was read; the same command goes on from there");
    }
    if (status != EngineStatus::Success && status != EngineStatus::RescueIncomplete) {
        return ExitStatusOf(status);
    }
    if (!arguments.quiet || status != EngineStatus::Success) {
        std::fprintf(stderr, "Rescued %s into %s: %s\n", drive.name.c_str(), folder.c_str(),
                     RescueSummary(result).c_str());
    }
    return status == EngineStatus::Success ? ExitStatus::Success : ExitStatus::Incomplete;
}

int Read(const Arguments& arguments)
{
    if (arguments.rescue) {
        return Rescue(arguments);
    }
    const std::optional<FloppyDrive> taken = TakeDrive(arguments.operands[0], false);
    if (!taken) {
        return ExitStatus::Failed;
    }
    const FloppyDrive& drive = *taken;
    const std::string& folder = arguments.operands[1];
    if (!MayFill(folder, arguments.force)) {
        return ExitStatus::Failed;
    }
    // Into a folder of their own first, so that the files there are replaced
    // only by a whole (and, when asked, verified) set.
    const FolderForFiles target(folder);
    if (!target.Ready()) {
        return ExitStatus::Failed;
    }
    PartialFileSet partial(folder);
    if (!partial.Ready()) {
        return ExitStatus::Failed;
    }
    const std::string untouched = "no cylinder file has been written to " + folder;
    {
        Progress progress("Reading " + drive.name, arguments.quiet);
        const int status = CopyDiskToFiles(drive, partial.Path(), &progress);
        if (status == EngineStatus::Interrupted) {
            return Interrupted(CylindersDone(progress.Done(), " of the disk", "read") + "; " +
                               untouched);
        }
        if (status != EngineStatus::Success) {
            return ExitStatusOf(status);
        }
        progress.Summary("Read " + drive.name + " into " + folder);
    }
    if (arguments.verify) {
        const int verified = Verify(drive, partial.Path(), folder, arguments.quiet, untouched);
        if (verified != ExitStatus::Success) {
            return verified;
        }
    }
    return partial.Place(arguments.force) ? ExitStatus::Success : ExitStatus::Failed;
}

int Write(const Arguments& arguments)
{
    const std::string& folder = arguments.operands[0];
    const std::optional<FloppyDrive> taken = TakeDrive(arguments.operands[1], true);
    if (!taken) {
        return ExitStatus::Failed;
    }
    const FloppyDrive& drive = *taken;
    if (!IsFolder(folder)) {
        return Fail(folder + " is not a folder");
    }
    // As the dialog does: the lowest missing file is named before the drive is touched.
    const FileSetSurvey survey = SurveyFileSet(folder);
    if (!survey.missing.empty()) {
        return Fail("File " + CylinderFileName(folder, survey.missing.front()) +
                    " does not exist.  Imaging aborted.");
    }
    {
        Progress progress("Writing " + drive.name, arguments.quiet);
        const int status = CopyFilesToDisk(drive, folder, &progress);
        if (status == EngineStatus::Interrupted) {
            return Interrupted(CylindersDone(progress.Done(), " of the disk", "written") +
                               "; the disk now holds a mix");
        }
        if (status != EngineStatus::Success) {
            return ExitStatusOf(status);
        }
        progress.Summary("Wrote " + folder + " onto " + drive.name);
    }
    // With the copy's progress gone: one at a time holds Ctrl+C.
    return arguments.verify
               ? Verify(drive, folder, folder, arguments.quiet, "the copy is complete")
               : ExitStatus::Success;
}

int Pack(const Arguments& arguments)
{
    const std::string& folder = arguments.operands[0];
    const std::string& image = arguments.operands[1];
    if (IsFolder(image)) {
        return Fail(image + " is a folder");
    }
    if (!arguments.force && Exists(image)) {
        return Fail(image + " already exists; use --force to replace it");
    }
    PartialImage partial(image);
    if (!partial.Ready()) {
        return ExitStatus::Failed;
    }
    Progress progress("Packing", arguments.quiet);
    const int status = PackFilesToImage(folder, partial.Path(), &progress);
    if (status == EngineStatus::Interrupted) {
        return Interrupted("nothing has been written to " + image);
    }
    if (status != EngineStatus::Success) {
        return ExitStatusOf(status);
    }
    if (!partial.Place(arguments.force)) {
        return ExitStatus::Failed;
    }
    progress.Summary("Packed " + folder + " into " + image);
    return ExitStatus::Success;
}

int Unpack(const Arguments& arguments)
{
    const std::string& image = arguments.operands[0];
    const std::string& folder = arguments.operands[1];
    if (!MayFill(folder, arguments.force)) {
        return ExitStatus::Failed;
    }
    const FolderForFiles target(folder);
    if (!target.Ready()) {
        return ExitStatus::Failed;
    }
    PartialFileSet partial(folder);
    if (!partial.Ready()) {
        return ExitStatus::Failed;
    }
    Progress progress("Unpacking", arguments.quiet);
    const int status = UnpackImageToFiles(image, partial.Path(), &progress);
    if (status == EngineStatus::Interrupted) {
        return Interrupted("no cylinder file has been written to " + folder);
    }
    if (status != EngineStatus::Success) {
        return ExitStatusOf(status);
    }
    if (!partial.Place(arguments.force)) {
        return ExitStatus::Failed;
    }
    progress.Summary("Unpacked " + image + " into " + folder);
    return ExitStatus::Success;
}

// The geometry of a set or an image, from its cylinder's size: two heads
// unless told otherwise or the cylinder has an odd number of sectors.
void SetGeometryOfCylinder(RescueResult& disk, uint32_t bytesPerCylinder, int heads)
{
    const int sectors = static_cast<int>(bytesPerCylinder / 512);
    disk.tracksPerCylinder = heads > 0 ? heads : sectors % 2 == 0 ? 2 : 1;
    disk.sectorsPerTrack = sectors / disk.tracksPerCylinder;
}

// Progress that also sums up every cylinder it is told of, and finds the
// sectors a rescue marked.
class SummingProgress : public Progress {
public:
    using Progress::Progress;

    bool CylinderDone(int cylinder, const unsigned char* data, uint32_t bytes) override
    {
        m_bytesPerCylinder = bytes;
        sums.Add(data, bytes);
        ScanRescueMarkers(data, bytes, marked.sectors);
        if (cylinder == 0) {
            m_start.assign(data, data + std::min<uint32_t>(bytes, 512));
        }
        m_imageBytes += bytes;
        return Progress::CylinderDone(cylinder, data, bytes);
    }
    // The boot sector's word on the disk's size, once the whole image is read.
    std::string BootSizeWarning() const
    {
        return BootSectorSizeWarning(m_start.data(), m_start.size(), m_imageBytes);
    }
    uint32_t BytesPerCylinder() const { return m_bytesPerCylinder; }

    Checksums sums;
    RescueResult marked;

private:
    uint32_t m_bytesPerCylinder = 0;
    std::vector<unsigned char> m_start;  // the boot sector
    uint64_t m_imageBytes = 0;
};

// Reads the source with `read(observer)` and prints its format (given, or
// from its cylinder size) and checksums; before them, the sectors that hold
// a rescue's markers, if any, and then the status says the image is not whole.
// A set or an image has two heads unless its cylinder has an odd number of sectors.
template <typename Read>
int PrintFormatAndChecksums(std::string format, bool quiet, Read read, int heads = 0)
{
    SummingProgress summing("Reading", quiet);
    if (!summing.sums.Ready()) {
        return Fail("The system's checksum routines are not available");
    }
    const int status = read(&summing);
    if (status == EngineStatus::Interrupted) {
        return Interrupted("no checksum has been computed");
    }
    if (status != EngineStatus::Success) {
        return ExitStatusOf(status);
    }
    if (!summing.sums.Ready()) {
        return Fail("The system's checksum routines failed");
    }
    if (format.empty()) {
        format = FormatOfCylinderSize(summing.BytesPerCylinder());
    }
    PrintField("format:", format);
    const std::string warning = summing.BootSizeWarning();
    if (!warning.empty()) {
        PrintField("warning:", warning);
    }
    RescueResult& marked = summing.marked;
    const bool whole = marked.sectors.find_first_not_of('+') == std::string::npos;
    if (!whole) {
        SetGeometryOfCylinder(marked, summing.BytesPerCylinder(), heads);
        PrintField("incomplete:", "a rescue left " + RescueSummary(marked) +
                                      "; the checksums are of the image with its markers");
    }
    PrintField("CRC32:", summing.sums.Crc32());
    PrintField("MD5:", summing.sums.Md5());
    PrintField("SHA-1:", summing.sums.Sha1());
    PrintField("SHA-256:", summing.sums.Sha256());
    return whole ? ExitStatus::Success : ExitStatus::Incomplete;
}

int InfoOfDrive(const std::string& word, bool quiet)
{
    std::optional<FloppyDrive> drive = TakeDrive(word, false);
    DriveGeometry geometry{};
    if (!drive || ProbeWithMessage(*drive, geometry) != ExitStatus::Success) {
        return ExitStatus::Failed;
    }
    return PrintFormatAndChecksums(
        FormatOfGeometry(geometry), quiet,
        [&drive](CylinderObserver* observer) { return ReadDisk(*drive, observer); },
        static_cast<int>(geometry.heads));
}

int InfoOfFileSet(const std::string& folder, bool quiet)
{
    const FileSetSurvey survey = SurveyFileSet(folder);
    if (survey.missing.size() == kCylinderCount) {
        return Fail(folder + " holds no cylinder files");
    }
    if (!survey.Complete()) {
        PrintField("format:", FormatOfCylinderSize(survey.bytesPerCylinder));
        std::string missing;
        for (const int cylinder : survey.missing) {
            missing += (missing.empty() ? "" : " ") + OwnName(cylinder);
        }
        std::string odd;
        for (const FileSetSurvey::OddFile& file : survey.oddSizes) {
            odd += (odd.empty() ? "" : ", ") + OwnName(file.cylinder) +
                   " (" + std::to_string(file.bytes) + " bytes)";
        }
        PrintField("missing:", missing.empty() ? "none" : missing);
        PrintField("wrong size:", odd.empty() ? "none" : odd);
        return Fail(folder + " is not a complete set of 80 cylinder files of one size");
    }
    return PrintFormatAndChecksums({}, quiet, [&folder](CylinderObserver* observer) {
        return ReadFileSet(folder, observer);
    });
}

int Info(const Arguments& arguments)
{
    const std::string& target = arguments.operands[0];
    if (NamesADrive(target)) {
        return InfoOfDrive(target, arguments.quiet);
    }
    if (IsFolder(target)) {
        return InfoOfFileSet(target, arguments.quiet);
    }
    return PrintFormatAndChecksums({}, arguments.quiet, [&target](CylinderObserver* observer) {
        return ReadImage(target, observer);
    });
}

// Finds the sectors a rescue marked in the cylinders as they go by.
class MarkerScan : public CylinderObserver {
public:
    bool CylinderDone(int, const unsigned char* data, uint32_t bytes) override
    {
        ScanRescueMarkers(data, bytes, marked.sectors);
        bytesPerCylinder = bytes;
        return true;
    }

    RescueResult marked;
    uint32_t bytesPerCylinder = 0;
};

// The sectors of a set (its map's, or else its markers') or of a map, as a
// grid; 4 when not every one was read.
int Map(const Arguments& arguments)
{
    const std::string& target = arguments.operands[0];
    const bool folder = IsFolder(target);
    const std::string map = folder ? JoinPath(target, "rescue.map") : target;
    RescueResult disk;
    if (folder && !Exists(map)) {
        MarkerScan scan;
        const int status = ReadFileSet(target, &scan);
        if (status != EngineStatus::Success) {
            return ExitStatusOf(status);
        }
        disk = scan.marked;
        SetGeometryOfCylinder(disk, scan.bytesPerCylinder, 0);
    } else {
        std::ifstream file(map, std::ios::binary);
        if (!file) {
            return Fail("Could not read " + map);
        }
        const std::string wrong = ReadRescueMap(file, disk);
        if (!wrong.empty()) {
            return Fail(map + " is not a rescue map (" + wrong + ")");
        }
    }
    std::fputs(DiskGridText(disk, ColourOnStandardOutput()).c_str(), stdout);
    return disk.sectors.find_first_not_of('+') == std::string::npos ? ExitStatus::Success : ExitStatus::Incomplete;
}

int Help(const Arguments&)
{
    std::fputs(kUsage, stdout);
    return ExitStatus::Success;
}

int Version(const Arguments&)
{
    std::printf("trakoni-cli %s\n%s\n", TRAKONI_VERSION_STRING, TRAKONI_LEGAL_NOTICE);
    return ExitStatus::Success;
}

struct Handler {
    const char* command;
    int (*run)(const Arguments&);
};
const Handler kHandlers[] = {
    {"--help", Help}, {"--version", Version}, {"list", List}, {"read", Read},
    {"write", Write}, {"pack", Pack},         {"unpack", Unpack}, {"info", Info}, {"map", Map}, {"files", RunFiles},
    {"archive", RunArchive}, {"catalog", RunCatalog}, {"validate", RunValidate}, {"station", RunStation},
};

}  // namespace

int ProbeWithMessage(FloppyDrive& drive, DriveGeometry& geometry)
{
    const int probed = ProbeDrive(drive, geometry);
    if (probed == EngineStatus::DriveInUse) {
        return Fail("Drive " + drive.name + " is in use");
    }
    if (probed == EngineStatus::NoDisk) {
        return Fail("There is no disk in drive " + drive.name);
    }
    if (probed != EngineStatus::Success) {
        return Fail("Drive " + drive.name + " cannot be opened");
    }
    drive.probedBytes = 1ULL * kCylinderCount * geometry.heads *
                        geometry.sectorsPerTrack * geometry.bytesPerSector;
    return ExitStatus::Success;
}

int InterruptedStatus()
{
    return Interruption() == InterruptedBy::Termination ? ExitStatus::Terminated
                                                        : ExitStatus::Interrupted;
}

int RunCommand(const Arguments& arguments)
{
    for (const Handler& handler : kHandlers) {
        if (arguments.command == handler.command) {
            return handler.run(arguments);
        }
    }
    return Fail("unknown command " + arguments.command);
}
