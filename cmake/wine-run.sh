#!/bin/sh
# Runs a Windows program under Wine for ctest: own prefix per build tree and a private HOME beside it (Wine
# maps My Documents and the desktop to HOME, so nothing lands in the real home folder), the Japanese locale
# (ANSI code page 932; VELMOR_WINE_LC_ALL picks another for the tests that need one), no debug noise, no
# Start-menu files on the host. The prefix is a cheap copy of the build's template (wine-prefix.sh), which
# also starts its wineserver and services with their streams on /dev/null.
# usage: wine-run.sh PREFIX LOADER PROGRAM [ARGS...]
prefix=$1; loader=$2; shift 2
export WINEPREFIX="$prefix" HOME="$prefix-home" WINEDEBUG=-all LC_ALL="${VELMOR_WINE_LC_ALL:-ja_JP.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
sh "$(dirname "$0")/wine-prefix.sh" "$prefix" "$loader" || exit 1
exec "$loader" "$@"
