#!/usr/bin/env bash
# Builds Trakoni if needed and starts it under Wine.
#   scripts/run.sh [IMAGE-OR-DEVICE]
# Without an argument drive A: holds a demonstration floppy (a 1.44 MB FAT disk
# image holding a few text files), and a ready image folder holds that disk as
# cyl00.bin .. cyl79.bin. With one, drive A: is that floppy image file or that
# block device (a USB floppy drive's /dev/sdX, /dev/fd0); a device that is
# mounted, larger than 3 MiB or not readable and writable is refused before
# anything starts.
#
# Everything lives under build/mingw: its own Wine prefix (never ~/.wine), a
# copy of the disk image (the build's stays as made) and a copy of the image
# folder, both fresh on every run. On your display when there is one that
# works; otherwise in a virtual display, where it saves a screenshot of the
# main dialog, says where, and ends.
set -eu

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
[ $# -le 1 ] || { echo "usage: scripts/run.sh [IMAGE-OR-DEVICE]" >&2; exit 2; }
drive=${1:-}
# A typo such as /dev/sda ends here, before anything is built or started.
[ -z "$drive" ] || refuse_drive_source "$drive" || exit 1
run=$build/run
prefix=$run/wineprefix
title="Vantor Trakoni Utility"

build_targets Trakoni demo_floppy

exe=$build/app/Trakoni.exe
mkdir -p "$run"
cp "$build/app/demo/floppy.img" "$run/floppy.img"
rm -rf "$run/images"
cp -r "$build/app/demo/images" "$run/images"

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko installers, no menu entries in your home folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -e "$prefix/.ready" ]; then
    echo "Making the Wine prefix $prefix (once) ..."
    "$root/tests/wine/make-prefix.sh" "$prefix" "a:floppy=$run/floppy.img"
fi
use_as_drive_a "$prefix" "${drive:-$run/floppy.img}" || exit 1

# The image folder as Trakoni sees it: Wine maps drive Z: to the root.
images_windows="Z:$(printf '%s' "$run/images" | tr '/' '\\')"
if [ -z "$drive" ]; then
    echo "Drive A: holds a copy of $build/app/demo/floppy.img."
elif [ -b "$drive" ]; then
    echo "Drive A: is the block device $drive."
else
    echo "Drive A: is the image file $drive."
fi
cat <<MSG
The demonstration disk's 80 cylinder files are in the image folder:
    $images_windows
MSG

display_works() {
    [ -n "${DISPLAY:-}" ] || return 1
    if command -v xdpyinfo >/dev/null; then
        xdpyinfo >/dev/null 2>&1
    else
        xdotool getdisplaygeometry >/dev/null 2>&1
    fi
}

# Wine's own window frames (Managed N) suit a display without a window
# manager; on a desktop the window manager frames the windows.
set_managed() {
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$1" /f >/dev/null 2>&1 || true
}

if display_works; then
    set_managed Y
    echo "Starting Trakoni on display $DISPLAY ..."
    status=0
    wine "$exe" || status=$?
    wineserver -k >/dev/null 2>&1 || true
    exit "$status"
fi

# No usable display: a virtual one of our own.
app_pid=
cleanup() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT
start_virtual_display

set_managed N
echo "No display: starting Trakoni in the virtual display $DISPLAY ..."
wine "$exe" </dev/null >/dev/null 2>&1 &
app_pid=$!
shown=
for _ in $(seq 1 120); do
    if xdotool search --name "$title" >/dev/null 2>&1; then
        shown=yes
        break
    fi
    sleep 0.5
done
if [ -z "$shown" ]; then
    echo "The main dialog did not appear within a minute." >&2
    exit 1
fi
sleep 1  # let it paint

screenshot=$build/trakoni-screenshot.png
if command -v import >/dev/null; then
    import -window root "$screenshot"
else
    xwd -root -silent | convert xwd:- "$screenshot"
fi
echo "Screenshot of the main dialog: $screenshot"
