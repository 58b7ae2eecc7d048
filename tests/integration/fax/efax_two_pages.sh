#!/usr/bin/env bash
# A class 2 fax program sends two pages through vmodem at the real line rate:
# it must end with success, and each page vmodem stored must be the page sent
# (below the header line the program adds), at the resolution negotiated.
set -euo pipefail
vmodem=$1
work=$(mktemp -d)
pid=
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
command -v efax >/dev/null || { echo "efax is not installed"; exit 1; }

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

"$vmodem" --link "$work/tty" --store "$work/store" >"$work/vmodem.out" 2>&1 &
pid=$!
for _ in $(seq 100); do [[ -e $work/tty ]] && break; sleep 0.05; done

if ! timeout 120 efax -d "$work/tty" -o2 -t 5551 "$work/page1.g3" "$work/page2.g3" \
        >"$work/efax.log" 2>&1; then
    cat "$work/efax.log"
    echo "efax failed"
    exit 1
fi
grep -q "info +FDCS:1," "$work/store/events.log" || { echo "no fine resolution"; exit 1; }
for p in 1 2; do
    stored=$work/store/fax-00$p.pbm
    [[ -f $stored ]] || { echo "page $p not stored"; exit 1; }
    # efax writes its header line over the top of the page: compare below it.
    want=$(g3topbm "$work/page$p.g3" | tail -c $((216 * 200)) | md5sum)
    got=$(tail -c $((216 * 200)) "$stored" | md5sum)
    [[ $want == "$got" ]] || { echo "page $p differs"; exit 1; }
done
grep "^fax file" "$work/store/events.log" | grep -vq "bad=0" && { echo "bad lines"; exit 1; }
echo "two pages sent and stored"
