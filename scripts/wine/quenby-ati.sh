#!/usr/bin/env bash
# Quenby.exe under wine64 in a private tmux server's pane, on COM1, which the
# caller has mapped to the virtual modem (the Wine environment comes from the
# caller): ATI and Enter bring the identification and OK, and Ctrl+C ends the
# program through its teardown, which releases the port.
set -euo pipefail
sock=quenby-wine-$$
tm() { timeout 10 tmux -L "$sock" "$@"; }
trap 'tm kill-server 2>/dev/null || true' EXIT
tm -f /dev/null new-session -d -s quenby -x 100 -y 30 \
    "$(printf '%q ' "${WINE:-/usr/lib/wine/wine64}" "$1" COM1); echo \"quenby exit \$?\"; sleep 30"
pane() { tm capture-pane -t quenby -p; }
wait_for() { # pattern (grep -E), tenths of a second
    for _ in $(seq "${2:-150}"); do pane | grep -qE "$1" && return 0; sleep 0.1; done
    echo "the pane never showed: $1"; pane; return 1
}
wait_for "commands>" 300
# Wine's console leaves line editing when it first reads keys; Enter typed
# before that would reach the program as a line feed.
tty=$(tm display -p -t quenby '#{pane_tty}')
for _ in $(seq 100); do stty -a -F "$tty" | grep -q -- '-icanon' && break; sleep 0.1; done
tm send-keys -t quenby "ATI" Enter
wait_for "^OK"
pane | grep -m1 "Quenby Virtual Modem" || { echo "no identification"; exit 1; }
# Ended by the system instead of the teardown, the status would be the low
# byte of STATUS_CONTROL_C_EXIT (58).
tm send-keys -t quenby C-c
wait_for "^quenby exit [0-9]+" 100
pane | grep -q "^quenby exit 58" && { echo "Ctrl+C did not end Quenby.exe through its teardown"; pane; exit 1; }
echo "Quenby.exe answered ATI and ended on Ctrl+C through its teardown"
