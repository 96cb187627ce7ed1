#!/bin/bash
# Runs the one test that needs a visible window under its own Xvfb display; skipped (code 77) without Xvfb.
# usage: window_test.sh WINE_RUN PREFIX LOADER TEST_EXE
set -u
wine_run=$1 prefix=$2 loader=$3 exe=$4
command -v Xvfb >/dev/null || { echo "Xvfb not installed: skipped"; exit 77; }
display=:91
Xvfb $display -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
sleep 1
filter='BrowserHelperAxWindow.*'
out=$(DISPLAY=$display "$wine_run" "$prefix" "$loader" "$exe" --gtest_filter="$filter" </dev/null 2>&1)
rc=$?
echo "$out"
[ $rc = 0 ] || exit 1
# Under Xvfb the test must really run, not skip.
grep -q '^\[  SKIPPED \]' <<<"$out" && { echo "FAIL: skipped although a display was started"; exit 1; }
grep -q '^\[  PASSED  \] 1 test' <<<"$out"
