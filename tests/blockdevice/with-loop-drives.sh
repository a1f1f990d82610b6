#!/usr/bin/env bash
# Runs a command with drive letters on kernel block devices: loop devices over
# images made here, the same kind of device as a USB floppy drive's /dev/sdX.
#
#   with-loop-drives.sh [--no-prefix] WORKDIR DRIVE... -- COMMAND [ARG...]
#
# DRIVE is LETTER=SIZE (a zero-filled image of SIZE bytes), LETTER=SIZE:fat
# (the same, FAT-formatted) or LETTER=FILE (a copy of that image; the file
# itself is never attached). Images are made fresh under WORKDIR/images, each
# attached to a loop device of its own, and a throwaway Wine prefix
# WORKDIR/wineprefix is made with every LETTER: a floppy drive whose raw device
# (\\.\LETTER:) is that loop device (--no-prefix: no prefix). COMMAND then runs
# with, for each drive, TRAKONI_LOOP_<LETTER> (the device, e.g. /dev/loop3) and
# TRAKONI_LOOP_IMAGE_<LETTER> (its image) in its environment, and WINEPREFIX
# set; a COMMAND ending in .exe runs under Wine (cmake/wine-run.sh).
#
# Exits with COMMAND's status, or 77 after a line "SKIPPED: COMMAND: reason"
# when no loop device can be attached (not root, no loop support): CTest counts
# that as skipped with SKIP_RETURN_CODE 77 and keeps the line in its log, which
# scripts/test.sh shows. Every loop device attached here is detached on every
# way out (the command failing, INT, TERM), the prefix's Wine server stopped
# first; no other loop device is ever touched. A run killed outright (SIGKILL,
# as a CTest timeout does) leaves its devices; the next run with the same
# WORKDIR detaches those, known by their images.
#
# For example, a program with windows on a 1.44 MB FAT disk in A: (as a CTest
# test: set SKIP_RETURN_CODE 77 and give it a WORKDIR of its own):
#   with-loop-drives.sh build/mingw/loop a=1474560:fat -- build/mingw/app/Trakoni.exe
set -eu

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
make_prefix=yes
if [ "${1:-}" = --no-prefix ]; then
    make_prefix=
    shift
fi
[ $# -ge 3 ] || { sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
work=$(mkdir -p "$1" && cd "$1" && pwd)
shift
drives=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    drives+=("$1")
    shift
done
[ "${1:-}" = -- ] && [ $# -ge 2 ] || { echo "with-loop-drives.sh: no -- COMMAND" >&2; exit 2; }
shift
images=$work/images
prefix=$work/wineprefix

command_name=$(basename "$1")
skip() {
    echo "SKIPPED: $command_name: $*"
    exit 77
}
command -v losetup >/dev/null || skip "losetup is not installed (Debian package mount)"

# One run at a time per WORKDIR: its images and devices are this run's alone.
exec 8>"$work/.lock"
flock 8

# The devices whose image is one of ours; only these are ever detached.
ours() {
    losetup -nl -O NAME,BACK-FILE 2>/dev/null |
        awk -v dir="$images/" 'index($2, dir) == 1 { print $1 }'
}
detach_ours() {
    local device
    for device in $(ours); do
        losetup -d "$device" 2>/dev/null || echo "with-loop-drives.sh: could not detach $device" >&2
    done
}

child=
cleanup() {
    trap '' INT TERM  # a signal now would cut the clean-up short
    [ -z "$child" ] || kill "$child" 2>/dev/null || true
    if [ -n "$make_prefix" ] && [ -d "$prefix" ]; then
        WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    detach_ours
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

detach_ours  # left by a run that was killed outright
rm -rf "$images"
mkdir -p "$images"
prefix_drives=()
for drive in "${drives[@]}"; do
    letter=$(printf '%s' "${drive%%=*}" | tr 'a-z' 'A-Z')
    content=${drive#*=}
    image=$images/$letter.img
    case $content in
        *:fat) truncate -s "${content%:fat}" "$image" && mkfs.fat "$image" >/dev/null ;;
        *[!0-9]*) cp "$content" "$image" ;;
        *) truncate -s "$content" "$image" ;;
    esac
    if ! device=$(losetup -f --show "$image" 2>&1); then
        skip "cannot attach a loop device: $device"
    fi
    export "TRAKONI_LOOP_$letter=$device" "TRAKONI_LOOP_IMAGE_$letter=$image"
    prefix_drives+=("$letter:floppy=$device")
done

if [ -n "$make_prefix" ]; then
    "$here/../wine/make-prefix.sh" "$prefix" "${prefix_drives[@]}"
    export WINEPREFIX=$prefix
fi
# In the background, so that INT and TERM reach the traps above at once.
case $1 in
    *.exe) "$here/../../cmake/wine-run.sh" "$prefix" "$@" & ;;
    *) "$@" & ;;
esac
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
