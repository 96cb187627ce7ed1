#!/bin/sh
# Runs a test program under its own Xvfb (a free display chosen by Xvfb) and a Wine prefix of its own that
# starts with that display, and saves a screenshot of the screen while the program shows its window.
# Exits 77 (skipped) where Xvfb is missing.
# usage: run_with_xvfb.sh SHOT.png WINE_RUN PREFIX LOADER PROGRAM [ARGS...]
shot=$1; shift
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb missing: skipped"; exit 77; }
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 600); do [ -s "$work/display" ] && break; sleep 0.1; done
if ! [ -s "$work/display" ]; then kill $xvfb 2>/dev/null; echo "Xvfb did not start: skipped"; exit 77; fi
export DISPLAY=":$(cat "$work/display")"
wine_run=$1; prefix=$2; loader=$3; shift 3
export VELMOR_SHOT_READY="Z:$(echo "$work/ready" | tr / '\\')" VELMOR_SHOT_DONE="Z:$(echo "$work/done" | tr / '\\')"
"$wine_run" "$prefix" "$loader" "$@" &
test_pid=$!
for _ in $(seq 1 1800); do [ -e "$work/ready" ] && break; kill -0 $test_pid 2>/dev/null || break; sleep 0.1; done
if [ -e "$work/ready" ] && command -v xwd >/dev/null 2>&1 && command -v convert >/dev/null 2>&1; then
    xwd -root -silent | convert xwd:- "$shot" && echo "screenshot: $shot"
fi
touch "$work/done"
wait $test_pid
rc=$?
# The prefix's wineserver holds this display; end it with the X server.
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
rm -rf "$work"
exit $rc
