#!/usr/bin/env bash
# What the run command refuses to use as drive A:, and that a refusal starts
# nothing and changes nothing.
#   run-refusals.sh           sources that are no device: no root needed
#   run-refusals.sh devices   loop devices M (1.44 MB FAT, mounted here),
#                             L (4 MiB) and U (1.44 MB), as with-loop-drives.sh
#                             attaches them; needs root
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
chmod 755 "$work"  # the cases run as another user reach the copies below
mounted=
restore=()  # chown and chmod back a device node this script changed
cleanup() {
    [ -z "$mounted" ] || umount "$mounted"
    [ ${#restore[@]} -eq 0 ] || { chown "${restore[0]}" "${restore[2]}"; chmod "${restore[1]}" "${restore[2]}"; }
    rm -rf "$work"
}
trap cleanup EXIT

# The run command as another user reaches it: a checkout in a home folder
# (/root) is closed to others.
mkdir -p "$work/scripts"
cp "$root/scripts/run.sh" "$root/scripts/common.sh" "$work/scripts/"
# Anything that gets past the checks into the build stops at this cmake.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho BUILD STARTED >&2\nexit 1\n' >"$work/bin/cmake"
chmod +x "$work/bin/cmake"

failures=0
# expect_refusal DESCRIPTION SOURCE TEXT [AS-USER]: run.sh exits non-zero with
# TEXT in its message and builds nothing.
expect_refusal() {
    local as=()
    [ -z "${4:-}" ] || as=(setpriv --reuid="$4" --regid="$4" --clear-groups)
    local output status=0
    output=$(PATH="$work/bin:$PATH" TRAKONI_BUILD_DIR="$work/build" \
        "${as[@]}" "$work/scripts/run.sh" "$2" 2>&1 </dev/null) || status=$?
    if [ "$status" -ne 0 ] && [[ $output == *"$3"* ]] && [ ! -e "$work/build" ]; then
        echo "ok - $1: $output"
    else
        echo "FAIL - $1: status $status, expected \"$3\" and nothing built; said: $output"
        failures=$((failures + 1))
    fi
}
expect() {  # DESCRIPTION COMMAND...
    local description=$1
    shift
    if "$@"; then
        echo "ok - $description"
    else
        echo "FAIL - $description"
        failures=$((failures + 1))
    fi
}

# A prefix as use_as_drive_a finds it, with A: a floppy on an image.
prefix=$work/prefix
mkdir -p "$prefix/dosdevices" "$prefix/drives/a"
printf '[Software\\\\Wine\\\\Drives] 1\n"a:"="floppy"\n' >"$prefix/system.reg"
truncate -s 1474560 "$work/old.img"
ln -s "$work/old.img" "$prefix/dosdevices/a::"
maps_a_to() { [ "$(readlink "$prefix/dosdevices/a::")" = "$1" ]; }
remap() { (. "$root/scripts/common.sh" && use_as_drive_a "$prefix" "$1") 2>/dev/null; }

if [ "${1:-}" != devices ]; then
    mkfifo "$work/fifo"
    expect_refusal "a character device" /dev/null "neither a block device nor an image file"
    expect_refusal "a folder" "$work" "neither a block device nor an image file"
    expect_refusal "a FIFO" "$work/fifo" "neither a block device nor an image file"
    expect_refusal "a missing path" "$work/missing.img" "no such file or device"
    expect "refused: the prefix keeps its drive A:" eval '! remap /dev/null && maps_a_to "$work/old.img"'
    truncate -s 737280 "$work/new.img"
    expect "an image file becomes drive A:" eval 'remap "$work/new.img" && maps_a_to "$work/new.img"'
else
    mkdir "$work/mnt"
    # A kernel without FAT support mounts an ext2 filesystem instead.
    mount "$TRAKONI_LOOP_M" "$work/mnt" 2>/dev/null ||
        { mkfs.ext2 -q "$TRAKONI_LOOP_M" && mount "$TRAKONI_LOOP_M" "$work/mnt"; } &&
        mounted=$work/mnt
    expect "the disk on $TRAKONI_LOOP_M is mounted" test -n "$mounted"
    expect_refusal "a mounted device" "$TRAKONI_LOOP_M" "is mounted"
    expect_refusal "a 4 MiB device" "$TRAKONI_LOOP_L" "more than 3 MiB"
    # As Debian gives a USB floppy drive's device to the group disk.
    read -ra restore < <(stat -c '%u:%g %a %n' "$TRAKONI_LOOP_U")
    chgrp disk "$TRAKONI_LOOP_U" && chmod 660 "$TRAKONI_LOOP_U"
    expect_refusal "a device of a group this user is not in" "$TRAKONI_LOOP_U" \
        "cannot read and write $TRAKONI_LOOP_U: it belongs to root, group disk (brw-rw----).
  Run as root, or join the group disk: sudo usermod -aG disk nobody" 65534
    chmod 664 "$TRAKONI_LOOP_U"
    expect_refusal "a device this user may read only" "$TRAKONI_LOOP_U" \
        "cannot read and write" 65534
    expect "an unmounted floppy-sized device is accepted" \
        eval '(. "$root/scripts/common.sh" && refuse_drive_source "$TRAKONI_LOOP_U")'
    expect "refused: the prefix keeps its drive A:" \
        eval '! remap "$TRAKONI_LOOP_M" && maps_a_to "$work/old.img"'
    expect "a device becomes drive A:" \
        eval 'remap "$TRAKONI_LOOP_U" && maps_a_to "$TRAKONI_LOOP_U"'
fi
echo "$failures failed"
[ "$failures" -eq 0 ]
