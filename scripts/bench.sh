#!/usr/bin/env bash
# Benchmark: copies a 1.44 MB floppy (random bytes) to 80 cylinder files and
# back through the engine on the real platform under Wine, timed inside the
# program, twice: with drive A: on an image file, and with drive A: on a
# kernel block device (a loop device over the same bytes, as a USB floppy
# drive is seen). Does the same work on the host with split and cat. Then
# counts, from the host side, the file and disk transfers the program made,
# among them the reads that find a block device's size. The same for the
# command line's write --verify, pack and unpack, beside cat, cmp and split.
# Then the requests a rescue of a damaged disk makes on the simulated drive.
# Then the native program beside the Windows one and dd (bench-native.sh), and
# last in the virtual machine of tests/vm beside dd again (bench-vm.sh).
#   scripts/bench.sh [ROUNDS]     (default 5; best and median are shown)
# Uses build/mingw (or $TRAKONI_BUILD_DIR), built if needed, and Wine prefixes
# of its own in it. The block device needs root (losetup); without it that
# column says why it is missing.
set -eu

rounds=${1:-5}
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
work=$build/bench
prefix=$work/wineprefix
image=$work/floppy.img
host=$work/host

EXTRA_PACKAGES=strace build_targets trakoni_bench >/dev/null
bench=$build/tests/bench/trakoni_bench.exe

mkdir -p "$work"
head -c 1474560 /dev/urandom >"$work/original.img"
cp "$work/original.img" "$image"
if [ ! -e "$prefix/.ready" ]; then
    start=$(date +%s%N)
    "$root/tests/wine/make-prefix.sh" "$prefix" "a:floppy=$image"
    echo "Made the Wine prefix in $(( ($(date +%s%N) - start) / 1000000 )) ms"
fi
trap 'WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT

# measure KIND DISK: with the disk of drive A: of $WINEPREFIX at DISK (an image
# file or a device), the timed copies into $work/KIND.out, the disk and the
# files checked against the original, and one more round traced into
# $work/KIND.strace.
measure() {
    local kind=$1 disk=$2
    local files=$work/files-$kind out=$work/$kind.out
    local windows_files="Z:$(printf '%s' "$files" | tr '/' '\\')"
    rm -rf "$files"
    mkdir -p "$files"
    if ! "$root/cmake/wine-run.sh" "$WINEPREFIX" "$bench" copies A "$windows_files" "$rounds" \
        >"$out.raw" 2>&1; then
        cat "$out.raw" >&2
        echo "bench.sh: the benchmark program failed on the $kind" >&2
        return 1
    fi
    tr -d '\r' <"$out.raw" >"$out"
    cat "$files"/cyl*.bin | cmp -s - "$work/original.img" ||
        { echo "bench.sh: the cylinder files do not hold the $kind's disk" >&2; return 1; }
    cmp -s "$disk" "$work/original.img" ||
        { echo "bench.sh: the $kind changed on its way through the files" >&2; return 1; }
    if command -v strace >/dev/null; then
        strace -f -qq -y -e trace=read,write,pread64,pwrite64,readv,writev,preadv,pwritev \
            -o "$work/$kind.strace" "$root/cmake/wine-run.sh" "$WINEPREFIX" "$bench" copies A \
            "$windows_files" 1 >/dev/null 2>&1 || true
        readlink -f "$disk" >"$work/$kind.disk"
    fi
}
export -f measure

rm -f "$work"/*.out "$work"/*.strace "$work"/*.disk
WINEPREFIX=$prefix measure image "$image"
# The same bytes on a loop device, drive A: of a prefix made for it.
device_note=
"$root/tests/blockdevice/with-loop-drives.sh" "$work/loop" "a=$work/original.img" -- \
    bash -c 'work=$1 root=$2 bench=$3 rounds=$4 measure device "$TRAKONI_LOOP_A"' \
    _ "$work" "$root" "$bench" "$rounds" >"$work/loop.log" 2>&1 ||
    device_note=$(grep -m1 '^SKIPPED: ' "$work/loop.log" || { cat "$work/loop.log" >&2; echo "failed"; })

# The command line on the image file: write --verify, pack and unpack, timed
# around each command, its disk requests and buffers counted inside; one more
# round traced.
windows_files="Z:$(printf '%s' "$work/files-image" | tr '/' '\\')"
windows_packed="Z:$(printf '%s' "$work/packed.img" | tr '/' '\\')"
cli_run() {  # ROUNDS
    "$root/cmake/wine-run.sh" "$prefix" "$bench" cli A "$windows_files" "$windows_packed" "$1"
}
if ! cli_run "$rounds" >"$work/cli.out.raw" 2>&1; then
    cat "$work/cli.out.raw" >&2
    echo "bench.sh: the command-line benchmark failed" >&2
    exit 1
fi
tr -d '\r' <"$work/cli.out.raw" >"$work/cli.out"
cmp -s "$work/packed.img" "$work/original.img" ||
    { echo "bench.sh: pack did not make the disk's image" >&2; exit 1; }
cat "$work/files-image"/unpacked/cyl*.bin | cmp -s - "$work/original.img" ||
    { echo "bench.sh: unpack did not make the disk's files" >&2; exit 1; }
if command -v strace >/dev/null; then
    strace -f -qq -y -e trace=read,write,pread64,pwrite64,readv,writev,preadv,pwritev \
        -o "$work/cli.strace" bash -c "$(declare -f cli_run); root=$root prefix=$prefix bench=$bench windows_files='$windows_files' windows_packed='$windows_packed' cli_run 1" >/dev/null 2>&1 || true
fi

# An archive against the same two reads without a bag (read --verify), on
# the image file.
"$root/cmake/wine-run.sh" "$prefix" "$bench" archive A "$windows_files" "$rounds" 2>&1 | tr -d '\r' >"$work/archive.out" ||
    { cat "$work/archive.out" >&2; echo "bench.sh: the archive benchmark failed" >&2; exit 1; }

# The host: the same work with split and cat.
best_median() {  # milliseconds of every round on stdin
    sort -n | awk '{ t[NR] = $1 } END { printf "%.2f / %.2f", t[1], t[int(NR / 2) + 1] }'
}
rm -rf "$host"
mkdir -p "$host"
split_times=()
cat_times=()
cmp_times=()
for _ in $(seq 1 "$rounds"); do
    start=$(date +%s%N)
    split -b 18432 -d -a 2 --additional-suffix=.bin "$image" "$host/cyl"
    middle=$(date +%s%N)
    cat "$host"/cyl*.bin >"$host/joined.img"
    end=$(date +%s%N)
    cmp -s "$host/joined.img" "$image" || { echo "bench.sh: split and cat disagree" >&2; exit 1; }
    compared=$(date +%s%N)
    split_times+=("$(( (middle - start) / 1000 ))")
    cat_times+=("$(( (end - middle) / 1000 ))")
    cmp_times+=("$(( (compared - middle) / 1000 ))")
done
cmp -s "$host/joined.img" "$image" || { echo "bench.sh: split and cat disagree" >&2; exit 1; }
host_split=$(printf '%s\n' "${split_times[@]}" | awk '{ print $1 / 1000 }' | best_median)
host_cat=$(printf '%s\n' "${cat_times[@]}" | awk '{ print $1 / 1000 }' | best_median)
host_cat_cmp=$(printf '%s\n' "${cmp_times[@]}" | awk '{ print $1 / 1000 }' | best_median)

# The engine's best / median of one operation on KIND, with its status.
engine_time() {  # KIND OPERATION
    [ -e "$work/$1.out" ] || { echo "-"; return; }
    awk -v op="$2" '$1 == "RESULT" && $2 == op { printf "%.2f / %.2f (%s)", $4, $5, $3 }' "$work/$1.out"
}
echo
echo "Time of the copy itself, best / median of $rounds rounds (ms):"
printf '  %-18s %-22s %-22s %s\n' "work" "image file" "block device" "host tool"
printf '  %-18s %-22s %-22s %s\n' "disk to 80 files" "$(engine_time image disk-to-files)" \
    "$(engine_time device disk-to-files)" "$host_split  (split -b 18432)"
printf '  %-18s %-22s %-22s %s\n' "80 files to disk" "$(engine_time image files-to-disk)" \
    "$(engine_time device files-to-disk)" "$host_cat  (cat)"
printf '  %-18s %-22s %-22s %s\n' "  its flush" "$(engine_time image files-to-disk-flush)" \
    "$(engine_time device files-to-disk-flush)" "-  (FlushFileBuffers of the drive)"
printf '  %-18s %-22s %-22s %s\n' "write --verify" "$(engine_time cli write-verify)" "-" "$host_cat_cmp  (cat, cmp)"
printf '  %-18s %-22s %-22s %s\n' "pack" "$(engine_time cli pack)" "-" "$host_cat  (cat)"
printf '  %-18s %-22s %-22s %s\n' "unpack" "$(engine_time cli unpack)" "-" "$host_split  (split -b 18432)"
printf '  %-18s %-22s %-22s %s\n' "read --verify" "$(engine_time archive read-verify)" "-" "-"
printf '  %-18s %-22s %-22s %s\n' "archive" "$(engine_time archive archive)" "-" "-"
awk '$1 == "RESULT" { t[$2] = $5 } $1 == "RESULT" && $2 == "disk-to-files" { read = $5 }
    END { printf "  an archive adds %.2f ms to the two reads of read --verify (median; %.1f%% of them, %.1f%% of a plain read)\n",
          t["archive"] - t["read-verify"], 100 * (t["archive"] - t["read-verify"]) / t["read-verify"],
          100 * (t["archive"] - t["read-verify"]) / read }' "$work/archive.out" "$work/image.out"
[ -z "$device_note" ] || echo "  block device: $device_note"
echo "  (a real 1.44 MB drive needs about 160 revolutions, over 30 s, per disk)"

# What reached the host's files, seen from outside the program: one round
# under strace (the size check, then a copy each way), each system call on
# the disk or a cylinder file.
count_transfers() {  # KIND
    awk -v disk="$(cat "$work/$1.disk")" -v cylinder=18432 '
        {
            if (!match($0, /(read|write|pread64|pwrite64|readv|writev|preadv|pwritev)\([0-9]+<[^>]*>/)) next
            call = substr($0, RSTART, RLENGTH)
            name = call; sub(/\(.*/, "", name)
            path = call; sub(/^[^<]*</, "", path); sub(/>$/, "", path)
            if (path == disk) what = "disk"
            else if (path ~ /\/cyl[0-9][0-9]\.bin$/) what = "cylinder files"
            else next
            if (!match($0, /= -?[0-9]+/)) next
            bytes = substr($0, RSTART + 2, RLENGTH - 2) + 0
            # Wine reads the first 23 bytes of every file it opens.
            if (name == "pread64" && $0 ~ /, 23, 0\) = /) { looks[what]++; next }
            # The size of a block device, found by one-sector reads; each
            # search starts at the smallest floppy size.
            if (what == "disk" && name == "pread64" && $0 ~ /, 512, [0-9]+\) = /) {
                probeReads++
                if ($0 ~ /, 512, 737280\) = /) probes++
                next
            }
            kind = (name ~ /read/) ? "reads" : "writes"
            key = what " " kind
            count[key]++; total[key] += bytes
            if (bytes == cylinder) whole[key]++
            else { other[key]++; otherBytes[key] += bytes }
        }
        END {
            n = split("disk reads,cylinder files writes,cylinder files reads,disk writes", order, ",")
            for (i = 1; i <= n; i++) {
                k = order[i]
                printf "  %-22s %3d of %d bytes", k, whole[k], cylinder
                if (other[k]) printf ", and %d more calls moving %d bytes in all", other[k], otherBytes[k]
                printf "\n"
            }
            if (probes) printf "  %-22s %3d of 512 bytes in %d opens, %.1f per open\n", "size probe reads", probeReads, probes, probeReads / probes
            printf "  (not counted: Wine reads the first 23 bytes of a file when it opens it:"
            printf " %d times the disk, %d times a cylinder file)\n", looks["disk"], looks["cylinder files"]
        }' "$work/$1.strace"
}
for kind in image device; do
    [ -e "$work/$kind.strace" ] || continue
    echo
    echo "Transfers seen by the host in one more round on the $kind (strace; calls, bytes):"
    count_transfers "$kind"
done
if [ -e "$work/cli.strace" ]; then
    echo
    echo "Transfers seen by the host in one more round of write --verify, pack and unpack"
    echo "(calls of 18432 bytes: verifying reads the disk once more; pack and unpack read"
    echo "and write each cylinder once):"
    awk -v disk="$(readlink -f "$image")" '
        match($0, /(read|write|pread64|pwrite64)\([0-9]+<[^>]*>.*, 18432(, [0-9]+)?\) = 18432/) {
            call = substr($0, RSTART, RLENGTH); name = call; sub(/\(.*/, "", name)
            path = call; sub(/^[^<]*</, "", path); sub(/>.*$/, "", path)
            what = ""
            if (path == disk) what = "disk"
            else if (path ~ /\/packed\.img(\.trakoni-[0-9]+-[0-9]+\.partial)?$/) what = "packed image"
            else if (path ~ /\/unpacked[./]/) what = "unpacked files"
            else if (path ~ /\/cyl[0-9][0-9]\.bin$/) what = "cylinder files"
            if (what != "") count[what " " (name ~ /read/ ? "reads" : "writes")]++
        }
        END { for (k in count) printf "  %-24s %3d\n", k, count[k] }' "$work/cli.strace" | sort
fi

echo
echo "Requests to the simulated drive of a 1.44 MB disk with damage (plain read: stops at the first fault):"
"$root/cmake/wine-run.sh" "$prefix" "$bench" rescue | tr -d '\r'

# The native program beside the Windows one and dd.
build_native_targets trakoni-cli >/dev/null
"$root/scripts/bench-native.sh" "$rounds" "$work/native"

# The native program in the virtual machine, on the kernel's USB-storage driver.
"$root/scripts/bench-vm.sh" "$rounds"
