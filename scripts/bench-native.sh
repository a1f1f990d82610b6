#!/usr/bin/env bash
# The native trakoni-cli beside the Windows one under Wine and dd with direct
# I/O (bs=18432, one cylinder a request), on the same 1.44 MB disk, once as an
# image file and once behind a loop device: read, write, verify, pack and
# unpack, and an archive against read --verify (the same two reads), timed
# around each command (best / median of ROUNDS, ms). Then a
# rescue of a disk with two bad sectors on the fault device, requests and time
# beside dd conv=noerror. Run by scripts/bench.sh; needs both builds.
#   scripts/bench-native.sh ROUNDS WORKDIR
set -eu

rounds=$1
work=$2
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
native=$native_build/cli/trakoni-cli
wine_cli=$build/cli/trakoni-cli.exe
prefix=$work/wineprefix
mkdir -p "$work"
head -c 1474560 /dev/urandom >"$work/disk.img"

# ms COMMAND...: prints the milliseconds of ROUNDS runs, best / median.
ms() {
    local i start times=()
    for i in $(seq 1 "$rounds"); do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; printf 'failed'; return; }
        times+=("$(( ($(date +%s%N) - start) / 1000 ))")
    done
    printf '%s\n' "${times[@]}" | sort -n |
        awk '{ t[NR] = $1 / 1000 } END { printf "%.1f / %.1f", t[1], t[int(NR / 2) + 1] }'
}

# The work on DRIVE (the native program's name for it) and WINE_DRIVE (A: of
# the prefix), with the files under WORKDIR/KIND.
row() { printf '  %-9s %-22s %-22s %s\n' "$@"; }
compare() {
    local kind=$1 drive=$2 t=$work/$1
    rm -rf "$t" && mkdir -p "$t"
    "$native" read "$drive" "$t/set" --quiet
    local W="Z:${t//\//\\}"
    wine_run() { "$root/cmake/wine-run.sh" "$prefix" "$wine_cli" "$@"; }
    echo
    echo "On the $kind ($drive), best / median of $rounds rounds (ms):"
    row work "native" "under Wine" "dd iflag/oflag=direct bs=18432"
    row read "$(ms "$native" read "$drive" "$t/n" --force --quiet)" \
        "$(ms wine_run read A: "$W\\w" --force --quiet)" \
        "$(ms dd if="$drive" of="$t/dd.img" bs=18432 iflag=direct status=none)"
    row write "$(ms "$native" write "$t/set" "$drive" --quiet)" \
        "$(ms wine_run write "$W\\set" A: --quiet)" \
        "$(ms dd if="$work/disk.img" of="$drive" bs=18432 oflag=direct conv=fsync,notrunc status=none)"
    row verify "$(ms "$native" write "$t/set" "$drive" --verify --quiet)" \
        "$(ms wine_run write "$W\\set" A: --verify --quiet)" \
        "$(ms sh -c "dd if='$work/disk.img' of='$drive' bs=18432 oflag=direct conv=fsync,notrunc status=none && dd if='$drive' bs=18432 iflag=direct status=none | cmp -s - '$work/disk.img'")"
    row pack "$(ms "$native" pack "$t/set" "$t/n.img" --force --quiet)" \
        "$(ms wine_run pack "$W\\set" "$W\\w.img" --force --quiet)" "$(ms sh -c "cat '$t/set'/cyl*.bin >'$t/cat.img'")  (cat)"
    row unpack "$(ms "$native" unpack "$t/n.img" "$t/nu" --force --quiet)" \
        "$(ms wine_run unpack "$W\\w.img" "$W\\wu" --force --quiet)" \
        "$(ms split -b 18432 -d -a 2 --additional-suffix=.bin "$t/n.img" "$t/cyl")  (split)"
    local verify archive
    verify=$(ms "$native" read "$drive" "$t/v" --verify --force --quiet)
    archive=$(ms "$native" archive "$drive" "$t/bags" --id d1 --force --quiet)
    row "read -v" "$verify" "$(ms wine_run read A: "$W\\v" --verify --force --quiet)" "-  (read --verify)"
    row archive "$archive" "$(ms wine_run archive A: "$W\\bags" --id d1 --force --quiet)" "-"
    awk -v v="${verify#* / }" -v a="${archive#* / }" 'BEGIN {
        printf "  a native archive adds %.1f ms to the two reads of read --verify (medians): %.0f%% here,\n", a - v, 100 * (a - v) / v
        printf "  %.2f%% of the two reads of a real 1.44 MB drive (160 revolutions each, 64 s)\n", 100 * (a - v) / 64000 }'
    cmp -s "$t/n.img" "$work/disk.img" && cat "$t/nu"/cyl*.bin | cmp -s - "$work/disk.img" ||
        echo "  bench-native.sh: the copies on the $kind do not hold the disk" >&2
}

cp "$work/disk.img" "$work/image.img"
"$root/tests/wine/make-prefix.sh" "$prefix" "a:floppy=$work/image.img" >/dev/null
compare "image file" "$work/image.img"
WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
"$root/tests/blockdevice/with-loop-drives.sh" "$work/loop" "a=$work/disk.img" -- \
    bash -c "$(declare -f ms row compare); rounds=$rounds work=$work root=$root native=$native wine_cli=$wine_cli prefix=\$WINEPREFIX; compare 'loop device' \"\$TRAKONI_LOOP_A\"" ||
    echo "  (no loop device here: see the tests' SKIPPED lines)"

# rescue_requests WHAT COMMAND...: the reads the fault device served for it.
echo
echo "A rescue of a disk whose sectors 100-101 are unreadable (fault device, one round):"
"$root/tests/faultdevice/with-fault-device.sh" "$work/fault" "$work/disk.img" "$work/fault/faults" -- bash -c '
    reads() { awk "{ print \$2 }" "$TRAKONI_FAULT_REQUESTS"; }
    measure() {
        local what=$1 before start
        shift
        echo "read 100-101" >"$TRAKONI_FAULT_FAULTS"
        before=$(reads) start=$(date +%s%N)
        "$@" >/dev/null 2>&1 </dev/null
        printf "  %-38s %4d reads  %6.1f ms\n" "$what" $(( $(reads) - before )) "$(( ($(date +%s%N) - start) / 1000 ))e-3"
    }
    rm -rf "$1/r"
    measure "trakoni-cli read --rescue (native)" "$2" read "$TRAKONI_FAULT_DEVICE" "$1/r" --rescue --quiet
    measure "dd conv=noerror,sync bs=512 direct" dd if="$TRAKONI_FAULT_DEVICE" of="$1/dd.img" bs=512 iflag=direct conv=noerror,sync status=none
    measure "dd conv=noerror,sync bs=18432 direct" dd if="$TRAKONI_FAULT_DEVICE" of="$1/dd.img" bs=18432 iflag=direct conv=noerror,sync status=none
' _ "$work/fault" "$native" || echo "  (no fault device here: see the tests' SKIPPED lines)"

# What the file-system report, the DFXML and the picture of the disk add to an
# archive of a full 1.44 MB FAT disk (an image file): the archive against that
# of the last version without them, built from its sources beside
# (TRAKONI_BENCH_BASELINE, a commit of this repository).
echo
baseline_rev=${TRAKONI_BENCH_BASELINE:-fe2103a}
baseline=$work/baseline-$baseline_rev
if [ ! -x "$baseline/build/cli/trakoni-cli" ]; then
    rm -rf "$baseline" && mkdir -p "$baseline/src"
    git -C "$root" archive "$baseline_rev" | tar -x -C "$baseline/src" &&
        cmake -S "$baseline/src" -B "$baseline/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null &&
        cmake --build "$baseline/build" -j2 --target trakoni-cli >/dev/null ||
        echo "  bench-native.sh: could not build $baseline_rev" >&2
fi
fat=$work/fat.img
rm -f "$fat" && mkfs.fat -C -n FULL "$fat" 1440 >/dev/null
for i in $(seq -w 1 15); do
    head -c 96000 /dev/urandom >"$work/file$i.bin"
    MTOOLS_SKIP_CHECK=1 mcopy -i "$fat" "$work/file$i.bin" "::FILE$i.BIN" 2>/dev/null || break
done
without=$(ms "$baseline/build/cli/trakoni-cli" archive "$fat" "$work/fat-bags-old" --id d1 --force --quiet)
with=$(ms "$native" archive "$fat" "$work/fat-bags" --id d1 --force --quiet)
echo "An archive of a full 1.44 MB FAT disk ($(MTOOLS_SKIP_CHECK=1 mdir -i "$fat" -b :: | wc -l) files), best / median of $rounds rounds (ms):"
printf '  %-44s %s\n' "without the file system, DFXML and picture" "$without  ($baseline_rev)" "with them" "$with"
awk -v w="${without#* / }" -v a="${with#* / }" 'BEGIN {
    printf "  they add %.1f ms (medians): %.1f%% of the archive here,", a - w, 100 * (a - w) / w
    printf " %.3f%% of one of a real 1.44 MB drive (two reads, 64 s)\n", 100 * (a - w) / 64000 }'
grep -q '^Trakoni-Files: 15$' "$work/fat-bags/d1/bag-info.txt" ||
    echo "  bench-native.sh: the bag of the FAT disk does not count its 15 files" >&2
