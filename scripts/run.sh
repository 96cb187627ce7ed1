#!/usr/bin/env bash
# Builds Velmor and runs it on archives under Wine, as a user would: "velmor.exe -k ARCHIVE..." with the
# stand-in archiver libraries beside the program, its own Xvfb, a private Wine prefix and HOME under the build
# tree. Without arguments it makes a sample ZIP with Japanese member names. Prints the extracted files and the
# end of VelmorLog.txt, and saves a screenshot of the window during the job.
# usage: bash scripts/run.sh [ARCHIVE...]     (as root on a fresh Debian machine: it installs what is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

archives=()
for a in "$@"; do archives+=("$(realpath "$a")"); done

if [ "$(id -u)" = 0 ]; then bash scripts/setup.sh; fi
export LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all

# The 32-bit program where 32-bit Wine starts; the x64 build of the same sources elsewhere.
preset=velmor-i686; loader=/usr/lib/wine/wine
if ! "$loader" --version >/dev/null 2>&1; then preset=velmor-x64; loader=/usr/lib/wine/wine64; fi
echo "=== building ($preset)"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target velmor e2e_helper standins >/dev/null
build="$root/build/$preset"

echo "=== running velmor.exe -k ${archives[*]:-(sample archive)}"
exec python3 tests/e2e/run_sample.py --work "$build/run" --velmor "$build/src/app/velmor.exe" \
    --helper "$build/tests/e2e/e2e_helper.exe" --standins "$build/standins/full" --loader "$loader" \
    "${archives[@]}"
