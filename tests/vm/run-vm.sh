#!/usr/bin/env bash
# trakoni-cli on the kernel's floppy and USB-storage drivers: Debian's kernel
# (its package kept in WORKDIR/kernel) booted under QEMU's TCG, never KVM, with
# scenarios.sh as /init and faults made by QEMU. On its second serial port the
# guest asks for monitor commands and for checks of the drives' image files,
# and reports ("@@ " lines). GUEST-SCRIPT runs in the guest after the scenarios.
#   run-vm.sh WORKDIR CLI [GUEST-SCRIPT]
# Exits 77 after "SKIPPED: vm: why" where no virtual machine can run.
set -u
export PATH=$PATH:/sbin:/usr/sbin
work=$(mkdir -p "$1" && cd "$1" && pwd) cli=$2 start=$SECONDS
run=$work/run here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIPPED: vm: $*" && exit 77; }
for tool in qemu-system-x86_64:qemu-system-x86 busybox:busybox-static cpio:cpio modinfo:kmod xz:xz-utils \
    socat:socat sfdisk:fdisk ddrescuelog:gddrescue mkfs.fat:dosfstools mcopy:mtools; do
    command -v "${tool%:*}" >/dev/null || skip "${tool%:*} is missing (Debian package ${tool#*:})"
done

# The kernel that linux-image-amd64 names: its vmlinux, and the drives'
# modules with their dependencies in the order they load.
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" { print $2; exit }')
[ -n "$package" ] || skip "apt knows no linux-image-amd64 (apt-get update first)"
kernel=$work/kernel/$package tree=$work/kernel/tree
add_module() {  # add_module NAME
    local file dependency
    file=$(find "$tree/lib/modules" -name "$1.ko" -o -name "$(echo "$1" | tr _- -_).ko" | head -1)
    [ -n "$file" ] || skip "$package has no module $1"
    for dependency in $(modinfo -F depends "$file" | tr , ' '); do
        grep -qx "$dependency" "$kernel.new/order" || add_module "$dependency"
    done
    cp "$file" "$kernel.new/$1.ko" && echo "$1" >>"$kernel.new/order"
}
if [ ! -f "$kernel/vmlinux" ]; then
    rm -rf "$tree" "$kernel.new" && mkdir -p "$tree" "$kernel.new" && touch "$kernel.new/order"
    (cd "$tree" && apt-get download "$package") >"$tree/log" 2>&1 ||
        skip "apt-get download $package failed: $(tail -1 "$tree/log")"
    dpkg -x "$tree/$package"_*.deb "$tree"
    # As the kernel's extract-vmlinux does: Debian's is XZ after a boot stub.
    offset=$(LC_ALL=C grep -abo "$(printf '\xfd7zXZ')" "$tree"/boot/vmlinuz-* | head -1 | cut -d: -f1)
    tail -c +$((${offset:-0} + 1)) "$tree"/boot/vmlinuz-* | xz -dc >"$kernel.new/vmlinux" 2>/dev/null
    [ "$(head -c 4 "$kernel.new/vmlinux")" = $'\x7fELF' ] || skip "no XZ-compressed vmlinux in $package"
    for module in floppy xhci_pci sd_mod usb_storage; do add_module "$module"; done
    rm -rf "$tree" "$kernel" && mv "$kernel.new" "$kernel"
fi

# The disks of random bytes, as the drives' image files (drives/) and as the
# guest's references (/img); the initramfs with the programs and their libraries.
rm -rf "$run" && mkdir -p "$run"/root/{img,bin,mod,dev,proc,sys,tmp} "$run/drives"
for disk in fd144 other fdro usb usbro bad pulled unplugged parted; do
    head -c 1474560 /dev/urandom >"$run/root/img/$disk.img"
done
head -c 737280 /dev/urandom >"$run/root/img/fd720.img"
# Two of them FAT disks with a file of 700,000 bytes on sectors 33 to 1400:
# the files of a drive, and the file the bad sector hits.
head -c 700000 /dev/urandom >"$run/big.bin"
for disk in fdro bad; do
    mkfs.fat -n "$disk" "$run/root/img/$disk.img" >/dev/null && MTOOLS_SKIP_CHECK=1 mcopy -i "$run/root/img/$disk.img" "$run/big.bin" ::/BIG.BIN
done
echo 'start=2048, type=83' | sfdisk -q "$run/root/img/parted.img" >/dev/null
cp "$run/root/img/"*.img "$run/drives/"
bad_sector=1234
printf '[inject-error]\nevent = "read_aio"\nerrno = "61"\nsector = "%s"\n' "$bad_sector" >"$run/bad.conf"
for program in "$(command -v busybox)" "$cli" "$(command -v ddrescuelog)"; do
    cp "$program" "$run/root/bin/"
    ldd "$program" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' |
        xargs -r cp -L --parents -t "$run/root"
done
cp "$kernel"/*.ko "$kernel/order" "$run/root/mod/"
install -m 755 "$here/scenarios.sh" "$run/root/init"
[ -z "${3:-}" ] || cp "$3" "$run/root/extra"
(cd "$run/root" && find . | cpio -o -H newc --quiet) >"$run/initramfs.cpio"

# usb NAME[,DRIVE-OPTIONS]: a USB drive of removable disks, as a USB floppy
# drive is, serial number NAME, its disk drives/NAME.img (none for "empty").
drives=()
usb() {
    local name=${1%%,*} file=file=$run/drives/${1%%,*}.img,format=raw,
    [ "$name" = bad ] && file=file=blkdebug:$run/bad.conf:$run/drives/bad.img,format=raw,
    [ "$name" = empty ] && file=
    drives+=(-drive "${file}if=none,id=$name${1#"$name"}"
        -device "usb-storage,id=d$name,bus=xhci.0,drive=$name,serial=$name,removable=on")
}
for disk in usb usbro,readonly=on empty bad pulled,throttling.bps-read=262144 unplugged,throttling.bps-read=262144 parted; do
    usb "$disk"
done

exec 8>"$work/.lock"  # one run at a time in WORKDIR
flock 8
coproc vm {
    exec qemu-system-x86_64 -machine pc,accel=tcg -m 512 -display none -no-reboot -nic none \
        -kernel "$kernel/vmlinux" -initrd "$run/initramfs.cpio" -append "console=ttyS0 panic=-1 loglevel=4 bad_sector=$bad_sector" \
        -serial "file:$run/console.log" -serial stdio -monitor "unix:$run/monitor,server=on,wait=off" \
        -drive "if=none,id=fd,file=$run/drives/fd144.img,format=raw" -device floppy,unit=0,drive=fd \
        -device qemu-xhci,id=xhci,p2=8 "${drives[@]}" 2>"$run/qemu.err" 8>&-  # the lock is ours, not its
}
trap 'kill "$vm_PID" 2>/dev/null' EXIT
failures=0 passed=0 finished= figures=
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
while IFS= read -r -t 120 line <&"${vm[0]}"; do
    case $line in
    "@@ MONITOR "*)
        command=${line#@@ MONITOR }
        answer=$(echo "${command//@drives/$run/drives}" | socat -t 0.3 - "UNIX-CONNECT:$run/monitor" |
            tr -d '\r' | grep -v '^QEMU .* monitor\|^(qemu)')
        [ -z "$answer" ] || fail "monitor: $command: $answer"
        echo ok >&"${vm[1]}"
        ;;
    "@@ SAME "*)  # SAME DRIVE DISK WHAT: the drive's image file holds that disk
        read -r drive disk what <<<"${line#@@ SAME }"
        cmp -s "$run/drives/$drive.img" "$run/root/img/$disk.img" || fail "$what: $drive.img does not hold $disk.img"
        echo ok >&"${vm[1]}"
        ;;
    "@@ FAIL "*) fail "${line#@@ FAIL }" ;;
    "@@ PASS "*) passed=$((passed + 1)) && echo "ok: ${line#@@ PASS }" ;;
    "@@ FIGURE "*) figures+="${line#@@ FIGURE }; " ;;
    "@@ DONE"*) finished=1 && break ;;
    *) echo "guest: $line" ;;
    esac
done
[ -n "$finished" ] || fail "the guest stopped before its scenarios ended: $(tail -c 300 "$run/qemu.err")"
[ "$failures" -eq 0 ] || { echo "--- the guest's console (end):" && tail -40 "$run/console.log"; }
echo "VM: ${figures}the suite took $((SECONDS - start)) s"
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
