#!/bin/sh
# The test runner itself: a program that crashes and a test program that ends before its tests have all run
# must each fail their test. Each probe runs through the runner as ctest runs a test program (standard input
# from /dev/null) and must have started (its first line printed) and ended with a code that is not 0.
# usage: harness_test.sh WINE_RUN PREFIX LOADER CRASH_PROBE EARLY_EXIT_PROBE
wine_run=$1 prefix=$2 loader=$3 crash=$4 early=$5
failures=0
out=$(mktemp)
probe() {
    what=$1 started=$2; shift 2
    "$wine_run" "$prefix" "$loader" "$@" </dev/null >"$out" 2>&1
    rc=$?
    if ! grep -q -- "$started" "$out"; then
        echo "FAIL: $what did not start:"; cat "$out"; failures=$((failures + 1))
    elif [ $rc = 0 ]; then
        echo "FAIL: $what passed for success (exit code 0):"; cat "$out"; failures=$((failures + 1))
    else
        echo "ok: $what failed its test (exit code $rc)"
    fi
}
probe "a program that reads address 0" "crash probe: reading address 0" "$crash"
probe "a test program that ends inside a test" "OK \] EarlyExitProbe.Runs" "$early"
rm -f "$out"
exit $((failures > 0))
