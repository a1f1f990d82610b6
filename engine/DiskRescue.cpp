// The rescue: the disk read in ever smaller pieces around its bad sectors,
// each piece that reads put into its place in its cylinder file, and the map
// saved after every request, so that an interruption loses nothing read.
#include "engine/DiskRescue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/CylinderFiles.h"
#include "engine/DriveSession.h"
#include "engine/FilePlacement.h"
#include "engine/RescueMap.h"
#include "engine/Imager.h"
#include "drive/FloppyFormats.h"

namespace {

constexpr char kRead = '+', kUnreadable = '-', kNotRead = '?';

// The marker of a sector of this status, over one sector.
void FillWithMarker(unsigned char* sector, uint32_t sectorBytes, char status)
{
    const char* marker = status == kUnreadable ? kBadSectorMarker : kNotReadMarker;
    const size_t length = std::strlen(marker);
    for (uint32_t i = 0; i < sectorBytes; ++i) {
        sector[i] = static_cast<unsigned char>(marker[i % length]);
    }
}

// The folder as the map names it: absolute, without "." or "..".
std::string FolderIdentity(const std::string& folder)
{
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, failed);
    std::string text = (failed ? std::filesystem::path(folder) : absolute).lexically_normal().string();
    while (text.size() > 1 && (text.back() == '\\' || text.back() == '/') && text[text.size() - 2] != ':') {
        text.pop_back();
    }
    return text;
}

bool SameFolder(const std::string& a, const std::string& b)
{
    std::error_code failed;
    return a == b || std::filesystem::equivalent(a, b, failed);
}

// "1474560 bytes, 80 x 2 x 18 x 512".
std::string DiskIdentity(const DriveGeometry& geometry, uint32_t bytesPerCylinder)
{
    return std::to_string(1ULL * bytesPerCylinder * kCylinderCount) + " bytes, " +
           std::to_string(kCylinderCount) + " x " + std::to_string(geometry.heads) +
           " x " + std::to_string(geometry.sectorsPerTrack) + " x " +
           std::to_string(geometry.bytesPerSector);
}

// Each sector of `sectors` takes the status of the area that holds it whole
// (of none: not read yet); the map's size has been checked.
void SectorStatusesOfMap(const MapFile& map, uint32_t sectorBytes, std::string& sectors)
{
    for (const MapFile::Area& area : map.areas) {
        for (long long s = (area.first + sectorBytes - 1) / sectorBytes;
             (s + 1) * sectorBytes <= area.first + area.size; ++s) {
            sectors[static_cast<size_t>(s)] =
                area.status == kRead || area.status == kUnreadable ? area.status : kNotRead;
        }
    }
}

// The geometry of a Trakoni-Disk line ("1474560 bytes, 80 x 2 x 18 x 512"),
// or else of the floppy format of the map's size; false when neither fits
// the map.
bool GeometryOfMap(const MapFile& map, RescueResult& result, uint32_t& sectorBytes)
{
    long long bytes = 0;
    int cylinders = 0, heads = 0, perTrack = 0, sectorSize = 0, end = 0;
    if (!map.disk.empty()) {
        const bool parsed = std::sscanf(map.disk.c_str(), "%lld bytes, %d x %d x %d x %d%n", &bytes, &cylinders,
                                        &heads, &perTrack, &sectorSize, &end) == 5 && map.disk[end] == '\0';
        const bool fits = parsed && cylinders == kCylinderCount && heads >= 1 && heads <= 2 && perTrack >= 1 &&
                          perTrack <= 255 && (sectorSize == 512 || sectorSize == 1024 || sectorSize == 2048) &&
                          1LL * cylinders * heads * perTrack * sectorSize == map.bytes;
        if (!fits) {
            return false;
        }
    } else {
        const FloppyFormat* format = FloppyFormatOfSize(map.bytes);
        if (format == nullptr) {
            return false;
        }
        heads = static_cast<int>(kFloppyHeads), perTrack = static_cast<int>(format->sectorsPerTrack);
        sectorSize = static_cast<int>(kFloppySectorBytes);
    }
    result.tracksPerCylinder = heads;
    result.sectorsPerTrack = perTrack;
    sectorBytes = static_cast<uint32_t>(sectorSize);
    return true;
}

// The unreadable runs of one track, numbered from 1: "5-6, 9".
std::string UnreadableRuns(const std::string& track)
{
    std::string runs;
    for (size_t first = track.find(kUnreadable); first != std::string::npos;
         first = track.find(kUnreadable, first)) {
        const size_t end = std::min(track.find_first_not_of(kUnreadable, first), track.size());
        runs += (runs.empty() ? "" : ", ") + std::to_string(first + 1);
        runs += end - first > 1 ? "-" + std::to_string(end) : "";
        first = end;
    }
    return runs;
}

class Rescue {
public:
    Rescue(const FloppyDrive& drive, OpenedDrive& session, const std::string& folder,
           const RescueOptions& options, std::string& sectors)
        : m_drive(drive), m_session(session), m_folder(folder), m_options(options), m_sectors(sectors),
          m_map(options.map.empty() ? JoinPath(folder, "rescue.map") : options.map),
          m_folderIdentity(FolderIdentity(folder)),
          m_diskIdentity(DiskIdentity(session.geometry, session.bytesPerCylinder)),
          m_sectorBytes(session.geometry.bytesPerSector),
          m_perTrack(static_cast<int>(session.geometry.sectorsPerTrack)),
          m_perCylinder(m_perTrack * static_cast<int>(session.geometry.heads)),
          m_witnessBytes(m_sectorBytes)
    {
    }

    // Whole cylinders first; then, where they failed, tracks; then sectors;
    // then the sectors still unreadable, again and again.
    int Run()
    {
        int status = Prepare();
        if (status == EngineStatus::Success) {
            status = Pass(RescuePass::Cylinders, m_perCylinder, 0);
        }
        if (status == EngineStatus::Success) {
            status = Pass(RescuePass::Tracks, m_perTrack, 0);
        }
        if (status == EngineStatus::Success) {
            status = Pass(RescuePass::Sectors, 1, 0);
        }
        for (int k = 1; status == EngineStatus::Success && k <= m_options.retries; ++k) {
            status = Pass(RescuePass::Retry, 1, k);
        }
        if (status != EngineStatus::Success) {
            return status;
        }
        return Count(kRead) == m_sectors.size() ? EngineStatus::Success
                                                 : EngineStatus::RescueIncomplete;
    }

private:
    // Without a map no file in the folder holds the disk yet; with one, a file
    // is trusted for the sectors the map says were read, and only while it has
    // its full size. Every other file is written full of markers before the
    // drive is read, so that the set is whole from the start.
    int Prepare()
    {
        const int loaded = LoadMap();
        if (loaded != EngineStatus::Success) {
            return loaded;
        }
        for (int cylinder = 0; cylinder < kCylinderCount; ++cylinder) {
            const auto first = m_sectors.begin() + cylinder * m_perCylinder;
            const auto end = first + m_perCylinder;
            if (std::find(first, end, kRead) != end &&
                CheckCylinderFileSize(m_session.FileBytes(), m_folder, cylinder) == 0) {
                continue;
            }
            std::replace(first, end, kRead, kNotRead);
            for (int sector = 0; sector < m_perCylinder; ++sector) {
                FillWithMarker(m_session.Buffer() + sector * m_sectorBytes, m_sectorBytes,
                               first[sector]);
            }
            if (WriteCylinderFile(m_session.Buffer(), m_session.FileBytes(), m_folder,
                                  cylinder) != EngineStatus::Success) {
                return FileNotWritten();
            }
        }
        return SaveMap();
    }

    // The map of an earlier rescue, if there is one, must be a mapfile of this
    // disk's size that names this disk, and this folder unless it names none; a sector then takes
    // the status of the area that holds it whole (of none: not read yet).
    int LoadMap()
    {
        std::ifstream file(m_map, std::ios::binary);
        if (!file) {
            return std::filesystem::exists(m_map) ? Refuse("Could not read the map " + m_map)
                                                  : EngineStatus::Success;
        }
        MapFile map;
        const std::string wrong = ParseMap(file, map);
        const long long bytes = 1LL * m_sectorBytes * static_cast<long long>(m_sectors.size());
        if (!wrong.empty()) {
            return Refuse(m_map + " is not a rescue map (" + wrong + ")");
        }
        if (map.bytes != bytes) {
            return Refuse(m_map + " is the map of a disk of " + std::to_string(map.bytes) +
                          " bytes, not of this disk's " + std::to_string(bytes));
        }
        if (map.disk.empty()) {
            return Refuse(m_map + " does not say which disk it belongs to (it has no Trakoni-Disk line)");
        }
        if (!map.folder.empty() && !SameFolder(map.folder, m_folderIdentity)) {
            return Refuse(m_map + " is the map of a rescue into " + map.folder + ", not into " +
                          m_folderIdentity);
        }
        if (map.disk != m_diskIdentity) {
            return Refuse(m_map + " is the map of a disk of " + map.disk +
                          ", not of this disk's " + m_diskIdentity);
        }
        SectorStatusesOfMap(map, m_sectorBytes, m_sectors);
        return CheckSameDisk();
    }

    // The first sector the map says was read, of a file that is whole, must
    // read from the disk as that file holds it; otherwise the drive holds
    // another disk. A sector that does not read now tells nothing.
    int CheckSameDisk()
    {
        unsigned char* file = m_session.Buffer();
        unsigned char* disk = m_session.Buffer() + m_session.bytesPerCylinder;
        for (size_t s = m_sectors.find(kRead); s != std::string::npos;
             s = m_sectors.find(kRead, (s / m_perCylinder + 1) * m_perCylinder)) {
            const int cylinder = static_cast<int>(s / m_perCylinder);
            if (ReadCylinderFile(file, m_session.FileBytes(), m_folder, cylinder) !=
                EngineStatus::Success) {
                continue;  // written afresh by Prepare
            }
            const uint32_t within = static_cast<uint32_t>(s % m_perCylinder) * m_sectorBytes;
            if (m_session.drive->Read(disk, uint64_t{m_sectorBytes} * s, m_sectorBytes).Complete() &&
                !std::equal(disk, disk + m_sectorBytes, file + within)) {
                const int track = static_cast<int>(s) / m_perTrack;
                return Refuse("The drive holds another disk than the map " + m_map +
                              " (cylinder " + std::to_string(cylinder) + " head " +
                              std::to_string(track % (m_perCylinder / m_perTrack)) +
                              " sector " + std::to_string(s % m_perTrack + 1) +
                              " differs from " + CylinderFileName(m_folder, cylinder) + ")");
            }
            Remember(s, file + within);
            break;
        }
        return EngineStatus::Success;
    }

    // Reads each piece of `sectors` sectors of which nothing is read yet.
    int Pass(RescuePass pass, int sectors, int retry)
    {
        for (int first = 0; first < static_cast<int>(m_sectors.size()); first += sectors) {
            const auto piece = m_sectors.begin() + first;
            if (std::find(piece, piece + sectors, kRead) == piece + sectors) {
                const int status = ReadPiece(pass, retry, first, sectors);
                if (status != EngineStatus::Success) {
                    return status;
                }
            }
        }
        return EngineStatus::Success;
    }

    // One request. A piece that reads goes into its file; a sector that does
    // not is unreadable (a larger piece is split by the next pass).
    int ReadPiece(RescuePass pass, int retry, int first, int sectors)
    {
        const int cylinder = first / m_perCylinder;
        const RescueProgress progress{pass, retry, m_options.retries, cylinder,
                                      static_cast<int>(Count(kUnreadable))};
        if (m_options.observer != nullptr && !m_options.observer->GoOn(progress)) {
            return EngineStatus::Interrupted;
        }
        const uint32_t within = static_cast<uint32_t>(first % m_perCylinder) * m_sectorBytes;
        const uint32_t bytes = static_cast<uint32_t>(sectors) * m_sectorBytes;
        unsigned char* place = m_session.Buffer() + within;
        m_position = uint64_t{m_sectorBytes} * static_cast<uint64_t>(first);
        const TransferResult read = m_session.drive->Read(place, m_position, bytes);
        if (read.Complete()) {
            if (WriteCylinderFilePart(place, static_cast<int>(within), static_cast<int>(bytes),
                                      m_folder, cylinder) != EngineStatus::Success) {
                return FileNotWritten();
            }
            std::fill_n(m_sectors.begin() + first, sectors, kRead);
            Remember(static_cast<size_t>(first + sectors - 1), place + bytes - m_sectorBytes);
            return SaveMap();
        }
        const int failed = WhyPieceFailed(read);
        if (failed != EngineStatus::Success) {
            return failed;
        }
        if (sectors == 1 && m_sectors[static_cast<size_t>(first)] != kUnreadable) {
            // Its marker says so only now: before, it said "not read yet".
            m_sectors[static_cast<size_t>(first)] = kUnreadable;
            FillWithMarker(place, m_sectorBytes, kUnreadable);
            if (WriteCylinderFilePart(place, static_cast<int>(within), static_cast<int>(bytes),
                                      m_folder, cylinder) != EngineStatus::Success) {
                return FileNotWritten();
            }
        }
        return SaveMap();
    }

    // Success when a failed request means a bad piece: only while the disk
    // still answers as before, for the errors of a bad sector (EIO, or "not
    // ready" under Wine) come from a disk pulled out as well. A disk that has
    // gone or changed stops the rescue, its sectors not tried.
    int WhyPieceFailed(const TransferResult& read)
    {
        if (read.stop == TransferStop::NotStarted || read.stop == TransferStop::Abandoned) {
            ShowEngineError("Could not read from disk.  Disk might be damaged or missing.");
            return EngineStatus::TransferFailed;
        }
        const DriveFailure failure = read.error.failure;
        if (failure != DriveFailure::Gone && failure != DriveFailure::NoDisk && DiskAnswers()) {
            return EngineStatus::Success;
        }
        ShowEngineError("the disk in " + m_drive.name + " was taken out (or changed); " +
                        Grouped(Count(kRead)) + " of " + Grouped(m_sectors.size()) +
                        " sectors read, the rest not tried yet: put it back and run again "
                        "with the map");
        return EngineStatus::Failure;
    }

    // The geometry asked again is the session's, and the last sector read
    // (if any) reads again, into the spare cylinder, as it read before.
    bool DiskAnswers()
    {
        DriveGeometry now{};
        if (m_session.drive->QueryGeometry(now).Failed() || !(now == m_session.geometry)) {
            return false;
        }
        if (m_witness == std::string::npos) {
            return true;  // nothing read yet to compare with
        }
        unsigned char* spare = m_session.Buffer() + m_session.bytesPerCylinder;
        return m_session.drive->Read(spare, uint64_t{m_sectorBytes} * m_witness, m_sectorBytes).Complete() &&
               std::equal(spare, spare + m_sectorBytes, m_witnessBytes.begin());
    }

    // Keeps sector `sector` as read, to tell this disk by later.
    void Remember(size_t sector, const unsigned char* bytes)
    {
        m_witness = sector;
        std::copy_n(bytes, m_sectorBytes, m_witnessBytes.begin());
    }

    // Written under a temporary name of ours first and then renamed over the
    // map, so that an interruption leaves the old map or the new one, never
    // half of one.
    int SaveMap()
    {
        const std::string temporary = CreateTemporaryFile(m_map);
        if (temporary.empty()) {
            return EngineStatus::Failure;
        }
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << MapText();
        file.close();
        int error = 0;
        if (!file || !MoveIntoPlace(temporary, m_map, true, error)) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            ShowEngineError("Could not write the map " + m_map);
            return EngineStatus::Failure;
        }
        return EngineStatus::Success;
    }

    // The header, the status line, then one line per run of equal statuses.
    std::string MapText() const
    {
        char line[80];
        std::snprintf(line, sizeof line, "0x%08llX     %c               1\n",
                      static_cast<unsigned long long>(m_position),
                      Count(kNotRead) > 0 ? kNotRead : kRead);
        std::string text = "# Mapfile. Created by Trakoni\n";
        text += m_options.mapNamesFolder ? kFolderTag + m_folderIdentity + "\n" : "";
        text += kDiskTag + m_diskIdentity + "\n";
        text += "# current_pos  current_status  current_pass\n";
        text += line;
        text += "#      pos        size  status\n";
        for (size_t first = 0, end = 0; first < m_sectors.size(); first = end) {
            end = std::min(m_sectors.find_first_not_of(m_sectors[first], first),
                           m_sectors.size());
            std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  %c\n",
                          1ULL * m_sectorBytes * first, 1ULL * m_sectorBytes * (end - first),
                          m_sectors[first]);
            text += line;
        }
        return text;
    }

    size_t Count(char status) const
    {
        return static_cast<size_t>(std::count(m_sectors.begin(), m_sectors.end(), status));
    }

    static int Refuse(const std::string& text)
    {
        ShowEngineError(text);
        return EngineStatus::Failure;
    }

    int FileNotWritten() const
    {
        ShowEngineError("Could not write to disk");
        return EngineStatus::Failure;
    }

    const FloppyDrive& m_drive;
    OpenedDrive& m_session;
    const std::string& m_folder;
    const RescueOptions& m_options;
    std::string& m_sectors;
    const std::string m_map;
    const std::string m_folderIdentity;
    const std::string m_diskIdentity;
    const uint32_t m_sectorBytes;
    const int m_perTrack;
    const int m_perCylinder;
    uint64_t m_position = 0;
    size_t m_witness = std::string::npos;
    std::vector<unsigned char> m_witnessBytes;
};

}  // namespace

int RescueDiskToFiles(const FloppyDrive& drive, const std::string& folder,
                      const RescueOptions& options,
                      RescueResult& result)
{
    result = RescueResult{};
    OpenedDrive session;
    // The second cylinder is the spare that tells whether the disk still answers.
    const int opened = OpenSession(drive, DriveUse::Reading, session, 2);
    if (opened != EngineStatus::Success) {
        return opened;
    }
    result.sectorsPerTrack = static_cast<int>(session.geometry.sectorsPerTrack);
    result.tracksPerCylinder = static_cast<int>(session.geometry.heads);
    const uint32_t perCylinder = session.bytesPerCylinder / session.geometry.bytesPerSector;
    result.sectors.assign(size_t{perCylinder} * kCylinderCount, kNotRead);
    return Rescue(drive, session, folder, options, result.sectors).Run();
}

std::string Grouped(size_t number)
{
    std::string digits = std::to_string(number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<size_t>(at), ",");
    }
    return digits;
}

std::string RescueSummary(const RescueResult& result)
{
    const std::string& sectors = result.sectors;
    const auto count = [&](char status) {
        return Grouped(static_cast<size_t>(std::count(sectors.begin(), sectors.end(), status)));
    };
    std::string text =
        count(kUnreadable) + " of " + Grouped(sectors.size()) + " sectors unreadable";
    if (sectors.find(kNotRead) != std::string::npos) {
        text += ", " + count(kNotRead) + " not read";
    }
    const char* separator = ": ";
    const size_t perTrack = static_cast<size_t>(result.sectorsPerTrack);
    const size_t heads = static_cast<size_t>(result.tracksPerCylinder);
    for (size_t track = 0; track * perTrack < sectors.size(); ++track) {
        const std::string runs = UnreadableRuns(sectors.substr(track * perTrack, perTrack));
        if (!runs.empty()) {
            text += separator + ("cylinder " + std::to_string(track / heads)) + " head " +
                    std::to_string(track % heads) +
                    (runs.find_first_of(",-") == std::string::npos ? " sector " : " sectors ") +
                    runs;
            separator = "; ";
        }
    }
    return text;
}

void ScanRescueMarkers(const unsigned char* data, uint32_t bytes, std::string& sectors)
{
    constexpr uint32_t kScanned = 512;
    unsigned char marker[2][kScanned];
    FillWithMarker(marker[0], kScanned, kUnreadable);
    FillWithMarker(marker[1], kScanned, kNotRead);
    for (uint32_t at = 0; at + kScanned <= bytes; at += kScanned) {
        const unsigned char* sector = data + at;
        sectors += std::equal(sector, sector + kScanned, marker[0])   ? kUnreadable
                   : std::equal(sector, sector + kScanned, marker[1]) ? kNotRead
                                                                      : kRead;
    }
}

std::string ReadRescueMap(std::istream& file, RescueResult& result)
{
    result = RescueResult{};
    MapFile map;
    const std::string wrong = ParseMap(file, map);
    if (!wrong.empty()) {
        return wrong;
    }
    uint32_t sectorBytes = 0;
    if (!GeometryOfMap(map, result, sectorBytes)) {
        return map.disk.empty() ? "it maps " + std::to_string(map.bytes) + " bytes, the size of no floppy disk"
                                : "its Trakoni-Disk line, " + map.disk + ", names no floppy disk of the map's " +
                                      std::to_string(map.bytes) + " bytes";
    }
    result.sectors.assign(static_cast<size_t>(map.bytes / sectorBytes), kNotRead);
    SectorStatusesOfMap(map, sectorBytes, result.sectors);
    return {};
}
