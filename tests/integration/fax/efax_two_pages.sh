#!/usr/bin/env bash
# Real fax programs send two pages through vmodem at the real line rate: efax
# in class 2 and mgetty's sendfax in class 2.0. Each must end with success,
# and each page vmodem stored must be the page sent (below the header line
# efax adds), at the fine resolution both ask for.
set -euo pipefail
vmodem=$1
work=$(mktemp -d)
pid=
stop_modem() { [[ -z $pid ]] || { kill "$pid"; wait "$pid"; } 2>/dev/null || true; pid=; }
trap 'stop_modem; rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

# Two fine-resolution pages: bars and a rule, different on each page.
python3 - "$work" <<'PY'
import sys
for p in (1, 2):
    rows = [bytes(0xFF if y % 40 < 8 and 20 < x < 40 + p * 10 else 0x18 if x == 100 + p and y > 30
                  else 0 for x in range(216)) for y in range(240)]
    open(f"{sys.argv[1]}/page{p}.pbm", "wb").write(b"P4\n1728 240\n" + b"".join(rows))
PY
for p in 1 2; do efix -i pbm -o fax -n "$work/page$p.g3" "$work/page$p.pbm" 2>/dev/null; done

# send NAME LINK COMMAND...: runs COMMAND against a fresh vmodem on LINK and
# checks what it stored.
send() {
    local name=$1 tty=$2 store=$work/store-$1
    shift 2
    "$vmodem" --link "$tty" --store "$store" >"$work/vmodem-$name.out" 2>&1 &
    pid=$!
    timeout 5 bash -c "until [[ -e $tty ]]; do sleep 0.05; done"
    timeout 120 "$@" >"$work/$name.log" 2>&1 || { cat "$work/$name.log"; fail "$name failed"; }
    stop_modem
    grep -Eq "info \+F(DCS|CS):1," "$store/events.log" || fail "$name: no fine resolution"
    for p in 1 2; do
        # efax writes its header line over the top of the page: compare below it.
        cmp -s <(g3topbm "$work/page$p.g3" | tail -c $((216 * 200))) \
            <(tail -c $((216 * 200)) "$store/fax-00$p.pbm") || fail "$name: page $p differs"
    done
    ! grep "^fax file" "$store/events.log" | grep -vq " bad=0 " || fail "$name: bad lines"
    echo "$name sent two pages and vmodem stored them"
}

send efax "$work/tty" efax -d "$work/tty" -o2 -t 5551 "$work/page1.g3" "$work/page2.g3"

# sendfax only opens devices under /dev.
if command -v sendfax >/dev/null && [[ -w /dev ]]; then
    link=/dev/ttyVfax$$
    send sendfax "$link" sendfax -C c2.0 -l "${link#/dev/}" 5551 "$work/page1.g3" "$work/page2.g3"
else
    echo "sendfax (mgetty-fax) or a writable /dev is missing: class 2.0 not tried"
fi
