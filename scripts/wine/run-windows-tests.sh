#!/usr/bin/env bash
# Runs the Windows build's tests under wine64 against pseudo-terminal COM
# ports, then Quenby.exe against the virtual modem.
#
# Usage: run-windows-tests.sh BUILD_DIR [VMODEM]
#   BUILD_DIR  an x86_64 MinGW build configured with -DFALCREST_WINDOWS_TESTS=ON
#   VMODEM     the native vmodem binary (default: $VMODEM, else build/tools/vmodem/vmodem)
# For a closer look: WINE_TESTS_ONLY (a grep -E pattern of program names) and
# GTEST_FILTER (read by the test programs themselves) narrow the run.
#
# Port map (asserted with readlink before any program runs):
#   COM1 <-> COM2  two pseudo-terminals joined by socat: the engine's port and
#                  the far end the tests drive
#   COM3           a pseudo-terminal whose far end hangs up after one byte
#   COM4           unused, mapped so that Wine does not give it a real tty
#   COM10          one end of a second joined pair: a port that Windows opens
#                  only by its device name (\\.\COM10)
# For the Quenby check COM1 is remapped to the virtual modem's pseudo-terminal.
#
# Every step is bounded by `timeout`; one wineserver serves all programs and
# is stopped at the end. Exits non-zero on any failure.
set -uo pipefail

[[ $# -ge 1 ]] || { echo "usage: $0 BUILD_DIR [VMODEM]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd) || exit 2
vmodem=${2:-${VMODEM:-$root/build/tools/vmodem/vmodem}}
[[ -x $vmodem ]] || { echo "no vmodem at $vmodem (build the native tree first)" >&2; exit 2; }

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
run=$build/wine-run
mkdir -p "$run"
rm -f "$run"/*.log

passed=0
failed=0
pids=()

say() { echo "== $*"; }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
# A set-up step failed: nothing more can run.
abort_run() {
    fail "$*"
    echo "$passed passed, $failed failed"
    exit 1
}

cleanup() {
    timeout 20 "$WINESERVER" -k >/dev/null 2>&1
    timeout 20 "$WINESERVER" -w >/dev/null 2>&1
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    pids=()
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits (up to 10 s) until path exists.
wait_path() {
    for _ in $(seq 200); do [[ -e $1 ]] && return 0; sleep 0.05; done
    return 1
}

# A pair of joined pseudo-terminals at links $1 and $2, plus a keeper that
# holds both ends open: the ports then never see a hang-up between the test
# programs' opens, and data waits for the next reader.
start_pair() {
    rm -f "$1" "$2"
    socat pty,link="$1",raw,echo=0 pty,link="$2",raw,echo=0 2>>"$run/socat.log" &
    pids+=($!)
    wait_path "$1" && wait_path "$2" || return 1
    python3 -c '
import os, signal, sys
fds = [os.open(p, os.O_RDWR | os.O_NOCTTY) for p in sys.argv[1:]]
signal.pause()' "$1" "$2" &
    pids+=($!)
}

# A pseudo-terminal at $1 whose far end reads one byte and hangs up.
hangup_pid=
start_hangup() {
    [[ -n $hangup_pid ]] && { kill "$hangup_pid" 2>/dev/null; wait "$hangup_pid" 2>/dev/null; }
    rm -f "$1"
    # (socat's complaint about the closed pipe when it hangs up goes to the log)
    socat -t 0.2 pty,link="$1",raw,echo=0 SYSTEM:'head -c 1 >/dev/null' 2>>"$run/socat.log" &
    hangup_pid=$!
    pids+=($hangup_pid)
    wait_path "$1"
}

# Maps COM ports (COMn=path ...) in the prefix's registry, restarts the
# server so that Wine takes the new map, and asserts it with readlink.
map_ports() {
    local kv
    for kv in "$@"; do
        timeout 60 "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "${kv%%=*}" /d "${kv#*=}" /f \
            >/dev/null 2>&1 || return 1
    done
    timeout 20 "$WINESERVER" -k >/dev/null 2>&1
    timeout 20 "$WINESERVER" -w >/dev/null 2>&1
    timeout 20 "$WINESERVER" -p || return 1
    timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1
    for kv in "$@"; do
        local name=${kv%%=*} want=${kv#*=} link
        name=${name,,}
        for _ in $(seq 100); do
            link=$(readlink "$WINEPREFIX/dosdevices/$name")
            [[ $link == "$want" ]] && break
            sleep 0.1
        done
        if [[ $link != "$want" ]]; then
            echo "dosdevices/$name points to '$link', not $want"
            return 1
        fi
        echo "$name -> $link -> $(readlink -f "$want")"
    done
}

win_path() { # a Unix path as Wine sees it on drive Z:
    local p=${1//\//\\}
    echo "Z:$p"
}

# Runs one GoogleTest program in a terminal (console functions need one) and
# counts its tests from its XML report (the terminal's output is only shown).
run_gtest() {
    local exe=$1 name log xml
    name=$(basename "$exe" .exe)
    log=$run/$name.log
    xml=$run/$name.xml
    rm -f "$xml"
    say "$name"
    start_hangup "$run/com3" || { fail "$name: no hang-up port"; return; }
    FALCREST_TEST_PORT=COM1 FALCREST_TEST_FAR=COM2 FALCREST_TEST_HANGUP_PORT=COM3 \
        FALCREST_TEST_HIGH_PORT=COM10 \
        timeout -k 5 "${WINE_TEST_TIMEOUT:-150}" script -qefc \
        "$(printf '%q ' "$WINE" "$exe" "--gtest_brief=${WINE_GTEST_BRIEF:-1}" "--gtest_output=xml:$(win_path "$xml")")" \
        /dev/null </dev/null >"$log" 2>&1
    local rc=$?
    # Wine's console draws every character with cursor escapes; drop them.
    sed -e 's/\x1b\[[0-9]*C/ /g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$log" | grep -v '^[[:space:]]*$' | tail -n 40
    if [[ ! -s $xml ]]; then
        # Not a GoogleTest program, or one that died: its status decides.
        if [[ $rc -eq 0 ]]; then
            passed=$((passed + 1))
        else
            fail "$name ended with status $rc and no report"
        fi
        return
    fi
    local counts tests failures errors skipped
    counts=$(python3 -c '
import sys, xml.etree.ElementTree as ET
r = ET.parse(sys.argv[1]).getroot()
print(r.get("tests"), r.get("failures"), r.get("errors", "0"), r.get("skipped", r.get("disabled", "0")))' "$xml") ||
        { fail "$name: unreadable report"; return; }
    read -r tests failures errors skipped <<<"$counts"
    local bad=$((failures + errors))
    passed=$((passed + tests - bad - skipped))
    failed=$((failed + bad))
    [[ $skipped -gt 0 ]] && echo "$name: $skipped skipped"
    if [[ $rc -ne 0 && $bad -eq 0 ]]; then
        fail "$name ended with status $rc"
    fi
}

start=$SECONDS
# A server left over from an interrupted run would keep the old port map.
timeout 20 "$WINESERVER" -k >/dev/null 2>&1
timeout 20 "$WINESERVER" -w >/dev/null 2>&1
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    say "new Wine prefix in $WINEPREFIX"
    timeout 120 "$WINE" wineboot -i >/dev/null 2>&1 || abort_run "wineboot failed"
fi
export WINEPATH="$(win_path "$build");$(win_path "$build/support")"

start_pair "$run/com1" "$run/com2" || abort_run "cannot make the pty pair"
start_pair "$run/com10" "$run/com10-far" || abort_run "cannot make the second pty pair"
start_hangup "$run/com3" || abort_run "cannot make the hang-up port"
rm -f "$run/com4"
say "port map"
map_ports COM1="$run/com1" COM2="$run/com2" COM3="$run/com3" COM4="$run/com4" \
    COM10="$run/com10" ||
    abort_run "cannot map the COM ports"

# (*_probe.exe are helpers that the test programs start themselves.)
mapfile -t programs < <(find "$build/tests/windows" -name '*.exe' ! -name '*_probe.exe' | sort |
    grep -E "${WINE_TESTS_ONLY:-.}")
[[ ${#programs[@]} -gt 0 ]] || fail "no test programs under $build/tests/windows"
for exe in "${programs[@]}"; do
    run_gtest "$exe"
done

# Quenby on COM1 backed by the virtual modem.
say "Quenby.exe ATI"
rm -f "$run/modem"
"$vmodem" --link "$run/modem" >/dev/null 2>"$run/vmodem.log" &
pids+=($!)
if ! wait_path "$run/modem" || ! map_ports COM1="$run/modem"; then
    fail "cannot map COM1 to the virtual modem"
elif timeout -k 5 90 bash "$root/scripts/wine/quenby-ati.sh" "$build/console/Quenby.exe" \
    >"$run/quenby.log" 2>&1; then
    passed=$((passed + 1))
    tail -n 1 "$run/quenby.log"
else
    cat "$run/quenby.log"
    fail "Quenby.exe did not answer ATI"
fi

cleanup
echo "windows tests: $((SECONDS - start)) s"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 && $passed -gt 0 ]]
