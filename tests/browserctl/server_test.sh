#!/bin/bash
# Drives the built server the way a host does, under Wine: "register" runs regsvr32 and compares the written
# keys with registered_keys.txt, then checks that removal keeps parents and foreign siblings and that a
# second removal succeeds; "cscript" runs refused_calls.js, where every call of a site-less control must
# answer nothing.
# usage: server_test.sh MODE WINE_RUN PREFIX LOADER DLL SOURCE_DIR
set -u
mode=$1 wine_run=$2 prefix=$3 loader=$4 dll=$5 src=$6
dll_win="Z:$(echo "$dll" | tr / '\\')"
dll_dir="${dll_win%\\*}"
failures=0

# One Windows program under Wine, its output on stdout. Wine now and then fails to start a process at all
# (its loader finds the place of the shared user data taken: "failed to map the shared user data", about one
# start in a few hundred on a loaded machine), which ends with a failure code and no output. reg, regsvr32
# (without /s) and cscript print something whatever their outcome, so a failure without a word is Wine's and
# the call is made again; a failure the program reports stands. Wine's stderr goes nowhere and its stdout to
# a file, never a pipe: a service that a Wine process starts keeps them open, and a reader would wait forever.
w() {
    local out rc attempt
    out=$(mktemp)
    for attempt in 1 2 3 4 5; do
        "$wine_run" "$prefix" "$loader" "$@" </dev/null >"$out" 2>/dev/null
        rc=$?
        { [ $rc = 0 ] || [ -s "$out" ]; } && break
        echo "note: Wine did not start $1 (attempt $attempt, code $rc)" >&2
    done
    cat "$out"
    rm -f "$out"
    return $rc
}
query() { w reg query "$1" /s | iconv -f CP932 -t UTF-8 | tr -d '\r'; }
exists() { w reg query "$1" >/dev/null; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

clsid='{C9169A8E-F20B-463E-B3BD-345D359418CF}'
appid='{FFD586E5-6F14-45BC-99EE-F8C2238FB0A7}'
libid='{0F240A97-B9E7-402B-B19E-01D27EF40D2B}'
iid='{238A51A3-29EF-42BA-A131-93BBAE9C69E5}'
events='{DEB3E6E7-C5B7-44EC-A848-17B9A1AD8609}'
preapproved='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Ext\PreApproved'
sibling='{0BADF00D-0000-4000-8000-000000000001}'
ours=("HKCR\\AppID\\$appid" 'HKCR\AppID\Tarnel.DLL'
      'HKCR\Tarnel.BrowserHelperAx.1' 'HKCR\Tarnel.BrowserHelperAx'
      "HKCR\\CLSID\\$clsid" "$preapproved\\$clsid" "HKCR\\TypeLib\\$libid" "HKCR\\Interface\\$iid"
      "HKCR\\Interface\\$events")

dump() { for key in "${ours[@]}"; do query "$key"; done; }

case $mode in
register)
    for parent in 'HKCR\AppID' 'HKCR\CLSID' "$preapproved"; do
        w reg add "$parent\\$sibling" /ve /d sibling /f >/dev/null || fail "cannot add sibling under $parent"
    done
    w regsvr32 "$dll_win" >/dev/null || fail "regsvr32 failed"
    w regsvr32 "$dll_win" >/dev/null || fail "second regsvr32 failed"
    expected=$(<"$src/registered_keys.txt")
    expected=${expected//@MODULE@/"$dll_win"}
    expected=${expected//@MODULEDIR@/"$dll_dir"}
    exists "$preapproved\\$clsid" || fail "PreApproved key missing"
    actual=$(dump)
    if [ "$actual" != "$expected" ]; then
        fail "registered keys differ"
        diff <(echo "$expected") <(echo "$actual")
    fi
    w regsvr32 /u "$dll_win" >/dev/null || fail "regsvr32 /u failed"
    for key in "${ours[@]}"; do exists "$key" && fail "$key left after removal"; done
    w regsvr32 /u "$dll_win" >/dev/null || fail "second regsvr32 /u failed"
    for parent in 'HKCR\AppID' 'HKCR\CLSID' "$preapproved"; do
        exists "$parent" || fail "$parent removed"
        exists "$parent\\$sibling" || fail "sibling under $parent removed"
        w reg delete "$parent\\$sibling" /f >/dev/null
    done
    ;;
cscript)
    w reg delete 'HKCU\Software\AppDataLow\Software\Pexlo\Plugin2\Options' /v ScriptOption /f >/dev/null
    w regsvr32 "$dll_win" >/dev/null || fail "regsvr32 failed"
    out=$(w cscript //nologo "Z:$(echo "$src/refused_calls.js" | tr / '\\')" | tr -d '\r')
    expected='GetVersion=undefined
GetLocationURL=undefined
GetOptions=undefined
SetOptions=undefined
GetApplication=undefined
Visible=undefined
Navigate=undefined
versioned=undefined'
    if [ "$out" != "$expected" ]; then
        fail "script output differs"
        echo "$out"
    fi
    w reg query 'HKCU\Software\AppDataLow\Software\Pexlo\Plugin2\Options' /v ScriptOption >/dev/null &&
        fail "a refused SetOptions wrote its value"
    w regsvr32 /u "$dll_win" >/dev/null || fail "regsvr32 /u failed"
    ;;
*)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
[ "$failures" = 0 ] && echo "all checks passed"
exit $((failures > 0))
