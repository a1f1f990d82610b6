#!/usr/bin/python3
"""A disk with chosen faults, as a FUSE file system (Debian's python3-fusepy):
    fault-device.py IMAGE FAULTS MOUNTPOINT
serves MOUNTPOINT/disk.img, read and written through to IMAGE, and
MOUNTPOINT/requests, what reached it so far ("reads R (F failed) writes W (G
failed)"). FAULTS holds lines of 512-byte sector ranges, re-read when it
changes (a test "repairs" the disk by emptying it):
    read 100-101    reads of these sectors fail (EIO)
    write 100       writes of them fail
    weak 200 2      their first 2 reads fail
    corrupt 300     writes succeed but the medium keeps other bytes
    slow 0-2879 30  reads and writes of these sectors take 30 ms more
A request that touches a failing sector fails whole, as a drive's would.
Runs in the foreground until unmounted."""
import errno
import os
import stat
import sys
import time

import fusepy

SECTOR = 512


class FaultDevice(fusepy.Operations):
    use_ns = True

    def __init__(self, image, faults):
        self.disk = os.open(image, os.O_RDWR)
        self.faults_file, self.seen, self.faults, self.reads_of = faults, None, [], {}
        self.counts = dict(reads=0, failed_reads=0, writes=0, failed_writes=0)

    def load_faults(self):
        try:
            st = os.stat(self.faults_file)
            seen = (st.st_mtime_ns, st.st_size, st.st_ino)
        except FileNotFoundError:
            seen = None
        if seen == self.seen:
            return
        self.seen, self.faults, self.reads_of = seen, [], {}
        with open(self.faults_file) if seen else open(os.devnull) as lines:
            for line in lines:
                words = line.split()
                if words and not words[0].startswith('#'):
                    first, _, last = words[1].partition('-')
                    self.faults.append((words[0], int(first), int(last or first), int(words[2]) if len(words) > 2 else 0))

    def hit(self, kinds, offset, size):
        """The faulty sectors of these kinds among those of the request."""
        first, last = offset // SECTOR, (offset + size - 1) // SECTOR
        return [(kind, s, n) for kind, a, b, n in self.faults if kind in kinds for s in range(max(a, first), min(b, last) + 1)]

    def text(self):
        return 'reads {reads} ({failed_reads} failed) writes {writes} ({failed_writes} failed)\n'.format(**self.counts).encode()

    def getattr(self, path, fh=None):
        if path == '/':
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2)
        if path == '/disk.img':
            return dict(st_mode=stat.S_IFREG | 0o644, st_nlink=1, st_size=os.fstat(self.disk).st_size)
        if path == '/requests':
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=len(self.text()))
        raise fusepy.FuseOSError(errno.ENOENT)

    def read(self, path, size, offset, fh):
        if path == '/requests':
            return self.text()[offset:offset + size]
        self.load_faults()
        self.counts['reads'] += 1
        for _, _, ms in self.hit(('slow',), offset, size)[:1]:
            time.sleep(ms / 1000)
        failing = False
        for kind, sector, n in self.hit(('read', 'weak'), offset, size):
            tried = self.reads_of.get(sector, 0)
            self.reads_of[sector] = tried + 1
            failing |= kind == 'read' or tried < n
        if failing:
            self.counts['failed_reads'] += 1
            raise fusepy.FuseOSError(errno.EIO)
        return os.pread(self.disk, size, offset)

    def write(self, path, data, offset, fh):
        self.load_faults()
        self.counts['writes'] += 1
        for _, _, ms in self.hit(('slow',), offset, len(data))[:1]:
            time.sleep(ms / 1000)
        if self.hit(('write',), offset, len(data)):
            self.counts['failed_writes'] += 1
            raise fusepy.FuseOSError(errno.EIO)
        kept = bytearray(data)
        for _, sector, _ in self.hit(('corrupt',), offset, len(data)):
            at = sector * SECTOR - offset
            kept[max(at, 0):at + SECTOR] = bytes(b ^ 0xFF for b in kept[max(at, 0):at + SECTOR])
        return os.pwrite(self.disk, bytes(kept), offset)


if __name__ == '__main__':
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    # direct_io: every request reaches this program, none is served from a cache.
    fusepy.FUSE(FaultDevice(sys.argv[1], sys.argv[2]), sys.argv[3], foreground=True, nothreads=True,
                direct_io=True, fsname='trakoni-fault-device')
