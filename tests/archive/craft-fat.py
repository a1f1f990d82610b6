#!/usr/bin/env python3
"""Damages a FAT12 image that mkfs.fat and mcopy made, in place: each
operation names an entry by its 8.3 path (LETTERS/OLD/README.TXT).
  craft-fat.py IMAGE OP ARG... [OP ARG...]...
  chain PATH N|self  the FAT entry of the entry's first cluster becomes N (or itself)
  start PATH OTHER   its first cluster becomes OTHER's
  attr PATH N        its attributes become N
  size PATH N        its size becomes N
  mark PATH I        sector I of the folder's first cluster holds the bad-sector
                     marker (PATH -: sector I of the disk)
  rename PATH NAME   a long name NAME (up to 13 characters, \\xNN escapes) in the
                     slot before it
  orphan PATH NAME   the same with a checksum of another entry
  poke OFFSET B,B..  bytes at an offset of the image"""
import struct
import sys

image = bytearray(open(sys.argv[1], 'rb').read())
sector, per_cluster, reserved, fats, roots = struct.unpack_from('<HBHBH', image, 11)
fat_sectors = struct.unpack_from('<H', image, 22)[0]
root = (reserved + fats * fat_sectors) * sector
data = root + roots * 32
cluster_bytes = sector * per_cluster


def cluster_offset(cluster):
    return data + (cluster - 2) * cluster_bytes


def find(path):
    base, count = root, roots
    for part in path.split('/'):
        name, _, ext = part.partition('.')
        raw = (name.ljust(8) + ext.ljust(3)).encode()
        at = next(base + i * 32 for i in range(count) if image[base + i * 32:base + i * 32 + 11] == raw)
        base, count = cluster_offset(first(at)), cluster_bytes // 32
    return at


def first(at):
    return struct.unpack_from('<H', image, at + 26)[0]


def set_fat(cluster, value):
    for copy in range(fats):
        at = reserved * sector + copy * fat_sectors * sector + cluster * 3 // 2
        pair = struct.unpack_from('<H', image, at)[0]
        pair = (pair & 0xF000 | value) if cluster % 2 == 0 else (pair & 0x000F | value << 4)
        struct.pack_into('<H', image, at, pair)


def long_name(at, name, other):
    checksum = 0
    for byte in image[at:at + 11]:
        checksum = ((checksum & 1) << 7) + (checksum >> 1) + byte & 0xFF
    units = [ord(c) for c in name] + [0] + [0xFFFF] * 12
    piece = bytearray(32)
    piece[0], piece[11], piece[13] = 0x41, 0x0F, (checksum + other) & 0xFF
    for unit, offset in zip(units, [1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30]):
        struct.pack_into('<H', piece, offset, unit)
    image[at - 32:at] = piece


args = sys.argv[2:]
while args:
    op, target, value, args = args[0], args[1], args[2], args[3:]
    if op == 'poke':
        bytes_ = bytes(int(b) for b in value.split(','))
        image[int(target):int(target) + len(bytes_)] = bytes_
        continue
    if target == '-':
        image[int(value) * 512:int(value) * 512 + 512] = (b'TRAKONI BAD SECTOR ' * 27)[:512]
        continue
    at = find(target)
    if op == 'chain':
        set_fat(first(at), first(at) if value == 'self' else int(value))
    elif op == 'start':
        struct.pack_into('<H', image, at + 26, first(find(value)))
    elif op == 'attr':
        image[at + 11] = int(value, 0)
    elif op == 'size':
        struct.pack_into('<I', image, at + 28, int(value))
    elif op == 'mark':
        offset = cluster_offset(first(at)) + int(value) * sector
        image[offset:offset + 512] = (b'TRAKONI BAD SECTOR ' * 27)[:512]
    elif op in ('rename', 'orphan'):
        long_name(at, value.encode().decode('unicode_escape'), op == 'orphan')
open(sys.argv[1], 'wb').write(image)
