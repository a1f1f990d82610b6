// The picture of a disk: every sector in a grid, cylinders across and each
// head's sectors down (head 0 above head 1), coloured by what was read of it
// as ddrescue's viewers colour a map: green read, red unreadable, grey not
// tried. As an SVG document for a bag, and as text for a terminal or a log.
#pragma once

#include <string>
#include <vector>

#include "engine/DiskRescue.h"

// An SVG document of the grid of `disk` (its statuses, one a sector, and its
// geometry) under `title`, with a legend that counts each status and, beside
// the grid, `damagedFiles`, one a line, escaped for XML.
std::string DiskPictureSvg(const RescueResult& disk, const std::string& title,
                           const std::vector<std::string>& damagedFiles);

// The grid as text: a ruler of cylinder numbers, then one line per sector of
// each head ("h0 s 1  " and a character per cylinder: '+' read, '-'
// unreadable, '?' not tried, as in the map), then a legend. With `colour`,
// the characters are in the terminal's colours (ANSI escapes).
std::string DiskGridText(const RescueResult& disk, bool colour);
