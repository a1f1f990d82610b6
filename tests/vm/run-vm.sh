#!/usr/bin/env bash
# trakoni-cli on the kernel's own floppy and USB-storage drivers: boots
# Debian's kernel under QEMU (TCG, never KVM) with a floppy drive and USB disks
# whose faults QEMU makes, and runs scenarios.sh in it as /init.
#   run-vm.sh WORKDIR CLI [ROUNDS]
# The kernel package is downloaded once and kept in WORKDIR/kernel. The guest
# asks for monitor commands and for checks of the drives' image files, and
# reports its results, on its second serial port ("@@ " lines); its console
# is WORKDIR/run/console.log. ROUNDS (default 1) times the USB disk's read by
# the program and by dd that often. Exits with the number of failures, or 77
# after "SKIPPED: vm: reason" where no VM can run.
set -u
work=$(mkdir -p "$1" && cd "$1" && pwd)
cli=$2 rounds=${3:-1}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
run=$work/run
start=$SECONDS
skip() {
    echo "SKIPPED: vm: $*"
    exit 77
}
for tool in qemu-system-x86_64:qemu-system-x86 busybox:busybox-static cpio:cpio modinfo:kmod \
    socat:socat sfdisk:fdisk ddrescuelog:gddrescue; do
    command -v "${tool%:*}" >/dev/null || PATH=$PATH:/sbin:/usr/sbin command -v "${tool%:*}" >/dev/null ||
        skip "${tool%:*} is not installed (Debian package ${tool#*:})"
done
export PATH=$PATH:/sbin:/usr/sbin

# The kernel that linux-image-amd64 names: its vmlinux, and the modules of
# the drives with their dependencies, in WORKDIR/kernel/PACKAGE.
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
[ -n "$package" ] || skip "apt knows no linux-image-amd64 (apt-get update first?)"
kernel=$work/kernel/$package
extract_vmlinux() {  # the kernel's own extract-vmlinux: the first compressed stream that yields an ELF file
    local magic tool offset
    for magic in '\xfd7zXZ:xz -dc' '\x1f\x8b\x08:gzip -dc' '\x28\xb5\x2f\xfd:zstd -dc'; do
        for offset in $(LC_ALL=C grep -abo "$(printf "${magic%%:*}")" "$1" | cut -d: -f1); do
            tail -c +$((offset + 1)) "$1" | ${magic#*:} >"$2" 2>/dev/null
            [ "$(head -c 4 "$2")" = $'\x7fELF' ] && return 0
        done
    done
    return 1
}
# add_module TREE NAME: NAME's dependencies, then NAME, into the kernel's modules.
add_module() {
    local file dependency
    file=$(find "$1" -name "$2.ko*" -o -name "$(echo "$2" | tr _- -_).ko*" | head -1)
    [ -n "$file" ] || return 1
    for dependency in $(modinfo -F depends "$file" | tr , ' '); do
        grep -qx "$dependency" "$kernel.new/order" 2>/dev/null || add_module "$1" "$dependency" || return 1
    done
    case $file in
    *.xz) xz -dc "$file" ;;
    *.zst) zstd -dc "$file" ;;
    *) cat "$file" ;;
    esac >"$kernel.new/$2.ko"
    echo "$2" >>"$kernel.new/order"
}
if [ ! -f "$kernel/vmlinux" ]; then
    rm -rf "$kernel.new" "$work/kernel/download" && mkdir -p "$kernel.new" "$work/kernel/download"
    (cd "$work/kernel/download" && apt-get download "$package") >"$work/kernel/download.log" 2>&1 ||
        skip "apt-get download $package failed: $(tail -1 "$work/kernel/download.log")"
    dpkg -x "$work/kernel/download/$package"_*.deb "$work/kernel/download/tree"
    extract_vmlinux "$work/kernel/download/tree/boot/vmlinuz-"* "$kernel.new/vmlinux" ||
        skip "no compressed vmlinux found in $package"
    for module in floppy xhci_pci sd_mod usb_storage; do
        add_module "$work/kernel/download/tree/lib/modules" "$module" || skip "$package lacks $module or its dependencies"
    done
    rm -rf "$work/kernel/download" "$kernel" && mv "$kernel.new" "$kernel"
fi

# The disks, as both the drives' image files (drives/) and the guest's
# references (the initramfs's /img): random bytes, one disk partitioned.
rm -rf "$run" && mkdir -p "$run"/root/{img,bin,mod,dev,proc,sys,tmp} "$run/drives"
for disk in fd144:1474560 other:1474560 fd720:737280 fdro:1474560 usb:1474560 usbro:1474560 \
    bad:1474560 pulled:1474560 unplugged:1474560 parted:1474560; do
    head -c "${disk#*:}" /dev/urandom >"$run/root/img/${disk%:*}.img"
done
echo 'start=2048, type=83' | sfdisk -q "$run/root/img/parted.img" >/dev/null
cp "$run/root/img/"*.img "$run/drives/"
bad_sector=1234
printf '[inject-error]\nevent = "read_aio"\nerrno = "61"\nsector = "%s"\n' "$bad_sector" >"$run/bad.conf"

# The initramfs: busybox, the programs with their libraries, the modules.
for program in "$(command -v busybox)" "$cli" "$(command -v ddrescuelog)"; do
    cp "$program" "$run/root/bin/"
    ldd "$program" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' |
        xargs -r cp -L --parents -t "$run/root"
done
cp "$kernel"/*.ko "$kernel/order" "$run/root/mod/"
install -m 755 "$here/scenarios.sh" "$run/root/init"
printf 'bad_sector=%s rounds=%s\n' "$bad_sector" "$rounds" >"$run/root/settings"
(cd "$run/root" && find . | cpio -o -H newc --quiet) >"$run/initramfs.cpio"

# usb NAME [DRIVE-OPTIONS]: a USB drive of removable disks, as a USB floppy
# drive is, its disk drives/NAME.img (none for NAME empty), its serial number NAME.
usb_disks=()
usb() {
    local file=,file=$run/drives/$1.img,format=raw
    [ "$1" = empty ] && file=
    usb_disks+=(-drive "if=none,id=$1$file${2:-}" -device "usb-storage,id=d$1,bus=xhci.0,drive=$1,serial=$1,removable=on")
}
usb usb
usb usbro ,readonly=on
usb empty
usb pulled ,throttling.bps-read=262144
usb unplugged ,throttling.bps-read=262144
usb parted
usb_disks+=(-drive "if=none,id=bad,file=blkdebug:$run/bad.conf:$run/drives/bad.img,format=raw"
    -device "usb-storage,id=dbad,bus=xhci.0,drive=bad,serial=bad,removable=on")

sock=$run/monitor.sock
exec 8>"$work/.lock"  # one run at a time per WORKDIR
flock 8
coproc vm {
    exec qemu-system-x86_64 -machine pc,accel=tcg -m 512 -display none -no-reboot -nic none \
        -kernel "$kernel/vmlinux" -initrd "$run/initramfs.cpio" -append "console=ttyS0 panic=-1 loglevel=4" \
        -serial "file:$run/console.log" -serial stdio -monitor "unix:$sock,server=on,wait=off" \
        -drive "if=none,id=fd,file=$run/drives/fd144.img,format=raw" -device floppy,unit=0,drive=fd \
        -device qemu-xhci,id=xhci,p2=8 "${usb_disks[@]}" 2>"$run/qemu.err"
}
qemu=$vm_PID
trap 'kill "$qemu" 2>/dev/null' EXIT
failures=0 passed=0 finished=
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
reply() { echo "${1:-ok}" >&"${vm[1]}"; }
while IFS= read -r -t 120 line <&"${vm[0]}"; do
    line=${line%$'\r'}
    case $line in
    "@@ MONITOR "*)
        command=${line#@@ MONITOR }
        answer=$(echo "${command//@drives/$run/drives}" | socat -t 0.3 - "UNIX-CONNECT:$sock" | tr -d '\r' | grep -v '^QEMU .* monitor\|^(qemu)')
        [ -z "$answer" ] || fail "monitor: $command: $answer"
        reply
        ;;
    "@@ SAME "*)  # SAME DRIVE REFERENCE WHAT: the drive's image file holds the reference's bytes
        read -r drive reference what <<<"${line#@@ SAME }"
        cmp -s "$run/drives/$drive.img" "$run/root/img/$reference.img" || fail "$what: $drive.img does not hold $reference.img"
        reply
        ;;
    "@@ FAIL "*) fail "${line#@@ FAIL }" ;;
    "@@ PASS "*) passed=$((passed + 1)) && echo "ok: ${line#@@ PASS }" ;;
    "@@ FIGURE "*) figures="${figures:-}${line#@@ FIGURE }; " ;;
    "@@ DONE") finished=1 && break ;;
    *) echo "guest: $line" ;;
    esac
done
[ -n "$finished" ] || fail "the guest stopped before its scenarios ended: $(tail -c 300 "$run/qemu.err")"
[ "$failures" -eq 0 ] || { echo "--- the guest's console (end):" && tail -40 "$run/console.log"; }
echo "VM: ${figures:-}the suite took $((SECONDS - start)) s"
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
