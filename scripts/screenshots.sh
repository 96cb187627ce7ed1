#!/bin/sh
# Takes a picture of every window of velmor.exe for the documentation: the main window during a job, each
# options page, the archive viewer, the search window, the log viewer and the About box, each cut out with
# its frame and title into docs/ as an 8-bit PNG. Run by hand after a change to a window's look.
#
# The run owns build/screenshots: a Wine prefix and HOME of its own, its own Xvfb (a free display) and a
# Wine virtual desktop of 1024x768, so frames, titles and caption buttons are drawn as a user sees them.
# Needs the velmor-i686 build (made here when missing), Xvfb, xwd and ImageMagick.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/velmor-i686
cd "$root"
if [ ! -f "$build/build.ninja" ]; then cmake --preset velmor-i686 >/dev/null; fi
cmake --build --preset velmor-i686 -j4 --target velmor e2e_helper standins caldix >/dev/null
loader=${VELMOR_WINE_LOADER:-/usr/lib/wine/wine}
mkdir -p "$root/docs"
VELMOR_SHOTS_OUT=$root/docs exec python3 "$root/tests/e2e/e2e.py" --work "$root/build/screenshots" \
    --velmor "$build/src/app/velmor.exe" --helper "$build/tests/e2e/e2e_helper.exe" \
    --standins "$build/standins/full" --loader "$loader" --installer "$build/standins/installer/caldix" \
    shots
