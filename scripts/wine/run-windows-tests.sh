#!/usr/bin/env bash
# Runs the Windows build's tests under wine64 against pseudo-terminal COM
# ports, Quenby.exe against the virtual modem, and the emulator's console
# scripts on Wine's console against the POSIX screen model.
#
# Usage: run-windows-tests.sh WIN_BUILD [NATIVE_BUILD]
#   WIN_BUILD     an x86_64 MinGW build configured with -DFALCREST_WINDOWS_TESTS=ON
#   NATIVE_BUILD  a native build with the targets vmodem and console_script (default: build)
# GTEST_FILTER narrows the test program's run.
#
# Ports: COM1 <-> COM2 and COM10 <-> its far end are pseudo-terminals joined
# by socat (COM10 opens only by its device name, \\.\COM10); COM4 is mapped
# so that Wine gives it no real tty. For Quenby COM1 is remapped to the
# virtual modem. Every step is bounded.
set -uo pipefail

[[ $# -ge 1 ]] || { echo "usage: $0 WIN_BUILD [NATIVE_BUILD]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd) || exit 2
native=$(cd "${2:-$root/build}" && pwd) || exit 2
export WINEPREFIX=$build/wineprefix
source "$root/scripts/wine/lib.sh"
run=$build/wine-run
rm -rf "$run" && mkdir -p "$run/native" "$run/wine"
passed=0 failed=0
tmux=(timeout 10 tmux -L "quenby-wine-$$")

check() { "${@:2}" && echo "ok: $1" && ((++passed)) || { echo "FAIL: $1"; ((++failed)); }; } # name, command...
trap 'stop_server; "${tmux[@]}" kill-server &>/dev/null; kill $(jobs -p) &>/dev/null; wait' EXIT
trap 'exit 130' INT TERM

# Two joined pseudo-terminals, held open by this shell so that the ports
# never see a hang-up between the programs' opens.
start_pair() {
    socat pty,link="$1",raw,echo=0 pty,link="$2",raw,echo=0 2>>"$run/socat.log" &
    retry 10 test -e "$1" && retry 10 test -e "$2" && exec {near}<>"$1" {far}<>"$2"
}

# A program in a terminal (console functions need one); the end of its output
# if it fails, without the cursor escapes that Wine's console draws with.
in_terminal() { # log, seconds, command...
    timeout -k 5 "$2" script -qefc "stty rows 25 cols 80; $(printf '%q ' "${@:3}")" /dev/null </dev/null >"$1" 2>&1 ||
        { sed -e 's/\x1b\[[0-9]*C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$1" | grep -v '^\s*$' | tail -n 30; return 1; }
}

boot_prefix || { echo "FAIL: wineboot"; exit 1; }
export WINEPATH="Z:${build//\//\\};Z:${build//\//\\}\\support"
start_pair "$run/com1" "$run/com2" && start_pair "$run/com10" "$run/com10-far" &&
    map_ports COM1="$run/com1" COM2="$run/com2" COM4="$run/com4" COM10="$run/com10" ||
    { echo "FAIL: cannot map the COM ports"; exit 1; }

export FALCREST_TEST_PORT=COM1 FALCREST_TEST_FAR=COM2 FALCREST_TEST_HIGH_PORT=COM10
# Falcrest.dll loaded by a client: the port list holds the mapped COM ports
# only; freeing the library or exiting with a port open ends within a bound (a
# thread that ends needs the loader lock the unload holds), and both
# end-of-data pairs reach the line whole.
probe() { timeout -k 5 20 "$WINE" "$build/tests/windows/suite/unload_probe.exe" "$@"; }
listed() { local ports=,$(probe ports),; [[ $ports == *,COM1,* && $ports == *,COM2,* && $ports != *[:L]* ]]; }
unloads() { probe "$1" COM1 && [[ $(timeout 5 head -c 4 "$run/com2" | od -An -tx1) == " 10 03 10 03" ]]; }
check "the port list of a client of Falcrest.dll" listed
check "Falcrest.dll freed with a port open" unloads free
check "a process ended with a port open" unloads exit

check windows_tests in_terminal "$run/windows_tests.log" "${WINE_TEST_TIMEOUT:-200}" \
    "$WINE" "$build/tests/windows/suite/windows_tests.exe" --gtest_brief=1

# Quenby.exe in a tmux pane: ATI and Enter bring the identification and OK,
# and Ctrl+C ends the program through its teardown, which releases the port.
pane() { "${tmux[@]}" capture-pane -t q -p; }
shows() { # seconds, pattern (grep -E)
    local pattern=$2
    retry "$1" eval 'pane | grep -qE "$pattern"' || { echo "the pane never showed: $2"; pane; return 1; }
}
quenby() {
    "${tmux[@]}" -f /dev/null new-session -d -s q -x 100 -y 30 \
        "$(printf '%q ' "$WINE" "$build/console/Quenby.exe" COM1); echo \"quenby exit \$?\"; sleep 30"
    shows 30 "commands>" || return 1
    # Wine's console leaves line editing when it first reads keys; Enter
    # typed before that would reach the program as a line feed.
    retry 10 eval 'stty -a -F "$("${tmux[@]}" display -p -t q "#{pane_tty}")" | grep -q -- -icanon' || true
    "${tmux[@]}" send-keys -t q "ATI" Enter
    shows 15 "^OK" && pane | grep -q "Quenby Virtual Modem" || { echo "no identification"; return 1; }
    # Ended by the system instead, the status would be 58, the low byte of
    # STATUS_CONTROL_C_EXIT.
    "${tmux[@]}" send-keys -t q C-c
    shows 10 "^quenby exit [0-9]+" && ! pane | grep -q "^quenby exit 58"
}
"$native/tools/vmodem/vmodem" --link "$run/modem" &>/dev/null &
retry 10 test -e "$run/modem" && map_ports COM1="$run/modem" || echo "cannot map COM1 to the virtual modem"
check "Quenby.exe on the virtual modem" quenby

timeout 60 "$native/tests/windows/console/console_script" "$run/native" &&
    in_terminal "$run/console.log" 300 "$WINE" "$build/tests/windows/console/console_script.exe" "Z:$run/wine"
check "the console scripts, POSIX screen model (<) against Wine's console (>)" eval 'diff -r "$run/native" "$run/wine" | head -n 40'

echo "windows tests: $SECONDS s, $passed passed, $failed failed"
[[ $failed -eq 0 ]]
