# The native program's own groups of fault-tests.sh, sourced by it: round
# trips checked with the host's tools, refusals that write nothing, signals.

# info PATH: the program's checksums of PATH against the host's tools, read
# with plain awk (no CR may end a line).
check_info() {
    run "info $1" "$exe" info "$1"
    expect_status 0 "info $1"
    ! grep -q $'\r' "$work/out" || fail "info $1: a line ends in CR"
    local sum tool field
    for tool in md5sum:MD5 sha256sum:SHA-256; do
        field=${tool#*:}
        sum=$(awk -v f="$field:" '$1 == f { print $2 }' "$work/out")
        [ "$sum" = "$(${tool%%:*} <"$2" | awk '{ print $1 }')" ] || fail "info $1: $field $sum"
    done
    [ "$(awk '$1 == "CRC32:" { print $2 }' "$work/out")" = "$(crc32 "$2")" ] || fail "info $1: CRC32"
}

copies() {
    faults
    dd if="$work/disk.img" of="$drive" bs=64k oflag=direct conv=fsync status=none
    run "read --verify" "$exe" read "$drive" "$t/read" --verify
    expect_status 0 "read"
    joined_is "$t/read" "$work/disk.img" "read: the set is not the disk"
    run "pack" "$exe" pack "$t/read" "$t/packed.img"
    cmp -s "$t/packed.img" "$work/disk.img" || fail "pack: the image is not the disk"
    mkdir -p "$t/other"
    split -b 18432 -d -a 2 --additional-suffix=.bin "$work/other.img" "$t/other/cyl"
    run "write --verify" "$exe" write "$t/other" "$drive" --verify
    expect_status 0 "write"
    cmp -s "$TRAKONI_FAULT_IMAGE" "$work/other.img" || fail "write: the medium is not the set"
    run "unpack" "$exe" unpack "$t/packed.img" "$t/unpacked"
    joined_is "$t/unpacked" "$work/disk.img" "unpack: the set is not the image"
    check_info "$t/packed.img" "$work/disk.img"
    check_info "$t/unpacked" "$work/disk.img"
    check_info "$drive" "$work/other.img"
    # Only removable whole devices: none of the machine's disks, no loop device.
    run "list" "$exe" list
    expect_status 0 "list"
    local device
    for device in $(awk '{ print $1 }' "$work/out"); do
        [ "$(cat "/sys/class/block/${device#/dev/}/removable")" = 1 ] || fail "list: $device is no removable drive"
    done
    [[ $(cat "$work/out") != *"$drive"* ]] || fail "list: the loop device is listed"
}

# expect_refusal WHAT TEXT WORDS...: exit 1 with TEXT, and no device changed.
expect_refusal() {
    local what=$1 text=$2 before
    shift 2
    before=$(md5sum "$TRAKONI_FAULT_IMAGE" "$TRAKONI_LOOP_IMAGE_M" "$TRAKONI_LOOP_IMAGE_L")
    run "refused: $what" "$@"
    [ "$status" = 1 ] && [[ $err == *"$text"* ]] || fail "$what: exit $status, expected 1 and \"$text\": $err"
    [ "$before" = "$(md5sum "$TRAKONI_FAULT_IMAGE" "$TRAKONI_LOOP_IMAGE_M" "$TRAKONI_LOOP_IMAGE_L")" ] ||
        fail "$what: a device was written"
    ! ls "$t/into"/cyl* >/dev/null 2>&1 || fail "$what: files were written"
}

refusals() {
    faults
    mkdir -p "$t/other" "$t/m" "$t/bin"
    split -b 18432 -d -a 2 --additional-suffix=.bin "$work/other.img" "$t/other/cyl"
    # A kernel without FAT support mounts an ext2 file system instead.
    { mount "$TRAKONI_LOOP_M" "$t/m" 2>/dev/null || { mkfs.ext2 -q "$TRAKONI_LOOP_M" && mount "$TRAKONI_LOOP_M" "$t/m"; }; } &&
        trap 'umount "$t/m"' EXIT
    expect_refusal "mounted" "is mounted on $t/m; unmount it first" "$exe" write "$t/other" "$TRAKONI_LOOP_M"
    expect_refusal "too large" "holds 4194304 bytes, more than 3 MiB" "$exe" read "$TRAKONI_LOOP_L" "$t/into"
    expect_refusal "a character device" "/dev/null is a character device" "$exe" read /dev/null "$t/into"
    expect_refusal "a folder" "$t/other is a folder" "$exe" read "$t/other" "$t/into"
    expect_refusal "a missing path" "$t/none: no such file or device" "$exe" read "$t/none" "$t/into"
    blockdev --setro "$drive"
    expect_refusal "write-protected" "is write-protected" "$exe" write "$t/other" "$drive"
    run "read of a write-protected disk" "$exe" read "$drive" "$t/protected"
    expect_status 0 "read of a write-protected disk"
    joined_is "$t/protected" "$TRAKONI_FAULT_IMAGE" "read of a write-protected disk: the set is not the disk"
    local tab
    for tab in yes no; do  # the bag says whether the disk was write-protected
        run "archive (write-protected: $tab)" "$exe" archive "$drive" "$t/bags" --id "$tab"
        grep -qx "Trakoni-Write-Protected: $tab" "$t/bags/$tab/bag-info.txt" || fail "archive: write-protected is not $tab"
        blockdev --setrw "$drive"
    done
    # The station warns of a disk that was not (an image file, taken out by emptying it), and of a 720 KB file
    # system on a 1.44 MB disk.
    mkfs.fat -C "$t/station.img" 720 >/dev/null && truncate -s 1474560 "$t/station.img" && echo s1 >"$t/ids"
    "$exe" station "$t/station.img" "$t/bags" --ids "$t/ids" >"$work/out" 2>"$work/err" </dev/null &
    local station=$! _
    for _ in $(seq 600); do grep -q "Take the disk s1 out" "$work/err" && break; sleep 0.1; done
    : >"$t/station.img" && wait "$station"
    grep -qx "s1: WARNING: the disk was not write-protected;.*" "$work/out" &&
        grep -qx "s1: WARNING: the boot sector describes 1,440 sectors (720 KB), the drive read 2,880" "$work/out" ||
        fail "station: not both warnings: $(cat "$work/out")"
    # Held exclusively by another program, as a mounted disk is.
    rm -f "$work/holder"
    python3 -c 'import os, sys, time; os.open(sys.argv[1], os.O_RDWR | os.O_EXCL); print(flush=True); time.sleep(30)' \
        "$drive" >"$work/holder" 2>&1 &
    local holder=$!
    until [ -s "$work/holder" ] || ! kill -0 "$holder" 2>/dev/null; do sleep 0.05; done
    expect_refusal "in use" "ERROR: Drive is currently in use" "$exe" write "$t/other" "$drive"
    kill "$holder"
    # Another user: the program is copied where that user can reach it.
    chmod 755 "$t" "$t/bin" && cp "$exe" "$t/bin/" && chmod 777 "$t"
    local nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups "$t/bin/trakoni-cli")
    expect_refusal "no permission" "cannot read $drive: it belongs to root" "${nobody[@]}" read "$drive" "$t/into"
    # Read permission is enough to read: an image file of mode 444 is read, not written. In a folder that user
    # can reach, which the build folder under a home of mode 700 is not.
    local open
    open=$(mktemp -d) && chmod 777 "$open"
    cp "$work/disk.img" "$open/ro.img" && chmod 444 "$open/ro.img"
    run "read of a read-only image" "${nobody[@]}" read "$open/ro.img" "$open/ro-set"
    expect_status 0 "read of a read-only image"
    joined_is "$open/ro-set" "$work/disk.img" "read of a read-only image: the set is not the image"
    expect_refusal "no write permission" "cannot write $open/ro.img: it belongs to root" "${nobody[@]}" write "$open/ro-set" "$open/ro.img"
    cmp -s "$open/ro.img" "$work/disk.img" || fail "no write permission: the image was written"
    mkdir -m 700 "$open/hidden" && touch "$open/hidden/x.img"
    expect_refusal "behind a folder it may not search" "$open/hidden/x.img: Permission denied" "${nobody[@]}" read "$open/hidden/x.img" "$open/x"
    rm -rf "$open"
}

# interrupt SIGNAL STATUS WHAT WORDS...: the program stopped by SIGNAL while it
# copies exits STATUS and says WHAT of the target.
interrupt() {
    local signal=$1 expected=$2 what=$3
    shift 3
    local before
    before=$(requests | awk '{ print $1 + $3 }')
    "$@" >"$work/out" 2>"$work/err" </dev/null &
    local child=$!
    # Well into the copy (a dozen requests, of about 80), however loaded the machine.
    until [ "$(requests | awk '{ print $1 + $3 }')" -ge $((before + 12)) ] || ! kill -0 "$child" 2>/dev/null; do
        sleep 0.02
    done
    kill "-$signal" "$child"
    wait "$child"
    status=$? err=$(cat "$work/err")
    [ "$status" = "$expected" ] && [[ $err == *"$what"* ]] || fail "$signal: exit $status, expected $expected and \"$what\": $err"
}

signals() {
    faults "slow 0-2879 40"  # about 3 s a disk: time to be stopped
    interrupt INT 130 "of the disk have been read; no cylinder file has been written to $t/read" \
        "$exe" read "$drive" "$t/read"
    ! ls "$t/read"/cyl* >/dev/null 2>&1 || fail "INT: files were left in $t/read"
    split -b 18432 -d -a 2 --additional-suffix=.bin "$work/other.img" "$t/cyl"
    interrupt TERM 143 "of the disk have been written; the disk now holds a mix" "$exe" write "$t" "$drive"
}

# A FAT disk rescued around unreadable sectors inside one of its files: that
# file and no other is damaged in the list and the DFXML, and the sectors
# named are those The Sleuth Kit maps to it.
damage() {
    local img=$t/fat.img name inode bad listed s
    mkfs.fat -C -n DAMAGED "$img" 1440 >/dev/null
    for name in one two three; do
        head -c 6000 /dev/urandom >"$t/$name.bin" && MTOOLS_SKIP_CHECK=1 mcopy -i "$img" "$t/$name.bin" ::/
    done
    inode=$(ifind -n two.bin "$img")
    bad=$(istat "$img" "$inode" | awk '/^Sectors:/ { on = 1; next } on { print $3 "-" $4; exit }')
    faults
    dd if="$img" of="$drive" bs=64k oflag=direct conv=fsync status=none
    faults "read $bad"
    run "rescue of a FAT disk around sectors $bad" "$exe" read "$drive" "$t/fat" --rescue --retries 0
    expect_status 4 "rescue"
    run "files of it" "$exe" files "$t/fat" --dfxml "$t/fat.xml"
    expect_status 4 "files"
    listed=$(grep damaged "$work/out")
    [[ $listed == "two.bin  6000  "*"  damaged: sectors $bad" ]] || fail "files: the damaged files are: $listed"
    for s in $(seq "${bad%-*}" "${bad#*-}"); do
        [ "$(ifind -d "$s" "$img")" = "$inode" ] || fail "files: sector $s is not two.bin's for ifind"
    done
    [ "$(awk '/<filename>/ { name = $0 } /<trakoni:damaged/ { print name }' "$t/fat.xml")" = "      <filename>two.bin</filename>" ] ||
        fail "DFXML: the damaged files are not two.bin alone"

    # Its bag names that file alone in the log, bag-info.txt, the DFXML and the picture; the catalog, rebuilt
    # around a bag of an older version without a file system, gains the columns.
    local b=$t/bags/d1 today
    mkdir -p "$t/bags/old/data" && printf 'BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n' >"$t/bags/old/bagit.txt"
    printf 'External-Identifier: old\nBagging-Date: 2020-01-01\n' >"$t/bags/old/bag-info.txt"
    printf 'ID\tDate\tFormat\tUnreadable-Sectors\tImage-SHA-256\tStatus\nold\t2020-01-01\t\t\t\t\n' >"$t/bags/catalog.tsv"
    run "archive --rescue of it" "$exe" archive "$drive" "$t/bags" --id d1 --rescue --retries 0
    expect_status 4 "archive --rescue"
    [ "$(grep -h -e '^  [^ ]' -e '^Trakoni-Damaged-File:' "$b/data/d1.log" "$b/bag-info.txt")" = "  two.bin: sectors $bad"$'\n'"Trakoni-Damaged-File: two.bin: sectors $bad" ] ||
        fail "archive: the damaged files in the log and bag-info.txt: $(grep -h -i damaged "$b/data/d1.log" "$b/bag-info.txt")"
    [ "$(awk '/<filename>/ { name = $0 } /<trakoni:damaged/ { print name }' "$b/data/d1-dfxml.xml")" = "      <filename>two.bin</filename>" ] ||
        fail "archive: the DFXML's damaged files are not two.bin alone"
    grep -q ">two.bin: sectors $bad</text>" "$b/data/d1-map.svg" || fail "archive: the picture does not name two.bin"
    run "validate it" "$exe" validate "$b"
    expect_status 0 "validate"
    today=$(date +%F)
    [ "$(cut -f1,7- "$t/bags/catalog.tsv")" = $'ID\tLabel\tFiles\tDamaged-Files\tFile-Dates\nold\t\t\t\t\nd1\tDAMAGED\t3\t1\t'"$today..$today" ] ||
        fail "catalog: $(cat "$t/bags/catalog.tsv")"
    run "files --extract" "$exe" files "$t/fat" --extract "$t/out"
    [ "$(cd "$t/out" && echo *)" = "one.bin three.bin two.bin.damaged" ] || fail "extract: $(cd "$t/out" && echo *)"
    cmp -s "$t/one.bin" "$t/out/one.bin" || fail "extract: one.bin is not the file"
    faults
    run "files of the drive" "$exe" files "$drive"
    expect_status 0 "files of the drive"
}

# Eight archives at once into one collection, each from its own image file;
# one killed outright while it reads the fault device slowly; one whose
# catalog's lock another program holds (its file an hour old).
archives() {
    local c=$t/coll n pids=() pid
    for n in 1 2 3 4 5 6 7 8; do
        head -c 1474560 /dev/urandom >"$t/d$n.img"
        "$exe" archive "$t/d$n.img" "$c" --id "d$n" --quiet 2>"$t/d$n.err" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || fail "one of 8 archives at once: exit $?: $(cat "$t"/d*.err)"; done
    run "validate the 8 bags" "$exe" validate "$c"/d?
    expect_status 0 "validate of 8 bags made at once"
    [ "$(tail -n +2 "$c/catalog.tsv" | cut -f1 | sort | tr '\n' ' ')" = "d1 d2 d3 d4 d5 d6 d7 d8 " ] || fail "catalog: $(cat "$c/catalog.tsv")"
    [ "$(LC_ALL=C ls -A "$c" | tr '\n' ' ')" = ".catalog.lock catalog.tsv d1 d2 d3 d4 d5 d6 d7 d8 " ] || fail "left: $(ls -A "$c")"

    faults "slow 0-2879 40"
    dd if="$work/disk.img" of="$drive" bs=64k oflag=direct conv=fsync status=none
    "$exe" archive "$drive" "$c" --id killed --quiet 2>/dev/null &
    pid=$!
    until ls "$c"/.killed.*/cylinders/cyl00.bin >/dev/null 2>&1; do sleep 0.02; done
    kill -KILL "$pid"
    wait "$pid"
    faults
    run "archive after one killed" "$exe" archive "$drive" "$c" --id next
    expect_status 0 "the archive after one killed"
    [[ $err != *Waiting* ]] && [ ! -e "$c/killed" ] && ! grep -q '^killed' "$c/catalog.tsv" || fail "killed: $err; $(ls -A "$c")"

    touch -d '1 hour ago' "$c/.catalog.lock"
    exec 7<"$c/.catalog.lock"
    flock 7
    "$exe" archive "$t/d1.img" "$c" --id held 2>"$t/held.err" 7<&- &
    pid=$!
    until grep -q "Waiting for the catalog's lock $c/.catalog.lock" "$t/held.err" || ! kill -0 "$pid" 2>/dev/null; do sleep 0.02; done
    ! grep -q '^held' "$c/catalog.tsv" || fail "the catalog was written while another program held its lock"
    exec 7<&-
    wait "$pid" && grep -q '^held' "$c/catalog.tsv" || fail "held: $(cat "$t/held.err")"
}

# proc_figures PID: its resident memory in KiB and its open descriptors.
proc_figures() { echo "$(awk '$1 == "VmRSS:" { print $2 }' "/proc/$1/status") $(ls "/proc/$1/fd" | wc -l)"; }

# A station of 200 disks in a row from one image file, emptied between them
# (the identifiers typed one by one): the same memory and descriptors after
# the 200th as after the 10th.
station() {
    local img=$t/drive.img disks=${TRAKONI_STATION_DISKS:-200} i pid after10 now
    : >"$img"
    mkfifo "$t/ids"
    "$exe" station "$img" "$t/coll" <"$t/ids" >"$work/out" 2>"$work/err" &
    pid=$!
    exec 7>"$t/ids"
    for i in $(seq $((disks + 1))); do
        until [ "$(grep -o 'Identifier of the next disk' "$work/err" | wc -l)" -ge "$i" ]; do sleep 0.01; done
        [ "$i" != 11 ] || after10=$(proc_figures "$pid")
        [ "$i" -le "$disks" ] || break
        cp "$work/disk.img" "$img"
        echo "d$i" >&7
        until [ "$(grep -c ': archived as' "$work/out")" -ge "$i" ] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
        : >"$img"
    done
    now=$(proc_figures "$pid")
    exec 7>&-
    wait "$pid" || fail "station: exit status $?"
    echo "station: after disk 10 ${after10% *} KiB resident, ${after10#* } descriptors; after disk $disks ${now% *} KiB, ${now#* }"
    grep -q "Station ended: $disks disks archived, 0 with" "$work/out" || fail "station: $(tail -3 "$work/out")"
    [ "${now#* }" = "${after10#* }" ] && { [ "${TRAKONI_STATION_MEMORY:-}" = any ] || [ "${now% *}" -le $((${after10% *} + 64)) ]; } ||
        fail "station: it grows"
}
