#!/bin/sh
# Takes a picture of every window of velmor.exe for the documentation: the main window during a job, at its
# smallest size and maximised, each options page, the archive viewer, the search window, the log viewer and
# the About box, each cut out with its frame and title into docs/ as an 8-bit PNG. Run by hand after a change
# to a window's look.
#
# Each run owns a folder under build/screenshots: a Wine prefix and HOME of its own, its own Xvfb (a free
# display) and a Wine virtual desktop of 1024x768, so frames, titles and caption buttons are drawn as a user
# sees them. Needs the velmor-i686 build where 32-bit Wine starts, else velmor-x64 (made here when missing),
# Xvfb, xwd, xdotool and ImageMagick. The second run takes the windows that the main window owns from their
# own X windows (the screen shows them black under Xvfb), the main window during a job (its picture taken as
# soon as the X server shows the window) and at its sizes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
preset=velmor-i686
loader=${VELMOR_WINE_LOADER:-/usr/lib/wine/wine}
if ! "$loader" --version >/dev/null 2>&1; then preset=velmor-x64; loader=/usr/lib/wine/wine64; fi
build=$root/build/$preset
if [ ! -f "$build/build.ninja" ]; then cmake --preset "$preset" >/dev/null; fi
cmake --build --preset "$preset" -j4 --target velmor e2e_helper standins caldix >/dev/null
mkdir -p "$root/docs"
status=0
for suite in shots shots_input; do
    VELMOR_SHOTS_OUT=$root/docs python3 "$root/tests/e2e/e2e.py" --work "$root/build/screenshots/$suite" \
        --velmor "$build/src/app/velmor.exe" --helper "$build/tests/e2e/e2e_helper.exe" \
        --standins "$build/standins/full" --loader "$loader" --installer "$build/standins/installer/caldix" \
        "$suite" || status=1
done
exit $status
