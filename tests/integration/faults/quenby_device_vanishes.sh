#!/usr/bin/env bash
# Quenby in a terminal (tmux) on the virtual modem, which then vanishes:
# Quenby says so, and Ctrl+C still ends it with status 0 and the terminal as
# it found it.
# Arguments: Quenby, vmodem.
set -euo pipefail
work=$(mktemp -d) session=quenby-vanish-$$
trap 'tmux kill-session -t "$session" 2>/dev/null; [[ -n ${modem:-} ]] && kill -9 "$modem"; rm -rf "$work"' EXIT

"$2" --link "$work/tty" >/dev/null 2>&1 & modem=$!
for _ in $(seq 200); do [[ -e $work/tty ]] && break; sleep 0.05; done

# The pane runs Quenby, then reports its exit status and whether the
# terminal's mode came back.
tmux new-session -d -s "$session" -x 100 -y 30 "before=\$(stty -g); '$1' '$work/tty'; status=\$?
[[ \$(stty -g) == \"\$before\" ]] && mode=restored || mode=changed
echo QUENBY-EXIT=\$status MODE=\$mode; sleep 30"

wait_for() { # pattern (grep -E), up to 10 s
    for _ in $(seq 200); do tmux capture-pane -t "$session" -p | grep -qE "$1" && return 0; sleep 0.05; done
    echo "pane never showed: $1"; tmux capture-pane -t "$session" -p; return 1
}

wait_for "Start typing commands>"
tmux send-keys -t "$session" "ATI" Enter
wait_for "^OK"
kill -9 "$modem"; wait "$modem" 2>/dev/null || true; modem= # the device vanishes
wait_for "Port error"
tmux send-keys -t "$session" C-c
wait_for "QUENBY-EXIT=0 MODE=restored"
# One vanished device is one report, however often the library retries.
shown=$(tmux capture-pane -t "$session" -p | grep -c "Port error")
[[ $shown == 1 ]] || { echo "the error was shown $shown times"; exit 1; }
