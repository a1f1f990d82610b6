#!/usr/bin/env bash
# Makes the demonstration floppy that the run command puts in drive A:
#   make-demo-floppy.sh MKFS_FAT MCOPY FOLDER
# FOLDER/floppy.img: a FAT-formatted 1.44 MB disk holding a few text files;
# FOLDER/images/cyl00.bin .. cyl79.bin: the same disk as cylinder image files
# (18,432 bytes each: 2 heads x 18 sectors x 512 bytes).
set -eu
mkfs_fat=$1
mcopy=$2
out=$3

work=$out/files
rm -rf "$out"
mkdir -p "$work" "$out/images"

printf 'This disk was made for trying out Vantor Trakoni.\r\n' >"$work/README.TXT"
printf 'Copy it to image files and back; the files come back unchanged.\r\n' >>"$work/README.TXT"
printf 'Hello from drive A:\r\n' >"$work/HELLO.TXT"
for n in $(seq 1 40); do
    printf 'Line %02d of a file that spans more than one cylinder of the disk.\r\n' "$n"
done >"$work/LINES.TXT"

# A fixed volume id keeps the image the same from build to build.
"$mkfs_fat" -C -i 54524B4E -n TRAKONI "$out/floppy.img" 1440 >/dev/null
export MTOOLS_SKIP_CHECK=1
"$mcopy" -i "$out/floppy.img" "$work/README.TXT" "$work/HELLO.TXT" "$work/LINES.TXT" ::/
rm -rf "$work"

(cd "$out" && split -b 18432 -d -a 2 --additional-suffix=.bin floppy.img images/cyl)
