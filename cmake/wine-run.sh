#!/bin/sh
# Runs a Windows program under Wine for ctest: own prefix per build tree and a private HOME beside it (Wine
# maps My Documents and the desktop to HOME, so nothing lands in the real home folder), the Japanese locale
# (ANSI code page 932; VELMOR_WINE_LC_ALL picks another for the tests that need one), no debug noise, no
# Start-menu files on the host. The prefix is a cheap copy of the build's template (wine-prefix.sh), which
# also starts its wineserver and services with their streams on /dev/null; in it an unhandled exception ends
# the program with a code that is not 0.
#
# A GoogleTest program must also reach its own end: it makes the file named by TEST_PREMATURE_EXIT_FILE when
# its tests begin and removes it when they have all run, so a file left behind is a program that ended early
# (a crash, an exit from inside a test) whatever its exit code said.
# usage: wine-run.sh PREFIX LOADER PROGRAM [ARGS...]
prefix=$1; loader=$2; shift 2
export WINEPREFIX="$prefix" HOME="$prefix-home" WINEDEBUG=-all LC_ALL="${VELMOR_WINE_LC_ALL:-ja_JP.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
sh "$(dirname "$0")/wine-prefix.sh" "$prefix" "$loader" || exit 1
early=$(mktemp "${TMPDIR:-/tmp}/wine-run-early.XXXXXX") || exit 1
rm -f "$early"
export TEST_PREMATURE_EXIT_FILE="Z:$(echo "$early" | tr / '\\')"
"$loader" "$@"
rc=$?
if [ -e "$early" ]; then
    rm -f "$early"
    echo "wine-run.sh: $1 ended before its tests had all run (exit code $rc)" >&2
    [ $rc = 0 ] && rc=1
fi
exit $rc
