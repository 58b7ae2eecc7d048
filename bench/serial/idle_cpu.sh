#!/usr/bin/env bash
# Idle CPU: Quenby connected to a silent pseudo-terminal for a while, beside
# picocom on another one in the same run. CPU time from /proc, in ms.
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
quenby="$build/console/Quenby"

cpu_ms() { # pid -> user+system CPU in ms
    local fields
    read -ra fields <"/proc/$1/stat"
    echo $(((fields[13] + fields[14]) * 1000 / $(getconf CLK_TCK)))
}

measure() { # label, command...
    local label=$1; shift
    local link=/tmp/idle-bench-$label-$$
    socat -d0 pty,raw,echo=0,link=$link.a pty,raw,echo=0,link=$link.b &
    local socat_pid=$!
    for _ in $(seq 100); do [[ -e $link.a ]] && break; sleep 0.05; done
    # A terminal that nobody types into: stdin is a pipe held open by sleep.
    sleep $((seconds + 5)) | "$@" "$link.a" >/dev/null 2>&1 &
    local pid=$!
    sleep 1 # let it connect
    local target=$pid
    local before after
    before=$(cpu_ms "$target")
    sleep "$seconds"
    after=$(cpu_ms "$target")
    printf 'idle CPU %-8s %5d ms over %ss (%.2f%%)\n' "$label" $((after - before)) "$seconds" \
        "$(echo "scale=4; ($after - $before) / ($seconds * 10)" | bc)"
    kill "$target" 2>/dev/null || true
    kill "$socat_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}

measure quenby "$quenby"
measure picocom picocom -q --noreset -b 115200
