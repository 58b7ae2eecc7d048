#!/usr/bin/python3
"""Checks the library's spoken amounts against num2words.

Generates amounts over every magnitude up to 999 999 999 999.99, has the
library spell them (amount_text_dump), decodes its Windows-1251 output and
compares it with the expected text built from num2words's Russian words.

Deliberate difference: for a whole part of 0 the library says no number
word at all (" рублей, 50 коп."), where num2words would say "ноль".
"""
import random
import subprocess
import sys
from decimal import Decimal

from num2words import num2words


def currency_form(whole):
    if 11 <= whole % 100 <= 19:
        return "рублей"
    return {1: "рубль", 2: "рубля", 3: "рубля", 4: "рубля"}.get(whole % 10, "рублей")


def expected(amount):
    printed = "%.2f" % amount  # the same rounding as the library's print
    whole, kopecks = printed.split(".")
    whole = int(whole)
    words = ""
    if whole:
        words = num2words(whole, lang="ru")
        words = words[0].upper() + words[1:]
    return "%s %s, %s коп." % (words, currency_form(whole), kopecks)


def amounts():
    rng = random.Random(20261206)
    out = []
    for digits in range(1, 13):
        for _ in range(150):
            whole = rng.randrange(10 ** (digits - 1), 10 ** digits)
            out.append(whole + rng.randrange(100) / 100)
    # Numbers built of few non-zero digits: empty groups, teens and
    # round tens at every position.
    for _ in range(1500):
        digits = ["0"] * 12
        for _ in range(rng.randrange(1, 4)):
            digits[rng.randrange(12)] = str(rng.randrange(1, 10))
        if rng.random() < 0.5:
            pos = rng.choice([0, 3, 6, 9])
            digits[pos + 1] = "1"
        whole = int("".join(digits))
        out.append(float(whole) if whole else 0.25)
    out += [1, 2, 5, 11, 21, 1000, 21000, 1012000, 123456789012.34, 999999999999.99, 0.5, 10.01]
    return out


def main():
    tool = sys.argv[1]
    values = amounts()
    feed = "".join(repr(float(v)) + "\n" for v in values).encode()
    result = subprocess.run([tool], input=feed, capture_output=True, check=True)
    lines = result.stdout.split(b"\n")
    failures = 0
    for value, raw in zip(values, lines):
        got = raw.decode("cp1251")
        want = expected(float(value))
        if got != want:
            failures += 1
            if failures <= 20:
                print("%r:\n  got  %r\n  want %r" % (value, got, want))
    print("%d amounts checked, %d differ" % (len(values), failures))
    return 1 if failures or len(lines) < len(values) else 0


if __name__ == "__main__":
    sys.exit(main())
