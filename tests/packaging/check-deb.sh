#!/usr/bin/env bash
# The Debian package of the native program: made by CPack from BUILD-DIR, it
# holds the program, its man page and the README, depends on Debian's
# libraries alone (apt-get resolves it without installing anything), and the
# program it holds runs.
#   check-deb.sh BUILD-DIR
set -u
build=$1
work=$build/package-check
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/trakoni-cli_*_amd64.deb) || exit 1
failures=0
check() { "${@:2}" >/dev/null 2>&1 || { echo "FAIL: $1"; failures=$((failures + 1)); }; }
for file in ./usr/bin/trakoni-cli ./usr/share/man/man1/trakoni-cli.1.gz ./usr/share/doc/trakoni-cli/README.md; do
    check "the package holds $file" grep -qx "$file" <(dpkg-deb -c "$deb" | awk '{ print $6 }')
done
check "apt-get resolves its dependencies: $(dpkg-deb -f "$deb" Depends)" apt-get -s install "$deb"
dpkg-deb -x "$deb" "$work/root"
check "the packaged program runs" grep -q '^trakoni-cli ' <("$work/root/usr/bin/trakoni-cli" --version)
echo "$(basename "$deb"): $failures failures"
[ "$failures" -eq 0 ]
