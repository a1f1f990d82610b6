#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix of the build folder,
# never the user's own: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is made on first use, with the test drive layout. Stop its server
# after a run with: WINEPREFIX=PREFIX wineserver -k
set -eu
prefix=$1
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

# One caller at a time makes the prefix and starts its server. Nothing started
# here may keep the lock (fd 9) or the caller's pipes: Wine's helper processes
# outlive this script, and a caller such as CTest waits for its pipes to close.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -e "$prefix/.ready" ]; then
        "$here/../tests/wine/make-prefix.sh" "$prefix" </dev/null >/dev/null 9>&-
    fi
    # A server's desktop belongs to the display it started on: one left from a
    # run on another display is stopped first.
    shown_on=$prefix/.server-display
    if [ -e "$shown_on" ] && [ "$(cat "$shown_on")" != "${DISPLAY:-}" ]; then
        wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
        wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
    fi
    # A persistent server keeps each run quick. When this call started it, the
    # first program would bring up Wine's services and desktop process, which
    # inherit its output; start them here, detached from ours, so that they
    # never hold a caller's pipes open.
    if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
        printf '%s' "${DISPLAY:-}" >"$shown_on"
        wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$prefix.lock"

exec wine "$@"
