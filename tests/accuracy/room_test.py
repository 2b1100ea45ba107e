#!/usr/bin/env python3
"""Runs every reference value and exact value of tests/data/ref through the
real calculator at the largest number of fraction limbs its preset allows
(precision / 4; #FF: refuses one limb more), each in a run of its own:

    #FF:<8F>
    P.<expression>
    #X:

Standard output must be the banner, the prompts and the one listing line,
with nothing else printed (no "Prod-Rd", "prod_ovf", "((ovf))" or any other
notice), standard error must be empty and the exit status 0. The digits
printed must agree with the reference up to the shorter of the two (a
reference holds 100000 fraction digits, preset 5 prints 140000); an exact
value must print exactly (a fraction such as 2/3 as its truncated decimal
followed by the inexact mark "..").

    room_test.py BINARY PRESET [--timeout SECONDS] [--only LABEL,...]
Exit 0 when every case passes, 1 otherwise.
"""
import argparse
import os
import re
import subprocess
import sys
import time
from fractions import Fraction

REF = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "ref")
INEXACT = ".."


def rows(name):
    with open(os.path.join(REF, name)) as f:
        return [line.split() for line in f if line.strip() and not line.startswith("#")]


def run(binary, preset, script, timeout):
    """(stdout, stderr, status, seconds) of one run; status None on timeout."""
    start = time.monotonic()
    try:
        p = subprocess.run([binary, str(preset)], input=script.encode(), capture_output=True,
                           timeout=timeout)
    except subprocess.TimeoutExpired:
        return "", "", None, time.monotonic() - start
    return (p.stdout.decode("latin-1"), p.stderr.decode("latin-1"), p.returncode,
            time.monotonic() - start)


def split_banner(out):
    first, _, rest = out.partition("\n")
    return first + "\n", rest


def largest_limbs(binary, preset, timeout):
    """Precision / 4 from the banner, after checking #FF: takes it and no more."""
    out, err, status, _ = run(binary, preset, "#X:\n", timeout)
    m = re.search(r"\((\d+) digits,", out)
    if status != 0 or not m:
        sys.exit(f"cannot read the precision from the banner: {out[:200]!r} {err[:200]!r}")
    f = int(m.group(1)) // 8 // 4
    out, err, status, _ = run(binary, preset, f"#FF:{8 * f}\n#FF:{8 * f + 8}\n#X:\n", timeout)
    _, rest = split_banner(out)
    if not rest.startswith(f"? ? value_out_of_range: at most {8 * f} digits"):
        sys.exit(f"#FF:{8 * f} should be the largest setting accepted at preset {preset}; got {rest!r}")
    return f


def parse_plain(text):
    """(negative, whole digits without leading zeros, fraction digits) of a decimal."""
    negative = text.startswith("-")
    body = text.lstrip(" -")
    whole, _, frac = body.partition(".")
    return negative, whole.lstrip("0"), frac


def fraction_text(value, digits):
    """How the calculator lists an exact value at `digits` fraction digits."""
    v = Fraction(value)
    scaled, rest = divmod(abs(v.numerator) * 10 ** digits, v.denominator)
    whole, frac = divmod(scaled, 10 ** digits)
    frac = str(frac).rjust(digits, "0").rstrip("0")
    text = (str(whole) if whole else "") + ("." + frac if frac else "")
    if not text:
        return " 0"
    return ("-" if v < 0 else " ") + text + (INEXACT if rest else "")


def short(text, n=120):
    return text if len(text) <= n else text[:n] + f"... ({len(text)} characters)"


def check_listing(expr, out, err, status):
    """(listed value or None, what else was printed or None)."""
    if status is None:
        return None, "timed out"
    if status != 0:
        return None, f"exit status {status}; stderr {short(err)!r}"
    _, rest = split_banner(out)
    m = re.fullmatch(r"\? \? (.*?)" + re.escape(expr) + r"=([ -](\d*\.\d+|\d+)(\.\.)?) \n\? ", rest, re.S)
    if not m:
        return None, f"unexpected output {short(rest)!r}"
    value, notices = m.group(2), m.group(1)
    why = []
    if notices:
        why.append(f"{notices.count(chr(10))} lines of notices before the value, first {short(notices, 40)!r}")
    if err:
        why.append(f"standard error {short(err)!r}")
    return value, "; ".join(why) or None


def compare_digits(value, plain, negate, digits):
    """None when value agrees with the reference text up to the shorter, else why."""
    neg, whole, frac = parse_plain(value)
    want_neg, want_whole, want_frac = parse_plain(plain)
    if negate:
        want_neg = not want_neg
    if len(frac) > digits:
        return f"{len(frac)} fraction digits printed, more than the {digits} set"
    n = min(digits, len(want_frac))
    got = frac.ljust(n, "0")[:n]
    want = want_frac[:n]
    if not (whole or got.strip("0")):
        neg = want_neg = False  # zero has no sign
    if not (want_whole or want.strip("0")):
        want_neg = False
    if (neg, whole) != (want_neg, want_whole):
        return f"sign or integer part: got {short(value, 40)!r}, want {short(plain, 40)!r}"
    if got != want:
        k = next(i for i in range(n) if got[i] != want[i])
        return f"fraction digit {k + 1} of {n} differs: got ...{got[max(0, k - 10):k + 20]}, " \
               f"want ...{want[max(0, k - 10):k + 20]}"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("preset", type=int)
    parser.add_argument("--timeout", type=float, default=None,
                        help="seconds per run (default 120, 600 from preset 4 on)")
    parser.add_argument("--only", default="", help="comma-separated labels or expressions")
    args = parser.parse_args()
    if hasattr(sys, "set_int_max_str_digits"):
        sys.set_int_max_str_digits(0)  # exact values are written out to 140000 digits
    if os.path.exists(args.binary):
        args.binary = os.path.abspath(args.binary)  # "vantrel" names the file here, not one on PATH
    timeout = args.timeout or (600 if args.preset >= 4 else 120)
    only = set(filter(None, args.only.split(",")))

    values = rows("values.txt")
    exact = rows("exact.txt")
    if len(values) < 30 or len(exact) < 16:
        sys.exit("reference index files are missing or incomplete; run make_reference_fast.py")
    f = largest_limbs(args.binary, args.preset, timeout)
    digits = 8 * f
    print(f"preset {args.preset}: #FF:{digits} ({f} limbs)", flush=True)

    cases = [(label, expr, ref) for label, expr, ref in values]
    cases += [(expr, expr, "=" + value) for expr, value in exact]
    if only:
        cases = [c for c in cases if c[0] in only or c[1] in only]
    failures = 0
    for label, expr, ref in cases:
        out, err, status, seconds = run(args.binary, args.preset, f"#FF:{digits}\nP.{expr}\n#X:\n", timeout)
        value, why = check_listing(expr, out, err, status)
        if value is not None:
            if ref.startswith("="):
                want = fraction_text(ref[1:], digits)
                wrong = None if value == want else f"got {short(value, 60)!r}, want {short(want, 60)!r}"
            elif value.endswith(INEXACT):
                wrong = f"listed as a repeating fraction: {short(value, 60)!r}"
            else:
                with open(os.path.join(REF, ref.lstrip("-") + ".txt")) as fh:
                    plain = fh.readline().strip()
                wrong = compare_digits(value, plain, ref.startswith("-"), digits)
            why = "; ".join(filter(None, [why, wrong])) or None
        print(f"{'ok  ' if why is None else 'FAIL'} {expr:18} {seconds:7.1f} s" + (f"  {why}" if why else ""),
              flush=True)
        failures += why is not None
    print(f"{failures} of {len(cases)} failed" if failures else f"all {len(cases)} passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
