#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test (Windows ones under Wine, no display
# unless a GUI test starts its own Xvfb). Usage: bash scripts/test.sh [preset ...]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "$(id -u)" = 0 ]; then bash scripts/setup.sh || exit 1; fi

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
    presets=(native velmor-i686 velmor-x64 tarnel-x64)
    command -v clang++ >/dev/null && presets+=(native-fuzz)
fi

jobs=$(nproc)
wine32=no
/usr/lib/wine/wine --version >/dev/null 2>&1 && wine32=yes
export LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
# The tests' Wine prefixes are copies of one template per Wine (cmake/wine-prefix.sh): the copies go at the
# end of each preset's run, the templates stay for the next run.
remove_prefix_copies() {
    find "$1" -name .velmor-copy -type f 2>/dev/null | while IFS= read -r mark; do
        copy=$(dirname "$mark")
        WINEPREFIX="$root/$copy" wineserver -k >/dev/null 2>&1
        rm -rf "$copy" "$copy.lock"
    done
}

status=0
passed=0
failed=0
broken=()
for p in "${presets[@]}"; do
    echo "=== $p: configure and build"
    if ! cmake --preset "$p" >"build-$p.log" 2>&1; then
        cat "build-$p.log"; status=1; broken+=("$p"); continue
    fi
    if ! cmake --build --preset "$p" -j "$jobs" >>"build-$p.log" 2>&1; then
        tail -n 80 "build-$p.log"; status=1; broken+=("$p"); continue
    fi
    rm -f "build-$p.log"
    # The 32-bit deliverable is tested where 32-bit Wine starts; the x64 build of the same sources stands in
    # for it where it does not (a kernel without IA-32 emulation), and is only built where it does.
    if [ "$p" = velmor-i686 ] && [ "$wine32" = no ]; then
        echo "=== $p: built; its tests need 32-bit Wine, which cannot start here (see velmor-x64)"
        continue
    fi
    if [ "$p" = velmor-x64 ] && [ "$wine32" = yes ] && [[ " ${presets[*]} " == *" velmor-i686 "* ]]; then
        echo "=== $p: built; its tests run in velmor-i686 on this machine"
        continue
    fi
    echo "=== $p: tests"
    log=$(mktemp)
    ctest --preset "$p" -j "$jobs" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    [ "$rc" = 0 ] || status=1
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
        nfail=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
        passed=$((passed + total - nfail)); failed=$((failed + nfail))
    fi
    rm -f "$log"
    remove_prefix_copies "build/$p"
done

echo "tests: $passed passed, $failed failed"
echo "build tree: $(du -sh build 2>/dev/null | cut -f1)"
[ ${#broken[@]} -eq 0 ] || echo "did not build: ${broken[*]}"
exit $status
