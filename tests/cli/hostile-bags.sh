#!/usr/bin/env bash
# validate on hostile bags, natively: each case spoils a valid bag of one file
# and wants exit 3 and its problem named, in bounded memory. A secret beside
# the bag, whose checksum the spoiled manifests give right, must not be read.
#   hostile-bags.sh TRAKONI-CLI WORK
set -u
exe=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
failures=0
echo secret >"$work/secret"
secret=$(sha256sum <"$work/secret" | cut -d' ' -f1)

make_bag() {
    rm -rf "$work/bag" && mkdir -p "$work/bag/data" && cd "$work/bag" && echo text >data/f.txt &&
        printf 'BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n' >bagit.txt &&
        sha256sum data/f.txt >manifest-sha256.txt && printf 'Payload-Oxum: 5.1\n' >bag-info.txt
}

# 48 MiB: the program needs 16; a manifest read whole would need more. Under
# AddressSanitizer, whose shadow memory no address-space limit leaves room
# for, its own limit on resident memory instead, its quarantine of freed
# memory off.
limit_memory() { ulimit -v 49152; }
! ldd "$exe" | grep -q libasan || limit_memory() { export ASAN_OPTIONS=quarantine_size_mb=0:hard_rss_limit_mb=96; }
while IFS='|' read -r problem change; do
    make_bag && eval "$change"
    problem=$(eval "echo \"$problem\"")
    out=$(limit_memory; "$exe" validate "$work/bag" 2>&1)
    status=$?
    [ "$status" = 3 ] && [[ $out == *"$work/bag: $problem"* ]] ||
        { echo "FAIL: $change: exit status $status, $(head -c 1000 <<<"$out")"; failures=$((failures + 1)); }
done <<'CASES'
manifest-sha256.txt lists data/../../secret, which leaves the bag|echo "$secret  data/../../secret" >>manifest-sha256.txt
manifest-sha256.txt lists $work/secret, which leaves the bag|echo "$secret  $work/secret" >>manifest-sha256.txt
manifest-sha256.txt lists C:/secret, which leaves the bag|echo "$secret  C:/secret" >>manifest-sha256.txt
manifest-sha256.txt lists data\..\..\secret, which leaves the bag|echo "$secret  data\\..\\..\\secret" >>manifest-sha256.txt
data/link is a symbolic link, which is not followed|ln -s ../../secret data/link && echo "$secret  data/link" >>manifest-sha256.txt
manifest-sha256.txt lists data/up/secret, which is a symbolic link|ln -s "$work" data/up && echo "$secret  data/up/secret" >>manifest-sha256.txt
fetch.txt lists data/d1.img, which is not there: the bag is not complete|echo "https://example.org/d1.img 5 data/d1.img" >fetch.txt
manifest-sha256.txt: 999980 more problems of this file|yes "$(cat manifest-sha256.txt)" | head -n 1000000 >>manifest-sha256.txt
manifest-sha256.txt line 2 is longer than 65536 bytes|head -c 20000000 /dev/zero | tr '\0' 0 >>manifest-sha256.txt
bag-info.txt line 2 holds a NUL byte|printf 'Contact-Name: A\0B\n' >>bag-info.txt
bag-info.txt line 2 is not UTF-8|printf 'Contact-Name: \xe9\n' >>bag-info.txt
bagit.txt line 1 ends in a CR alone; lines end in LF or CR LF|sed -i 's/$/\r/' bagit.txt && tr -d '\n' <bagit.txt >b && mv b bagit.txt
CASES

# Its payload file swapped, again and again, for a link to a FIFO no one
# writes to, while validate runs: a validate that followed the link after its
# look would block on it for good.
make_bag && cp data/f.txt "$work/plain" && mkfifo "$work/fifo"
python3 -c 'import os, sys
w = sys.argv[1]
while True:
    os.symlink(w + "/fifo", w + "/l"); os.replace(w + "/l", w + "/bag/data/f.txt")
    os.link(w + "/plain", w + "/p"); os.replace(w + "/p", w + "/bag/data/f.txt")' "$work" &
swapper=$!
for _ in $(seq 300); do
    timeout 10 "$exe" validate "$work/bag" >/dev/null 2>&1
    [ $? != 124 ] || { echo "FAIL: validate followed a link swapped in after its look"; failures=$((failures + 1)); break; }
done
kill "$swapper"
cd / && rm -rf "$work"
echo "hostile bags: $failures failures"
[ "$failures" -eq 0 ]
