#!/usr/bin/python3
# Checks the library's spoken amounts against num2words.
#
# Generates amounts over every magnitude up to 999 999 999 999.99, has the
# library spell them (amount_text_dump), decodes its Windows-1251 output and
# compares it with the text built from num2words's Russian words. Then spells
# them again in a locale with a decimal comma, which must change nothing.
#
# Deliberate differences: for a whole part of 0 the library says no number
# word (" рублей, 50 коп."), where num2words would say "ноль"; a negative
# amount's sign becomes a space before lower-case words; an amount of zero,
# or one whose whole part with its sign takes more than twelve characters,
# has no text.
import math
import os
import random
import subprocess
import sys
import tempfile

from num2words import num2words


def currency_form(whole):
    if 11 <= whole % 100 <= 19:
        return "рублей"
    return {1: "рубль", 2: "рубля", 3: "рубля", 4: "рубля"}.get(whole % 10, "рублей")


def expected(amount):
    printed = "%.2f" % amount  # the same rounding as the library's print
    if amount == 0 or not math.isfinite(amount) or len(printed.split(".")[0]) > 12:
        return ""
    whole, kopecks = printed.lstrip("-").split(".")
    whole = int(whole)
    words = num2words(whole, lang="ru") if whole else ""
    words = " " + words if amount < 0 else words[:1].upper() + words[1:]
    return "%s %s, %s коп." % (words, currency_form(whole), kopecks)


def amounts():
    rng = random.Random(20261206)
    out = [rng.randrange(10 ** (digits - 1), 10 ** digits) + rng.randrange(100) / 100
           for digits in range(1, 13) for _ in range(150)]
    # Numbers built of few non-zero digits: empty groups, teens and
    # round tens at every position.
    for _ in range(1500):
        whole = sum(rng.randrange(1, 10) * 10 ** rng.randrange(12) for _ in range(rng.randrange(4)))
        whole += 10 ** rng.choice([1, 4, 7, 10]) if rng.random() < 0.5 else 0
        out.append(whole or 0.25)
    return out + [1, 21000, 1012000, 999999999999.99, 0.5, 0.999, 1e-300, -5, -15, -7.05,
                  -99999999999, 0, -0.0, 1e12, 999999999999.999, -999999999999, 1e300, -math.inf,
                  math.nan]


def spell(tool, values, env):
    feed = "".join(repr(float(v)) + "\n" for v in values).encode()
    out = subprocess.run([tool], input=feed, capture_output=True, check=True, env=env).stdout
    probe, *lines = out.split(b"\n")
    return probe, [line.decode("cp1251") for line in lines[:len(values)]]


def comma_locale(directory):
    # A locale whose decimal point is a comma, made with localedef.
    with open(os.path.join(directory, "comma.src"), "w") as source:
        source.write('LC_CTYPE\ncopy "POSIX"\nEND LC_CTYPE\nLC_NUMERIC\ndecimal_point ","\n'
                     'thousands_sep ""\ngrouping -1\nEND LC_NUMERIC\n')
    subprocess.run(["localedef", "-c", "-f", "UTF-8", "-i", source.name,
                    os.path.join(directory, "comma.UTF-8")], capture_output=True)
    env = {k: v for k, v in os.environ.items() if k != "LC_ALL"}
    return dict(env, LOCPATH=directory, LC_NUMERIC="comma.UTF-8")


def main():
    tool = sys.argv[1]
    values = amounts()
    _, got = spell(tool, values, dict(os.environ, LC_ALL="C"))
    differ = [(v, text, expected(v)) for v, text in zip(values, got) if text != expected(v)]
    for difference in differ[:20]:
        print("%r:\n  got  %r\n  want %r" % difference)
    print("%d amounts checked, %d differ" % (len(values), len(differ)))
    failures = len(differ)
    with tempfile.TemporaryDirectory() as directory:
        probe, in_comma = spell(tool, values, comma_locale(directory))
    if probe != b"0,50":
        print("no locale with a decimal comma could be made: %r" % probe)
    elif in_comma != got:
        failures += 1
        print("a decimal comma in the caller's locale changes the texts")
    return 1 if failures or len(got) < len(values) else 0


if __name__ == "__main__":
    sys.exit(main())
