# Shared by the run, test and benchmark commands; sourced, not run.
# Sets root, build (the Windows build, build/mingw, or $TRAKONI_BUILD_DIR) and
# native_build (the Linux build of the console program, build/linux, or
# $TRAKONI_NATIVE_BUILD_DIR).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TRAKONI_BUILD_DIR:-$root/build/mingw}
native_build=${TRAKONI_NATIVE_BUILD_DIR:-$root/build/linux}

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

# The same for the native build; the packages must be there already.
build_native_targets() {
    if [ ! -f "$native_build/build.ninja" ]; then
        (cd "$root" && cmake --preset linux -B "$native_build" >/dev/null)
    fi
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build "$native_build" -j2 "${targets[@]}"
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

# Why SOURCE cannot be drive A: (on standard error, non-zero), or nothing.
# A block device must be at most 3 MiB (a floppy: never a hard disk or a USB
# stick typed by mistake), unmounted, and readable and writable by this user,
# as must an image file.
refuse_drive_source() {
    local source=$1 me
    me=$(basename "$0")
    if [ ! -e "$source" ]; then
        echo "$me: $source: no such file or device" >&2
        return 1
    fi
    if [ -b "$source" ]; then
        local size mounts
        size=$(lsblk -bdno SIZE "$source" 2>/dev/null) || {
            echo "$me: cannot tell the size of $source (lsblk failed), refused" >&2
            return 1
        }
        if [ "$size" -gt 3145728 ]; then
            echo "$me: $source holds $size bytes, more than 3 MiB: no floppy disk, refused" >&2
            return 1
        fi
        mounts=$(lsblk -nro MOUNTPOINTS "$source" 2>/dev/null | grep -v '^$' || true)
        if [ -n "$mounts" ]; then
            echo "$me: $source is mounted ($(echo $mounts)); unmount it first, for example: umount $(echo $mounts)" >&2
            return 1
        fi
        [ "$size" -ne 0 ] || echo "$me: $source has no disk in it now; insert one before copying" >&2
    elif [ ! -f "$source" ]; then
        echo "$me: $source is neither a block device nor an image file" >&2
        return 1
    fi
    if [ ! -r "$source" ] || [ ! -w "$source" ]; then
        local owner group mode
        read -r owner group mode < <(stat -L -c '%U %G %A' "$source")
        echo "$me: you ($(id -un)) cannot read and write $source: it belongs to $owner, group $group ($mode)." >&2
        if [ "${mode:4:2}" = rw ] && [ "$group" != root ]; then
            echo "  Run as root, or join the group $group: sudo usermod -aG $group $(id -un), then log in again." >&2
        else
            echo "  Only its owner may: run as root." >&2
        fi
        return 1
    fi
}

# Makes SOURCE, an image file or a floppy block device, drive A: of the Wine
# prefix PREFIX: its raw device \\.\A: links to SOURCE, its folder is the
# prefix's own, its type floppy. The prefix's server is stopped, since Wine
# reads the drives when it starts. Refused with a message and nothing changed
# when refuse_drive_source objects.
use_as_drive_a() {
    local prefix=$1 source
    refuse_drive_source "$2" || return 1
    source=$(readlink -f "$2")
    WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
    mkdir -p "$prefix/drives/a"
    ln -sfn "$prefix/drives/a" "$prefix/dosdevices/a:"
    ln -sfn "$source" "$prefix/dosdevices/a::"
    if ! awk '/^\[/ { drives = index($0, "[Software\\\\Wine\\\\Drives]") == 1 }
              drives && $0 == "\"a:\"=\"floppy\"" { found = 1 }
              END { exit !found }' "$prefix/system.reg" 2>/dev/null; then
        WINEPREFIX=$prefix WINEDEBUG=-all wine reg add 'HKLM\Software\Wine\Drives' \
            /v a: /d floppy /f </dev/null >/dev/null 2>&1
        WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
}
