#!/usr/bin/env python3
"""Writes bench/RESULTS.md from the result lines bench/run collected.

Arguments: results file ("key value unit" lines), notes file, output path,
then key=value facts about the run (machine, date, load, settings).
"""
import sys

results_path, notes_path, out_path = sys.argv[1:4]
facts = dict(arg.split("=", 1) for arg in sys.argv[4:])

values = {}
units = {}
for line in open(results_path, encoding="utf-8"):
    parts = line.split()
    if len(parts) >= 2:
        try:
            values[parts[0]] = float(parts[1])
        except ValueError:
            continue
        units[parts[0]] = parts[2] if len(parts) > 2 else ""
notes = [n.strip() for n in open(notes_path, encoding="utf-8") if n.strip()]


def get(key):
    return values.get(key)


def fmt(value, digits=None):
    if value is None:
        return "n/a"
    if digits is None and value == int(value) and abs(value) < 1e15:
        digits = 0
    if digits is None:
        magnitude = abs(value)
        digits = 0 if magnitude >= 1000 else 1 if magnitude >= 10 else 2 if magnitude >= 0.1 else 4
    return f"{value:,.{digits}f}"


def ratio(a, b):
    if a is None or b is None or b == 0:
        return None
    return a / b


def ratio_text(r):
    return "n/a" if r is None else f"{r:.2f}x"


def ratio_cell(ours, peer):
    if ours is not None and peer == 0:
        return "1.00x (both 0)" if ours == 0 else "unbounded (peer 0)"
    return ratio_text(ratio(ours, peer))


def verdict(ok):
    return "n/a (not measured)" if ok is None else ("**met**" if ok else "**not met**")


out = []
w = out.append

# Targets first: each decided from the figures below.
idle_q, idle_p = get("idle.cpu.quenby"), get("idle.cpu.picocom")
idle_ratio = ratio(idle_q, idle_p)
if idle_q is None or idle_p is None:
    idle_ok = None
elif idle_p == 0:
    idle_ok = idle_q == 0
else:
    idle_ok = idle_ratio <= 2.0

VT100_INPUTS = ("plain", "dense", "session")
vt_ratios = [ratio(get(f"vt100.{k}.ours"), get(f"vt100.{k}.libvterm")) for k in VT100_INPUTS]
vt_ok = None if None in vt_ratios else all(r >= 2.0 for r in vt_ratios)
# Drawing plain text to /dev/null keeps at least the figure it once had.
DRAW_FLOOR = 42.0
draw_plain = get("vt100.plain.ours_draw")
draw_ok = None if draw_plain is None else draw_plain >= DRAW_FLOOR

# pbmtog3's time less its start-up over ours, per page.
fax_ratios = [get(f"fax.{p}.ratio") for p in ("white", "text", "noise")]
fax_ok = None if None in fax_ratios else all(r >= 3.0 for r in fax_ratios)

# Bounded backlog: at 3 Mbaud-equivalent input the queue never holds more than
# a tenth of a second of the line (30,000 bytes), and every byte arrives intact.
BACKLOG_BOUND = 30000
backlog = get("serial.receive.3000000.backlog_max")
intact = get("serial.receive.3000000.intact")
backlog_ok = None if backlog is None else (backlog <= BACKLOG_BOUND and intact == 1)

w("# Benchmark results")
w("")
w("Written by `bench/run`; every peer program ran in the same run as ours.")
w("")
# Transmit: unpaced into a pseudo-terminal at least 2 MB/s, and a line paced
# at 3 Mbaud (300 KB/s) kept full: at least 295 KB/s, every byte there.
tx_fast = get("serial.transmit.unpaced.rate")
tx_line = get("serial.transmit.3000000.rate")
tx_ok = None if tx_fast is None or tx_line is None else (
    tx_fast >= 2000 and tx_line >= 295 and get("serial.transmit.unpaced.complete") == 1
    and get("serial.transmit.3000000.complete") == 1)

w("## Machine and run")
w("")
w("| | |")
w("|---|---|")
w(f"| Date | {facts.get('date', 'n/a')} |")
w(f"| CPU | {facts.get('cpu', 'n/a')} |")
w(f"| Cores | {facts.get('cores', 'n/a')} |")
w(f"| Memory | {facts.get('memory', 'n/a')} |")
w(f"| Kernel | {facts.get('kernel', 'n/a')} |")
w(f"| Compiler | {facts.get('compiler', 'n/a')} |")
w(f"| Build | RelWithDebInfo, commit {facts.get('commit', 'n/a')} |")
w(f"| Load average (1/5/15 min) at start | {facts.get('load_start', 'n/a')} |")
w(f"| Load average at end | {facts.get('load_end', 'n/a')} |")
w(f"| Duration of the run | {facts.get('elapsed', 'n/a')} s |")
w(f"| Settings | `{facts.get('settings', '')}` |")
w("")
if notes:
    w("Notes:")
    w("")
    for n in notes:
        w(f"- {n}")
    w("")

w("## Targets")
w("")
w("| Target | Figure | Result |")
w("|---|---|---|")
w(f"| Receive backlog bounded at 3 Mbaud-equivalent input (max backlog <= {BACKLOG_BOUND:,} bytes, "
  f"0.1 s of the line, data intact) | {fmt(backlog, 0)} bytes max | {verdict(backlog_ok)} |")
w(f"| Transmit unpaced >= 2,000 KB/s, and a 3 Mbaud line kept full (>= 295 KB/s), data complete | "
  f"{fmt(tx_fast)} KB/s, {fmt(tx_line)} KB/s | {verdict(tx_ok)} |")
w(f"| Idle CPU within 2x of picocom (Quenby / picocom <= 2) | "
  f"{fmt(idle_q)} % vs {fmt(idle_p)} % of a core ({ratio_cell(idle_q, idle_p)}) | {verdict(idle_ok)} |")
w(f"| VT100 parsing at least twice as fast as libvterm on plain, dense and full-screen input "
  f"(ours / libvterm >= 2 on each) | {', '.join(ratio_text(r) for r in vt_ratios)} | {verdict(vt_ok)} |")
w(f"| VT100 drawing plain text to /dev/null at {DRAW_FLOOR:.0f} MB/s or more | "
  f"{fmt(draw_plain)} MB/s | {verdict(draw_ok)} |")
w(f"| Fax page at least 3x faster than pbmtog3 less its start-up (white, text, noise) | "
  f"{', '.join(ratio_text(r) for r in fax_ratios)} | {verdict(fax_ok)} |")
w("")

w("## Terminal: Quenby beside picocom")
w("")
w("Each program runs between two pseudo-terminals: its serial port is the slave of one")
w("(the harness holds the master as the far end), its own terminal the slave of another")
w("(the harness holds the master as screen and keyboard). Both run at once; the samples")
w("alternate between them. Idle CPU is the CPU time of all threads over the idle window.")
w("")
w("| Figure | Quenby | picocom | Ratio Quenby/picocom (lower is better) |")
w("|---|---|---|---|")
for label, key, unit in [
    ("Idle CPU", "idle.cpu", "% of a core"),
    ("Idle wake-ups", "idle.wakeups", "per s"),
    ("Far end -> screen latency, median", "latency.far_to_screen.{}.median", "us"),
    ("Far end -> screen latency, p99", "latency.far_to_screen.{}.p99", "us"),
    ("Key -> far end latency, median", "latency.key_to_far.{}.median", "us"),
    ("Key -> far end latency, p99", "latency.key_to_far.{}.p99", "us"),
]:
    ours = get(key.format("quenby") if "{}" in key else key + ".quenby")
    peer = get(key.format("picocom") if "{}" in key else key + ".picocom")
    w(f"| {label} ({unit}) | {fmt(ours)} | {fmt(peer)} | {ratio_cell(ours, peer)} |")
w("")

w("## VT100 emulator beside libvterm")
w("")
w(f"Parsing into an 80 x 25 screen in 1,000-byte chunks, thread CPU time, best of five;")
w("ours without drawing (libvterm draws nothing either).")
w("")
w("| Input | Ours (MB/s) | libvterm (MB/s) | Ratio ours/libvterm (higher is better) |")
w("|---|---|---|---|")
for label, key in [("(a) plain text", "plain"), ("(b) dense SGR and cursor sequences", "dense"),
                   ("(c) full-screen session", "session")]:
    ours, peer = get(f"vt100.{key}.ours"), get(f"vt100.{key}.libvterm")
    w(f"| {label} | {fmt(ours)} | {fmt(peer)} | {ratio_text(ratio(ours, peer))} |")
w("")

w("## Fax coding beside pbmtog3")
w("")
w("PrepareFaxPage on 864 x 1100 pages (the file written afresh each pass) against one")
w("pbmtog3 run on the same page at 1728 pels a line; pbmtog3's start-up is its run on a")
w("page of one row, and what is left of a page is taken pair by pair, page and row run one")
w("after the other. Medians, ms a page.")
w("")
w("| Page | Ours | pbmtog3 | pbmtog3 start-up | pbmtog3 less start-up | Ratio (higher is better) |")
w("|---|---|---|---|---|---|")
for label, key in [("All white", "white"), ("Text", "text"), ("50% noise", "noise")]:
    ours, peer, startup, net = (get(f"fax.{key}.{f}")
                                for f in ("ours_ms", "pbmtog3_ms", "pbmtog3_startup_ms", "pbmtog3_net_ms"))
    w(f"| {label} | {fmt(ours, 3)} | {fmt(peer, 3)} | {fmt(startup, 3)} | {fmt(net, 3)} | "
      f"{ratio_text(get(f'fax.{key}.ratio'))} |")
w("")
w("The coder alone, in memory, beside a copy of the same bitmap (118,800 bytes), and the")
w("peak heap of PrepareFaxPage on 864 x 2200 pages (it also maps the 232 KiB page file).")
w("")
w("| Page | Coder (MB/s) | memcpy (MB/s) | Coder / memcpy | Peak heap, 2200 rows (KiB) | Coded (KiB) |")
w("|---|---|---|---|---|---|")
for label, key in [("All white", "white"), ("Text", "text"), ("50% noise", "noise")]:
    coder, copy = get(f"fax.{key}.coder_mbs"), get(f"fax.{key}.memcpy_mbs")
    share = ratio(coder, copy)
    w(f"| {label} | {fmt(coder, 0)} | {fmt(copy, 0)} | {'n/a' if share is None else f'{100 * share:.1f}%'} | "
      f"{fmt(get(f'fax.{key}.peak_heap_kb'), 1)} | {fmt(get(f'fax.{key}.coded_kb'), 1)} |")
w("")

w("## Fax decoding in vmodem beside g3topbm")
w("")
w("| Figure | Ours (MB/s of G3) | g3topbm (MB/s, process start included) | Ratio ours/g3topbm (higher is better) |")
w("|---|---|---|---|")
ours, peer = get("vmodem.DecodePage"), get("vmodem.PeerG3topbm")
w(f"| Busy 1728 x 2000 page | {fmt(ours)} | {fmt(peer)} | {ratio_text(ratio(ours, peer))} |")
w("")

w("## Figures without a peer")
w("")
w("### Serial engine (pseudo-terminal, client drains as Quenby does)")
w("")
w("| Figure | Rate (KB/s) | Max backlog (bytes) | Data |")
w("|---|---|---|---|")
for label, key in [("Receive unpaced (8 MiB)", "unpaced"), ("Receive paced at 115200 baud", "115200"),
                   ("Receive paced at 921600 baud", "921600"), ("Receive paced at 3 Mbaud", "3000000")]:
    ok = get(f"serial.receive.{key}.intact")
    data = "n/a" if ok is None else ("intact" if ok == 1 else "CORRUPTED")
    w(f"| {label} | {fmt(get(f'serial.receive.{key}.rate'))} | "
      f"{fmt(get(f'serial.receive.{key}.backlog_max'), 0)} | {data} |")
for label, key in [("Transmit unpaced (8 MiB)", "unpaced"), ("Transmit into a line paced at 3 Mbaud", "3000000")]:
    done = get(f"serial.transmit.{key}.complete")
    w(f"| {label} | {fmt(get(f'serial.transmit.{key}.rate'))} | | "
      f"{'n/a' if done is None else ('complete' if done == 1 else 'INCOMPLETE')} |")
w("")
w("| Engine latency | Median (us) | p99 (us) |")
w("|---|---|---|")
w(f"| Far end -> client callback | {fmt(get('serial.latency.far_to_callback.median'))} | "
  f"{fmt(get('serial.latency.far_to_callback.p99'))} |")
w(f"| SendDataToModem -> far end | {fmt(get('serial.latency.key_to_far.median'))} | "
  f"{fmt(get('serial.latency.key_to_far.p99'))} |")
w("")
w("### VT100 emulator drawing to /dev/null")
w("")
w("| Input | MB/s |")
w("|---|---|")
for label, key in [("(a) plain text", "plain"), ("(b) dense sequences", "dense"),
                   ("(c) full-screen session", "session")]:
    w(f"| {label} | {fmt(get(f'vt100.{key}.ours_draw'))} |")
w("")
w("### Voice")
w("")
w("| Figure | Value |")
w("|---|---|")
for f in (1, 4, 7, 8):
    w(f"| Shielding, format {f} (MB/s of file data) | {fmt(get(f'voice.shield.format{f}'))} |")
w(f"| Spoken amounts (texts/s) | {fmt(get('voice.amounts'))} |")
w(f"| vmodem: modem receive path, format 8 voice (MB/s) | {fmt(get('vmodem.ModemVoiceReceive'))} |")
w(f"| vmodem: voice stream through its pseudo-terminal (MB/s) | {fmt(get('vmodem.PtyVoiceStream'))} |")
w("")
w("### Soak")
w("")
if get("soak.seconds") is None:
    w("Not run (see the notes above).")
else:
    w("| Figure | Value |")
    w("|---|---|")
    for label, key in [("Duration (s)", "seconds"), ("Sent (bytes)", "sent_bytes"),
                       ("Received (bytes)", "received_bytes"), ("Send rate (KB/s)", "send_kbs"),
                       ("Receive rate (KB/s)", "receive_kbs"), ("RSS first (KiB)", "rss_first_kb"),
                       ("RSS last (KiB)", "rss_last_kb"), ("RSS max (KiB)", "rss_max_kb"),
                       ("RSS growth (KiB)", "rss_growth_kb"), ("CPU (% of a core)", "cpu_pct"),
                       ("Errors", "errors")]:
        w(f"| {label} | {fmt(get('soak.' + key))} |")
w("")
w("### Time taken by each part (s)")
w("")
w("| Part | s |")
w("|---|---|")
for key in sorted(k for k in values if k.startswith("time.")):
    w(f"| {key[5:]} | {fmt(values[key], 0)} |")
w("")

with open(out_path, "w", encoding="utf-8") as f:
    f.write("\n".join(out))
