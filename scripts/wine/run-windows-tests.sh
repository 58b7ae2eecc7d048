#!/usr/bin/env bash
# Runs the Windows build's tests under wine64 against pseudo-terminal COM
# ports, Quenby.exe against the virtual modem, and the emulator's console
# scripts on Wine's console against the POSIX screen model.
#
# Usage: run-windows-tests.sh WIN_BUILD [NATIVE_BUILD]
#   WIN_BUILD     an x86_64 MinGW build configured with -DFALCREST_WINDOWS_TESTS=ON
#   NATIVE_BUILD  a native build with the targets vmodem and console_script (default: build)
# WINE_TESTS_ONLY (a grep -E pattern of program names) and GTEST_FILTER narrow the run.
#
# Ports: COM1 <-> COM2 and COM10 <-> its far end are pseudo-terminals joined
# by socat (COM10 opens only by its device name, \\.\COM10); COM4 is mapped
# so that Wine gives it no real tty.
# For Quenby COM1 is remapped to the virtual modem. Every step is bounded.
set -uo pipefail

[[ $# -ge 1 ]] || { echo "usage: $0 WIN_BUILD [NATIVE_BUILD]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd) || exit 2
native=$(cd "${2:-$root/build}" && pwd) || exit 2
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
run=$build/wine-run
rm -rf "$run"
mkdir -p "$run/native" "$run/wine"
passed=0 failed=0 pids=()

fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
check() { # name, command...
    local name=$1
    shift
    "$@" && passed=$((passed + 1)) || fail "$name"
}
stop_server() { timeout 20 "$WINESERVER" -k >/dev/null 2>&1; timeout 20 "$WINESERVER" -w >/dev/null 2>&1; }
trap 'stop_server; kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
trap 'exit 130' INT TERM
retry() { for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done; return 1; } # 10 s
wait_path() { retry test -e "$1"; }
background() { "$@" 2>>"$run/socat.log" & pids+=($!); }

# Two joined pseudo-terminals, held open by a keeper so that the ports never
# see a hang-up between the programs' opens.
start_pair() {
    background socat pty,link="$1",raw,echo=0 pty,link="$2",raw,echo=0
    wait_path "$1" && wait_path "$2" || return 1
    background python3 -c 'import os, signal, sys
fds = [os.open(p, os.O_RDWR | os.O_NOCTTY) for p in sys.argv[1:]]
signal.pause()' "$1" "$2"
}
# Maps COMn=path ..., restarts the server so that Wine takes the new map, and
# checks the map with readlink.
map_ports() {
    local kv
    for kv in "$@"; do
        timeout 60 "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "${kv%%=*}" /d "${kv#*=}" /f >/dev/null 2>&1 || return 1
    done
    stop_server
    timeout 20 "$WINESERVER" -p && timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1
    for kv in "$@"; do
        retry mapped "${kv%%=*}" "${kv#*=}" || { echo "${kv%%=*} is not mapped to ${kv#*=}"; return 1; }
    done
}
mapped() { [[ $(readlink "$WINEPREFIX/dosdevices/${1,,}") == "$2" ]]; }

# A program in a terminal (console functions need one); Wine's console draws
# with cursor escapes, which the log drops.
in_terminal() {
    local log=$1 limit=$2; shift 2
    timeout -k 5 "$limit" script -qefc "stty rows 25 cols 80; $(printf '%q ' "$@")" /dev/null </dev/null >"$log" 2>&1
    local rc=$?
    sed -e 's/\x1b\[[0-9]*C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$log" | grep -v '^\s*$' | tail -n 30
    return $rc
}

start=$SECONDS
stop_server # one left over from an interrupted run would keep the old map
[[ -f $WINEPREFIX/system.reg ]] || timeout 120 "$WINE" wineboot -i >/dev/null 2>&1 || { fail "wineboot"; exit 1; }
export WINEPATH="Z:${build//\//\\};Z:${build//\//\\}\\support"
start_pair "$run/com1" "$run/com2" && start_pair "$run/com10" "$run/com10-far" &&
    map_ports COM1="$run/com1" COM2="$run/com2" COM4="$run/com4" COM10="$run/com10" ||
    { fail "cannot map the COM ports"; exit 1; }

export FALCREST_TEST_PORT=COM1 FALCREST_TEST_FAR=COM2 FALCREST_TEST_HIGH_PORT=COM10
# Falcrest.dll loaded by a client: the port list holds the mapped COM ports
# only; freeing the library or exiting with a port open ends within a bound (a
# thread that ends needs the loader lock the unload holds), and both
# end-of-data pairs reach the line whole.
probe() { timeout -k 5 20 "$WINE" "$build/tests/windows/exports/unload_probe.exe" "$@"; }
listed() { local ports=,$(probe ports),; [[ $ports == *,COM1,* && $ports == *,COM2,* && $ports != *[:L]* ]]; }
unloads() { probe "$1" COM1 && [[ $(timeout 5 head -c 4 "$run/com2" | od -An -tx1) == " 10 03 10 03" ]]; }
echo "== Falcrest.dll from a client"
check "the port list" listed
check "the library freed with a port open" unloads free
check "a process ended with a port open" unloads exit

for exe in $(find "$build/tests/windows" -name '*_tests.exe' | sort | grep -E "${WINE_TESTS_ONLY:-.}"); do
    name=$(basename "$exe" .exe)
    echo "== $name"
    check "$name" in_terminal "$run/$name.log" "${WINE_TEST_TIMEOUT:-150}" "$WINE" "$exe" --gtest_brief=1
done

echo "== Quenby.exe on the virtual modem"
background "$native/tools/vmodem/vmodem" --link "$run/modem" >/dev/null
wait_path "$run/modem" && map_ports COM1="$run/modem" || fail "cannot map COM1 to the virtual modem"
check "Quenby.exe" timeout -k 5 90 bash "$root/scripts/wine/quenby-ati.sh" "$build/console/Quenby.exe"

echo "== console scripts: POSIX screen model (<) against Wine's console (>)"
timeout 60 "$native/tests/windows/console/console_script" "$run/native" &&
    in_terminal "$run/console.log" 120 "$WINE" "$build/tests/windows/console/console_script.exe" "Z:$run/wine" >/dev/null
compare_dumps() { diff -r "$run/native" "$run/wine" | head -n 40; }
check "the console scripts" compare_dumps

echo "windows tests: $((SECONDS - start)) s, $passed passed, $failed failed"
[[ $failed -eq 0 ]]
