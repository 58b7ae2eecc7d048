#!/usr/bin/env bash
# Idle CPU: Quenby connected to a silent pseudo-terminal for a while, beside
# picocom on another one in the same run. Each runs in a terminal of its own
# (script), nobody types; CPU time is read from /proc, in ms.
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
quenby="$build/console/Quenby"

cpu_ms() { # pid -> user+system CPU in ms
    local fields
    read -ra fields <"/proc/$1/stat"
    echo $(((fields[13] + fields[14]) * 1000 / $(getconf CLK_TCK)))
}

measure() { # label, command (the port path is appended)
    local label=$1
    shift
    local link=/tmp/idle-bench-$label-$$
    socat pty,raw,echo=0,link=$link.a pty,raw,echo=0,link=$link.b 2>/dev/null &
    local socat_pid=$!
    for _ in $(seq 100); do [[ -e $link.a ]] && break; sleep 0.05; done
    sleep $((seconds + 10)) | script -qfec "$* $link.a" /dev/null >/dev/null 2>&1 &
    local script_pid=$!
    local target=""
    for _ in $(seq 100); do
        target=$(pgrep -f -n -- "$1 .*$link.a" | grep -v "^$script_pid$" || true)
        [[ -n $target ]] && break
        sleep 0.05
    done
    sleep 1 # let it connect and settle
    echo "measuring $(cat /proc/$target/comm) (pid $target)" >&2
    local before after
    before=$(cpu_ms "$target")
    sleep "$seconds"
    after=$(cpu_ms "$target")
    printf 'idle CPU %-8s %5d ms over %ss (%.3f%% of a core)\n' "$label" $((after - before)) \
        "$seconds" "$(awk -v ms=$((after - before)) -v s="$seconds" 'BEGIN { print ms / (s * 10) }')"
    kill "$target" "$script_pid" "$socat_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}

measure quenby "$quenby"
measure picocom picocom -q -b 115200
