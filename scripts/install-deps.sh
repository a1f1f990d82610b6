#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Trakoni
# need; quick and silent when they are all there already.
#   install-deps.sh [EXTRA-PACKAGE ...]
set -eu

packages=(
    g++-mingw-w64-x86-64-posix  # the cross compiler, windres and Windows headers
    wine wine64 fonts-wine      # runs the program and its tests
    xvfb xauth                  # a virtual display for windows
    cmake ninja-build googletest
    mtools dosfstools           # the FAT demonstration floppy
    mount e2fsprogs fdisk       # loop devices (losetup), mounting one and partitioning one in a test
    fuse3 python3-fusepy        # the disk with bad sectors (tests/faultdevice)
    imagemagick xdotool         # screenshots, finding windows
    libarchive-zip-perl         # crc32, to check the command line's checksums
    gddrescue                   # ddrescuelog checks the rescue map
    sleuthkit libxml2-utils     # fiwalk, ifind and xmllint check the file lists
    librsvg2-bin                # rsvg-convert draws the picture of a disk in a test
    g++ libssl-dev zlib1g-dev   # the native program, and libcrypto and zlib for its digests
    help2man dpkg-dev file      # its man page, and the dependencies and file types of its Debian package
    git                         # the test command counts the lines git tracks
    clang libclang-rt-14-dev    # the fuzz targets: clang with libFuzzer and the sanitizers
    qemu-system-x86 busybox-static cpio kmod xz-utils socat  # tests/vm's virtual machine
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing ${missing[*]} ..."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
export DEBIAN_FRONTEND=noninteractive
if ! { $sudo apt-get update -qq && $sudo apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "install-deps.sh: apt-get failed" >&2
    exit 1
fi
