#!/bin/sh
# Runs a Windows program under Wine for ctest: own prefix per build tree and a private HOME beside it (Wine
# maps My Documents and the desktop to HOME, so nothing lands in the real home folder), the Japanese locale
# (ANSI code page 932; VELMOR_WINE_LC_ALL picks another for the tests that need one), no debug noise, no
# Start-menu files on the host. The wineserver and Wine's services are started with their streams on
# /dev/null first, or they would inherit ctest's pipes and ctest would wait for them forever.
# usage: wine-run.sh PREFIX LOADER PROGRAM [ARGS...]
prefix=$1; loader=$2; shift 2
home="$prefix-home"
export WINEPREFIX="$prefix" HOME="$home" WINEDEBUG=-all LC_ALL="${VELMOR_WINE_LC_ALL:-ja_JP.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
(
    flock 9
    # A prefix made before HOME was private links My Documents to the real home: make it again.
    if [ -d "$prefix" ] && [ ! -e "$prefix/.private-home" ]; then
        wineserver -k </dev/null >/dev/null 2>&1 9>&-
        rm -rf "$prefix"
    fi
    mkdir -p "$prefix" "$home"
    # The lock's descriptor is closed for Wine's processes: a service that inherited it would hold the lock.
    wineserver -p </dev/null >/dev/null 2>&1 9>&-
    # Cheap once the prefix runs (about 0.2 s); the first time it creates the prefix.
    "$loader" wineboot </dev/null >/dev/null 2>&1 9>&-
    touch "$prefix/.private-home"
) 9>"$prefix.lock"
exec "$loader" "$@"
