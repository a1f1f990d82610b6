#include "archive/DiskPicture.h"

#include <algorithm>
#include <cstdio>

#include "archive/Dfxml.h"

namespace {

struct Shade {
    char status;
    const char* name;    // in the legend
    const char* colour;  // of the picture
    const char* ansi;    // of the terminal
};
// ddrescue's viewers' colours, which archivists know.
const Shade kShades[] = {
    {'+', "read", "#22aa22", "\x1b[32m"},
    {'-', "unreadable", "#e00000", "\x1b[31m"},
    {'?', "not tried", "#a0a0a0", "\x1b[90m"},
};
constexpr char kAnsiReset[] = "\x1b[0m";

const Shade& ShadeOf(char status)
{
    for (const Shade& shade : kShades) {
        if (shade.status == status) {
            return shade;
        }
    }
    return kShades[2];
}

// The grid's shape; no cylinders when the geometry names none.
struct Grid {
    explicit Grid(const RescueResult& disk)
        : heads(std::max(disk.tracksPerCylinder, 0)), perTrack(std::max(disk.sectorsPerTrack, 0)),
          cylinders(heads * perTrack > 0 ? static_cast<int>(disk.sectors.size()) / (heads * perTrack) : 0)
    {
    }
    size_t Index(int cylinder, int head, int sector) const
    {
        return (static_cast<size_t>(cylinder) * static_cast<size_t>(heads) + static_cast<size_t>(head)) *
                   static_cast<size_t>(perTrack) + static_cast<size_t>(sector);
    }
    int heads, perTrack, cylinders;
};

std::string Counted(const RescueResult& disk, const Shade& shade)
{
    return std::string(shade.name) + " " +
           Grouped(static_cast<size_t>(std::count(disk.sectors.begin(), disk.sectors.end(), shade.status)));
}

// Layout of the picture, in pixels: a cell a sector, a blank cell between
// the heads' blocks so that the cell pattern stays aligned.
constexpr int kCell = 8;
constexpr int kLeft = 56;
constexpr int kTop = 48;
constexpr int kLine = 16;

std::string Number(int value)
{
    return std::to_string(value);
}

std::string Text(int x, int y, const std::string& text, const char* attributes = "")
{
    return "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\"" + attributes + ">" + XmlEscaped(text) + "</text>\n";
}

std::string Rect(int x, int y, int width, int height, const std::string& fill)
{
    return "<rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" + Number(width) + "\" height=\"" +
           Number(height) + "\" fill=\"" + fill + "\"/>\n";
}

// One head's block: a rectangle per run of equal statuses down each
// cylinder, under the pattern that draws the cells' borders.
std::string Block(const RescueResult& disk, const Grid& grid, int head, int top)
{
    std::string svg = Text(8, top + 12, "head " + Number(head));
    for (int cylinder = 0; cylinder < grid.cylinders; ++cylinder) {
        for (int first = 0, end = 0; first < grid.perTrack; first = end) {
            const char status = disk.sectors[grid.Index(cylinder, head, first)];
            for (end = first + 1; end < grid.perTrack && disk.sectors[grid.Index(cylinder, head, end)] == status;) {
                ++end;
            }
            svg += Rect(kLeft + cylinder * kCell, top + first * kCell, kCell, (end - first) * kCell,
                        ShadeOf(status).colour);
        }
    }
    return svg + Rect(kLeft, top, grid.cylinders * kCell, grid.perTrack * kCell, "url(#cells)");
}

}  // namespace

std::string DiskPictureSvg(const RescueResult& disk, const std::string& title,
                           const std::vector<std::string>& damagedFiles)
{
    const Grid grid(disk);
    const int right = kLeft + grid.cylinders * kCell;
    const int bottom = kTop + grid.heads * (grid.perTrack + 1) * kCell;
    size_t longest = 0;
    for (const std::string& name : damagedFiles) {
        longest = std::max(longest, name.size());
    }
    const int width = std::max(right + 24 + static_cast<int>(longest) * 8, kLeft + 480) + 16;
    const int height = std::max(bottom + 2 * kLine, kTop + static_cast<int>(damagedFiles.size() + 1) * kLine) + 16;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width) + "\" height=\"" +
                      Number(height) + "\" viewBox=\"0 0 " + Number(width) + " " + Number(height) +
                      "\" font-family=\"monospace\" font-size=\"12\" shape-rendering=\"crispEdges\">\n"
                      "<defs><pattern id=\"cells\" width=\"" + Number(kCell) + "\" height=\"" + Number(kCell) +
                      "\" x=\"" + Number(kLeft) + "\" y=\"" + Number(kTop) + "\" patternUnits=\"userSpaceOnUse\">"
                      "<path d=\"M0 0h8v1H1v7H0z\" fill=\"#ffffff\"/></pattern></defs>\n" +
                      Rect(0, 0, width, height, "#ffffff") + Text(8, 20, title, " font-size=\"14\"");
    for (int cylinder = 0; cylinder < grid.cylinders; cylinder += 10) {
        svg += Text(kLeft + cylinder * kCell, kTop - 6, Number(cylinder), " font-size=\"10\"");
    }
    svg += Text(kLeft + grid.cylinders * kCell / 2 - 28, kTop - 20, "cylinder", " font-size=\"10\"");
    for (int head = 0; head < grid.heads; ++head) {
        svg += Block(disk, grid, head, kTop + head * (grid.perTrack + 1) * kCell);
    }
    int x = kLeft;
    for (const Shade& shade : kShades) {
        svg += Rect(x, bottom + 4, 12, 12, shade.colour);
        const std::string label = Counted(disk, shade);
        svg += Text(x + 18, bottom + 14, label);
        x += 18 + static_cast<int>(label.size()) * 8 + 24;
    }
    if (!damagedFiles.empty()) {
        svg += Text(right + 24, kTop + 12, "Damaged files", " font-weight=\"bold\"");
        for (size_t i = 0; i < damagedFiles.size(); ++i) {
            svg += Text(right + 24, kTop + 12 + static_cast<int>(i + 1) * kLine, damagedFiles[i]);
        }
    }
    return svg + "</svg>\n";
}

std::string DiskGridText(const RescueResult& disk, bool colour)
{
    const Grid grid(disk);
    const std::string margin(7, ' ');
    std::string tens = "cyl    ", units = margin;
    for (int cylinder = 0; cylinder < grid.cylinders; ++cylinder) {
        tens += cylinder % 10 == 0 ? static_cast<char>('0' + cylinder / 10 % 10) : ' ';
        units += static_cast<char>('0' + cylinder % 10);
    }
    tens.erase(tens.find_last_not_of(' ') + 1);
    std::string text = tens + "\n" + units + "\n";
    const auto painted = [colour](char status, const std::string& what) {
        return colour ? ShadeOf(status).ansi + what + kAnsiReset : what;
    };
    for (int head = 0; head < grid.heads; ++head) {
        text += head > 0 ? "\n" : "";
        for (int sector = 0; sector < grid.perTrack; ++sector) {
            char label[16];
            std::snprintf(label, sizeof label, "h%d s%2d ", head % 10, (sector + 1) % 100);
            std::string line = label;
            for (int first = 0, end = 0; first < grid.cylinders; first = end) {
                const char status = disk.sectors[grid.Index(first, head, sector)];
                for (end = first + 1; end < grid.cylinders && disk.sectors[grid.Index(end, head, sector)] == status;) {
                    ++end;
                }
                line += painted(status, std::string(static_cast<size_t>(end - first), status));
            }
            text += line + "\n";
        }
    }
    std::string legend;
    for (const Shade& shade : kShades) {
        legend += (legend.empty() ? "" : "   ") + painted(shade.status, std::string(1, shade.status)) + " " +
                  Counted(disk, shade);
    }
    return text + legend + "\n";
}
