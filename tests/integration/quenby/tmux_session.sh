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
vmodem=$2
work=$(mktemp -d)
tm() { tmux -L "quenby-test-$$" "$@"; }
cleanup() {
    tm kill-server 2>/dev/null || true
    [[ -n ${modem:-} ]] && kill "$modem" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$1"; [[ -z ${2:-} ]] || tm capture-pane -t q -p; exit 1; }
# Runs Quenby with the arguments; sets out, err, status.
run() {
    status=0
    "$quenby" "$@" </dev/null >"$work/out" 2>"$work/err" || status=$?
    out=$(cat "$work/out") err=$(cat "$work/err")
}

run -c
[[ $status == 255 && $err == "Unknown option: 'c'!"$'\n'"Mandatory argument missing: COM device name or number" ]] ||
    fail "no port: $status $err"
run -x /dev/nonexistent-quenby-port
[[ $status == 156 && $err == "Unknown option: 'x'!" && $out == "Connection failed: -100(ffffff9c)" ]] ||
    fail "failed open: $status $out $err"

"$vmodem" --link "$work/tty" >/dev/null 2>&1 &
modem=$!
for _ in $(seq 200); do [[ -e $work/tty ]] && break; sleep 0.05; done

# The pane runs Quenby, then reports its exit status and whether the
# terminal's mode came back, then serves as a shell.
cat >"$work/run.sh" <<SCRIPT
before=\$(stty -g)
"$quenby" -c "baud=9600 xon=on" "$work/tty"
status=\$?
[[ \$(stty -g) == "\$before" ]] && mode=restored || mode=changed
echo "QUENBY-EXIT=\$status MODE=\$mode"
PS1='$ ' exec bash --norc --noprofile
SCRIPT
tm -f /dev/null new-session -d -s q -x 100 -y 30 "bash $work/run.sh"

# Waits until the pane shows the pattern (grep -E), or the format given as a
# second argument expands to it, up to 10 s.
wait_for() {
    for _ in $(seq 200); do
        if [[ -n ${2:-} ]]; then
            [[ $(tm display -p -t q "$2") == "$1" ]] && return 0
        else
            tm capture-pane -t q -p | grep -qE "$1" && return 0
        fi
        sleep 0.05
    done
    fail "pane never showed: $1 ${2:-}" pane
}

wait_for "Start typing commands>"
settings=$(stty -a -F "$work/tty")
[[ $settings == *"speed 9600 baud"* && $settings == *" ixoff"* ]] || fail "port settings: $settings"
tm send-keys -t q "ATI" Enter
wait_for "^OK"
tm capture-pane -t q -p | grep -q "Virtual" || fail "no identification" pane
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
tm capture-pane -t q -p | grep -q "^shell screen" || fail "screen not given back" pane
echo "Quenby's command line, keys, port settings, exit and screen are as they should be"
