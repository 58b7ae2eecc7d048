#!/usr/bin/env bash
# Quenby.exe under wine64 in a terminal (a private tmux server), on COM1,
# which the caller has mapped to the virtual modem: ATI and Enter must bring
# the modem's identification and OK. Argument: the path of Quenby.exe; the
# Wine environment (WINEPREFIX, WINEPATH, ...) comes from the caller.
set -euo pipefail
quenby=$1
wine=${WINE:-/usr/lib/wine/wine64}
sock=quenby-wine-$$
tm() { timeout 10 tmux -L "$sock" "$@"; }
cleanup() { tm kill-server 2>/dev/null || true; }
trap cleanup EXIT

# A private server: the pane's environment is ours, not that of a server
# someone else started.
tm -f /dev/null new-session -d -s quenby -x 100 -y 30 \
    "$(printf '%q ' "$wine" "$quenby" COM1); echo \"quenby exit \$?\"; sleep 30"

pane() { tm capture-pane -t quenby -p; }
# Waits until the pane shows the pattern (grep -E), up to $2 tenths of a second.
wait_for() {
    for _ in $(seq "${2:-150}"); do
        pane | grep -qE "$1" && return 0
        sleep 0.1
    done
    echo "pane never showed: $1"
    pane
    return 1
}

wait_for "commands>" 300
# Wine's console takes the terminal out of line editing when it first reads
# keys; Enter typed before that would reach the program as a line feed.
tty=$(tm display -p -t quenby '#{pane_tty}')
for _ in $(seq 100); do
    stty -a -F "$tty" | grep -q -- '-icanon' && break
    sleep 0.1
done
tm send-keys -t quenby "ATI" Enter
wait_for "^OK"
pane | grep -q "Quenby Virtual Modem" || { echo "no identification"; pane; exit 1; }
echo "Quenby.exe answered ATI on COM1: $(pane | grep -m1 'Quenby Virtual Modem')"

# Ctrl+C ends the key loop and the program tears down as it does at the end
# of input; ended by the system instead, it would exit with the low byte of
# STATUS_CONTROL_C_EXIT (58).
tm send-keys -t quenby C-c
wait_for "^quenby exit [0-9]+" 100
status=$(pane | sed -n 's/^quenby exit \([0-9]*\).*/\1/p' | head -n 1)
[[ $status != 58 ]] || { echo "Quenby.exe was ended by Ctrl+C, not torn down"; pane; exit 1; }
echo "Quenby.exe ended on Ctrl+C through its teardown (status $status)"
