#!/usr/bin/env bash
# Makes a Wine prefix for the tests and the run command:
#   make-prefix.sh PREFIX [DRIVE ...]
# Each DRIVE is LETTER:TYPE[=IMAGE], TYPE one of floppy hd cdrom network ramdisk.
# A drive with an image has that file as its raw device (\\.\X:). Without any
# DRIVE the test layout is made: A: 1.44 MB floppy, B: 720 KB floppy, D: CD-ROM,
# E: floppy with an image of no floppy size, beside C: and Z: of every prefix.
# Images named without a folder are made empty (zero-filled) under
# PREFIX/floppies when they do not exist.
set -eu
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko installers, and no menu entries or file associations in the
# user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A server still running on an old prefix would write its registry back into
# the new one.
if [ -d "$prefix" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
fi
rm -rf "$prefix"
mkdir -p "$prefix"
wineboot -i </dev/null >/dev/null 2>&1

images=$prefix/floppies
mkdir -p "$images" "$prefix/drives"
if [ $# -eq 0 ]; then
    truncate -s 1474560 "$images/a.img"
    truncate -s 737280 "$images/b.img"
    truncate -s 100000 "$images/e.img"
    set -- "a:floppy=$images/a.img" "b:floppy=$images/b.img" d:cdrom "e:floppy=$images/e.img"
fi

# Only the drives asked for, beside C: (the prefix's own) and Z: (the host's root).
find "$prefix/dosdevices" -mindepth 1 -maxdepth 1 ! -name 'c:' ! -name 'z:' -exec rm -f {} +

reg=$prefix/drives.reg
{
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n'
    for drive in "$@"; do
        letter=$(printf '%s' "${drive%%:*}" | tr 'A-Z' 'a-z')
        rest=${drive#*:}
        type=${rest%%=*}
        mkdir -p "$prefix/drives/$letter"
        ln -sfn "$prefix/drives/$letter" "$prefix/dosdevices/$letter:"
        if [ "$rest" != "$type" ]; then
            image=${rest#*=}
            case $image in
                */*) ;;
                *) image=$images/$image; [ -e "$image" ] || truncate -s 1474560 "$image" ;;
            esac
            ln -sfn "$image" "$prefix/dosdevices/$letter::"
        fi
        printf '"%s:"="%s"\r\n' "$letter" "$type"
    done
    # Without a window manager, unmanaged windows get Wine's own frames.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
} >"$reg"
wine regedit /S "$reg" </dev/null >/dev/null 2>&1
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true

# Drive types are read when the server starts: stop it (it saves the registry
# on the way out) so the next run starts one that sees them.
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -w </dev/null >/dev/null 2>&1 || true
touch "$prefix/.ready"
