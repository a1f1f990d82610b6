#!/usr/bin/env bash
# Builds Trakoni and its tests (build/mingw) and runs every test under Wine,
# in the build's own Wine prefixes and a virtual display of its own. Exits with
# CTest's status.
#   scripts/test.sh [CTEST-ARGUMENT ...]
set -eu

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TRAKONI_BUILD_DIR:-$root/build/mingw}

"$root/scripts/install-deps.sh"

cd "$root"
if [ ! -f "$build/build.ninja" ]; then
    cmake --preset mingw -B "$build" >/dev/null
fi
cmake --build "$build" -j2

# The GUI tests need a display: a virtual one on the first free number.
number=90
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
    number=$((number + 1))
done
export DISPLAY=:$number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb_pid=$!

# Wine's servers of the build's prefixes outlive the tests; stop them, then
# the display.
cleanup() {
    local marker
    for marker in $(find "$build" -maxdepth 4 -name system.reg 2>/dev/null); do
        WINEPREFIX=$(dirname "$marker") wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$number" ] && break
    sleep 0.1
done
if [ ! -e "/tmp/.X11-unix/X$number" ]; then
    echo "test.sh: Xvfb did not start on $DISPLAY" >&2
    exit 1
fi

log=$build/ctest.log
set +e
ctest --test-dir "$build" --output-on-failure -j2 "$@" </dev/null 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
echo
grep -E '^[0-9]+% tests passed' "$log" || echo "test.sh: CTest gave no summary" >&2
exit "$status"
