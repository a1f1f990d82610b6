#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix of the build folder,
# never the user's own: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is made on first use, with the test drive layout.
set -eu
prefix=$1
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -e "$prefix/.ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        [ -e "$prefix/.ready" ] || "$here/../tests/wine/make-prefix.sh" "$prefix"
    ) 9>"$prefix.lock"
fi

# A persistent server started here, detached from our output, keeps each run
# quick and keeps Wine's helpers from holding a caller's pipes open.
wineserver -p </dev/null >/dev/null 2>&1 || true
exec wine "$@"
