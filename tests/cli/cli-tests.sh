#!/usr/bin/env bash
# trakoni-cli.exe end to end under Wine, on the virtual floppies of the test
# prefix (A: 1.44 MB, B: 720 KB, E: an image of no floppy size):
#   cli-tests.sh copies|refusals|interrupt|archive|files WINE-RUN PREFIX EXE WORK
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
    [[ $err == *"$text"* ]] || fail "$*: stderr lacks '$text': $err (stdout: $out)"
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

# until CONDITION: waits for it, a minute at most.
until_true() {
    local _
    for _ in $(seq 600); do eval "$1" && return 0; sleep 0.1; done
    fail "timed out waiting for: $1"
    return 1
}

archive() {
    head -c 1474560 /dev/urandom >"$work/disk.img"
    cp "$work/disk.img" "$a"
    local c=$t/coll C=$W/coll sha
    sha=$(sha256sum <"$work/disk.img" | cut -d' ' -f1)
    expect 0 "d1 archived as $C\d1: 0 of 2,880 sectors unreadable" archive A: "$C" --id d1 --operator "Ann Lee" --note "Box 3"
    expect 0 "" validate "$C\d1"
    [ "$out" = "$C\d1: valid" ] || fail "validate of a new bag: $out"
    # The bag checked by the host's tools, independently of ours.
    (cd "$c/d1" && sha256sum -c --quiet manifest-sha256.txt tagmanifest-sha256.txt &&
        sha512sum -c --quiet manifest-sha512.txt tagmanifest-sha512.txt) || fail "the host's tools reject the bag"
    same "$c/d1/data/d1.img" "$work/disk.img" "archive: the image is not the disk"
    local oxum
    oxum=$(find "$c/d1/data" -type f -printf '%s\n' | awk '{ s += $1; n++ } END { print s "." n }')
    [ "$(grep -cx -e "Payload-Oxum: $oxum" -e 'External-Identifier: d1' -e 'Contact-Name: Ann Lee' \
        -e 'External-Description: Box 3' -e 'Trakoni-Unreadable-Sectors: 0' "$c/d1/bag-info.txt")" = 5 ] ||
        fail "bag-info.txt: $(cat "$c/d1/bag-info.txt")"
    [ "$(cut -f1,4-6 "$c/catalog.tsv")" = $'ID\tUnreadable-Sectors\tImage-SHA-256\tStatus\nd1\t0\t'"$sha"$'\tcomplete' ] ||
        fail "catalog: $(cat "$c/catalog.tsv")"
    expect 0 "" archive A: "$C" --id d2 --cylinders --quiet
    joined_is "$c/d2/data/cylinders" "$work/disk.img" "archive --cylinders: the files do not hold the disk"

    # Corruptions of a copy of the bag, each named by validate.
    local text change
    while IFS='|' read -r text change; do
        rm -rf "$c/bad" && cp -r "$c/d1" "$c/bad" && (cd "$c/bad" && eval "$change")
        run validate "$C\bad"
        [ "$status" = 3 ] && [[ $out == *"$C\bad: $text"* ]] || fail "validate after $change: $status $out"
    done <<CASES
data/d1.img does not match its SHA-256 in manifest-sha256.txt|printf xyz | dd of=data/d1.img bs=1 seek=5000 conv=notrunc status=none
manifest-sha512.txt lists data/d1.log, which does not exist|rm data/d1.log
data/extra is not in manifest-sha256.txt|echo x >data/extra
Payload-Oxum is 1.1 but the payload is $oxum|sed -i 's/^Payload-Oxum: .*/Payload-Oxum: 1.1/' bag-info.txt
bag-info.txt does not match its SHA-512 in tagmanifest-sha512.txt|sed -i 's/Ann Lee/Bob/' bag-info.txt
manifest-sha256.txt lists data/gone.img, which does not exist|echo "\$(printf %064d 0)  data/gone.img" >>manifest-sha256.txt
CASES
    rm -rf "$c/bad"
    # A bag of another tool, with MD5 and SHA-1 manifests.
    mkdir -p "$c/other/data" && echo text >"$c/other/data/f.txt"
    printf 'BagIt-Version: 0.97\nTag-File-Character-Encoding: UTF-8\n' >"$c/other/bagit.txt"
    (cd "$c/other" && md5sum data/f.txt >manifest-md5.txt && sha1sum data/f.txt >manifest-sha1.txt)
    expect 0 "" validate "$W/coll/other"
    echo changed >"$c/other/data/f.txt"
    run validate "$W/coll/other" "$C\d1"
    [ "$status" = 3 ] && [[ $out == *"its MD5 in manifest-md5.txt"*"its SHA-1 in manifest-sha1.txt"*"$C\d1: valid" ]] ||
        fail "validate of a changed bag of another tool: $out"
    rm -rf "$c/other"

    # Refused before the drive is touched: it has no disk now.
    local before id
    : >"$a"
    before=$(snapshot)
    for id in "" a/b .. é CON; do
        expect 2 "trakoni-cli: The identifier" archive A: "$C" --id "$id"
    done
    [ "$(snapshot)" = "$before" ] || fail "a refused identifier wrote something"
    head -c 1474560 /dev/urandom >"$a"
    expect 1 "ERROR: $C\d1 already holds a bag; use --force to replace it" archive A: "$C" --id d1
    same "$c/d1/data/d1.img" "$work/disk.img" "archive without --force replaced a bag"
    at 130 "$c/.d3.trakoni-*.partial/cylinders/cyl00.bin" 'kill -INT $pid' archive A: "$C" --id d3
    [ ! -e "$c/d3" ] && ! ls -d "$c"/.d3.* >/dev/null 2>&1 || fail "an interrupted archive left a bag: $(ls -a "$c")"

    # The station: a letter of no drive, refused at once; then a disk, two
    # refusals, the disk changed, the end of the file.
    printf 'd4\na/b\nd1\nd5\n' >"$t/ids"
    expect 1 "ERROR: No removable drive has the letter Q:" station Q: "$C" --ids "$W/ids"
    "$wine_run" "$prefix" "$exe" station A: "$C" --ids "$W/ids" >"$work/out" 2>"$work/err" </dev/null &
    local pid=$!
    # The disk out: an image of no floppy size, never no image, after which
    # Wine would find another device behind A:.
    until_true 'grep -q "Take the disk d4 out" "$work/err"' && : >"$a" &&
        until_true 'grep -q "Put the disk d5 into A:" "$work/err"' && cp "$work/disk.img" "$a" &&
        until_true 'grep -q "Take the disk d5 out" "$work/err"' && : >"$a" || kill "$pid"
    wait "$pid" || fail "station: exit status $?"
    out=$(tr -d '\r' <"$work/out")
    [[ $out == "d4: archived as $C\d4: 0 of 2,880"*"a/b: refused: The identifier 'a/b' holds a path separator"*"d1: refused: already in the collection"*"d5: archived"*"Station ended: 2 disks archived, 0 with unreadable sectors, 2 failed or refused" ]] ||
        fail "station: $out"
    cp "$work/disk.img" "$a"
    same "$c/d5/data/d5.img" "$work/disk.img" "station: d5 is not the second disk"
    cmp -s "$c/d4/data/d4.img" "$work/disk.img" && fail "station: d4 is the second disk"
    expect 0 "" catalog "$C"
    [ "$(cut -f1 <<<"$out" | tr '\n' ' ')" = "ID d1 d2 d4 d5 " ] || fail "catalog: $out"
}

# The files of a FAT disk as Windows writes them: long names, times, and
# from the drive itself.
files() {
    local img=$work/fat.img
    mkfs.fat -C -n WINDOWS "$img" 1440 >/dev/null
    head -c 3000 /dev/urandom >"$work/f" && touch -d "1991-03-14 15:42" "$work/f"
    MTOOLS_SKIP_CHECK=1 mmd -i "$img" "::/Old Letters" && MTOOLS_SKIP_CHECK=1 mcopy -m -i "$img" "$work/f" "::/Old Letters/To Ann, 1991.txt"
    expect 0 "" files "Z:$img" --extract "$W\\out"
    [[ $out == $'volume label: WINDOWS\nOld Letters/  folder'*$'\nOld Letters/To Ann, 1991.txt  3000  1991-03-14 15:42' ]] || fail "files: $out"
    same "$work/f" "$t/out/Old Letters/To Ann, 1991.txt" "files --extract: the file is not the disk's"
    [ "$(date -r "$t/out/Old Letters/To Ann, 1991.txt" '+%Y-%m-%d %H:%M')" = "1991-03-14 15:42" ] || fail "files --extract: the time"
    cp "$img" "$a"
    expect 0 "" files A:
    [[ $out == *"To Ann, 1991.txt  3000"* ]] || fail "files A:: $out"
}

"$group"
[ "$failures" -eq 0 ] && rm -rf "$work"
echo "$group: $failures failures"
[ "$failures" -eq 0 ]
