#!/usr/bin/env bash
# trakoni-cli.exe end to end under Wine, on the virtual floppies of the test
# prefix (A: 1.44 MB, B: 720 KB, E: an image of no floppy size):
#   cli-tests.sh copies|refusals|interrupt WINE-RUN PREFIX EXE WORK
# WORK is made afresh; the program sees it through Wine's drive Z: (the host's
# root). Paths in it must not hold spaces.
set -u
group=$1 wine_run=$2 prefix=$3 exe=$4 work=$5
a=$prefix/floppies/a.img
b=$prefix/floppies/b.img
t=$work/t  # everything the program may write, beside its disks
W=Z:$t
rm -rf "$work"
mkdir -p "$t"
failures=0

fail() {
    echo "FAIL ($group): $*"
    failures=$((failures + 1))
}

# run ARGS...: sets status, out and err (without the CRs of Windows lines).
# With $limit set, the program may write no file beyond that many KiB (its
# disk is full there), and the server must be running already.
run() {
    (
        [ -z "${limit:-}" ] || { trap '' XFSZ; ulimit -f "$limit"; }
        exec "$wine_run" "$prefix" "$exe" "$@"
    ) >"$work/out" 2>"$work/err" </dev/null
    status=$?
    out=$(tr -d '\r' <"$work/out")
    err=$(tr -d '\r' <"$work/err")
}

# expect STATUS TEXT ARGS...: the program exits with STATUS, TEXT on stderr.
expect() {
    local want=$1 text=$2
    shift 2
    run "$@"
    [ "$status" = "$want" ] || fail "$*: exit status $status, expected $want; stderr: $err"
    [[ $err == *"$text"* ]] || fail "$*: stderr lacks '$text': $err"
}

same() { cmp -s "$1" "$2" || fail "$3"; }

# make_set IMAGE FOLDER BYTES: the image cut into cylinder files.
make_set() {
    mkdir -p "$2"
    split -b "$3" -d -a 2 --additional-suffix=.bin "$1" "$2/cyl"
}

joined_is() { cat "$1"/cyl*.bin | cmp -s - "$2" || fail "$3"; }

# Every file under $t with its contents, and both disks.
snapshot() {
    (cd "$t" && find . | sort && find . -type f -exec md5sum {} + | sort)
    cat "$a" "$b" | md5sum
}

copies() {
    head -c 1474560 /dev/urandom >"$work/disk.img"
    cp "$work/disk.img" "$a"
    expect 0 "Verified A: against $W/set (80 cylinders, 1474560 bytes)" read a "$W/set" --verify
    joined_is "$t/set" "$work/disk.img" "read: the files do not hold the disk"
    expect 0 "Packed $W/set into $W/disk.img" pack "$W/set" "$W/disk.img"
    same "$t/disk.img" "$work/disk.img" "pack: the image is not the disk"
    expect 0 "Unpacked $W/disk.img into $W/unpacked" unpack "$W/disk.img" "$W/unpacked"
    joined_is "$t/unpacked" "$work/disk.img" "unpack: the files do not hold the image"
    [ "$(ls "$t/unpacked" | wc -l)" = 80 ] || fail "unpack: not just the 80 files"
    head -c 1474560 /dev/zero >"$a"
    expect 0 "Verified A: against $W/unpacked" write "$W/unpacked" A: --verify
    same "$a" "$work/disk.img" "write: the disk does not hold the files"

    # --force replaces, here with another disk's bytes; --quiet says nothing.
    head -c 1474560 /dev/urandom >"$a"
    expect 0 "Read A:" read A: "$W/set" --force
    expect 0 "Packed" pack "$W/set" "$W/disk.img" --force
    same "$t/disk.img" "$a" "pack --force: the image is not the new disk"
    expect 0 "" unpack "$W/disk.img" "$W/unpacked" --force --quiet
    [ -z "$err" ] || fail "unpack --quiet said: $err"
    joined_is "$t/unpacked" "$a" "unpack --force: the files do not hold the new image"

    # Any multiple of 512 bytes per cylinder converts.
    head -c $((80 * 1536)) /dev/urandom >"$work/small.img"
    make_set "$work/small.img" "$t/small" 1536
    expect 0 "Packed" pack "$W/small" "$W/small.img"
    same "$t/small.img" "$work/small.img" "pack: 1536-byte cylinders"

    # The checksums of an image, a set and a disk are the host tools' own.
    local sums
    sums=$(printf '%-12s%s\n' "format:" "1.44 MB (80 x 2 x 18 x 512)" "CRC32:" "$(crc32 "$a")" \
        "MD5:" "$(md5sum <"$a" | cut -d' ' -f1)" "SHA-1:" "$(sha1sum <"$a" | cut -d' ' -f1)" \
        "SHA-256:" "$(sha256sum <"$a" | cut -d' ' -f1)")
    for target in "$W/disk.img" "$W/unpacked" a:; do
        expect 0 "" info "$target"
        [ "$out" = "$sums" ] || fail "info $target: $out"
    done
    expect 0 "" info "$W/small.img"
    [[ $out == "format:     122880 bytes (80 cylinders of 1536 bytes)"* ]] || fail "info: $out"

    # An image a rescue left with markers says which sectors, before its checksums, and exits 4.
    cp "$a" "$t/marked.img"
    local sector
    for sector in 634:BAD 635:BAD 100:NOT 2879:NOT; do
        [ "${sector#*:}" = BAD ] && marker="TRAKONI BAD SECTOR " || marker="TRAKONI NOT READ YET "
        printf "$marker%.0s" $(seq 30) | head -c 512 | dd of="$t/marked.img" bs=512 seek="${sector%:*}" conv=notrunc status=none
    done
    expect 4 "" info "$W/marked.img"
    [[ $out == *$'\nincomplete: a rescue left 2 of 2,880 sectors unreadable, 2 not read: cylinder 17 head 1 sectors 5-6; the checksums are of the image with its markers\nCRC32:'* ]] ||
        fail "info of a marked image: $out"

    # A rescue of a healthy disk is a plain read, with a map of one read area;
    # run again with its map, it reads nothing more and says so.
    expect 0 "Rescued A: into $W/rescued: 0 of 2,880 sectors unreadable" read A: "$W/rescued" --rescue
    joined_is "$t/rescued" "$a" "read --rescue: the files do not hold the disk"
    grep -qx '0x00000000  0x00168000  +' "$t/rescued/rescue.map" || fail "read --rescue: map $(cat "$t/rescued/rescue.map")"
    expect 0 "0 of 2,880 sectors unreadable" read A: "$W/rescued" --rescue --retries 1 --map "$W/rescued/rescue.map"

    expect 0 "" list
    [ "$out" = $'A:  1.44 MB (80 x 2 x 18 x 512)\nB:  720 KB (80 x 2 x 9 x 512)\nE:  no disk' ] ||
        fail "list: $out"
    expect 0 "" --help
    [[ $out == *"0 success; 1 the copy failed"*"3 verification"*"4 a rescue"*"130 interrupted"* ]] ||
        fail "--help: $out"
    expect 0 "" --version
    [[ $out == "trakoni-cli 2.0.0.1"* ]] || fail "--version: $out"
}

refusals() {
    head -c 1474560 /dev/urandom >"$t/disk.img"
    cp "$t/disk.img" "$a"
    make_set "$t/disk.img" "$t/set" 18432
    cp -r "$t/set" "$t/odd"
    truncate -s 1000 "$t/odd/cyl07.bin"
    cp -r "$t/set" "$t/gap"
    rm "$t/gap/cyl42.bin"
    head -c 80000 /dev/zero >"$work/zeros"
    make_set "$work/zeros" "$t/small" 1000
    head -c 1474561 /dev/zero >"$t/long.img"
    mkdir "$t/empty"
    printf 'Shopping:\n  milk\n' >"$t/notes.txt"

    # Nothing is written by any of these: no file under $t, no disk changes.
    local before want text args
    before=$(snapshot)
    while IFS='|' read -r want text args; do
        # shellcheck disable=SC2086  # the arguments are words without spaces
        expect "$want" "$text" $args
        [ "$(snapshot)" = "$before" ] || fail "$args: something was written"
    done <<CASES
2|trakoni-cli: missing command|
2|unknown command 'copy'|copy $W/set $W/new
2|usage: trakoni-cli read DRIVE FOLDER|read A:
2|'AB:' is not a drive letter (A: to Z:)|read AB: $W/new
2|pack takes no --verify|pack $W/set $W/new.img --verify
2|write takes no --force|write $W/set A: --force
2|unrecognized option '--fast'|list --fast
2|write takes no --rescue|write $W/set A: --rescue
2|read --rescue takes no --verify|read A: $W/new --rescue --verify
2|--retries and --map go with --rescue|read A: $W/new --retries 2
2|--retries takes a number from 0 to 999|read A: $W/new --rescue --retries x
1|ERROR: $W/set already holds cylinder files|read A: $W/set --rescue
1|ERROR: $W/notes.txt is not a rescue map (line 1 is no status line)|read A: $W/new --rescue --map $W/notes.txt
1|ERROR: $W/set already holds cylinder files ($W/set\cyl00.bin); use --force to replace them|read A: $W/set
1|ERROR: $W/set already holds cylinder files|unpack $W/disk.img $W/set
1|ERROR: $W/disk.img already exists; use --force to replace it|pack $W/set $W/disk.img
1|ERROR: $W/odd\cyl07.bin is 1000 bytes; the other cylinder files are 18432 bytes|pack $W/odd $W/new.img
1|ERROR: Could not read $W/gap\cyl42.bin: it does not exist|pack $W/gap $W/new.img
1|ERROR: $W/small\cyl00.bin is 1000 bytes; a cylinder is one or more whole 512-byte sectors|pack $W/small $W/new.img
1|ERROR: $W/long.img is 1474561 bytes; an image is 80 cylinders of one or more whole 512-byte sectors|unpack $W/long.img $W/new
1|ERROR: Could not read $W/none.img|unpack $W/none.img $W/new
1|ERROR: File $W/gap\cyl42.bin does not exist.  Imaging aborted.|write $W/gap A:
1|ERROR: $W/odd\cyl07.bin does not match the size of a cylinder, imaging failed.|write $W/odd A: --verify
1|ERROR: $W/set\cyl00.bin does not match the size of a cylinder, imaging failed.|write $W/set B:
1|ERROR: Disk is either missing or damaged|write $W/set E:
1|ERROR: Disk is either missing or damaged|read E: $W/new
1|ERROR: $W/gap is not a complete set of 80 cylinder files of one size|info $W/gap
1|ERROR: $W/empty holds no cylinder files|info $W/empty
CASES
    # A full disk, mid-image and again just before the image's last cylinder, which its last write (and the
    # close) must find; a user's file of the old temporary name is no temporary file.
    printf mine >"$t/new.img.partial"
    before=$(snapshot)
    for limit in 1000 1422; do
        expect 1 "ERROR: Could not write $W/new.img.trakoni-" pack "$W/set" "$W/new.img"
        [ "$(snapshot)" = "$before" ] || fail "a pack onto a full disk ($limit KiB) left a file behind"
    done
    unset limit
    expect 1 "" info "$W/odd"
    [ "$out" = $'format:     1.44 MB (80 x 2 x 18 x 512)\nmissing:    none\nwrong size: cyl07.bin (1000 bytes)' ] ||
        fail "info of a set with a short file: $out"
}

# at STATUS FILE ACTION ARGS...: runs the program and, once FILE appears,
# holds it still while ACTION runs, so that the copy cannot run on to its end
# first. The program must exit with STATUS.
at() {
    local want=$1 file=$2 action=$3 pid
    shift 3
    "$wine_run" "$prefix" "$exe" "$@" >"$work/out" 2>"$work/err" </dev/null &
    pid=$!
    # shellcheck disable=SC2086  # FILE may be a pattern
    until ls $file >/dev/null 2>&1 || ! kill -0 "$pid" 2>/dev/null; do
        sleep 0.005
    done
    kill -STOP "$pid"
    eval "$action"
    kill -CONT "$pid"
    wait "$pid"
    status=$?
    err=$(tr -d '\r' <"$work/err")
    [ "$status" = "$want" ] || fail "$*: exit status $status, expected $want; stderr: $err"
}

interrupt() {
    # Big enough that the program is still copying when the file appears.
    head -c $((80 * 512 * 1024)) /dev/urandom >"$t/big.img"
    make_set "$t/big.img" "$t/big" $((512 * 1024))
    local before
    before=$(snapshot)
    # Ctrl+C is SIGINT here: Wine hands it to the console control handler.
    at 130 "$t/packed.img.trakoni-*.partial" 'kill -INT $pid' pack "$W/big" "$W/packed.img"
    [[ $err == *"Interrupted: nothing has been written to $W/packed.img"* ]] || fail "pack: $err"
    at 130 "$t/unpacked.trakoni-*.partial/cyl00.bin" 'kill -INT $pid' unpack "$W/big.img" "$W/unpacked"
    [[ $err == *"Interrupted: no cylinder file has been written to $W/unpacked"* ]] ||
        fail "unpack: $err"
    # A full disk (no file beyond 256 KiB) fails the unpack at its first file.
    limit=256 expect 1 "ERROR: Could not write $W/unpacked.trakoni-" \
        unpack "$W/big.img" "$W/unpacked"
    [ "$(snapshot)" = "$before" ] || fail "an interrupted or failed copy left files behind"

    # An image cut short while it is read.
    at 1 "$t/unpacked.trakoni-*.partial/cyl00.bin" 'truncate -s 1M "$t/big.img"' \
        unpack "$W/big.img" "$W/unpacked"
    [[ $err == *"ERROR: Could not read $W/big.img"* ]] || fail "unpack of a shrinking image: $err"
    [ ! -e "$t/unpacked" ] || fail "unpack of a shrinking image left files behind"
}

"$group"
[ "$failures" -eq 0 ] && rm -rf "$work"
echo "$group: $failures failures"
[ "$failures" -eq 0 ]
