#!/bin/sh
# Runs a Windows program under Wine for ctest: own prefix per build tree, Japanese locale (ANSI code page 932),
# no debug noise, no menu builder (a saved shortcut must not become a desktop entry of the host). The wineserver
# and Wine's services are started with their streams on /dev/null first, or they would inherit ctest's pipes
# and ctest would wait for them forever.
# usage: wine-run.sh PREFIX LOADER PROGRAM [ARGS...]
prefix=$1; loader=$2; shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$prefix"
(
    flock 9
    # The lock's descriptor is closed for Wine's processes: a service that inherited it would hold the lock.
    wineserver -p </dev/null >/dev/null 2>&1 9>&-
    # Cheap once the prefix runs (about 0.2 s); the first time it creates the prefix.
    "$loader" wineboot </dev/null >/dev/null 2>&1 9>&-
) 9>"$prefix.lock"
exec "$loader" "$@"
