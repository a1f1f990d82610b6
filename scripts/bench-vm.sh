#!/usr/bin/env bash
# The native trakoni-cli in tests/vm's virtual machine, on the kernel's
# USB-storage driver: its read of a 1.44 MB USB disk beside dd iflag=direct
# bs=18432 (one request a cylinder, into a file as the program writes files)
# over the same disk in the same boot, and the program's start alone, in turns,
# ROUNDS times (medians); with them the bed's own figures (the read requests
# of a rescue of one bad sector, the suite's time).
#   scripts/bench-vm.sh [ROUNDS]     (default 11)
set -eu

rounds=${1:-11}
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$root/scripts/install-deps.sh"
build_native_targets trakoni-cli >/dev/null
guest=$(mktemp)
trap 'rm -f "$guest"' EXIT
# Run by the guest's /init after the scenarios: $usb is the USB disk, say()
# reports to the host; /proc/uptime counts in hundredths of a second.
{
    echo "rounds=$rounds"
    cat <<'GUEST'
centiseconds() { awk '{ print $1 * 100 }' /proc/uptime; }
for round in $(seq "$rounds"); do
    rm -rf /tmp/bench /tmp/dd.img
    t0=$(centiseconds)
    dd if="$usb" of=/tmp/dd.img iflag=direct bs=18432 2>/dev/null
    t1=$(centiseconds)
    trakoni-cli read "$usb" /tmp/bench --quiet
    t2=$(centiseconds)
    trakoni-cli --version >/dev/null
    echo "$((t1 - t0)) $((t2 - t1)) $(($(centiseconds) - t2))"
done >/tmp/times
median() { cut -d' ' -f"$1" /tmp/times | sort -n | sed -n "$((rounds / 2 + 1))p"; }
say "FIGURE $(awk -v n="$rounds" -v d="$(median 1)" -v r="$(median 2)" -v s="$(median 3)" 'BEGIN {
    printf "USB read (median of %d): trakoni-cli %.2f s, dd %.2f s, ratio %.2f; the program'"'"'s start alone %.2f s",
        n, r / 100, d / 100, r / d, s / 100 }')"
GUEST
} >"$guest"
"$root/tests/vm/run-vm.sh" "$native_build/tests/vm" "$native_build/cli/trakoni-cli" "$guest" |
    grep -E '^(VM:|SKIPPED:|FAIL:)'
