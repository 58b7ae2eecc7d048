#!/usr/bin/env bash
# Runs the scripted VT100 console sequences over the POSIX screen model
# (native build) and over Wine's console (Windows x86_64 build) and compares
# the dumps script by script: every cell's byte and attribute, the cursor, the
# window, the buffer size, the attribute and the output mode.
#
# Usage: scripts/wine-console/run.sh NATIVE_BUILD WIN_BUILD
#   NATIVE_BUILD: a native build dir with the target console_script built
#   WIN_BUILD:    a build dir configured with cmake/mingw-x86_64.cmake and
#                 -DFALCREST_WINDOWS_TESTS=ON, with console_script built
# The Wine prefix lives in WIN_BUILD/wineprefix (made when missing). Exits
# non-zero on any difference; prints "N passed, N failed" at the end.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 NATIVE_BUILD WIN_BUILD" >&2
    exit 2
fi
native_build=$(cd "$1" && pwd) || exit 2
win_build=$(cd "$2" && pwd) || exit 2
native_exe=$native_build/tests/windows/console/console_script
win_exe=$win_build/tests/windows/console/console_script.exe
for f in "$native_exe" "$win_exe"; do
    if [ ! -f "$f" ]; then
        echo "missing $f (build the target console_script)" >&2
        exit 2
    fi
done

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX=$win_build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Scripts whose difference is Wine's own and not ours, with the reason:
#   excluded[name]="why"
# None today. Where Wine departs from the console's documented behaviour
# (a scroll rectangle reaching past the buffer is refused instead of clipped;
# a block moved wholly off the buffer leaves no fill; without end-of-line wrap
# the cursor returns to where the write began instead of staying in the last
# column) the Windows console layer avoids the case, with the same result on
# the real console.
declare -A excluded=()

work=$(mktemp -d)
cleanup() {
    timeout 20 "$wineserver" -k >/dev/null 2>&1
    timeout 20 "$wineserver" -w >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    timeout 120 "$wine" wineboot -i >/dev/null 2>&1
    timeout 60 "$wineserver" -w
fi
# One server for the whole run.
timeout 20 "$wineserver" -p

mkdir -p "$work/native" "$work/wine"
if ! timeout 60 "$native_exe" "$work/native"; then
    echo "the native run failed" >&2
    exit 1
fi
# The console API needs a terminal: script gives the program a pty of a
# fixed size, on which Wine's console runs.
timeout 120 script -qec "stty rows 25 cols 80; $wine '$win_exe' 'Z:$work/wine'" /dev/null \
    </dev/null >"$work/wine.log" 2>&1
status=$?
if [ $status -ne 0 ]; then
    echo "the Wine run failed (status $status); its terminal output ends:" >&2
    tail -c 2000 "$work/wine.log" | tr -c '[:print:]\n' '.' >&2
    echo >&2
fi

passed=0
failed=0
skipped=0
for expected in "$work/native"/*.txt; do
    name=$(basename "$expected" .txt)
    actual=$work/wine/$name.txt
    if [ -n "${excluded[$name]:-}" ]; then
        skipped=$((skipped + 1))
        continue
    fi
    if [ -f "$actual" ] && cmp -s "$expected" "$actual"; then
        passed=$((passed + 1))
        continue
    fi
    failed=$((failed + 1))
    echo "FAIL $name (< POSIX model, > Wine console)"
    if [ -f "$actual" ]; then
        diff "$expected" "$actual" | head -n 30
    else
        echo "  no dump from Wine"
    fi
done
echo "wine-console: $passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ] && [ $status -eq 0 ]
