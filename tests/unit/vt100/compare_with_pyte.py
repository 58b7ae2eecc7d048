#!/usr/bin/python3
"""Compares our emulator's window with pyte's screen on generated modem output.

Plain text, cursor moves, erases, line and character deletion and scrolling are
generated at random (fixed seeds), fed to pyte and, in chunks of several sizes,
to vt100_replay; the visible characters and the cursor must agree.

Where this emulator differs from pyte on purpose, the generator leaves the
sequence out or pairs it so that both agree:
  - LF also returns to column 1 (pyte runs with LNM set to do the same);
  - text that reaches the last column wraps at once, and a following LF then
    leaves an empty row (pyte wraps late), so text stops one column short;
  - relative moves past the window's edges (ours continue on the next row to
    the right and move the window up or down; pyte clamps) are not generated;
  - ESC [ 1 K and ESC [ 1 J leave the cursor cell, ESC [ 0 J and ESC [ 0 K erase
    the whole window or line: not generated;
  - HT writes spaces over the cells it passes: not generated;
  - ESC [ L ignores its count, and with ESC [ M does not return to column 1,
    so each is followed by CR; the row ESC [ L pushes out of the window stays
    in the buffer below it, so insertions come only in cases without
    scrolling;
  - scrolling margins (ESC [ r) keep the cursor where it is and scroll on
    reaching the bottom margin row: not generated;
  - an empty first field is skipped, so ESC [ ; 5 H means row 5: not generated;
  - VT52 escapes (ESC A, ESC D, ESC M, ...) have their VT52 meanings;
  - attributes are not compared (36 shows as 33, ESC [ 0 m clears only bold,
    colours survive ESC [ m).
"""
import random
import subprocess
import sys

import pyte

COLUMNS, ROWS = 80, 25
CASES = 120


def generate(rng, scrolling):
    screen = pyte.Screen(COLUMNS, ROWS)
    screen.set_mode(pyte.modes.LNM)
    stream = pyte.Stream(screen)
    out = []

    def emit(text):
        out.append(text)
        # pyte keeps rows sparsely and its line deletion leaves a row alone
        # when the row below was never touched: touch them all first.
        for y in range(ROWS):
            screen.buffer[y]
        stream.feed(text)

    for _ in range(rng.randint(20, 160)):
        x, y = screen.cursor.x, screen.cursor.y
        op = rng.randrange(17)
        if op < 5:
            room = COLUMNS - 1 - x
            if room <= 0:
                emit("\r")
                continue
            alphabet = "abcdefghijklmnopqrstuvwxyz ABCXYZ0123456789.,;:!?-+=()"
            emit("".join(rng.choice(alphabet) for _ in range(rng.randint(1, room))))
        elif op == 5:
            if scrolling or y < ROWS - 1:
                emit(rng.choice(["\n", "\r\n"]))
        elif op == 6:
            emit("\r")
        elif op == 7:
            emit("\x1b[%d;%dH" % (rng.randint(1, ROWS), rng.randint(1, COLUMNS)))
        elif op == 8:
            emit(rng.choice(["\x1b[H", "\x1b[%dH" % rng.randint(1, ROWS), "\x1b[%d;H" % rng.randint(1, ROWS)]))
        elif op == 9:
            direction = rng.choice("ABCD")
            limit = {"A": y, "B": ROWS - 1 - y, "C": COLUMNS - 1 - x, "D": COLUMNS}[direction]
            if limit <= 0:
                continue
            n = rng.randint(1, min(limit, 30))
            emit("\x1b[%s" % direction if n == 1 and rng.random() < 0.5 else "\x1b[%d%s" % (n, direction))
        elif op == 10:
            emit(rng.choice(["\x1b[K", "\x1b[2K", "\x1b[J", "\x1b[2J"]))
        elif op == 11:
            emit(rng.choice(["\x1b[P", "\x1b[%dP" % rng.randint(1, 12)]))
        elif op == 12:
            emit(rng.choice(["\x1b[M\r", "\x1b[%dM\r" % rng.randint(1, 4)]))
        elif op == 13:
            if not scrolling:
                emit("\x1b[L\r")
        elif op == 14:
            emit(rng.choice(["\x1b[1;31m", "\x1b[m", "\x1b[7;44m", "\x1b[0m", "\x1b[4;5m"]))
        elif op == 15:
            emit("\x08" * rng.randint(1, 3))
        else:
            if rng.random() < 0.5:
                emit("\x1b7")
            else:
                emit("\x1b7" + "\x1b[%d;%dH" % (rng.randint(1, ROWS), rng.randint(1, COLUMNS - 3)) + "ab\x1b8")
    return "".join(out), screen, out


def main():
    replay = sys.argv[1]
    failures = 0
    for case in range(CASES):
        rng = random.Random(1000 + case)
        data, screen, _ = generate(rng, scrolling=case % 2 == 0)
        expected = [line for line in screen.display]
        expected_cursor = "cursor %d %d" % (screen.cursor.x, screen.cursor.y)
        for chunk in (4096, 1, rng.randint(2, 64)):
            result = subprocess.run([replay, str(COLUMNS), str(ROWS), str(chunk)],
                                    input=data.encode("ascii"), capture_output=True, check=True)
            lines = result.stdout.decode("latin-1").split("\n")
            rows, cursor = lines[:ROWS], lines[ROWS]
            if rows != expected or cursor != expected_cursor:
                failures += 1
                print("case %d (chunk %d) differs; input %r" % (case, chunk, data))
                for y in range(ROWS):
                    if rows[y] != expected[y]:
                        print("  row %2d ours: %r" % (y, rows[y]))
                        print("  row %2d pyte: %r" % (y, expected[y]))
                print("  ours %s, pyte %s" % (cursor, expected_cursor))
                break
    if failures:
        print("%d of %d cases differ" % (failures, CASES))
        return 1
    print("%d cases agree with pyte" % CASES)
    return 0


if __name__ == "__main__":
    sys.exit(main())
