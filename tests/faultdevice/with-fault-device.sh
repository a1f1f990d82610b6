#!/usr/bin/env bash
# Runs a command with a kernel block device whose chosen sectors fail:
#
#   with-fault-device.sh WORKDIR SIZE|IMAGE FAULTS -- COMMAND [ARG...]
#
# The backing image WORKDIR/backing.img is made fresh (SIZE zero bytes, or a
# copy of IMAGE), served through fault-device.py at WORKDIR/mnt/disk.img with
# the faults listed in the file FAULTS (made empty if missing; the command may
# change it, the device follows), and a loop device is attached over the
# served file. COMMAND runs with TRAKONI_FAULT_DEVICE (e.g. /dev/loop3),
# TRAKONI_FAULT_IMAGE (the backing image: what the medium holds),
# TRAKONI_FAULT_FAULTS (the faults file) and TRAKONI_FAULT_REQUESTS (a file
# saying how many reads and writes reached the device) in its environment.
#
# Exits with COMMAND's status, or 77 after "SKIPPED: COMMAND: reason" when
# there is no FUSE, fusepy or loop device (not root). On every way out (the
# command failing, INT, TERM) the Wine server of WORKDIR/wineprefix, if any, is
# stopped, the loop device detached and the mount unmounted: these only. A run
# killed outright leaves them; the next run with the same WORKDIR removes them.
set -eu

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -ge 5 ] && [ "$4" = -- ] || { sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
work=$(mkdir -p "$1" && cd "$1" && pwd)
content=$2
faults=$(mkdir -p "$(dirname "$3")" && cd "$(dirname "$3")" && pwd)/$(basename "$3")
shift 4
mnt=$work/mnt
served=$mnt/disk.img
prefix=$work/wineprefix

command_name=$(basename "$1")
skip() {
    echo "SKIPPED: $command_name: $*"
    exit 77
}
[ -c /dev/fuse ] || skip "no /dev/fuse (FUSE is not available here)"
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || skip "fusepy is missing (Debian package python3-fusepy)"
command -v losetup >/dev/null || skip "losetup is not installed (Debian package mount)"

exec 8>"$work/.lock"  # one run at a time per WORKDIR
flock 8

# Ours alone: the loop devices over our served file, and our mount.
clean_up_ours() {
    if [ -d "$prefix" ]; then
        WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    # Once its FUSE server is gone, a device recorded here shows /disk.img.
    local device recorded
    recorded=$(cat "$work/device" 2>/dev/null || true)
    for device in $(losetup -nl -O NAME,BACK-FILE 2>/dev/null |
        awk -v f="$served" -v r="$recorded" '$2 == f || ($1 == r && $2 == "/disk.img") { print $1 }'); do
        losetup -d "$device" 2>/dev/null || echo "with-fault-device.sh: could not detach $device" >&2
    done
    if findmnt -rn --mountpoint "$mnt" >/dev/null 2>&1; then
        umount "$mnt" 2>/dev/null || umount -l "$mnt" || echo "with-fault-device.sh: could not unmount $mnt" >&2
    fi
}

child=
server=
cleanup() {
    trap '' INT TERM  # a signal now would cut the clean-up short
    [ -z "$child" ] || kill "$child" 2>/dev/null || true
    clean_up_ours
    [ -z "$server" ] || wait "$server" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

clean_up_ours  # left by a run that was killed outright
mkdir -p "$mnt"
case $content in
    *[!0-9]*) cp "$content" "$work/backing.img" ;;
    *) rm -f "$work/backing.img" && truncate -s "$content" "$work/backing.img" ;;
esac
[ -e "$faults" ] || : >"$faults"
"$here/fault-device.py" "$work/backing.img" "$faults" "$mnt" 2>"$work/fault-device.log" 8>&- &
server=$!
for _ in $(seq 1 50); do
    [ -e "$served" ] && break
    kill -0 "$server" 2>/dev/null || skip "cannot mount FUSE: $(head -1 "$work/fault-device.log")"
    sleep 0.1
done
[ -e "$served" ] || skip "the FUSE mount did not come up: $(head -1 "$work/fault-device.log")"
device=$(losetup -f --show "$served" 2>&1) || skip "cannot attach a loop device: $device"
echo "$device" >"$work/device"
export TRAKONI_FAULT_DEVICE=$device TRAKONI_FAULT_IMAGE=$work/backing.img TRAKONI_FAULT_FAULTS=$faults \
    TRAKONI_FAULT_REQUESTS=$mnt/requests

# In the background, so that INT and TERM reach the traps above at once.
"$@" 8>&- &
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
