#!/bin/busybox sh
# The virtual machine's /init (run-vm.sh): loads the drives' modules, then runs
# trakoni-cli on /dev/fd0 and on the USB disks, each known by its serial
# number, and reports on the second serial port, where the host answers.
/bin/busybox --install -s /bin
mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev
exec </dev/null >/dev/ttyS0 2>&1
. /settings
for module in $(cat /mod/order); do
    options=
    [ "$module" = usb_storage ] && options=delay_use=0  # at once, not after 1 s
    insmod "/mod/$module.ko" $options
done
stty -F /dev/ttyS1 raw -echo
exec 3<>/dev/ttyS1 </dev/null
say() { printf '@@ %s\n' "$(printf '%s' "$*" | tr '\n' ' ' | cut -c1-600)" >&3; }
# host LINE: a request the host answers (MONITOR, SAME) once it has done it.
host() {
    say "$@"
    read -r _ <&3
}
fail() {
    say "FAIL $scenario: $*"
    failed=1
}
begin() { scenario=$1 failed=; }
end() { [ -n "$failed" ] || say "PASS $scenario"; }

# usb NAME: the device of the USB disk whose serial number is NAME.
usb() {
    local disk
    for disk in /sys/block/sd*; do
        [ "$(cat "$(readlink -f "$disk/device")/../../../../serial" 2>/dev/null)" = "$1" ] && echo "/dev/${disk##*/}"
    done
}
for _ in $(seq 100); do
    [ -n "$(usb bad)" ] && [ -n "$(usb parted)" ] && [ -b "$(usb parted)1" ] && break
    sleep 0.1
done

run() {
    "$@" >/tmp/out 2>/tmp/err
    status=$?
    err=$(cat /tmp/err)
}
# expect STATUS TEXT ARGS...: trakoni-cli ARGS exits with STATUS, TEXT on stderr.
expect() {
    local want=$1 text=$2
    shift 2
    run trakoni-cli "$@"
    [ "$status" = "$want" ] || fail "$*: exit status $status, expected $want: $err"
    case $err in *"$text"*) ;; *) fail "$*: the message lacks \"$text\": $err" ;; esac
}
set_is() { cat "$1"/cyl*.bin 2>/dev/null | cmp -s - "/img/$2.img" || fail "the set $1 is not the disk $2"; }
no_set() { ! ls "$1"/cyl* >/dev/null 2>&1 || fail "a set was written under $1"; }
# reads DEVICE, read_sectors DEVICE: the read requests the device has
# completed, and the sectors they read (the kernel's block statistics).
reads() { awk '{ print $1 }' "/sys/block/${1#/dev/}/stat"; }
read_sectors() { awk '{ print $3 }' "/sys/block/${1#/dev/}/stat"; }
# when_read DEVICE BYTES PID: returns once the device has read that much more,
# or PID has ended.
when_read() {
    local until=$(($(read_sectors "$1") + $2 / 512))
    while [ "$(read_sectors "$1")" -lt "$until" ] && kill -0 "$3" 2>/dev/null; do sleep 0.05; done
}
trakoni-cli unpack /img/other.img /tmp/other --quiet

begin "/dev/fd0: a 1.44 MB disk read"
expect 0 "Read /dev/fd0" read /dev/fd0 /tmp/fd144
set_is /tmp/fd144 fd144
end
begin "/dev/fd0: write --verify"
expect 0 "Verified" write /tmp/other /dev/fd0 --verify
host SAME fd144 other "$scenario"
end
begin "/dev/fd0: a 720 KB disk read"
host MONITOR change fd @drives/fd720.img raw
expect 0 "Read /dev/fd0" read /dev/fd0 /tmp/fd720
set_is /tmp/fd720 fd720
end
begin "/dev/fd0: no disk"
host MONITOR eject -f fd
expect 1 "no disk" read /dev/fd0 /tmp/fdnone
no_set /tmp/fdnone
end
begin "/dev/fd0: a write-protected disk read, not written"
host MONITOR change fd @drives/fdro.img raw read-only
expect 0 "Read /dev/fd0" read /dev/fd0 /tmp/fdro
set_is /tmp/fdro fdro
expect 1 "write-protected" write /tmp/other /dev/fd0
host SAME fdro fdro "$scenario"
end

usb=$(usb usb)
begin "USB: listed, read, written"
expect 0 "" list
grep -q "^$usb  1.44 MB (80 x 2 x 18 x 512)" /tmp/out || fail "list: $(cat /tmp/out)"
grep -q "^$(usb empty)  no disk" /tmp/out || fail "list: the empty drive: $(cat /tmp/out)"
before=$(reads "$usb")
expect 0 "Read $usb" read "$usb" /tmp/usb
healthy=$(($(reads "$usb") - before))
set_is /tmp/usb usb
expect 0 "Verified" write /tmp/other "$usb" --verify
host SAME usb other "$scenario"
end
bad=$(usb bad)
begin "USB: a medium error at sector $bad_sector rescued"
before=$(reads "$bad")
c=$((bad_sector / 36)) h=$((bad_sector % 36 / 18)) s=$((bad_sector % 18 + 1))
expect 4 "1 of 2,880 sectors unreadable: cylinder $c head $h sector $s" read "$bad" /tmp/bad --rescue
say "FIGURE a rescue of 1 bad sector: $(($(reads "$bad") - before)) read requests (a healthy read: $healthy)"
[ "$(ddrescuelog -l- /tmp/bad/rescue.map)" = "$bad_sector" ] || fail "map: $(cat /tmp/bad/rescue.map)"
[ "$(cat /tmp/bad/cyl*.bin | cmp -l - /img/bad.img | awk '{ print int(($1 - 1) / 512) }' | uniq)" = "$bad_sector" ] ||
    fail "the set differs from the disk elsewhere than sector $bad_sector"
end
usbro=$(usb usbro)
begin "USB: a write-protected disk read, not written"
expect 0 "Read $usbro" read "$usbro" /tmp/usbro
set_is /tmp/usbro usbro
expect 1 "write-protected" write /tmp/other "$usbro"
host SAME usbro usbro "$scenario"
end
begin "USB: no disk"
expect 1 "no disk" read "$(usb empty)" /tmp/usbnone
no_set /tmp/usbnone
end
parted=$(usb parted)
begin "USB: a partition refused"
expect 1 "${parted}1 is a partition; give the whole device, $parted" read "${parted}1" /tmp/part
no_set /tmp/part
end

# The disk pulled out (eject) or the drive unplugged (device_del) while the
# throttled drive is still reading.
pulled=$(usb pulled)
begin "USB: a disk pulled out during a rescue"
trakoni-cli read "$pulled" /tmp/pulled --rescue >/tmp/out 2>/tmp/err &
when_read "$pulled" 300000 $!
host MONITOR eject -f pulled
wait $!
status=$? err=$(cat /tmp/err)
[ "$status" = 1 ] || fail "exit status $status, expected 1: $err"
case $err in *"taken out"*) ;; *) fail "the message does not say the disk was taken out: $err" ;; esac
[ -z "$(ddrescuelog -l- /tmp/pulled/rescue.map 2>&1)" ] || fail "sectors called unreadable: $err"
end
unplugged=$(usb unplugged)
begin "USB: the drive unplugged during a read"
trakoni-cli read "$unplugged" /tmp/unplugged >/tmp/out 2>/tmp/err &
when_read "$unplugged" 300000 $!
host MONITOR device_del dunplugged
wait $!
status=$? err=$(cat /tmp/err)
[ "$status" = 1 ] || fail "exit status $status, expected 1: $err"
case $err in *missing* | *"taken out"*) ;; *) fail "the message does not say the disk has gone: $err" ;; esac
no_set /tmp/unplugged
end

# The program's read of the USB disk beside dd's (one request a cylinder, into
# a file as the program writes files), and the program's start alone, in turns.
centiseconds() { awk '{ print $1 * 100 }' /proc/uptime; }
for round in $(seq "$rounds"); do
    t0=$(centiseconds)
    dd if="$usb" of=/tmp/dd.img iflag=direct bs=18432 2>/dev/null
    t1=$(centiseconds)
    rm -rf /tmp/bench && trakoni-cli read "$usb" /tmp/bench --quiet
    t2=$(centiseconds)
    trakoni-cli --version >/dev/null
    echo "$((t1 - t0)) $((t2 - t1)) $(($(centiseconds) - t2))"
done >/tmp/times
median() { cut -d' ' -f"$1" /tmp/times | sort -n | sed -n "$((rounds / 2 + 1))p"; }
say "FIGURE $(awk -v n="$rounds" -v d="$(median 1)" -v r="$(median 2)" -v s="$(median 3)" 'BEGIN {
    printf "USB read (median of %d): trakoni-cli %.2f s, dd %.2f s, ratio %.2f; the program'"'"'s start alone %.2f s",
        n, r / 100, d / 100, r / d, s / 100 }')"
say DONE
poweroff -f
