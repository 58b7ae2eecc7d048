#!/usr/bin/env bash
# Quenby in a real terminal (tmux) against the virtual modem: ATI and Enter
# show the identification and OK, and text with percent signs comes back as
# typed. With -v it draws on the alternate screen and gives the shell's screen
# back, cursor visible, when it is killed with SIGTERM or SIGHUP.
# Arguments: Quenby, vmodem.
set -euo pipefail
quenby=$1
vmodem=$2
work=$(mktemp -d)
session=quenby-test-$$
tm() { tmux -L "$session" "$@"; }
cleanup() {
    tm kill-server 2>/dev/null || true
    [[ -n ${modem:-} ]] && kill "$modem" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$vmodem" --link "$work/tty" >/dev/null 2>&1 &
modem=$!
for _ in $(seq 200); do [[ -e $work/tty ]] && break; sleep 0.05; done

tm -f /dev/null new-session -d -s q -x 100 -y 30 "env PS1='$ ' bash --norc --noprofile"

pane() { tm capture-pane -t q -p; }
# Waits until the pane shows the pattern (grep -E), or the format given as a
# third argument expands to it, up to 10 s.
wait_for() {
    for _ in $(seq 200); do
        if [[ -n ${2:-} ]]; then
            [[ $(tm display -p -t q "$2") == "$1" ]] && return 0
        else
            pane | grep -qE "$1" && return 0
        fi
        sleep 0.05
    done
    echo "pane never showed: $1 ${2:-}"
    pane
    return 1
}

tm send-keys -t q "$quenby $work/tty" Enter
wait_for "Start typing commands>"
tm send-keys -t q "ATI" Enter
wait_for "^OK"
pane | grep -q "Virtual" || { echo "no identification"; pane; exit 1; }
tm send-keys -t q -l 'AT%s%n%x'
tm send-keys -t q Enter
wait_for 'AT%s%n%x'
tm send-keys -t q C-c
wait_for '^\$ ?$'
echo "quenby answered ATI and printed percent signs literally"

for signal in TERM HUP; do
    tm send-keys -t q "clear; echo shell screen $signal; $quenby -v $work/tty" Enter
    wait_for "1" '#{alternate_on}'
    tm send-keys -t q "ATI" Enter
    wait_for "^OK"
    kill "-$signal" "$(pgrep -P "$(tm display -p -t q '#{pane_pid}')")" # the pane shell's child
    wait_for "0 1 1" '#{alternate_on} #{cursor_flag} #{wrap_flag}'
    pane | grep -q "^shell screen $signal" || { echo "screen not given back"; pane; exit 1; }
done
echo "quenby -v gave the screen back on SIGTERM and SIGHUP"
