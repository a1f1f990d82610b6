// The FAT reader. Every number taken from the disk is checked before it is
// used as an offset, every cluster is taken by at most one file or folder, and
// every folder is read once: whatever the disk holds, the work is bounded by
// its size.
#include "archive/FatVolume.h"

#include <algorithm>
#include <cstdio>

#include "archive/Utf8.h"
#include "drive/FloppyFormats.h"
#include "engine/DiskRescue.h"

namespace {

constexpr uint32_t kStatusBytes = 512;  // a status per 512-byte sector
constexpr uint32_t kEntryBytes = 32;
// How far folders are followed: DOS paths end far sooner, Windows' at 260
// characters. Bounds what a disk of nested folders can make the reader hold.
constexpr size_t kDeepestFolder = 64;
constexpr size_t kLongestFolderPath = 260;
constexpr unsigned char kDeletedMark = 0xE5;

uint16_t Le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Le32(const unsigned char* p)
{
    return Le16(p) | static_cast<uint32_t>(Le16(p + 2)) << 16;
}

// The layout of the file system, from the boot sector or the media byte.
struct Layout {
    uint32_t sectorBytes = 0;
    uint32_t clusterSectors = 0;
    uint32_t reservedSectors = 0;
    uint32_t fatCount = 0;
    uint32_t rootEntries = 0;
    uint32_t totalSectors = 0;
    uint32_t fatSectors = 0;
    unsigned char media = 0;

    uint64_t FatOffset() const { return uint64_t{reservedSectors} * sectorBytes; }
    uint64_t FatBytes() const { return uint64_t{fatSectors} * sectorBytes; }
    uint64_t RootOffset() const { return FatOffset() + fatCount * FatBytes(); }
    uint64_t RootBytes() const { return uint64_t{rootEntries} * kEntryBytes; }
    uint64_t DataOffset() const
    {
        const uint64_t rootSectors = (RootBytes() + sectorBytes - 1) / sectorBytes;
        return RootOffset() + rootSectors * sectorBytes;
    }
    uint32_t ClusterBytes() const { return clusterSectors * sectorBytes; }
    uint64_t DataSectors() const
    {
        const uint64_t first = DataOffset() / sectorBytes;
        return totalSectors > first ? totalSectors - first : 0;
    }
    uint32_t ClusterCount() const { return static_cast<uint32_t>(DataSectors() / clusterSectors); }
    // By the count of clusters, as the system decides it.
    bool Fat16() const { return ClusterCount() >= 4085; }
};

bool PowerOfTwo(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

bool MediaByte(unsigned char media)
{
    return media == 0xF0 || media >= 0xF8;
}

// The BIOS parameter block of sector 0, when it holds a plausible one.
bool LayoutOfBootSector(const unsigned char* image, size_t bytes, Layout& layout)
{
    if (bytes < 512) {
        return false;
    }
    const unsigned char* boot = image;
    layout.sectorBytes = Le16(boot + 11);
    layout.clusterSectors = boot[13];
    layout.reservedSectors = Le16(boot + 14);
    layout.fatCount = boot[16];
    layout.rootEntries = Le16(boot + 17);
    layout.totalSectors = Le16(boot + 19) != 0 ? Le16(boot + 19) : Le32(boot + 32);
    layout.media = boot[21];
    layout.fatSectors = Le16(boot + 22);
    return layout.sectorBytes >= 512 && layout.sectorBytes <= 4096 && PowerOfTwo(layout.sectorBytes) &&
           PowerOfTwo(layout.clusterSectors) && layout.clusterSectors <= 128 &&
           layout.reservedSectors >= 1 && layout.fatCount >= 1 && layout.fatCount <= 4 &&
           layout.rootEntries > 0 && layout.totalSectors > 0 && layout.fatSectors > 0 &&
           MediaByte(layout.media);
}

// The layouts the system gave the standard floppies, for disks whose boot
// sector has no parameters (or cannot be read): the FAT's first byte names
// the medium, the image's size the format.
struct MediaLayout {
    long long bytes;
    unsigned char media;
    uint32_t clusterSectors, rootEntries, fatSectors;
};
constexpr MediaLayout kMediaLayouts[] = {
    {737280, 0xF9, 2, 112, 3},
    {1228800, 0xF9, 1, 224, 7},
    {1474560, 0xF0, 1, 224, 9},
    {2949120, 0xF0, 2, 240, 9},
};

bool LayoutOfMediaByte(const unsigned char* image, size_t bytes, Layout& layout)
{
    const FloppyFormat* format = FloppyFormatOfSize(static_cast<long long>(bytes));
    if (format == nullptr) {
        return false;
    }
    const unsigned char* fat = image + kFloppySectorBytes;
    for (const MediaLayout& known : kMediaLayouts) {
        if (known.bytes == format->bytes && fat[0] == known.media && fat[1] == 0xFF && fat[2] == 0xFF) {
            layout = Layout{};
            layout.sectorBytes = kFloppySectorBytes;
            layout.clusterSectors = known.clusterSectors;
            layout.reservedSectors = 1;
            layout.fatCount = 2;
            layout.rootEntries = known.rootEntries;
            layout.totalSectors = static_cast<uint32_t>(format->bytes / kFloppySectorBytes);
            layout.fatSectors = known.fatSectors;
            layout.media = known.media;
            return true;
        }
    }
    return false;
}


const char32_t kCodePage437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// An 8.3 name part in the disk's code page (437, the floppies' own), its
// padding blanks dropped, lower case when the entry's flag says so.
std::string ShortPart(const unsigned char* bytes, size_t count, bool lower)
{
    while (count > 0 && bytes[count - 1] == ' ') {
        --count;
    }
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        char32_t code = c < 0x80 ? char32_t{c} : kCodePage437High[c - 0x80];
        // The code page's capitals are those of ASCII and Latin-1 (Ç, É, Ñ, ...).
        if (lower && ((code >= 'A' && code <= 'Z') || (code >= 0xC0 && code <= 0xDE && code != 0xD7))) {
            code += 0x20;
        }
        AppendUtf8(code, text);
    }
    return text;
}

// The 8.3 name of an entry; `first` stands for its first byte, which a
// deleted entry has lost and 0x05 stands in for 0xE5.
std::string ShortName(const unsigned char* entry, unsigned char first, bool caseFlags)
{
    unsigned char base[8];
    std::copy(entry, entry + 8, base);
    base[0] = first;
    const std::string name = ShortPart(base, 8, caseFlags && (entry[12] & 0x08) != 0);
    const std::string extension = ShortPart(entry + 8, 3, caseFlags && (entry[12] & 0x10) != 0);
    return extension.empty() ? name : name + "." + extension;
}

unsigned char NameChecksum(const unsigned char* entry)
{
    unsigned char sum = 0;
    for (int i = 0; i < 11; ++i) {
        sum = static_cast<unsigned char>(((sum & 1) << 7) + (sum >> 1) + entry[i]);
    }
    return sum;
}

// The 13 UTF-16 units of a long-name piece, in order, up to its end.
void AppendNamePiece(const unsigned char* entry, std::u16string& name)
{
    static const int kUnits[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (const int at : kUnits) {
        const char16_t unit = Le16(entry + at);
        if (unit == 0) {
            return;
        }
        name += unit;
    }
}

std::string Utf8OfUtf16(const std::u16string& units)
{
    std::string text;
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        AppendUtf8(code, text);
    }
    return text;
}

bool ValidDate(uint16_t date)
{
    const int month = (date >> 5) & 0x0F;
    const int day = date & 0x1F;
    return month >= 1 && month <= 12 && day >= 1;
}

// The long-name pieces met before an 8.3 entry, in the order they lie.
struct PendingName {
    std::vector<const unsigned char*> pieces;

    void Clear() { pieces.clear(); }

    // The long name these pieces give the 8.3 `entry`, or empty: each piece
    // must carry its checksum; an allocated name counts down to 1 from the
    // piece flagged last (a deleted one has lost its numbers).
    std::string For(const unsigned char* entry, bool deleted) const
    {
        if (pieces.empty()) {
            return {};
        }
        const unsigned char sum = NameChecksum(entry);
        const size_t count = pieces.size();
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* piece = pieces[i];
            if (piece[13] != sum) {
                return {};
            }
            const unsigned char order = piece[0];
            const bool numbered =
                (order & 0x3F) == count - i && ((order & 0x40) != 0) == (i == 0);
            if (deleted ? order != kDeletedMark : !numbered) {
                return {};
            }
        }
        std::u16string name;
        for (size_t i = count; i-- > 0;) {
            AppendNamePiece(pieces[i], name);
        }
        return Utf8OfUtf16(name);
    }
};

class Reader {
public:
    Reader(const unsigned char* image, size_t bytes, const std::string& sectors,
           const FatOptions& options, FatReport& report)
        : m_image(image), m_bytes(bytes), m_sectors(sectors), m_options(options), m_report(report)
    {
    }

    void Read()
    {
        m_unreadBefore.assign(1, 0);
        for (const char status : m_sectors) {
            m_unreadBefore.push_back(m_unreadBefore.back() + (status == '+' ? 0 : 1));
        }
        if (!TakeLayout()) {
            m_report.problems.push_back(kNoFatFileSystem);
            return;
        }
        m_report.found = true;
        m_report.type = m_layout.Fat16() ? "fat16" : "fat12";
        m_report.blockBytes = m_layout.sectorBytes;
        m_report.blockCount = m_bytes / m_layout.sectorBytes;
        m_report.describedSectors = m_layout.totalSectors;
        if (!LayoutFits()) {
            return;
        }
        m_clusters = m_layout.ClusterCount();
        m_owner.assign(m_clusters + 2, kFree);
        TakeFat();
        TakeBootLabel();
        std::vector<const unsigned char*> slots;
        SlotsOfRange(m_layout.RootOffset(), m_layout.RootBytes(), "the root folder", slots);
        if (slots.empty()) {
            Problem("the root folder is unreadable");
            m_report.stopped = true;
            return;
        }
        std::vector<size_t> ancestors;  // the folders that hold the one being read
        ReadFolder(slots, "", ancestors, -1);
        TakeDateRange();
    }

private:
    static constexpr int kFree = -1;
    static constexpr uint32_t kUnknown = 0xFFFFFFFF;  // a FAT entry in an unreadable sector

    bool SectorRead(uint64_t index) const
    {
        return index >= m_sectors.size() || m_sectors[index] == '+';
    }

    // The sectors not read in [first, end), by the running count: so that a
    // range of any length costs the same.
    uint32_t UnreadIn(uint64_t first, uint64_t end) const
    {
        const uint64_t last = m_unreadBefore.size() - 1;
        return m_unreadBefore[std::min(end, last)] - m_unreadBefore[std::min(first, last)];
    }

    // True when every status sector of [offset, offset + count) was read.
    bool RangeRead(uint64_t offset, uint64_t count) const
    {
        return UnreadIn(offset / kStatusBytes, (offset + count + kStatusBytes - 1) / kStatusBytes) == 0;
    }

    void Problem(const std::string& text) { m_report.problems.push_back(text); }

    bool TakeLayout()
    {
        if (m_bytes < 1024) {
            return false;
        }
        if (RangeRead(0, 512) && LayoutOfBootSector(m_image, m_bytes, m_layout)) {
            return true;
        }
        if (!RangeRead(512, 512) || !LayoutOfMediaByte(m_image, m_bytes, m_layout)) {
            return false;
        }
        if (!RangeRead(0, 512)) {
            Problem("the boot sector is unreadable; the layout is the standard one of the media byte");
        }
        return true;
    }

    // The FATs and the root folder must lie inside the image, and some
    // clusters after them; the data may end early (a disk read short), its
    // clusters beyond the image are named where a chain reaches them.
    bool LayoutFits()
    {
        if (m_layout.DataOffset() > m_bytes || m_layout.ClusterCount() == 0 ||
            m_layout.ClusterCount() >= 65525 ||
            m_layout.FatBytes() * 8 < (uint64_t{m_layout.ClusterCount()} + 2) * (m_layout.Fat16() ? 16 : 12)) {
            Problem("the boot sector describes a FAT layout that does not fit the disk");
            m_report.stopped = true;
            return false;
        }
        return true;
    }

    // The FAT: of each sector the first copy that was read. A sector no copy
    // holds leaves its entries unknown.
    void TakeFat()
    {
        const uint32_t sectorBytes = m_layout.sectorBytes;
        m_fat.assign(m_layout.FatBytes(), 0);
        m_fatRead.assign(m_layout.fatSectors, false);
        for (uint32_t sector = 0; sector < m_layout.fatSectors; ++sector) {
            for (uint32_t copy = 0; copy < m_layout.fatCount && !m_fatRead[sector]; ++copy) {
                const uint64_t offset = m_layout.FatOffset() + copy * m_layout.FatBytes() +
                                        uint64_t{sector} * sectorBytes;
                if (RangeRead(offset, sectorBytes)) {
                    std::copy(m_image + offset, m_image + offset + sectorBytes,
                              m_fat.begin() + uint64_t{sector} * sectorBytes);
                    m_fatRead[sector] = true;
                }
            }
            if (!m_fatRead[sector]) {
                const uint64_t first = (m_layout.FatOffset() + uint64_t{sector} * sectorBytes) / kStatusBytes;
                Problem("sector " + std::to_string(first) + " of the FAT is unreadable, and so in every copy");
            }
        }
    }

    uint64_t FatEntryOffset(uint32_t cluster) const
    {
        return m_layout.Fat16() ? uint64_t{cluster} * 2 : uint64_t{cluster} * 3 / 2;
    }

    uint32_t FatEntry(uint32_t cluster) const
    {
        const uint64_t at = FatEntryOffset(cluster);
        if (!m_fatRead[at / m_layout.sectorBytes] || !m_fatRead[(at + 1) / m_layout.sectorBytes]) {
            return kUnknown;
        }
        const uint16_t pair = Le16(&m_fat[at]);
        if (m_layout.Fat16()) {
            return pair;
        }
        return cluster % 2 == 0 ? pair & 0xFFF : pair >> 4;
    }

    uint32_t EndOfChain() const { return m_layout.Fat16() ? 0xFFF8 : 0xFF8; }
    uint32_t BadCluster() const { return m_layout.Fat16() ? 0xFFF7 : 0xFF7; }

    uint64_t ClusterOffset(uint32_t cluster) const
    {
        return m_layout.DataOffset() + uint64_t{cluster - 2} * m_layout.ClusterBytes();
    }

    bool ClusterInImage(uint32_t cluster) const
    {
        return ClusterOffset(cluster) + m_layout.ClusterBytes() <= m_bytes;
    }

    static void AddRun(uint64_t offset, uint64_t count, std::vector<ByteRun>& runs)
    {
        if (!runs.empty() && runs.back().offset + runs.back().bytes == offset) {
            runs.back().bytes += count;
        } else {
            runs.push_back({offset, count});
        }
    }

    // Follows the chain of file `index` from its first cluster, taking each
    // cluster for it; ends at the chain's end or at the first fault, named.
    std::vector<uint32_t> FollowChain(size_t index)
    {
        const FatFile& file = m_report.files[index];
        const std::string& path = file.path;
        std::vector<uint32_t> chain;
        uint32_t cluster = file.firstCluster;
        while (true) {
            if (cluster < 2 || cluster >= m_clusters + 2) {
                Problem("the cluster chain of " + path + " leaves the disk at cluster " +
                        std::to_string(cluster));
                break;
            }
            if (!ClusterInImage(cluster)) {
                Problem("the cluster chain of " + path + " reaches cluster " + std::to_string(cluster) +
                        ", beyond the end of the image");
                break;
            }
            const int owner = m_owner[cluster];
            if (owner == static_cast<int>(index)) {
                Problem("the cluster chain of " + path + " loops at cluster " + std::to_string(cluster));
                break;
            }
            if (owner != kFree) {
                Problem("the cluster chain of " + path + " crosses that of " +
                        m_report.files[owner].path + " at cluster " + std::to_string(cluster));
                break;
            }
            m_owner[cluster] = static_cast<int>(index);
            chain.push_back(cluster);
            const uint32_t next = FatEntry(cluster);
            // A file's last cluster needs no FAT entry to be read.
            const bool whole = !file.IsFolder() && chain.size() * uint64_t{m_layout.ClusterBytes()} >= file.size;
            if (next == kUnknown && whole) {
                break;
            }
            if (next == kUnknown) {
                // The rest of the file is lost with the FAT's sector: the damage hit it.
                Problem("the cluster chain of " + path + " runs into an unreadable sector of the FAT");
                const uint64_t at = m_layout.FatOffset() + FatEntryOffset(cluster);
                for (uint64_t sector = at / kStatusBytes; sector <= (at + 1) / kStatusBytes; ++sector) {
                    m_report.files[index].damagedSectors.push_back(static_cast<uint32_t>(sector));
                }
                break;
            }
            if (next >= EndOfChain()) {
                break;
            }
            if (next == BadCluster()) {
                Problem("the cluster chain of " + path + " runs into a cluster marked bad after cluster " +
                        std::to_string(cluster));
                break;
            }
            if (next == 0) {
                Problem("the cluster chain of " + path + " runs into a free cluster after cluster " +
                        std::to_string(cluster));
                break;
            }
            cluster = next;
        }
        return chain;
    }

    // A deleted file's chain is gone from the FAT: as the recovery tools do,
    // its clusters are taken to follow each other from the first, as many as
    // its size needs, while they lie on the disk.
    void GuessDeletedRun(FatFile& file) const
    {
        const uint32_t first = file.firstCluster;
        if (first < 2 || first >= m_clusters + 2 || !ClusterInImage(first)) {
            return;
        }
        const uint64_t offset = ClusterOffset(first);
        const uint64_t onDisk = (uint64_t{m_clusters} + 2 - first) * m_layout.ClusterBytes();
        const uint64_t inImage = (m_bytes - offset) / m_layout.ClusterBytes() * m_layout.ClusterBytes();
        const uint64_t bytes = std::min({uint64_t{file.size}, onDisk, inImage});
        if (bytes > 0) {
            file.runs.push_back({offset, bytes});
        }
    }

    // The sectors of the file's runs that were not read.
    void TakeDamage(FatFile& file) const
    {
        for (const ByteRun& run : file.runs) {
            const uint64_t end = (run.offset + run.bytes + kStatusBytes - 1) / kStatusBytes;
            for (uint64_t sector = run.offset / kStatusBytes; sector < end && UnreadIn(sector, end) > 0; ++sector) {
                if (!SectorRead(sector)) {
                    file.damagedSectors.push_back(static_cast<uint32_t>(sector));
                }
            }
        }
        std::vector<uint32_t>& damaged = file.damagedSectors;
        std::sort(damaged.begin(), damaged.end());
        damaged.erase(std::unique(damaged.begin(), damaged.end()), damaged.end());
    }

    // The runs of a chain: a folder's whole clusters, a file's up to its size.
    void TakeRuns(const std::vector<uint32_t>& chain, FatFile& file)
    {
        const uint64_t clusterBytes = m_layout.ClusterBytes();
        uint64_t left = file.IsFolder() ? chain.size() * clusterBytes : file.size;
        for (const uint32_t cluster : chain) {
            if (left == 0) {
                break;
            }
            const uint64_t count = std::min(left, clusterBytes);
            AddRun(ClusterOffset(cluster), count, file.runs);
            left -= count;
        }
        if (left > 0) {
            Problem(file.path + " is " + Grouped(file.size) + " bytes, its cluster chain holds " +
                    Grouped(chain.size() * clusterBytes));
        }
        TakeDamage(file);
    }

    // The entry slots of a range of the image, leaving out those in sectors
    // that were not read (named once per sector).
    void SlotsOfRange(uint64_t offset, uint64_t count, const std::string& folder,
                      std::vector<const unsigned char*>& slots)
    {
        for (uint64_t at = offset; at + kEntryBytes <= offset + count && at + kEntryBytes <= m_bytes;
             at += kEntryBytes) {
            if (SectorRead(at / kStatusBytes)) {
                slots.push_back(m_image + at);
            } else if (at % kStatusBytes == 0 || at == offset) {
                Problem("sector " + std::to_string(at / kStatusBytes) + " of " + folder +
                        " is unreadable; the entries in it are lost");
            }
        }
    }

    void TakeBootLabel()
    {
        // The extended boot signature says the label field is there.
        if (m_image[38] == 0x29 && RangeRead(0, 512)) {
            const std::string label = ShortPart(m_image + 43, 11, false);
            if (label != "NO NAME") {
                m_report.label = label;
            }
        }
    }

    // Reads the entries of a folder into the report, and then (depth first,
    // as fiwalk lists them) the folders among them.
    void ReadFolder(const std::vector<const unsigned char*>& slots, const std::string& prefix,
                    std::vector<size_t>& ancestors, int parent)
    {
        PendingName pending;
        for (const unsigned char* entry : slots) {
            const unsigned char first = entry[0];
            if (first == 0) {
                break;  // the end of the folder's entries
            }
            const uint8_t attributes = entry[11];
            if ((attributes & 0x3F) == FatAttribute::LongName) {
                pending.pieces.push_back(entry);
                continue;
            }
            const bool deleted = first == kDeletedMark;
            if (attributes & FatAttribute::VolumeLabel) {
                if (parent < 0 && !deleted) {
                    m_report.label = ShortPart(entry, 11, false);
                }
                pending.Clear();
                continue;
            }
            if (deleted && !m_options.deleted) {
                pending.Clear();
                continue;
            }
            const std::string longName = pending.For(entry, deleted);
            pending.Clear();
            const std::string shortName = ShortName(entry, first == 0x05 ? kDeletedMark : first, false);
            if (shortName == "." || shortName == "..") {
                continue;
            }
            // As The Sleuth Kit names a deleted entry whose long name is gone.
            const std::string name = !longName.empty() ? longName
                                     : deleted ? ShortName(entry, '_', true)
                                               : ShortName(entry, first == 0x05 ? kDeletedMark : first, true);
            AddEntry(entry, prefix, name, shortName, deleted, ancestors, parent);
        }
    }

    void AddEntry(const unsigned char* entry, const std::string& prefix, const std::string& name,
                  const std::string& shortName, bool deleted, std::vector<size_t>& ancestors, int parent)
    {
        const std::string path = prefix + name;
        FatFile file;
        file.path = path;
        file.name = name;
        file.parent = parent;
        file.shortName = shortName;
        file.attributes = entry[11];
        file.allocated = !deleted;
        file.size = file.IsFolder() ? 0 : Le32(entry + 28);
        file.firstCluster = Le16(entry + 26);
        file.created = {Le16(entry + 16), Le16(entry + 14), entry[13]};
        file.accessed = {Le16(entry + 18), 0, 0};
        file.modified = {Le16(entry + 24), Le16(entry + 22), 0};
        const size_t index = m_report.files.size();
        m_report.files.push_back(file);
        if (deleted) {
            GuessDeletedRun(m_report.files[index]);
            TakeDamage(m_report.files[index]);
            return;
        }
        if (file.firstCluster == 0) {
            if (file.IsFolder()) {
                Problem("the folder " + path + " contains the root folder");
            }
            TakeRuns({}, m_report.files[index]);
            return;
        }
        if (file.IsFolder()) {
            for (const size_t above : ancestors) {
                const FatFile& holder = m_report.files[above];
                if (holder.firstCluster == file.firstCluster) {
                    Problem("the folder " + path + " is " + holder.path + " again: it contains itself");
                    return;
                }
            }
        }
        const std::vector<uint32_t> chain = FollowChain(index);
        TakeRuns(chain, m_report.files[index]);
        if (!file.IsFolder() || chain.empty()) {
            return;
        }
        if (ancestors.size() >= kDeepestFolder || path.size() > kLongestFolderPath) {
            Problem("the folder " + path + " lies deeper than a file system's paths reach; its entries are not read");
            return;
        }
        std::vector<const unsigned char*> slots;
        for (const uint32_t cluster : chain) {
            SlotsOfRange(ClusterOffset(cluster), m_layout.ClusterBytes(), "the folder " + path, slots);
        }
        ancestors.push_back(index);
        ReadFolder(slots, path + "/", ancestors, static_cast<int>(index));
        ancestors.pop_back();
    }

    void TakeDateRange()
    {
        for (const FatFile& file : m_report.files) {
            const FatTimestamp& stamp = file.modified;
            if (!file.allocated || file.IsFolder() || !ValidDate(stamp.date)) {
                continue;
            }
            const uint32_t key = uint32_t{stamp.date} << 16 | stamp.time;
            const uint32_t earliest = uint32_t{m_report.earliest.date} << 16 | m_report.earliest.time;
            const uint32_t latest = uint32_t{m_report.latest.date} << 16 | m_report.latest.time;
            if (!m_report.earliest.Present() || key < earliest) {
                m_report.earliest = stamp;
            }
            if (!m_report.latest.Present() || key > latest) {
                m_report.latest = stamp;
            }
        }
    }

    const unsigned char* m_image;
    size_t m_bytes;
    const std::string& m_sectors;
    const FatOptions& m_options;
    FatReport& m_report;
    Layout m_layout;
    uint32_t m_clusters = 0;
    std::vector<unsigned char> m_fat;
    std::vector<bool> m_fatRead;
    std::vector<int> m_owner;  // the index of the file that took each cluster
    std::vector<uint32_t> m_unreadBefore;  // sectors not read before each one
};

}  // namespace

std::string FormatFatMinute(const FatTimestamp& stamp)
{
    if (!ValidDate(stamp.date)) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", stamp.Year(), stamp.Month(), stamp.Day(),
                  stamp.Hour(), stamp.Minute());
    return text;
}

std::string FormatFatIso(const FatTimestamp& stamp)
{
    if (!ValidDate(stamp.date)) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", stamp.Year(), stamp.Month(), stamp.Day(),
                  stamp.Hour(), stamp.Minute(), stamp.Second());
    return text;
}

FatReport ReadFatVolume(const unsigned char* image, size_t bytes, const std::string& sectors,
                        const FatOptions& options)
{
    FatReport report;
    Reader(image, bytes, sectors, options, report).Read();
    return report;
}

size_t CountFiles(const FatReport& report)
{
    return static_cast<size_t>(std::count_if(report.files.begin(), report.files.end(), [](const FatFile& file) {
        return file.allocated && !file.IsFolder();
    }));
}

size_t CountDamagedFiles(const FatReport& report)
{
    return static_cast<size_t>(std::count_if(report.files.begin(), report.files.end(), [](const FatFile& file) {
        return file.allocated && !file.IsFolder() && file.Damaged();
    }));
}

std::string SectorsText(const std::vector<uint32_t>& sectors)
{
    std::string text;
    for (size_t i = 0; i < sectors.size();) {
        size_t last = i;
        while (last + 1 < sectors.size() && sectors[last + 1] == sectors[last] + 1) {
            ++last;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(sectors[i]) +
                (last > i ? "-" + std::to_string(sectors[last]) : "");
        i = last + 1;
    }
    return (sectors.size() == 1 ? "sector " : "sectors ") + text;
}

std::string BootSectorSizeWarning(const unsigned char* start, size_t startBytes, uint64_t bytes)
{
    Layout layout;
    if (!LayoutOfBootSector(start, startBytes, layout)) {
        return {};
    }
    const uint64_t described = uint64_t{layout.totalSectors} * layout.sectorBytes;
    if (described == bytes) {
        return {};
    }
    const FloppyFormat* format = FloppyFormatOfSize(static_cast<long long>(described));
    const std::string size = format != nullptr ? std::string(" (") + format->name + ")" : std::string();
    return "the boot sector describes " + Grouped(layout.totalSectors) + " sectors" + size +
           ", the drive read " + Grouped(bytes / layout.sectorBytes);
}
