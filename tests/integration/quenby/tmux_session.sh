#!/usr/bin/env bash
# Quenby in a real terminal (tmux) against the virtual modem: ATI and Enter
# show the identification and OK, and text with percent signs comes back as
# typed. Arguments: Quenby, vmodem.
set -euo pipefail
quenby=$1
vmodem=$2
work=$(mktemp -d)
session=quenby-test-$$
cleanup() {
    tmux kill-session -t "$session" 2>/dev/null || true
    [[ -n ${modem:-} ]] && kill "$modem" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$vmodem" --link "$work/tty" >/dev/null 2>&1 &
modem=$!
for _ in $(seq 200); do [[ -e $work/tty ]] && break; sleep 0.05; done

tmux new-session -d -s "$session" -x 100 -y 30 "$quenby $work/tty; sleep 30"

# Waits until the pane shows the pattern (grep -E), up to 10 s.
wait_for() {
    for _ in $(seq 200); do
        tmux capture-pane -t "$session" -p | grep -qE "$1" && return 0
        sleep 0.05
    done
    echo "pane never showed: $1"
    tmux capture-pane -t "$session" -p
    return 1
}

wait_for "Start typing commands>"
tmux send-keys -t "$session" "ATI" Enter
wait_for "^OK"
tmux capture-pane -t "$session" -p | grep -q "Virtual" || {
    echo "no identification"; tmux capture-pane -t "$session" -p; exit 1; }
tmux send-keys -t "$session" -l 'AT%s%n%x'
tmux send-keys -t "$session" Enter
wait_for 'AT%s%n%x'
echo "quenby answered ATI and printed percent signs literally"
