// The rescue map's reader: the data lines of a mapfile checked to be
// contiguous, in the forms of numbers ddrescue accepts.
#include "engine/RescueMap.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

std::string Trimmed(std::string text)
{
    text.erase(text.find_last_not_of(" \t\r") + 1);
    return text;
}

// `line` holds a number (C++'s hexadecimal, octal or decimal form) then a
// status of `statuses`, and then, when `size`, that order is pos, size, status.
// Nothing else may follow but a pass number (the status line's).
bool ParseMapLine(const std::string& line, bool withSize, const char* statuses,
                  long long& first, long long& size, char& status)
{
    int end = 0, passEnd = 0, pass = 0;
    const int fields = withSize
        ? std::sscanf(line.c_str(), "%lli %lli %c %n", &first, &size, &status, &end)
        : std::sscanf(line.c_str(), "%lli %c %n", &first, &status, &end);
    if (fields != (withSize ? 3 : 2) || first < 0 || std::strchr(statuses, status) == nullptr ||
        status == '\0') {
        return false;
    }
    const char* rest = line.c_str() + end;
    return *rest == '\0' ||
           (!withSize && std::sscanf(rest, "%i %n", &pass, &passEnd) == 1 && rest[passEnd] == '\0');
}

}  // namespace

std::string ParseMap(std::istream& file, MapFile& map)
{
    bool statusLine = false;
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        if (line.rfind(kFolderTag, 0) == 0) {
            map.folder = Trimmed(line.substr(sizeof kFolderTag - 1));
        } else if (line.rfind(kDiskTag, 0) == 0) {
            map.disk = Trimmed(line.substr(sizeof kDiskTag - 1));
        }
        line.erase(std::min(line.find('#'), line.size()));
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        long long first = 0, size = 0;
        char status = 0;
        const std::string where = "line " + std::to_string(number);
        if (!statusLine) {
            if (!ParseMapLine(line, false, "?*/-FGB+", first, size, status)) {
                return where + " is no status line";
            }
            statusLine = true;
        } else if (!ParseMapLine(line, true, "?*/-+", first, size, status) ||
                   first != map.bytes || size <= 0 || size > LLONG_MAX - map.bytes) {
            return where + " is no area that follows the one before";
        } else {
            map.areas.push_back({first, size, status});
            map.bytes += size;
        }
    }
    return statusLine && !map.areas.empty() ? "" : "it names no areas";
}
