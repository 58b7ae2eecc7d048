#!/usr/bin/env bash
# Real fax programs send two pages through vmodem at the real line rate: efax
# in class 2 and mgetty's sendfax in class 2.0. Each must end with success,
# and each page vmodem stored must be the page sent (below the header line
# efax adds), at the fine resolution both ask for.
set -euo pipefail
vmodem=$1
work=$(mktemp -d)
pid=
stop_modem() {
    if [[ -n $pid ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    pid=
}
cleanup() {
    stop_modem
    rm -rf "$work"
}
trap cleanup EXIT
for program in efax efix g3topbm; do
    command -v $program >/dev/null || { echo "$program is not installed"; exit 1; }
done

# Two fine-resolution pages: bars and a rule, different on each page.
python3 - "$work" <<'PY'
import sys
for p in (1, 2):
    rows = 240
    data = bytearray(216 * rows)
    for y in range(rows):
        for x in range(216):
            if (y // 20) % 2 == 0 and 20 < x < 40 + p * 10 and y % 20 < 8:
                data[y * 216 + x] = 0xFF
            if x == 100 + p and y > 30:
                data[y * 216 + x] = 0x18
    with open(f"{sys.argv[1]}/page{p}.pbm", "wb") as f:
        f.write(b"P4\n1728 %d\n" % rows + bytes(data))
PY
for p in 1 2; do
    efix -i pbm -o fax -n "$work/page$p.g3" "$work/page$p.pbm" 2>/dev/null
done

# send NAME LINK COMMAND...: runs COMMAND against a fresh vmodem on LINK and
# checks what it stored.
send() {
    local name=$1 tty=$2
    shift 2
    local store=$work/store-$name
    "$vmodem" --link "$tty" --store "$store" >"$work/vmodem-$name.out" 2>&1 &
    pid=$!
    for _ in $(seq 100); do [[ -e $tty ]] && break; sleep 0.05; done
    if ! timeout 120 "$@" >"$work/$name.log" 2>&1; then
        cat "$work/$name.log"
        echo "$name failed"
        exit 1
    fi
    stop_modem
    grep -Eq "info \+F(DCS|CS):1," "$store/events.log" || { echo "$name: no fine resolution"; exit 1; }
    for p in 1 2; do
        [[ -f $store/fax-00$p.pbm ]] || { echo "$name: page $p not stored"; exit 1; }
        # efax writes its header line over the top of the page: compare below it.
        want=$(g3topbm "$work/page$p.g3" | tail -c $((216 * 200)) | md5sum)
        got=$(tail -c $((216 * 200)) "$store/fax-00$p.pbm" | md5sum)
        [[ $want == "$got" ]] || { echo "$name: page $p differs"; exit 1; }
    done
    if grep "^fax file" "$store/events.log" | grep -vq " bad=0 "; then
        echo "$name: bad lines"
        exit 1
    fi
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
