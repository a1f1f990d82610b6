#!/usr/bin/env bash
# trakoni-cli files on FAT disks that Debian's own tools made, against those
# tools: the list against mdir, the DFXML against fiwalk's, the extracted files
# against mtype; then path refusals, and a table of crafted file systems.
#   fat-tests.sh CLI WORKDIR
set -u
exe=$1 work=$2
export MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
for tool in mdir fiwalk xmllint; do
    command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work/src" && cd "$work" || exit 1

# The disks: a label, folders, long names (one with XML's special
# characters), dates of their own, a lower-case 8.3 name, a fragmented file,
# a deleted one; on a 1.44 MB FAT12 disk and a 2.88 MB FAT16 one.
put() {  # put IMAGE DATE BYTES NAME
    head -c "$3" /dev/urandom >src/f && touch -d "$2" src/f && mcopy -m -i "$1" src/f "::/$4"
}
make_disk() {  # make_disk IMAGE KIB MKFS-OPTION...
    local img=$1
    mkfs.fat -C -n "TAX 1991" "${@:3}" "$img" "$2" >/dev/null
    mmd -i "$img" ::/Letters ::/Letters/Old
    put "$img" "1991-03-14 15:42" 700 "Letter to Ann.txt"
    put "$img" "1989-01-02 08:05" 3000 "Letters/R&D plan it's.doc"
    put "$img" "1993-11-30 23:59" 5 "Letters/Old/readme.txt"
    put "$img" "1990-06-01 12:00" 1024 hole.bin
    put "$img" "1990-06-01 12:00" 100 after.bin
    mdel -i "$img" ::/hole.bin
    put "$img" "1992-02-29 10:10" 4000 "Letters/fragmented.dat"
    put "$img" "1990-06-01 12:00" 50 gone.txt
    mdel -i "$img" ::/gone.txt
    [ "$(mshowfat -i "$img" ::/Letters/fragmented.dat | tr -cd '<')" = "<<" ] || fail "$img: the file is not fragmented"
}

# compare IMAGE TYPE: the list against mdir's, the DFXML against fiwalk's
# (every file and folder with its size, MD5 and byte runs).
compare() {
    local img=$1
    mdir -i "$img" -/ -a :: | awk '
        /^Directory for ::\// { dir = substr($0, 18); if (dir != "") dir = dir "/"; next }
        substr($0, 28, 1) == "-" && substr($0, 31, 1) == "-" {
            short = substr($0, 1, 8); ext = substr($0, 10, 3); size = substr($0, 13, 10)
            date = substr($0, 24, 10); time = substr($0, 34, 7); long = substr($0, 43)
            gsub(/ /, "", short); gsub(/ /, "", ext); gsub(/ /, "", size); gsub(/ /, "", time)
            if (short == "." || short == "..") next
            name = long != "" ? long : ext != "" ? short "." ext : short
            if (length(time) == 4) time = "0" time
            print dir name (size == "<DIR>" ? "/  folder  " : "  " size "  ") date " " time
        }' | sort >mdir.txt
    "$exe" files "$img" --dfxml ours.xml --deleted --force >out.txt 2>err.txt
    status=$?
    [ "$status" = 0 ] || fail "files $img: exit $status: $(cat err.txt)"
    [ "$(head -1 out.txt)" = "volume label: TAX 1991" ] || fail "files $img: the label line is $(head -1 out.txt)"
    tail -n +2 out.txt | grep -v '  deleted$' | sort | diff mdir.txt - >diff.txt || fail "files $img differs from mdir: $(cat diff.txt)"
    [ "$(wc -l <mdir.txt)" = 7 ] || fail "mdir listed $(wc -l <mdir.txt) entries of $img, not 7"
    grep -qx '_one.txt  50  1990-06-01 12:00  deleted' out.txt || fail "files $img --deleted: no _one.txt"
    xmllint --noout ours.xml || fail "xmllint: the DFXML of $img is not well-formed"
    grep -q "<ftype_str>$2</ftype_str>" ours.xml || fail "the DFXML of $img is not of $2"
    rm -f fiwalk.xml && fiwalk -X fiwalk.xml "$img" 2>/dev/null
    python3 "$here/dfxml-files.py" ours.xml >ours.txt
    python3 "$here/dfxml-files.py" fiwalk.xml | grep -v '(Volume Label Entry)' >theirs.txt
    diff theirs.txt ours.txt >diff.txt || fail "the DFXML of $img differs from fiwalk's: $(cat diff.txt)"
    [ "$(wc -l <ours.txt)" = 9 ] || fail "the DFXML of $img holds $(($(wc -l <ours.txt) - 1)) objects, not 8"
}
img=disk.img
make_disk $img 1440
compare $img fat12
make_disk big.img 2880 -F 16 -s 1
compare big.img fat16

# Names beyond ASCII: a long one from UTF-16, an 8.3 one in the code page
# (437), in lower case by its entry's flag.
mkfs.fat -C names.img 1440 >/dev/null
for name in "Résumé 1991 ñ.txt" café.txt; do LC_ALL=C.UTF-8 mcopy -i names.img src/f "::/$name"; done
[ "$("$exe" files names.img --dfxml names.xml | sed 's/  .*//')" = $'volume label: (none)\nRésumé 1991 ñ.txt\ncafé.txt' ] ||
    fail "names beyond ASCII: $("$exe" files names.img)"
[ "$(grep -c -e '<filename>Résumé 1991 ñ.txt</filename>' -e '<filename>café.txt</filename>' names.xml)" = 2 ] ||
    fail "names beyond ASCII in the DFXML: $(grep filename names.xml)"

# Extracted: every file as mtype gives it, under its long name, with its date.
"$exe" files $img --extract out >/dev/null 2>err.txt || fail "extract: $(cat err.txt)"
while IFS= read -r path; do
    path=${path#::/}
    case $path in
    */) [ -d "out/$path" ] || fail "extract: no folder $path" ;;
    *) mtype -i $img "::/$path" | cmp -s - "out/$path" || fail "extract: $path differs from mtype's" ;;
    esac
done < <(mdir -i $img -b -/ ::)
[ "$(date -r "out/Letter to Ann.txt" '+%Y-%m-%d %H:%M')" = "1991-03-14 15:42" ] || fail "extract: the time is not set"
"$exe" files $img --extract out >/dev/null 2>err.txt
[ $? = 1 ] && grep -q "Letter to Ann.txt already exists; use --force" err.txt || fail "extract over a file: $(cat err.txt)"
"$exe" files $img --extract out --force >/dev/null 2>err.txt || fail "extract --force: $(cat err.txt)"

# Names that would leave the folder or name a device: refused, nothing written.
for name in '..' 'C:EVIL' 'A\B' 'CON'; do
    cp $img bad.img
    python3 "$here/craft-fat.py" bad.img rename AFTER.BIN "$name"
    rm -rf x && mkdir x
    "$exe" files bad.img --extract x/in >/dev/null 2>err.txt
    [ $? = 1 ] && grep -q "Refused to extract" err.txt || fail "extract of '$name': $(cat err.txt)"
    [ "$(find x | wc -l)" = "$(find x/in | wc -l | awk '{ print $1 + 1 }')" ] || fail "extract of '$name': wrote outside"
done

# Crafted file systems: each problem named, with the status, and no hang.
while IFS='|' read -r what craft status text; do
    cp $img bad.img
    python3 "$here/craft-fat.py" bad.img $craft
    timeout 20 "$exe" files bad.img --dfxml bad.xml --force >out.txt 2>err.txt
    got=$?
    [ "$got" = "$status" ] && cat out.txt err.txt | grep -qF "$text" || fail "$what: exit $got, expected $status and \"$text\": $(cat err.txt)"
    [ ! -e bad.xml ] || xmllint --noout bad.xml || fail "$what: the DFXML is not well-formed"
done <<'EOF'
a loop|chain AFTER.BIN self|0|the cluster chain of after.bin loops at cluster
a chain off the disk|chain AFTER.BIN 4000|0|the cluster chain of after.bin leaves the disk at cluster 4000
a crossing|start AFTER.BIN LETTERS/FRAGME~1.DAT|0|the cluster chain of after.bin crosses that of Letters/fragmented.dat at cluster
a folder in itself|attr LETTERS/OLD/README.TXT 0x10 start LETTERS/OLD/README.TXT LETTERS/OLD|0|the folder Letters/Old/readme.txt is Letters/Old again: it contains itself
a folder in its parent|attr LETTERS/OLD/README.TXT 0x10 start LETTERS/OLD/README.TXT LETTERS|0|the folder Letters/Old/readme.txt is Letters again
an oversize file|size AFTER.BIN 1000000|0|after.bin is 1,000,000 bytes, its cluster chain holds 512
markers in a folder|mark LETTERS 0|4|of the folder Letters is unreadable; the entries in it are lost
markers in both FATs|mark - 1 mark - 10|4|Letters/fragmented.dat  4000  1992-02-29 10:10  damaged: sector 1
a name hostile to XML|rename AFTER.BIN <\x01&\xff"'>|0|  100  1990-06-01 12:00
a long name of another entry|orphan AFTER.BIN evil.txt|0|after.bin  100  1990-06-01 12:00
a FAT too large|poke 22 255,255|1|the boot sector describes a FAT layout that does not fit the disk
no boot parameters|poke 11 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0|0|after.bin  100  1990-06-01 12:00
no file system|poke 11 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0 poke 512 0|1|no FAT file system found
EOF
# A 720 KB file system on a disk read as 1.44 MB: info says so, the image stays whole.
mkfs.fat -C small.img 720 >/dev/null && truncate -s 1474560 small.img
"$exe" info small.img >out.txt 2>&1
grep -qx 'warning:    the boot sector describes 1,440 sectors (720 KB), the drive read 2,880' out.txt ||
    fail "info of a 720 KB file system on 1.44 MB: $(cat out.txt)"
echo "fat-tests: $failures failures"
[ "$failures" -eq 0 ]
