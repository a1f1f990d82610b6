#!/usr/bin/env bash
# Builds the fuzz targets of the parsers of outside input (the preset fuzz,
# build/fuzz or $TRAKONI_FUZZ_BUILD_DIR) and runs each for SECONDS, from its
# seeds and the regression inputs of earlier findings (tests/fuzz/corpus/NAME).
# A hang over a second, a crash, a leak or undefined behaviour is a finding:
# its input is kept in build/fuzz/findings, and the exit status is non-zero.
# Prints each target's executions per second and the edges it covered.
#   scripts/fuzz.sh [SECONDS]
set -eu

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
seconds=${1:-60}
fuzz_build=${TRAKONI_FUZZ_BUILD_DIR:-$root/build/fuzz}

# libFuzzer's runtime comes with clang's own package, not with every clang.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>"$probe/why"; then
    echo "SKIPPED: fuzzing: clang++ cannot link a libFuzzer program: $(head -n 1 "$probe/why")"
    exit 0
fi

if [ ! -f "$fuzz_build/build.ninja" ]; then
    (cd "$root" && cmake --preset fuzz -B "$fuzz_build" >/dev/null)
fi
cmake --build "$fuzz_build" -j2 >/dev/null

# The bag and catalog targets write their folders for every input: in memory
# where there is a tmpfs, ten times faster than a disk's renames.
[ ! -w /dev/shm ] || export TMPDIR=/dev/shm
findings=$fuzz_build/findings
mkdir -p "$findings"
status=0
for target in "$fuzz_build"/tests/fuzz/fuzz_*; do
    name=${target##*/fuzz_}
    log=$fuzz_build/$name.log
    # New inputs go to a working corpus; the kept one only seeds it.
    mkdir -p "$fuzz_build/corpus/$name"
    result=ok
    "$target" -max_total_time="$seconds" -timeout=1 -detect_leaks=1 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$fuzz_build/corpus/$name" "$root/tests/fuzz/corpus/$name" \
        >"$log" 2>&1 || { result="FINDING, see $log"; status=1; }
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    edges=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
    printf 'fuzz %-12s %8s exec/s %6s edges  %s\n' "$name" "${rate:-?}" "${edges:-?}" "$result"
done
exit $status
