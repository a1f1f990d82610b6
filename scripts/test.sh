#!/usr/bin/env bash
# Builds Trakoni and its tests three times: the Windows build (build/mingw, every
# test under Wine, in the build's own Wine prefixes and a virtual display of
# its own) and the native Linux build of the console program (build/linux),
# and runs both suites, then the native suite once more built with the
# address and undefined-behaviour sanitizers (build/linux-asan). Exits
# non-zero when any fails.
#   scripts/test.sh [CTEST-ARGUMENT ...]
set -eu

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_targets
build_native_targets
asan_build=$root/build/linux-asan
[ -f "$asan_build/build.ninja" ] || (cd "$root" && cmake --preset linux-asan >/dev/null)
cmake --build "$asan_build" -j2

# Wine's servers of the build's prefixes outlive the tests; stop them, then
# the display.
cleanup() {
    local marker
    for marker in $(find "$build" -maxdepth 4 -name system.reg 2>/dev/null); do
        WINEPREFIX=$(dirname "$marker") wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

# The GUI tests need a display: a virtual one of our own.
start_virtual_display

# run_suite NAME BUILD-DIR [CTEST-ARGUMENT ...]: CTest's run of one build,
# logged in BUILD-DIR/ctest.log; sets suite_status.
run_suite() {
    local name=$1 dir=$2
    shift 2
    echo "== $name ($dir)"
    set +e
    ctest --test-dir "$dir" --output-on-failure -j2 "$@" </dev/null 2>&1 | tee "$dir/ctest.log"
    suite_status=${PIPESTATUS[0]}
    set -e
}
run_suite "Windows build, under Wine" "$build" "$@"
windows_status=$suite_status
# Wine now and then ends a test program before it has run at all (no output,
# a few hundredths of a second). What failed under Wine runs once more, named
# here and in the summary; a fault of the program fails both times.
if [ "$windows_status" -ne 0 ] && [ -s "$build/Testing/Temporary/LastTestsFailed.log" ]; then
    echo "== Once more under Wine: $(cut -d: -f2- "$build/Testing/Temporary/LastTestsFailed.log" | tr '\n' ' ')"
    set +e
    ctest --test-dir "$build" --output-on-failure --rerun-failed </dev/null 2>&1 | tee -a "$build/ctest.log"
    windows_status=${PIPESTATUS[0]}
    set -e
fi
run_suite "Linux build, native" "$native_build" "$@"
linux_status=$suite_status
run_suite "Linux build, under ASan and UBSan" "$asan_build" "$@"
asan_status=$suite_status
echo "== Fuzz targets, 10 s each"
fuzz_status=0
"$root/scripts/fuzz.sh" 10 || fuzz_status=$?

echo
for dir in "$build" "$native_build" "$asan_build"; do
    grep -E '^[0-9]+% tests passed' "$dir/ctest.log" | sed "s|^|$(basename "$dir"): |" ||
        echo "test.sh: CTest gave no summary for $dir" >&2
done
# A skipped test says why in its output, which CTest keeps only in its log.
for dir in "$build" "$native_build" "$asan_build"; do
    grep -h '^SKIPPED: ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null || true
done

# The test code's share: the sources under tests/ against those of the
# product, everything else (every file of scripts/ too), non-blank lines;
# budget 40%. The sources are those git tracks, or in a copy without git (a
# source tarball) the files there outside the build folders git ignores.
source_files() {
    if command -v git >/dev/null && [ -e "$root/.git" ]; then
        git -C "$root" ls-files -z
    else
        (cd "$root" && find . \( -path ./build -o -path ./out -o -name .git \) -prune -o -type f -printf '%P\0')
    fi
}
# count_lines PATTERN [EXCLUDED]: the non-blank lines of the sources whose
# paths match PATTERN and not EXCLUDED.
count_lines() {
    source_files | grep -zE "$1" | grep -zvE "${2:-^$}" | (cd "$root" && xargs -0 cat) | grep -cv '^[[:space:]]*$'
}
test_lines=$(count_lines '^tests/.*\.(cpp|h|sh|py)$')
product_lines=$(count_lines '\.(cpp|h|rc|sh|py)$|^scripts/trakoni$' '^tests/')
echo "Test lines: $test_lines under tests/, $product_lines of product ($((100 * test_lines / product_lines))%, budget 40%)"
[ "$windows_status" -eq 0 ] && [ "$linux_status" -eq 0 ] && [ "$asan_status" -eq 0 ] && [ "$fuzz_status" -eq 0 ]
