// The picture of a disk as a real SVG renderer draws it: red exactly where
// the unreadable sectors are, grey where none was tried, green elsewhere.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>

#include "archive/DiskPicture.h"
#include "tests/support/TestSupport.h"

namespace {

using Rgb = std::array<unsigned char, 3>;
const Rgb kRed{0xe0, 0, 0}, kGreen{0x22, 0xaa, 0x22}, kGrey{0xa0, 0xa0, 0xa0};

// The SVG drawn by rsvg-convert, as raw RGB pixels; empty when it failed.
Bytes Drawn(const std::string& svg, const TempFolder& folder, int& width)
{
    std::ofstream(folder.Join("map.svg"), std::ios::binary) << svg;
    const std::string png = folder.Join("map.png"), rgb = folder.Join("map.rgb");
    const std::string draw = "rsvg-convert -o " + png + " " + folder.Join("map.svg") + " && convert " + png +
                             " -depth 8 rgb:" + rgb + " && identify -format %w " + png + " >" + folder.Join("w");
    if (std::system(draw.c_str()) != 0) {
        return {};
    }
    std::ifstream(folder.Join("w")) >> width;
    return ReadWholeFile(rgb);
}

TEST(DiskPicture, RsvgDrawsRedExactlyWhereTheSectorsAreUnreadable)
{
    const struct {
        int perTrack;
        std::vector<int> bad, untried;  // sectors of the disk image
    } cases[] = {
        {18, {}, {}},
        {18, {634, 635, 1000}, {2879}},
        {9, {0, 1439}, {700, 701}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bad.size());
        RescueResult disk{std::string(kCylinders * 2 * c.perTrack, '+'), c.perTrack, 2};
        for (const int s : c.bad) {
            disk.sectors[s] = '-';
        }
        for (const int s : c.untried) {
            disk.sectors[s] = '?';
        }
        TempFolder folder;
        int width = 0;
        // A file name of a damaged file system: markup and bytes that are no UTF-8.
        const Bytes pixels = Drawn(DiskPictureSvg(disk, "d1 <test> & more", {"A&B<1>.TXT", "\xff\x01.DAT"}), folder, width);
        ASSERT_FALSE(pixels.empty()) << "rsvg-convert could not draw it";
        const auto at = [&](int x, int y) {
            const size_t i = 3 * (size_t(y) * width + x);
            return Rgb{pixels[i], pixels[i + 1], pixels[i + 2]};
        };
        int red = 0;
        for (size_t s = 0; s < disk.sectors.size(); ++s) {
            // 8 pixels a cell from (56, 48), a blank row of cells between the heads.
            const int cylinder = int(s) / (2 * c.perTrack), head = int(s) / c.perTrack % 2, sector = int(s) % c.perTrack;
            const int x0 = 56 + cylinder * 8, y0 = 48 + (head * (c.perTrack + 1) + sector) * 8;
            const Rgb want = disk.sectors[s] == '-' ? kRed : disk.sectors[s] == '?' ? kGrey : kGreen;
            EXPECT_TRUE(at(x0 + 4, y0 + 4) == want) << "sector " << s;
            for (int y = y0; y < y0 + 8; ++y) {
                for (int x = x0; x < x0 + 8; ++x) {
                    red += at(x, y) == kRed;
                }
            }
        }
        EXPECT_EQ(red, int(c.bad.size()) * 49);  // 7 x 7 inside the cell's border
    }
}

}  // namespace
