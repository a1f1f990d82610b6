#!/usr/bin/env bash
# Builds Trakoni and its tests (build/mingw) and runs every test under Wine,
# in the build's own Wine prefixes and a virtual display of its own. Exits with
# CTest's status.
#   scripts/test.sh [CTEST-ARGUMENT ...]
set -eu

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_targets

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

log=$build/ctest.log
set +e
ctest --test-dir "$build" --output-on-failure -j2 "$@" </dev/null 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
echo
grep -E '^[0-9]+% tests passed' "$log" || echo "test.sh: CTest gave no summary" >&2
# A skipped test says why in its output, which CTest keeps only in its log.
grep -h '^SKIPPED: ' "$build/Testing/Temporary/LastTest.log" 2>/dev/null || true

# The test code's share: the sources git tracks under tests/ against those of
# the product, everything else (scripts/ too), non-blank lines; budget 40%.
count_lines() {
    git -C "$root" ls-files -z -- "$@" | (cd "$root" && xargs -0 cat) | grep -cv '^[[:space:]]*$'
}
test_lines=$(count_lines 'tests/*.cpp' 'tests/*.h' 'tests/*.sh' 'tests/*.py')
product_lines=$(count_lines '*.cpp' '*.h' '*.rc' '*.sh' '*.py' ':(exclude)tests/')
echo "Test lines: $test_lines under tests/, $product_lines of product ($((100 * test_lines / product_lines))%, budget 40%)"
exit "$status"
