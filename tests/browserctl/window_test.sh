#!/bin/bash
# Runs the one test that needs a visible window under its own Xvfb: the project's runner picks a free display
# and the Wine prefix given here belongs to that display. Skipped (code 77) where Xvfb is missing.
# usage: window_test.sh XVFB_RUNNER SHOT WINE_RUN PREFIX LOADER TEST_EXE
set -u
runner=$1 shot=$2 wine_run=$3 prefix=$4 loader=$5 exe=$6
out=$(sh "$runner" "$shot" "$wine_run" "$prefix" "$loader" "$exe" --gtest_filter='BrowserHelperAxWindow.*' \
    </dev/null 2>&1)
rc=$?
echo "$out"
[ $rc = 77 ] && exit 77
[ $rc = 0 ] || exit 1
# Under Xvfb the test must really run, not skip.
grep -q '^\[  SKIPPED \]' <<<"$out" && { echo "FAIL: skipped although a display was started"; exit 1; }
grep -q '^\[  PASSED  \] 1 test' <<<"$out"
