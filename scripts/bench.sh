#!/usr/bin/env bash
# Benchmark: copies a 1.44 MB virtual floppy (random bytes) to 80 cylinder
# files and back through the engine on the real platform under Wine, timed
# inside the program, and does the same work on the host with split and cat.
# The same for the command line's write --verify, pack and unpack, beside cat,
# cmp and split. Then counts, from the host side, the file and disk transfers
# the programs made.
#   scripts/bench.sh [ROUNDS]     (default 5; best and median are shown)
# Uses build/mingw (or $TRAKONI_BUILD_DIR), built if needed, and a Wine prefix
# of its own in it.
set -eu

rounds=${1:-5}
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
work=$build/bench
prefix=$work/wineprefix
image=$work/floppy.img
files=$work/files
host=$work/host

EXTRA_PACKAGES=strace build_targets trakoni_bench trakoni_cli_bench >/dev/null
bench=$build/tests/bench/trakoni_bench.exe
cli_bench=$build/tests/cli/trakoni_cli_bench.exe

mkdir -p "$work"
head -c 1474560 /dev/urandom >"$image"
cp "$image" "$work/original.img"
if [ ! -e "$prefix/.ready" ]; then
    start=$(date +%s%N)
    "$root/tests/wine/make-prefix.sh" "$prefix" "a:floppy=$image"
    echo "Made the Wine prefix in $(( ($(date +%s%N) - start) / 1000000 )) ms"
fi
trap 'WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
rm -rf "$files" "$host"
mkdir -p "$files" "$host"
windows_files="Z:$(printf '%s' "$files" | tr '/' '\\')"
windows_packed="Z:$(printf '%s' "$work/packed.img" | tr '/' '\\')"

# The program: disk to files, files to disk, each timed around the engine call.
out=$work/bench.out
if ! "$root/cmake/wine-run.sh" "$prefix" "$bench" A "$windows_files" "$rounds" >"$out.raw" 2>&1; then
    cat "$out.raw" >&2
    echo "bench.sh: the benchmark program failed" >&2
    exit 1
fi
tr -d '\r' <"$out.raw" >"$out"
grep -v '^RESULT ' "$out"
cat "$files"/cyl*.bin | cmp -s - "$work/original.img" ||
    { echo "bench.sh: the cylinder files do not hold the disk" >&2; exit 1; }
cmp -s "$image" "$work/original.img" ||
    { echo "bench.sh: the disk changed on its way through the files" >&2; exit 1; }

# The command line: write --verify, pack and unpack, timed around each command.
cli_out=$work/cli-bench.out
if ! "$root/cmake/wine-run.sh" "$prefix" "$cli_bench" A "$windows_files" "$windows_packed" \
    "$rounds" >"$cli_out.raw" 2>&1; then
    cat "$cli_out.raw" >&2
    echo "bench.sh: the command-line benchmark failed" >&2
    exit 1
fi
tr -d '\r' <"$cli_out.raw" >"$cli_out"
grep -v '^RESULT ' "$cli_out"
cmp -s "$work/packed.img" "$work/original.img" ||
    { echo "bench.sh: pack did not make the disk's image" >&2; exit 1; }
cat "$files"/unpacked/cyl*.bin | cmp -s - "$work/original.img" ||
    { echo "bench.sh: unpack did not make the disk's files" >&2; exit 1; }

# The host: the same work with split and cat, and cmp for verifying.
best_median() {  # milliseconds of every round on stdin
    sort -n | awk '{ t[NR] = $1 } END { printf "%.2f %.2f", t[1], t[int(NR / 2) + 1] }'
}
split_times=()
cat_times=()
cmp_times=()
for _ in $(seq 1 "$rounds"); do
    start=$(date +%s%N)
    split -b 18432 -d -a 2 --additional-suffix=.bin "$image" "$host/cyl"
    middle=$(date +%s%N)
    cat "$host"/cyl*.bin >"$host/joined.img"
    end=$(date +%s%N)
    cat "$host"/cyl*.bin | cmp -s - "$host/joined.img" ||
        { echo "bench.sh: split and cat disagree" >&2; exit 1; }
    compared=$(date +%s%N)
    split_times+=("$(( (middle - start) / 1000 ))")
    cat_times+=("$(( (end - middle) / 1000 ))")
    cmp_times+=("$(( (compared - end) / 1000 ))")
done
cmp -s "$host/joined.img" "$image" || { echo "bench.sh: split and cat disagree" >&2; exit 1; }
host_split=$(printf '%s\n' "${split_times[@]}" | awk '{ print $1 / 1000 }' | best_median)
host_cat=$(printf '%s\n' "${cat_times[@]}" | awk '{ print $1 / 1000 }' | best_median)
host_cat_cmp=$(paste <(printf '%s\n' "${cat_times[@]}") <(printf '%s\n' "${cmp_times[@]}") |
    awk '{ print ($1 + $2) / 1000 }' | best_median)

echo
echo "Time of the copy itself, best / median of $rounds rounds (ms):"
printf '  %-32s %-20s %s\n' "work" "Trakoni engine" "host tool"
read -r _ _ status best median < <(grep '^RESULT disk-to-files ' "$out")
read -r host_best host_median <<<"$host_split"
printf '  %-32s %-20s %s\n' "disk to 80 files ($status)" "$(printf '%.2f / %.2f' "$best" "$median")" "$host_best / $host_median  (split -b 18432)"
read -r _ _ status best median < <(grep '^RESULT files-to-disk ' "$out")
read -r host_best host_median <<<"$host_cat"
printf '  %-32s %-20s %s\n' "80 files to disk ($status)" "$(printf '%.2f / %.2f' "$best" "$median")" "$host_best / $host_median  (cat)"
row() {  # NAME RESULT-FILE HOST-TIMES HOST-TOOL
    local status best median host_best host_median
    read -r _ _ status best median < <(grep "^RESULT $1 " "$2")
    read -r host_best host_median <<<"$3"
    printf '  %-32s %-20s %s\n' "$5 ($status)" "$(printf '%.2f / %.2f' "$best" "$median")" \
        "$host_best / $host_median  ($4)"
}
row write-verify "$cli_out" "$host_cat_cmp" "cat, cmp" "write --verify"
row pack "$cli_out" "$host_cat" "cat" "pack: 80 files to image"
row unpack "$cli_out" "$host_split" "split -b 18432" "unpack: image to 80 files"
echo "  (a real 1.44 MB drive needs about 160 revolutions, over 30 s, per disk)"

# What reached the host's files, seen from outside the programs: one round
# of each under strace, each system call on a disk image or a cylinder file.
# transfers TRACE KINDS: the calls of TRACE on each kind of file (in the
# order KINDS lists them), whole cylinders and others.
transfers() {
    awk -v image="$(readlink -f "$image")" -v cylinder=18432 -v order="$2" '
        {
            if (!match($0, /(read|write|pread64|pwrite64|readv|writev|preadv|pwritev)\([0-9]+<[^>]*>/)) next
            call = substr($0, RSTART, RLENGTH)
            name = call; sub(/\(.*/, "", name)
            path = call; sub(/^[^<]*</, "", path); sub(/>$/, "", path)
            if (path == image) what = "disk image"
            else if (path ~ /\/unpacked\/trakoni\.partial\/cyl[0-9][0-9]\.bin$/) what = "unpacked files"
            else if (path ~ /\/cyl[0-9][0-9]\.bin$/) what = "cylinder files"
            else if (path ~ /\/packed\.img(\.partial)?$/) what = "packed image"
            else next
            if (!match($0, /= -?[0-9]+/)) next
            # Wine reads the first 23 bytes of every file it opens.
            if (name == "pread64" && $0 ~ /, 23, 0\) = /) { looks++; next }
            bytes = substr($0, RSTART + 2, RLENGTH - 2) + 0
            kind = (name ~ /read/) ? "reads" : "writes"
            key = what " " kind
            if (bytes == cylinder) whole[key]++
            else { other[key]++; otherBytes[key] += bytes }
        }
        END {
            n = split(order, keys, ",")
            for (i = 1; i <= n; i++) {
                k = keys[i]
                printf "  %-22s %3d of %d bytes", k, whole[k], cylinder
                if (other[k]) printf ", and %d more calls moving %d bytes in all", other[k], otherBytes[k]
                printf "\n"
            }
            printf "  (not counted: Wine reads the first 23 bytes of a file when it opens it, %d times)\n", looks
        }' "$1"
}

if command -v strace >/dev/null; then
    trace=$work/strace.log
    strace -f -qq -y -e trace=read,write,pread64,pwrite64,readv,writev,preadv,pwritev \
        -o "$trace" "$root/cmake/wine-run.sh" "$prefix" "$bench" A "$windows_files" 1 \
        >/dev/null 2>&1 || true
    echo
    echo "Transfers seen by the host in one more round of the engine's copies (strace; calls, bytes):"
    transfers "$trace" "disk image reads,cylinder files writes,cylinder files reads,disk image writes"

    strace -f -qq -y -e trace=read,write,pread64,pwrite64,readv,writev,preadv,pwritev \
        -o "$trace" "$root/cmake/wine-run.sh" "$prefix" "$cli_bench" A "$windows_files" \
        "$windows_packed" 1 >/dev/null 2>&1 || true
    echo
    echo "The same for one round of write --verify, pack and unpack. Verifying reads the disk"
    echo "and the files once more (the files: 80 reads by write, 80 by verify, 80 by pack);"
    echo "pack and unpack read and write each cylinder once:"
    transfers "$trace" "disk image writes,disk image reads,cylinder files reads,packed image writes,packed image reads,unpacked files writes"
fi
