#include "archive/Catalog.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "archive/BagIt.h"
#include "archive/FileLock.h"
#include "drive/Drive.h"
#include "engine/ErrorMessages.h"
#include "engine/FilePlacement.h"
#include "engine/Status.h"

namespace fs = std::filesystem;

const std::vector<CatalogColumn> kCatalogColumns = {
    {"ID", "External-Identifier"},
    {"Date", "Bagging-Date"},
    {"Format", "Trakoni-Format"},
    {"Unreadable-Sectors", "Trakoni-Unreadable-Sectors"},
    {"Image-SHA-256", "Trakoni-Image-SHA-256"},
    {"Status", "Trakoni-Status"},
    {"Label", "Trakoni-Volume-Label"},
    {"Files", "Trakoni-Files"},
    {"Damaged-Files", "Trakoni-Damaged-Files"},
    {"File-Dates", "Trakoni-File-Dates"},
};

namespace {

const char kCatalogName[] = "catalog.tsv";
// An update takes milliseconds: a lock held this long is held by a program
// that has stopped.
constexpr auto kLockWait = std::chrono::minutes(1);

std::string Header()
{
    std::string header;
    for (const CatalogColumn& column : kCatalogColumns) {
        header += (header.empty() ? "" : "\t") + std::string(column.heading);
    }
    return header;
}

std::string LineOfBag(const fs::path& bag)
{
    const BagTags tags = ReadBagInfo(bag.string());
    std::string line;
    for (const CatalogColumn& column : kCatalogColumns) {
        std::string value = TagValue(tags, column.label);
        std::replace(value.begin(), value.end(), '\t', ' ');
        line += (line.empty() ? "" : "\t") + value;
    }
    return line;
}

std::string IdOfLine(const std::string& line)
{
    return line.substr(0, line.find('\t'));
}

// The lines of every bag in the collection (its folders that hold a
// bagit.txt), ordered by date, then id.
std::vector<std::string> LinesOfBags(const fs::path& collection)
{
    std::vector<std::string> lines;
    std::error_code error;
    for (fs::directory_iterator at(collection, error), end; !error && at != end; at.increment(error)) {
        const std::string name = at->path().filename().string();
        if (name[0] != '.' && fs::is_regular_file(at->path() / "bagit.txt")) {
            lines.push_back(LineOfBag(at->path()));
        }
    }
    std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        const std::string dateA = a.substr(a.find('\t') + 1), dateB = b.substr(b.find('\t') + 1);
        return dateA != dateB ? dateA < dateB : a < b;
    });
    return lines;
}

// The lines of the catalog below its header; false when it is missing or
// has another header.
bool ReadCatalog(const fs::path& collection, std::vector<std::string>& lines)
{
    std::ifstream in(collection / kCatalogName, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != Header()) {
        return false;
    }
    lines.clear();
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return !in.bad();
}

// The collection's lock, held while it lives: the system's, on its lock file.
class CatalogLock {
public:
    CatalogLock(const fs::path& collection, const LockWaiting& waiting)
        : m_path((collection / ".catalog.lock").string()),
          m_lock(m_path, kLockWait, [&] {
              if (waiting) {
                  waiting(m_path);
              }
          })
    {
        if (m_lock.Error() != 0) {
            ShowEngineError("Could not lock the catalog with " + m_path + " (" + SystemErrorText(m_lock.Error()) + ")");
        } else if (!m_lock.Held()) {
            ShowEngineError("Could not lock the catalog: another program has held " + m_path + " for a minute");
        }
    }

    bool Held() const { return m_lock.Held(); }

private:
    std::string m_path;
    FileLock m_lock;
};

// Writes the catalog under a temporary name and renames it into place.
int WriteCatalog(const fs::path& collection, const std::vector<std::string>& lines)
{
    const fs::path catalog = collection / kCatalogName;
    const std::string partial = CreateTemporaryFile(catalog.string());
    if (partial.empty()) {
        return EngineStatus::Failure;
    }
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << Header() << "\n";
    for (const std::string& line : lines) {
        out << line << "\n";
    }
    out.close();
    int error = 0;
    if (!out || !MoveIntoPlace(partial, catalog.string(), true, error)) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        ShowEngineError("Could not write " + catalog.string());
        return EngineStatus::Failure;
    }
    return EngineStatus::Success;
}

}  // namespace

std::string IdentifierProblem(const std::string& id)
{
    const std::string named = "The identifier '" + id + "'";
    if (id.empty()) {
        return "The identifier is empty";
    }
    if (id.find_first_of("/\\") != std::string::npos) {
        return named + " holds a path separator";
    }
    if (id == "." || id == "..") {
        return named + " names a folder, not a bag";
    }
    const bool portable = id.size() <= 64 && id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") == std::string::npos;
    if (!portable || id[0] == '.' || id[0] == '-' || id.back() == '.' || IsDeviceName(id)) {
        return named + " is no portable file name: at most 64 letters A to Z, digits, '.', '_' and '-', not first a '.' or '-'";
    }
    if (id == kCatalogName) {
        return named + " is the name of the catalog";
    }
    return {};
}

int AddToCatalog(const std::string& collectionName, const std::string& id, const LockWaiting& waiting)
{
    const fs::path collection(collectionName);
    const CatalogLock lock(collection, waiting);
    if (!lock.Held()) {
        return EngineStatus::Failure;
    }
    std::vector<std::string> lines;
    if (!ReadCatalog(collection, lines)) {
        return WriteCatalog(collection, LinesOfBags(collection));
    }
    lines.erase(std::remove_if(lines.begin(), lines.end(), [&id](const std::string& line) { return IdOfLine(line) == id; }),
                lines.end());
    lines.push_back(LineOfBag(collection / id));
    return WriteCatalog(collection, lines);
}

int RefreshCatalog(const std::string& collectionName, bool& rebuilt, const LockWaiting& waiting)
{
    const fs::path collection(collectionName);
    const CatalogLock lock(collection, waiting);
    if (!lock.Held()) {
        return EngineStatus::Failure;
    }
    std::vector<std::string> lines;
    const std::vector<std::string> ofBags = LinesOfBags(collection);
    const bool read = ReadCatalog(collection, lines);
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> sorted = ofBags;
    std::sort(sorted.begin(), sorted.end());
    rebuilt = !read || lines != sorted;
    return rebuilt ? WriteCatalog(collection, ofBags) : EngineStatus::Success;
}
