#!/bin/sh
# Makes a Wine prefix ready for a run, cheaply: every prefix of a build is a copy of one template per Wine
# loader, made once by wineboot. A copy shares the template's program files (Wine's DLLs, about 0.7-1.3 GB)
# by hard links and has its own registry, user folders and every other file, so what a run writes stays its
# own. Then the prefix's wineserver and Wine's services are started with their streams on /dev/null, or they
# would inherit the caller's pipes (ctest would wait for them forever).
#
# usage: wine-prefix.sh PREFIX LOADER
# The user folders of the copy (My Documents, the desktop...) point at $HOME, as wineboot would make them.
# The template lives beside the build trees (build/wine-templates/<loader>) when the prefix is inside a build
# tree under a folder named build, else in the build tree, else beside the prefix. A template made for
# another Wine is made again, and so is a copy of an older template.
prefix=$1; loader=$2
case "$prefix" in /*) ;; *) prefix=$PWD/$prefix ;; esac
user=${USER:-$(id -un)}
[ -d "${prefix%/*}" ] || mkdir -p "${prefix%/*}"

# Every start of a program goes through here: the usual path (a ready copy) forks as little as it can.
templates_dir() {
    d=${prefix%/*}
    while [ -n "$d" ]; do
        if [ -f "$d/CMakeCache.txt" ]; then
            up=${d%/*}
            if [ "${up##*/}" = build ]; then echo "$up"; else echo "$d"; fi
            return
        fi
        d=${d%/*}
    done
    echo "${prefix%/*}"
}
template=$(templates_dir)/wine-templates/${loader##*/}
# What identifies the Wine that made a template, and the template's settings (a copy of an older template is
# made again).
stamp="$("$loader" --version 2>/dev/null) crash-ends-program"

marker() { m=; [ -f "$1" ] && read -r m <"$1"; [ "$m" = "$stamp" ]; }

# Binaries are shared; a file that Wine or a test may rewrite in place (ini files, the registry, fonts,
# anything under users) is copied.
shared_file() {
    case "$1" in
    */drive_c/users/*) return 1 ;;
    */drive_c/windows/Fonts/*) return 1 ;;
    */drive_c/*.dll | */drive_c/*.exe | */drive_c/*.drv | */drive_c/*.sys | */drive_c/*.ocx | */drive_c/*.cpl) ;;
    */drive_c/*.acm | */drive_c/*.ax | */drive_c/*.tlb | */drive_c/*.ds | */drive_c/*.nls | */drive_c/*.msstyles) ;;
    *) return 1 ;;
    esac
}

make_template() {
    marker "$template/.velmor-template" && return 0
    WINEPREFIX="$template" wineserver -k </dev/null >/dev/null 2>&1
    rm -rf "$template" "$template-home"
    mkdir -p "$template" "$template-home"
    HOME="$template-home" WINEPREFIX="$template" "$loader" wineboot -i </dev/null >/dev/null 2>&1
    # No debugger: an unhandled exception ends the program at once with the exception's code as its exit
    # status (0xC0000005 shows as 5). Wine's own debugger, started in its place, printed a backtrace and now
    # and then ended the program with 0, so a crash passed for success. Both registry views, for 32-bit
    # programs too (a view the prefix lacks is refused, and that is fine).
    for view in 64 32; do
        HOME="$template-home" WINEPREFIX="$template" "$loader" reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d "" /f /reg:$view \
            </dev/null >/dev/null 2>&1
    done
    # The registry is complete on disk once the server has ended on its own.
    WINEPREFIX="$template" wineserver -w </dev/null >/dev/null 2>&1
    [ -f "$template/system.reg" ] || { echo "wine-prefix.sh: wineboot made no prefix in $template" >&2; return 1; }
    grep -q '^"Debugger"=""' "$template/system.reg" ||
        { echo "wine-prefix.sh: cannot turn Wine's debugger off in $template" >&2; return 1; }
    echo "$stamp" >"$template/.velmor-template"
}

make_copy() {
    tmp="$prefix.new.$$"
    rm -rf "$tmp"
    cp -al "$template/." "$tmp/" || return 1
    rm -f "$tmp/.velmor-template" "$tmp/wineserver"
    find "$tmp" -type f | while IFS= read -r f; do
        shared_file "$f" && continue
        cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || exit 1
    done || return 1
    # The user folders that wineboot linked to the template's HOME link to this run's HOME.
    find "$tmp/drive_c/users" -type l | while IFS= read -r l; do
        case "$(readlink "$l")" in
        "$template-home"*) ln -sfn "$HOME$(readlink "$l" | cut -c $((${#template} + 6))-)" "$l" ;;
        esac
    done
    echo "$stamp" >"$tmp/.velmor-copy"
    mv "$tmp" "$prefix"
}

(
    flock 9
    if ! marker "$prefix/.velmor-copy" || [ "$(readlink "$prefix/drive_c/users/$user/Documents")" != "$HOME" ]; then
        mkdir -p "${template%/*}"
        (flock 8 && make_template 8>&-) 8>"$template.lock" 9>&- || exit 1
        WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 9>&-
        rm -rf "$prefix"
        make_copy || { echo "wine-prefix.sh: cannot copy $template to $prefix" >&2; exit 1; }
    fi
    [ -d "$HOME" ] || mkdir -p "$HOME"
    # The lock's descriptor is closed for Wine's processes: a service that inherited it would hold the lock.
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 9>&-
    # About 0.2 s: the copy is as new as its template, so wineboot only starts the services. Under load a Wine
    # start can fail before it runs (seen about once in 600); the services must not start later with the
    # caller's streams instead.
    WINEPREFIX="$prefix" "$loader" wineboot </dev/null >/dev/null 2>&1 9>&- ||
        WINEPREFIX="$prefix" "$loader" wineboot </dev/null >/dev/null 2>&1 9>&-
) 9>"$prefix.lock"
