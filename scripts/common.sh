# Shared by the run, test and benchmark commands; sourced, not run.
# Sets root and build (build/mingw, or $TRAKONI_BUILD_DIR).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TRAKONI_BUILD_DIR:-$root/build/mingw}

# Installs the packages (and any extra ones given with EXTRA_PACKAGES),
# configures the build folder once and builds the given targets (all without).
build_targets() {
    "$root/scripts/install-deps.sh" ${EXTRA_PACKAGES:-}
    if [ ! -f "$build/build.ninja" ]; then
        (cd "$root" && cmake --preset mingw -B "$build" >/dev/null)
    fi
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build "$build" -j2 "${targets[@]}"
}

# Starts Xvfb on the first free display number, exports DISPLAY, sets
# xvfb_pid, and returns once the display takes connections (non-zero if not).
start_virtual_display() {
    local number=90
    while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
        number=$((number + 1))
    done
    export DISPLAY=:$number
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    local _
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$number" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}
