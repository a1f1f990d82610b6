#!/bin/busybox sh
# The virtual machine's /init (run-vm.sh): loads the drives' modules, runs
# trakoni-cli on /dev/fd0 and on USB drives known by their serial numbers,
# and talks with the host on the second serial port. $bad_sector comes from
# the kernel's command line.
/bin/busybox --install -s /bin
mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev
exec </dev/null >/dev/ttyS0 2>&1
for module in $(cat /mod/order); do
    insmod "/mod/$module.ko" $([ "$module" = usb_storage ] && echo delay_use=0)  # at once, not after 1 s
done
stty -F /dev/ttyS1 raw -echo
exec 3<>/dev/ttyS1
say() { printf '@@ %s\n' "$(printf '%s' "$*" | tr '\n' ' ' | cut -c1-600)" >&3; }
host() { say "$@" && read -r _ <&3; }  # a MONITOR or SAME request, answered once done
fail() { say "FAIL $scenario: $*" && failed=1; }
# begin NAME: the scenario before it passed unless it failed.
begin() {
    [ -n "${scenario:-}" ] && [ -z "$failed" ] && say "PASS $scenario"
    scenario=$1 failed=
}
# usb NAME: the device of the USB drive whose serial number is NAME.
usb() {
    for disk in /sys/block/sd*; do
        [ "$(cat "$(readlink -f "$disk/device")/../../../../serial" 2>/dev/null)" = "$1" ] && echo "/dev/${disk##*/}"
    done
}
for _ in $(seq 300); do  # 30 s at most: a loaded host enumerates USB slowly
    [ -n "$(usb bad)" ] && [ -b "$(usb parted)1" ] && break
    sleep 0.1
done

# check STATUS TEXT WHAT: the program's last run exited with STATUS, TEXT in its message.
check() {
    err=$(cat /tmp/err)
    [ "$status" = "$1" ] || fail "$3: exit status $status, expected $1: $err"
    case $err in *"$2"*) ;; *) fail "$3: the message lacks \"$2\": $err" ;; esac
}
expect() {  # expect STATUS TEXT ARGS..., run by $as if set
    local want=$1 text=$2
    shift 2
    ${as:-trakoni-cli} "$@" >/tmp/out 2>/tmp/err
    status=$?
    check "$want" "$text" "$*"
}
set_is() { cat "$1"/cyl*.bin 2>/dev/null | cmp -s - "/img/$2.img" || fail "the set $1 is not the disk $2"; }
reads_as() { expect 0 "Read $1" read "$1" "/tmp/$2"; set_is "/tmp/$2" "$2"; }  # reads_as DEVICE DISK
# archived_as DEVICE ID yes|no: the bag of DEVICE says whether its disk was write-protected.
archived_as() {
    expect 0 "" archive "$1" /tmp/bags --id "$2"
    grep -qx "Trakoni-Write-Protected: $3" "/tmp/bags/$2/bag-info.txt" || fail "the bag does not say write-protected: $3"
}
no_set() { ! ls "$1"/cyl* >/dev/null 2>&1 || fail "a set was written under $1"; }
# The kernel's block statistics of DEVICE: read requests completed, sectors read.
reads() { awk '{ print $1 }' "/sys/block/${1#/dev/}/stat"; }
read_sectors() { awk '{ print $3 }' "/sys/block/${1#/dev/}/stat"; }
# during DEVICE MONITOR-COMMAND ARGS...: trakoni-cli ARGS, and the command
# once the (throttled) DEVICE has read 300 KB more.
during() {
    local device=$1 command=$2 until
    shift 2
    until=$(($(read_sectors "$device") + 600))
    trakoni-cli "$@" >/tmp/out 2>/tmp/err &
    while [ "$(read_sectors "$device")" -lt "$until" ] && kill -0 $! 2>/dev/null; do sleep 0.05; done
    host MONITOR "$command"
    wait $!
    status=$?
}
trakoni-cli unpack /img/other.img /tmp/other --quiet

begin "/dev/fd0: a 1.44 MB disk read"
reads_as /dev/fd0 fd144
archived_as /dev/fd0 fd144 no
begin "/dev/fd0: write --verify"
expect 0 "Verified" write /tmp/other /dev/fd0 --verify
host SAME fd144 other "$scenario"
begin "/dev/fd0: a 720 KB disk read"
host MONITOR change fd @drives/fd720.img raw
reads_as /dev/fd0 fd720
expect 0 "" list
grep -q "^/dev/fd0  720 KB (80 x 2 x 9 x 512)" /tmp/out || fail "list: $(cat /tmp/out)"
begin "/dev/fd0: no disk"
host MONITOR eject -f fd
expect 1 "no disk" read /dev/fd0 /tmp/fdnone
no_set /tmp/fdnone
expect 0 "" list
grep -q "^/dev/fd0  no disk" /tmp/out || fail "list: $(cat /tmp/out)"
begin "/dev/fd0: a write-protected disk read, not written"
host MONITOR change fd @drives/fdro.img raw read-only
reads_as /dev/fd0 fdro
archived_as /dev/fd0 fdro yes
expect 0 "" files /dev/fd0
grep -q "^BIG.BIN  700000  " /tmp/out || fail "files of the drive: $(cat /tmp/out)"
expect 1 "write-protected" write /tmp/other /dev/fd0
host SAME fdro fdro "$scenario"

usb=$(usb usb) bad=$(usb bad) usbro=$(usb usbro) parted=$(usb parted)
begin "USB: listed, read, written"
expect 0 "" list
grep -q "^$usb  1.44 MB (80 x 2 x 18 x 512)" /tmp/out && grep -q "^$(usb empty)  no disk" /tmp/out ||
    fail "list: $(cat /tmp/out)"
before=$(reads "$usb")
reads_as "$usb" usb
healthy=$(($(reads "$usb") - before))
expect 0 "Verified" write /tmp/other "$usb" --verify
host SAME usb other "$scenario"
begin "USB: read by a user who may only read it, not written"
mkdir -p /etc && echo 'nobody:x:65534:65534::/:/bin/sh' >/etc/passwd && chmod 1777 /tmp && chmod 604 "$usb"
as="su -s /bin/trakoni-cli nobody"
expect 0 "Read $usb" read "$usb" /tmp/nobody
set_is /tmp/nobody other
expect 1 "cannot write $usb" write /tmp/other "$usb"
host SAME usb other "$scenario"
as=
begin "USB: a medium error at sector $bad_sector rescued"
before=$(reads "$bad")
expect 4 "1 of 2,880 sectors unreadable: cylinder $((bad_sector / 36)) head $((bad_sector % 36 / 18)) sector $((bad_sector % 18 + 1))" \
    read "$bad" /tmp/bad --rescue
say "FIGURE a rescue of 1 bad sector: $(($(reads "$bad") - before)) read requests (a healthy read: $healthy)"
[ "$(ddrescuelog -l- /tmp/bad/rescue.map)" = "$bad_sector" ] || fail "map: $(cat /tmp/bad/rescue.map)"
[ "$(cat /tmp/bad/cyl*.bin | cmp -l - /img/bad.img | awk '{ print int(($1 - 1) / 512) }' | uniq)" = "$bad_sector" ] ||
    fail "the set differs from the disk elsewhere than sector $bad_sector"
expect 4 "" files /tmp/bad
[ "$(grep -c damaged /tmp/out)" = 1 ] && grep -q "^BIG.BIN  700000  .*  damaged: sector $bad_sector$" /tmp/out ||
    fail "files: not BIG.BIN alone damaged: $(cat /tmp/out)"
begin "USB: a write-protected disk read, not written"
reads_as "$usbro" usbro
archived_as "$usbro" usbro yes
expect 1 "write-protected" write /tmp/other "$usbro"
host SAME usbro usbro "$scenario"
begin "USB: no disk"
expect 1 "no disk" read "$(usb empty)" /tmp/usbnone
no_set /tmp/usbnone
begin "USB: a partition refused"
expect 1 "${parted}1 is a partition; give the whole device, $parted" read "${parted}1" /tmp/part
no_set /tmp/part
begin "USB: a disk pulled out during a rescue"
during "$(usb pulled)" "eject -f pulled" read "$(usb pulled)" /tmp/pulled --rescue
check 1 "taken out" "read --rescue"
[ -z "$(ddrescuelog -l- /tmp/pulled/rescue.map 2>&1)" ] || fail "sectors called unreadable"
begin "USB: the drive unplugged during a read"
during "$(usb unplugged)" "device_del dunplugged" read "$(usb unplugged)" /tmp/unplugged
check 1 "" read
case $err in *missing* | *"taken out"*) ;; *) fail "the message does not say the disk has gone: $err" ;; esac
no_set /tmp/unplugged
begin ""

[ -f /extra ] && . /extra  # run-vm.sh's GUEST-SCRIPT
say DONE
poweroff -f
