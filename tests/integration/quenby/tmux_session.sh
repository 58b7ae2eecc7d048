#!/usr/bin/env bash
# Quenby as its user runs it. Its command line: a refused option and a port
# that fails to open, with their messages and exit codes. Then in a real
# terminal (tmux) against the virtual modem: the port set up as the DCB string
# says, Enter sending CR so that ATI answers, text with percent signs shown as
# typed, and Ctrl+C ending it with status 0 and the terminal as it was. With
# -v it draws on the alternate screen and gives the shell's screen back,
# cursor visible and wrap on, when it is killed.
# Arguments: Quenby, vmodem.
set -euo pipefail
quenby=$1
work=$(mktemp -d)
tm() { tmux -L "quenby-test-$$" "$@"; }
trap 'tm kill-server 2>/dev/null; kill ${modem:-} 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$1"; tm capture-pane -t q -p 2>/dev/null; exit 1; }

# Quenby's exit status, standard output and standard error for the arguments.
runs() { local status=0 out; out=$("$quenby" "$@" 2>"$work/err" </dev/null) || status=$?; echo "$status|$out|$(<"$work/err")"; }
[[ $(runs -c) == "255||Unknown option: 'c'!"$'\n'"Mandatory argument missing: COM device name or number" ]] || fail "no port: $(runs -c)"
[[ $(runs -x /dev/nonexistent-quenby-port) == "156|Connection failed: -100(ffffff9c)|Unknown option: 'x'!" ]] || fail "failed open"

"$2" --link "$work/tty" >/dev/null 2>&1 &
modem=$!
# Waits until the pane shows the pattern (grep -E), or the format given as a
# second argument expands to it, up to 10 s.
wait_for() {
    for _ in $(seq 200); do
        if [[ -n ${2:-} ]]; then [[ $(tm display -p -t q "$2") == "$1" ]] && return 0
        else tm capture-pane -t q -p | grep -qE "$1" && return 0; fi
        sleep 0.05
    done
    fail "pane never showed: $1 ${2:-}"
}
for _ in $(seq 200); do [[ -e $work/tty ]] && break; sleep 0.05; done

# The pane runs Quenby, then reports its exit status and whether the
# terminal's mode came back, then serves as a shell.
tm -f /dev/null new-session -d -s q -x 100 -y 30 "before=\$(stty -g); $quenby -c 'baud=9600 xon=on' $work/tty;
    echo QUENBY-EXIT=\$? MODE=\$(test \"\$(stty -g)\" = \"\$before\" && echo restored); PS1='$ ' exec bash --norc"
wait_for "Start typing commands>"
settings=$(stty -a -F "$work/tty")
[[ $settings == *"speed 9600 baud"* && $settings == *" ixoff"* ]] || fail "port settings: $settings"
tm send-keys -t q "ATI" Enter
wait_for "Virtual"
wait_for "^OK"
tm send-keys -t q -l 'AT%s%n%x'
tm send-keys -t q Enter
wait_for 'AT%s%n%x'
tm send-keys -t q C-c
wait_for "QUENBY-EXIT=0 MODE=restored"

tm send-keys -t q "clear; echo shell screen; $quenby -v $work/tty" Enter
wait_for "1" '#{alternate_on}'
tm send-keys -t q "ATI" Enter
wait_for "^OK"
kill -TERM "$(pgrep -P "$(tm display -p -t q '#{pane_pid}')")" # the pane shell's child
wait_for "0 1 1" '#{alternate_on} #{cursor_flag} #{wrap_flag}'
wait_for "^shell screen"
echo "Quenby's command line, keys, port settings, exit and screen are as they should be"
