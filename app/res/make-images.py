#!/usr/bin/env python3
"""Writes the application's pictures from the ASCII art below: the icon
Trakoni.ico (32 x 32, 16 colours) and the About picture About.bmp (64 x 55,
two colours), both a 3.5-inch floppy disk. Python 3 without third-party
modules; the generated files are kept beside this script, so the build does
not need Python:  python3 make-images.py"""

import os
import struct

# The standard 16-colour palette (red, green, blue) and the letters used for
# it in the icon art; "." is transparent.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
ICON_COLOURS = {"K": 0, "B": 4, "S": 7, "G": 8, "b": 12, "W": 15}

# Outline (K), navy body (B), metal shutter (S, edged G) with its window,
# white label (W) with lines (b), write-protect hole bottom left.
ICON_ART = [
    "................................",
    ".KKKKKKKKKKKKKKKKKKKKKKKKKKK....",
    ".KBBBBBBGSSSSSSSSSSSSSSGBBBBK...",
    ".KBBBBBBGSSSSSSSSSSSSSSGBBBBBK..",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSKKKKSSGBBBBBBK.",
    ".KBBBBBBGSSSSSSSSSSSSSSGBBBBBBK.",
    ".KBBBBBBGGGGGGGGGGGGGGGGBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWbbbbbbbbbbbbbbbbWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWbbbbbbbbbbbbbbbbWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWbbbbbbbbbbbbbbbbWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBKKBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBKKBWWbbbbbbbbbbbbbbbbWWBBBBK.",
    ".KBKKBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KBBBBWWWWWWWWWWWWWWWWWWWWBBBBK.",
    ".KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.",
    "................................",
]

# Black (#) on white (.).
ABOUT_ART = [
    "................................................................",
    "...#####################################################........",
    "...######################################################.......",
    "...##.............#..........................#..........##......",
    "...##.............#..........................#...........##.....",
    "...##.............#................######....#............##....",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#................######....#.............##...",
    "...##.............#..........................#.............##...",
    "...##.............#..........................#.............##...",
    "...##.............############################.............##...",
    "...##......................................................##...",
    "...##......................................................##...",
    "...##......................................................##...",
    "...##......................................................##...",
    "...##......................................................##...",
    "...##......................................................##...",
    "...##.....############################################.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#...####################################...#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#...####################################...#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#...####################################...#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.###.#..........................................#.....##...",
    "...##.###.#..........................................#.....##...",
    "...##.###.#...####################################...#.....##...",
    "...##.###.#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##.....#..........................................#.....##...",
    "...##########################################################...",
    "...##########################################################...",
    "................................................................",
]


def rows_bottom_up(art):
    return list(reversed(art))


def pack_row(values, bits):
    """Packs pixel values of `bits` bits each, most significant first, padded
    to a multiple of 4 bytes as every bitmap row is."""
    per_byte = 8 // bits
    data = bytearray()
    for start in range(0, len(values), per_byte):
        byte = 0
        for i, value in enumerate(values[start:start + per_byte]):
            byte |= value << (8 - bits * (i + 1))
        data.append(byte)
    while len(data) % 4:
        data.append(0)
    return bytes(data)


def info_header(width, height, bits, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colours, 0)


def palette_bytes(colours):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)


def make_icon(art):
    width, height = len(art[0]), len(art)
    colour = b"".join(pack_row([ICON_COLOURS.get(c, 0) for c in row], 4) for row in rows_bottom_up(art))
    mask = b"".join(pack_row([1 if c == "." else 0 for c in row], 1) for row in rows_bottom_up(art))
    # An icon image's header counts the colour and mask rows together.
    image = info_header(width, height * 2, 4, len(colour) + len(mask), 16) + palette_bytes(PALETTE) + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def make_bitmap(art):
    width, height = len(art[0]), len(art)
    pixels = b"".join(pack_row([1 if c == "#" else 0 for c in row], 1) for row in rows_bottom_up(art))
    header = info_header(width, height, 1, len(pixels), 2) + palette_bytes([(0xFF, 0xFF, 0xFF), (0, 0, 0)])
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    return file_header + header + pixels


def main():
    assert all(len(row) == 32 for row in ICON_ART) and len(ICON_ART) == 32
    assert all(len(row) == 64 for row in ABOUT_ART) and len(ABOUT_ART) == 55
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "Trakoni.ico"), "wb") as f:
        f.write(make_icon(ICON_ART))
    with open(os.path.join(here, "About.bmp"), "wb") as f:
        f.write(make_bitmap(ABOUT_ART))


if __name__ == "__main__":
    main()
