#include "archive/FileSystemReport.h"

namespace {

// "1991-03-14..1994-07-01"; empty when no file has a date.
std::string FileDates(const FatReport& report)
{
    const std::string earliest = FormatFatMinute(report.earliest), latest = FormatFatMinute(report.latest);
    return earliest.empty() || latest.empty() ? "" : earliest.substr(0, 10) + ".." + latest.substr(0, 10);
}

}  // namespace

FileSystemReport ReportFileSystem(const unsigned char* image, size_t bytes, const std::string& sectors)
{
    return {ReadFatVolume(image, bytes, sectors, FatOptions{}), BootSectorSizeWarning(image, bytes)};
}

std::vector<std::string> DamagedFileLines(const FatReport& report)
{
    std::vector<std::string> lines;
    for (const FatFile& file : report.files) {
        if (file.allocated && !file.IsFolder() && file.Damaged()) {
            lines.push_back(file.path + ": " + SectorsText(file.damagedSectors));
        }
    }
    return lines;
}

std::string FileSystemLog(const FileSystemReport& report)
{
    const FatReport& fat = report.fat;
    if (!fat.found) {
        return std::string("File system: ") + kNoFatFileSystem + "\n";
    }
    const std::string dates = FileDates(fat);
    std::string log = "File system: " + fat.type + ", label " + (fat.label.empty() ? "(none)" : "\"" + fat.label + "\"") +
                      ", " + std::to_string(CountFiles(fat)) + " files" + (dates.empty() ? "" : ", dated " + dates) +
                      "\n";
    const std::vector<std::string> damaged = DamagedFileLines(fat);
    log += "Damaged files: " + std::to_string(CountDamagedFiles(fat)) + "\n";
    for (const std::string& line : damaged) {
        log += "  " + line + "\n";
    }
    if (!report.bootSectorWarning.empty()) {
        log += "Warning: " + report.bootSectorWarning + "\n";
    }
    for (const std::string& problem : fat.problems) {
        log += "File system problem: " + problem + "\n";
    }
    return log;
}

BagTags FileSystemTags(const FileSystemReport& report)
{
    const FatReport& fat = report.fat;
    if (!fat.found) {
        return {{"Trakoni-File-System", kNoFatFileSystem}};
    }
    BagTags tags = {{"Trakoni-File-System", fat.type},
                    {"Trakoni-Volume-Label", fat.label},
                    {"Trakoni-Files", std::to_string(CountFiles(fat))},
                    {"Trakoni-Damaged-Files", std::to_string(CountDamagedFiles(fat))}};
    for (const std::string& line : DamagedFileLines(fat)) {
        tags.push_back({"Trakoni-Damaged-File", line});
    }
    tags.push_back({"Trakoni-File-Dates", FileDates(fat)});
    if (!report.bootSectorWarning.empty()) {
        tags.push_back({"Trakoni-Boot-Sector-Warning", report.bootSectorWarning});
    }
    return tags;
}
