#!/usr/bin/env bash
# trakoni-cli and the engine on the fault device that with-fault-device.sh set
# up: under Wine, as drive A: of a throwaway prefix; natively, by its path.
#   fault-tests.sh GROUP WINE-RUN|native CLI ENGINE-TESTS WORKDIR
# GROUP is rescue or write, and natively also copies, damage, refusals (with
# the loop devices M, L and P of with-loop-drives.sh), signals, archives or
# station. WORKDIR is with-fault-device.sh's, whose prefix WORKDIR/wineprefix
# it stops.
set -u
group=$1 wine_run=$2 exe=$3 engine_tests=$4 work=$5
prefix=$work/wineprefix
t=$work/t
failures=0
if [ "$wine_run" = native ]; then
    drive=$TRAKONI_FAULT_DEVICE W=$t sep=/ page=1
else
    drive=A: W=Z:$t sep=\\ page=8  # Wine reads a block device in 4 KiB pages
    "$(dirname "$0")/../wine/make-prefix.sh" "$prefix" "a:floppy=$TRAKONI_FAULT_DEVICE"
fi
fail() {
    echo "FAIL ($group): $*"
    failures=$((failures + 1))
}
rm -rf "$t"
mkdir -p "$t"
head -c 1474560 /dev/urandom >"$work/disk.img"
head -c 1474560 /dev/urandom >"$work/other.img"

# faults LINE...: the device's faults from now on. Wine reads a block device
# through the kernel's cache; dropping it makes every read reach the device.
faults() {
    printf '%s\n' "$@" >"$TRAKONI_FAULT_FAULTS"
    blockdev --flushbufs "$TRAKONI_FAULT_DEVICE"
}

# run WHAT ARGS...: runs the program, sets status and err, prints the requests
# that reached the device, and sets failed_reads to the failed ones among them.
requests() { tr -d '()' <"$TRAKONI_FAULT_REQUESTS" | awk '{ print $2, $3, $6, $7 }'; }
run() {
    local what=$1 r0 f0 w0 g0 r f w g
    shift
    read -r r0 f0 w0 g0 < <(requests)
    if [ "$wine_run" = native ]; then
        "$@" >"$work/out" 2>"$work/err" </dev/null
    else
        "$wine_run" "$prefix" "$@" >"$work/out" 2>"$work/err" </dev/null
    fi
    status=$?
    err=$(tr -d '\r' <"$work/err")
    read -r r f w g < <(requests)
    failed_reads=$((f - f0))
    echo "$what: the device served $((r - r0)) reads ($failed_reads failed), $((w - w0)) writes ($((g - g0)) failed)"
}
expect_status() { [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1; stderr: $err"; }
joined_is() { cat "$1"/cyl*.bin | cmp -s - "$2" || fail "$3"; }

rescue() {
    faults
    dd if="$work/disk.img" of="$TRAKONI_FAULT_DEVICE" bs=64k oflag=direct conv=fsync status=none

    # Under Wine a bad sector takes the other 7 of its page along.
    local bad_first=100 bad_last=101 first last s
    first=$((bad_first / page * page)) last=$((bad_last / page * page + page - 1))
    faults "read $bad_first-$bad_last"
    run "rescue around 2 bad sectors" "$exe" read "$drive" "$W/rescued" --rescue --retries 1
    expect_status 4 "rescue"
    local c=$((first / 36)) h=$((first % 36 / 18))
    [[ $err == *"$((last - first + 1)) of 2,880 sectors unreadable: cylinder $c head $h sectors $((first % 18 + 1))-$((last % 18 + 1))"* ]] ||
        fail "rescue summary: $err"
    [ "$(ddrescuelog -l- "$t/rescued/rescue.map" 2>&1)" = "$(seq "$first" "$last")" ] ||
        fail "rescue map: $(ddrescuelog -l- "$t/rescued/rescue.map" 2>&1)"
    # Only the unreadable sectors differ from the disk, each holding the mark.
    local differing
    differing=$(cat "$t/rescued"/cyl*.bin | cmp -l - "$work/disk.img" | awk '{ print int(($1 - 1) / 512) }' | uniq)
    [ "$differing" = "$(seq "$first" "$last")" ] || fail "rescue: sectors differing from the disk: $(echo $differing | cut -c1-80)"
    for s in $(seq "$first" "$last"); do
        cat "$t/rescued"/cyl*.bin | tail -c +$((s * 512 + 1)) | head -c 19 | grep -qx 'TRAKONI BAD SECTOR ' ||
            fail "rescue: sector $s lacks the mark"
    done

    # An archive of the damaged disk is a valid bag that records the damage.
    run "archive --rescue of that disk" "$exe" archive "$drive" "$W/bags" --id d1 --rescue --retries 1
    expect_status 4 "archive --rescue"
    [ "$(ddrescuelog -l- "$t/bags/d1/data/d1.map" 2>&1)" = "$(seq "$first" "$last")" ] || fail "archive: map in the bag"
    run "validate that bag" "$exe" validate "$W/bags/d1"
    expect_status 0 "validate"

    faults  # repaired: the second run with the map reads the rest
    run "second rescue with the map" "$exe" read "$drive" "$W/rescued" --rescue
    expect_status 0 "second rescue"
    joined_is "$t/rescued" "$work/disk.img" "second rescue: the set is not the disk"
    grep -qx '0x00000000  0x00168000  +' "$t/rescued/rescue.map" || fail "second rescue: map $(cat "$t/rescued/rescue.map")"

    faults "weak 300-301 2" "weak 2000 6"
    run "rescue of weak sectors" "$exe" read "$drive" "$W/weak" --rescue --retries 5
    expect_status 0 "weak sectors"
    [ "$failed_reads" -gt 0 ] || fail "weak sectors: no read failed, the faults never reached the device"
    joined_is "$t/weak" "$work/disk.img" "weak sectors: the set is not the disk"
}

# A disk that does not keep what is written. Sectors 100-101 fail when the
# written cylinders reach it: no success, one error, and truly not written.
write() {
    mkdir -p "$t/set"
    split -b 18432 -d -a 2 --additional-suffix=.bin "$work/other.img" "$t/set/cyl"
    faults
    dd if="$work/disk.img" of="$TRAKONI_FAULT_DEVICE" bs=64k oflag=direct conv=fsync status=none
    faults "write 100-101"
    run "write onto a disk that fails sectors 100-101" "$exe" write "$W/set" "$drive"
    [ "$status" != 0 ] || fail "write: exit status 0; stderr: $err"
    [ "$(grep -c '^ERROR: ' <<<"$err")" = 1 ] || fail "write: not exactly one ERROR line: $err"
    [[ $err != *"Wrote "* ]] || fail "write: reported success: $err"
    ! cmp -s "$TRAKONI_FAULT_IMAGE" "$work/other.img" || fail "write: the medium holds the set, the fault did not act"
    faults "write 100-101"
    run "the engine's copy onto that disk" "$engine_tests"
    [ "$status" = 0 ] || fail "the engine's copy: $(tr -d '\r' <"$work/out" | grep -E 'Failure|expected|Which|actual|FAILED' | head -20)"

    # Written without an error, but sector 300 keeps other bytes: verified.
    faults "corrupt 300"
    run "write --verify onto a disk whose sector 300 keeps other bytes" "$exe" write "$W/set" "$drive" --verify
    expect_status 3 "write --verify"
    local at=$((300 * 512)) c
    c=$(printf %02d $((at / 18432)))
    [[ $err == *"cylinder $((10#$c)) of the disk differs from $W/set${sep}cyl$c.bin at byte $((at % 18432)) (byte $at of the disk)"* ]] ||
        fail "write --verify: $err"
}

. "$(dirname "$0")/native-tests.sh"
"$group"
[ "$wine_run" = native ] || WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1
[ "$failures" -eq 0 ] && rm -rf "$t"
echo "$group: $failures failures"
[ "$failures" -eq 0 ]
