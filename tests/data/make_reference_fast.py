#!/usr/bin/env python3
"""Writes the reference digits of the accuracy tests into tests/data/ref/.

Each file ref/NAME.txt holds one value as plain decimal text ("3.14159...",
"0.50636...", "-1.20397...") with DIGITS digits after the point, truncated
toward zero (never rounded), and a newline. The digits come from mpmath at a
working precision GUARD digits above DIGITS, so they do not depend on the
calculator in any way.

Two index files are written next to them, read by tests/unit/accuracy_test.cpp
and tests/accuracy/room_test.py:

  values.txt  LABEL EXPRESSION REFERENCE, one case a line: the calculator
              expression and the file holding its digits; a reference written
              "-NAME" is the negative of NAME.txt (truncation toward zero
              commutes with the sign, so the digits are the same). Cases that
              share a file are evaluated separately here and must agree.
  exact.txt   EXPRESSION VALUE: expressions whose value is exactly a short
              decimal ("0.5", "-1", "9") or a fraction ("2/3"), checked here
              against mpmath as well.

A value whose digits just below the truncation point are all zeros or all
nines is refused, since the truncation could then depend on the last bits.

    python3 make_reference_fast.py [--digits N] [--verify] [--only LABEL,...] [--out DIR]

(--out writes somewhere other than tests/data/ref, for trial runs with fewer
digits; the tests need the full 100000.)

--verify confirms every value by a second route at a higher working
precision: an inverse function (exp for a logarithm, asin for a sine, x^n
for an n-th root, ...) must put the value inside the truncation interval, or
another formula (Machin's for pi) must give the same digits. The files are
compared with the overlapping older data in tests/data/*.txt (written by
make_reference.py) in any case.
"""
import argparse
import os
import sys
import time
from fractions import Fraction

from mpmath import mp, mpf

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "ref")
GUARD = 50          # working digits above the digits written
BOUNDARY = 30       # digits below the cut that must not be all 0 or all 9


def q(p, r):
    """The rational p/r at the working precision."""
    return mpf(p) / r


def deg(p, r):
    """p/r degrees in radians."""
    return mpf(p) / r * mp.pi / 180


# label, calculator expression, reference file ("-" = negative of it), value,
# and a second route to the same digits for --verify (see check_value):
# ("inverse", g, c) when g is monotonic near the value and g(value) = c, or
# ("formula", h) for another formula of the value.
VALUES = [
    ("pi", "PI", "pi", lambda: +mp.pi,
     ("formula", lambda: 16 * mp.atan(q(1, 5)) - 4 * mp.atan(q(1, 239)))),
    ("e", "EXP", "e", lambda: +mp.e, ("inverse", mp.log, lambda: mpf(1))),
    ("sqrt2", "SQR2", "sqrt2", lambda: mp.sqrt(2), ("inverse", lambda x: x**2, lambda: mpf(2))),
    ("sqrt3", "SQR(3)", "sqrt3", lambda: mp.sqrt(3), ("inverse", lambda x: x**2, lambda: mpf(3))),
    ("cbrt2", "2^(1/3)", "cbrt2", lambda: mp.cbrt(2), ("inverse", lambda x: x**3, lambda: mpf(2))),
    # Not mp.root(2, 137): at 100000 digits it goes wrong near digit 99734.
    ("pow2_1_137", "2^(1/137)", "pow2_1_137", lambda: mp.exp(mp.log(2) / 137),
     ("inverse", lambda x: x**137, lambda: mpf(2))),
    ("pow3_2_7", "3^(2/7)", "pow3_2_7", lambda: mp.exp(2 * mp.log(3) / 7),
     ("inverse", lambda x: x**7, lambda: mpf(9))),
    ("pow2_pi", "2^PI", "pow2_pi", lambda: mp.exp(mp.pi * mp.log(2)),
     ("inverse", lambda x: mp.log(x) / mp.log(2), lambda: +mp.pi)),
    ("pow10_0_5", "10^0.5", "pow10_0_5", lambda: mp.exp(mp.log(10) / 2),
     ("inverse", lambda x: x**2, lambda: mpf(10))),
    ("ln2", "LN(2)", "ln2", lambda: mp.log(2), ("inverse", mp.exp, lambda: mpf(2))),
    ("ln10", "LN(10)", "ln10", lambda: mp.log(10), ("inverse", mp.exp, lambda: mpf(10))),
    ("ln1_5", "LN(1.5)", "ln1_5", lambda: mp.log(q(3, 2)), ("inverse", mp.exp, lambda: q(3, 2))),
    ("ln1_0000001", "LN(1.0000001)", "ln1_0000001", lambda: mp.log1p(q(1, 10**7)),
     ("inverse", mp.exp, lambda: q(10000001, 10**7))),
    ("ln1_9999999", "LN(1.9999999)", "ln1_9999999", lambda: mp.log(q(19999999, 10**7)),
     ("inverse", mp.exp, lambda: q(19999999, 10**7))),
    ("ln0_3", "LN(0.3)", "ln0_3", lambda: mp.log(q(3, 10)), ("inverse", mp.exp, lambda: q(3, 10))),
    ("log10_7", "LOG10(7)", "log10_7", lambda: mp.log(7) / mp.log(10),
     ("inverse", lambda x: mp.exp(x * mp.log(10)), lambda: mpf(7))),
    ("log2_3", "LN2(3)", "log2_3", lambda: mp.log(3) / mp.log(2),
     ("inverse", lambda x: mp.exp(x * mp.log(2)), lambda: mpf(3))),
    ("ln3", "LN(3)", "ln3", lambda: mp.log(3), ("inverse", mp.exp, lambda: mpf(3))),
    ("ln1_3", "LN(1/3)", "-ln3", lambda: mp.log(q(1, 3)), ("inverse", mp.exp, lambda: q(1, 3))),
    ("ln7", "LN(7)", "ln7", lambda: mp.log(7), ("inverse", mp.exp, lambda: mpf(7))),
    # 4375/4374 = 5^4 7 / (2 3^7): the logarithms of the primes cancel to 2.3e-4.
    ("ln4375_4374", "LN(4375/4374)", "ln4375_4374", lambda: mp.log1p(q(1, 4374)),
     ("inverse", mp.exp, lambda: q(4375, 4374))),
    ("ln11_7", "LN(11/7)", "ln11_7", lambda: mp.log(q(11, 7)), ("inverse", mp.exp, lambda: q(11, 7))),
    ("pow2_mpi", "2^(-PI)", "pow2_mpi", lambda: mp.exp(-mp.pi * mp.log(2)),
     ("inverse", lambda x: -mp.log(x) / mp.log(2), lambda: +mp.pi)),
    ("sin_1rad", "SINR(1)", "sin_1rad", lambda: mp.sin(1), ("inverse", mp.asin, lambda: mpf(1))),
    ("cos_1rad", "COSR(1)", "cos_1rad", lambda: mp.cos(1), ("inverse", mp.acos, lambda: mpf(1))),
    ("tan_1rad", "TANR(1)", "tan_1rad", lambda: mp.tan(1), ("inverse", mp.atan, lambda: mpf(1))),
    # 100 rad lies 16 whole turns above 100 - 32 pi, inside the range of asin.
    ("sin_100rad", "SINR(100)", "sin_100rad", lambda: mp.sin(100),
     ("inverse", mp.asin, lambda: 100 - 32 * mp.pi)),
    ("sin_7deg", "SIN(7)", "sin_7deg", lambda: mp.sin(deg(7, 1)), ("inverse", mp.asin, lambda: deg(7, 1))),
    ("sin_15deg", "SIN(15)", "sin_15deg", lambda: mp.sin(deg(15, 1)),
     ("formula", lambda: (mp.sqrt(6) - mp.sqrt(2)) / 4)),
    ("cos_40deg", "COS(40)", "cos_40deg", lambda: mp.cos(deg(40, 1)), ("inverse", mp.acos, lambda: deg(40, 1))),
    ("sin_44_9999deg", "SIN(44.9999)", "sin_44_9999deg", lambda: mp.sin(deg(449999, 10**4)),
     ("inverse", mp.asin, lambda: deg(449999, 10**4))),
    # cos(45.0001 deg) = sin(44.9999 deg): two routes to one value.
    ("cos_45_0001deg", "COS(45.0001)", "sin_44_9999deg", lambda: mp.cos(deg(450001, 10**4)),
     ("inverse", mp.acos, lambda: deg(450001, 10**4))),
    ("cos_89_9999deg", "COS(89.9999)", "cos_89_9999deg", lambda: mp.cos(deg(899999, 10**4)),
     ("inverse", mp.acos, lambda: deg(899999, 10**4))),
    ("atan_1_3", "ATAN(1/3)", "atan_1_3", lambda: mp.atan(q(1, 3)), ("inverse", mp.tan, lambda: q(1, 3))),
    ("atan_0_9999999", "ATAN(0.9999999)", "atan_0_9999999", lambda: mp.atan(q(9999999, 10**7)),
     ("inverse", mp.tan, lambda: q(9999999, 10**7))),
    ("atan_m0_9999999", "ATAN(-0.9999999)", "-atan_0_9999999", lambda: mp.atan(q(-9999999, 10**7)),
     ("inverse", mp.tan, lambda: q(-9999999, 10**7))),
    ("atan_1", "ATAN(1)", "atan_1", lambda: mp.atan(1),
     ("formula", lambda: 4 * mp.atan(q(1, 5)) - mp.atan(q(1, 239)))),
    ("atan_2", "ATAN(2)", "atan_2", lambda: mp.atan(2), ("inverse", mp.tan, lambda: mpf(2))),
    # Inverse sine and cosine: special arguments from the cached pi, the
    # ends of the domain and a tiny argument.
    ("asin_1", "ASIN(1)", "half_pi", lambda: mp.pi / 2, ("formula", lambda: 2 * mp.atan(1))),
    ("acos_0", "ACOS(0)", "half_pi", lambda: mp.pi / 2, ("formula", lambda: mp.acos(0))),
    ("asin_m1", "ASIN(-1)", "-half_pi", lambda: -mp.pi / 2, ("formula", lambda: -2 * mp.atan(1))),
    ("acos_m1", "ACOS(-1)", "pi", lambda: +mp.pi, ("formula", lambda: 4 * mp.atan(1))),
    ("asin_1_2", "ASIN(1/2)", "pi_6", lambda: mp.pi / 6, ("inverse", mp.sin, lambda: q(1, 2))),
    ("acos_1_2", "ACOS(0.5)", "pi_3", lambda: mp.pi / 3, ("inverse", mp.cos, lambda: q(1, 2))),
    ("acos_m1_2", "ACOS(-1/2)", "two_pi_3", lambda: 2 * mp.pi / 3, ("inverse", mp.cos, lambda: q(-1, 2))),
    ("asin_1_3", "ASIN(1/3)", "asin_1_3", lambda: mp.asin(q(1, 3)), ("inverse", mp.sin, lambda: q(1, 3))),
    ("acos_1_3", "ACOS(1/3)", "acos_1_3", lambda: mp.acos(q(1, 3)), ("inverse", mp.cos, lambda: q(1, 3))),
    ("asin_0_9999999", "ASIN(0.9999999)", "asin_0_9999999", lambda: mp.asin(q(9999999, 10**7)),
     ("inverse", mp.sin, lambda: q(9999999, 10**7))),
    ("asin_m0_9999999", "ASIN(-0.9999999)", "-asin_0_9999999", lambda: mp.asin(q(-9999999, 10**7)),
     ("inverse", mp.sin, lambda: q(-9999999, 10**7))),
    ("acos_0_9999999", "ACOS(0.9999999)", "acos_0_9999999", lambda: mp.acos(q(9999999, 10**7)),
     ("inverse", mp.cos, lambda: q(9999999, 10**7))),
    ("acos_m0_9999999", "ACOS(-0.9999999)", "acos_m0_9999999", lambda: mp.acos(q(-9999999, 10**7)),
     ("inverse", mp.cos, lambda: q(-9999999, 10**7))),
    ("asin_m1e_50", "ASIN(-1/10^50)", "asin_m1e_50", lambda: mp.asin(q(-1, 10**50)),
     ("inverse", mp.sin, lambda: q(-1, 10**50))),
    # Hyperbolic functions: small, tiny, large arguments and tanh near 1.
    ("sinh_1", "SINH(1)", "sinh_1", lambda: mp.sinh(1), ("inverse", mp.asinh, lambda: mpf(1))),
    ("cosh_1", "COSH(1)", "cosh_1", lambda: mp.cosh(1), ("inverse", mp.acosh, lambda: mpf(1))),
    ("tanh_1", "TANH(1)", "tanh_1", lambda: mp.tanh(1), ("inverse", mp.atanh, lambda: mpf(1))),
    ("tanh_m0_5", "TANH(-0.5)", "-tanh_0_5", lambda: mp.tanh(q(-1, 2)), ("inverse", mp.atanh, lambda: q(-1, 2))),
    ("tanh_20", "TANH(20)", "tanh_20", lambda: mp.tanh(20), ("formula", lambda: 1 - 2 / (mp.exp(40) + 1))),
    ("sinh_m1e_50", "SINH(-1/10^50)", "sinh_m1e_50", lambda: mp.sinh(q(-1, 10**50)),
     ("inverse", mp.asinh, lambda: q(-1, 10**50))),
    ("cosh_1e_30", "COSH(1/10^30)", "cosh_1e_30", lambda: mp.cosh(q(1, 10**30)),
     ("formula", lambda: 1 + 2 * mp.sinh(q(1, 2 * 10**30)) ** 2)),
    ("sinh_30", "SINH(30)", "sinh_30", lambda: mp.sinh(30), ("inverse", mp.asinh, lambda: mpf(30))),
    ("cosh_m100", "COSH(-100)", "cosh_100", lambda: mp.cosh(-100), ("inverse", mp.acosh, lambda: mpf(100))),
    # Inverse hyperbolic functions: near the ends of their domains, tiny and
    # large arguments and ratios.
    ("asinh_1", "ASINH(1)", "asinh_1", lambda: mp.asinh(1), ("inverse", mp.sinh, lambda: mpf(1))),
    ("asinh_m1e_40", "ASINH(-1/10^40)", "asinh_m1e_40", lambda: mp.asinh(q(-1, 10**40)),
     ("inverse", mp.sinh, lambda: q(-1, 10**40))),
    ("asinh_1e20", "ASINH(10^20)", "asinh_1e20", lambda: mp.asinh(mpf(10)**20),
     ("inverse", mp.sinh, lambda: mpf(10)**20)),
    ("acosh_2", "ACOSH(2)", "acosh_2", lambda: mp.acosh(2), ("inverse", mp.cosh, lambda: mpf(2))),
    ("acosh_1_0000001", "ACOSH(1.0000001)", "acosh_1_0000001", lambda: mp.acosh(q(10000001, 10**7)),
     ("inverse", mp.cosh, lambda: q(10000001, 10**7))),
    ("acosh_1e30", "ACOSH(10^30)", "acosh_1e30", lambda: mp.acosh(mpf(10)**30),
     ("inverse", mp.cosh, lambda: mpf(10)**30)),
    ("atanh_1_3", "ATANH(1/3)", "atanh_1_3", lambda: mp.atanh(q(1, 3)), ("formula", lambda: mp.log(2) / 2)),
    ("atanh_1_10", "ATANH(0.1)", "atanh_1_10", lambda: mp.atanh(q(1, 10)), ("inverse", mp.tanh, lambda: q(1, 10))),
    ("atanh_5_7", "ATANH(5/7)", "atanh_5_7", lambda: mp.atanh(q(5, 7)), ("inverse", mp.tanh, lambda: q(5, 7))),
    ("atanh_0_9999999", "ATANH(0.9999999)", "atanh_0_9999999", lambda: mp.atanh(q(9999999, 10**7)),
     ("inverse", mp.tanh, lambda: q(9999999, 10**7))),
    ("atanh_m0_9999999", "ATANH(-0.9999999)", "-atanh_0_9999999", lambda: mp.atanh(q(-9999999, 10**7)),
     ("inverse", mp.tanh, lambda: q(-9999999, 10**7))),
]

# Expressions with an exact value: a short decimal, or a fraction p/r.
EXACT = [
    ("SIN(30)", "0.5", lambda: mp.sin(deg(30, 1))),
    ("SIN(150)", "0.5", lambda: mp.sin(deg(150, 1))),
    ("SIN(390)", "0.5", lambda: mp.sin(deg(390, 1))),
    ("SINP(1/6)", "0.5", lambda: mp.sin(mp.pi / 6)),
    ("SIN(210)", "-0.5", lambda: mp.sin(deg(210, 1))),
    ("SINR(PI/6)", "0.5", lambda: mp.sin(mp.pi / 6)),
    ("COS(90)", "0", lambda: mp.cos(deg(90, 1))),
    ("COS(0)", "1", lambda: mp.cos(0)),
    ("COS(180)", "-1", lambda: mp.cos(deg(180, 1))),
    ("LOG10(1000)", "3", lambda: mp.log(1000) / mp.log(10)),
    ("LN2(8)", "3", lambda: mp.log(8) / mp.log(2)),
    ("SQR(4)", "2", lambda: mp.sqrt(4)),
    ("SQR(1/4)", "0.5", lambda: mp.sqrt(q(1, 4))),
    ("8^(1/3)", "2", lambda: mp.cbrt(8)),
    ("(4/9)^(1/2)", "2/3", lambda: mp.sqrt(q(4, 9))),
    ("27^(2/3)", "9", lambda: mp.cbrt(27) ** 2),
    ("ASIN(0)", "0", lambda: mp.asin(0)),
    ("ACOS(1)", "0", lambda: mp.acos(1)),
    ("SINH(0)", "0", lambda: mp.sinh(0)),
    ("COSH(0)", "1", lambda: mp.cosh(0)),
    ("TANH(0)", "0", lambda: mp.tanh(0)),
    ("ASINH(0)", "0", lambda: mp.asinh(0)),
    ("ACOSH(1)", "0", lambda: mp.acosh(1)),
    ("ATANH(0)", "0", lambda: mp.atanh(0)),
]


def truncated_digits(x, digits):
    """(negative, integer part, fraction digits) of x truncated toward zero."""
    negative = x < 0
    scaled = abs(x) * mpf(10) ** digits
    whole = int(mp.floor(scaled))
    rest = scaled - whole
    margin = mpf(10) ** -BOUNDARY
    if rest < margin or rest > 1 - margin:
        raise SystemExit("the digits below the cut are all 0 or all 9: the truncation is not safe")
    text = str(whole).rjust(digits + 1, "0")
    return negative, text[:-digits], text[-digits:]


def plain(negative, whole, frac):
    return ("-" if negative else "") + whole + "." + frac


def compute(fn, digits, guard):
    mp.dps = digits + guard
    return truncated_digits(fn(), digits)


def check_value(label, check, digits, truncated):
    """Confirms the truncated digits by a second route at a higher precision:
    an inverse g must take the two ends of the truncation interval
    [Y, Y + 1] * 10^-digits to either side of c; another formula must give
    the same truncated digits."""
    kind = check[0]
    if kind == "formula":
        if compute(check[1], digits, 2 * GUARD + 10) != truncated:
            raise SystemExit(f"{label}: the second formula gives other digits")
        return
    g, c = check[1], check[2]
    mp.dps = digits + 2 * GUARD + 10
    negative, whole, frac = truncated
    y = int(whole + frac)
    sign = -1 if negative else 1
    ends = [sign * mpf(y) / mpf(10) ** digits, sign * mpf(y + 1) / mpf(10) ** digits]
    lo, hi = sorted(g(x) for x in ends)
    if not lo < c() < hi:
        raise SystemExit(f"{label}: the inverse does not place the value between the truncation ends")


def write_indexes():
    with open(os.path.join(OUT, "values.txt"), "w") as f:
        f.write("# Written by make_reference_fast.py: label, calculator expression, reference file.\n")
        for label, expr, ref, _, _ in VALUES:
            f.write(f"{label} {expr} {ref}\n")
    with open(os.path.join(OUT, "exact.txt"), "w") as f:
        f.write("# Written by make_reference_fast.py: calculator expression, exact value.\n")
        for expr, value, _ in EXACT:
            f.write(f"{expr} {value}\n")


def check_exact():
    mp.dps = 200
    for expr, value, fn in EXACT:
        want = mpf(Fraction(value).numerator) / Fraction(value).denominator
        if abs(fn() - want) > mpf(10) ** -190:
            raise SystemExit(f"{expr} is not {value}")


def compare_with_older_data(name, frac_digits, negative, whole):
    """Digits in common with tests/data/NAME.txt, or None without that file."""
    path = os.path.join(HERE, name + ".txt")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        old = f.readline().strip()
    sign = old.startswith("-")
    old_whole, old_frac = old.lstrip("-").split(".")
    if sign != negative or old_whole != whole:
        raise SystemExit(f"{name}: sign or integer part differs from tests/data/{name}.txt")
    n = min(len(old_frac), len(frac_digits))
    if old_frac[:n] != frac_digits[:n]:
        k = next(i for i in range(n) if old_frac[i] != frac_digits[i])
        raise SystemExit(f"{name}: fraction digit {k + 1} differs from tests/data/{name}.txt")
    return n


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--digits", type=int, default=100000)
    parser.add_argument("--verify", action="store_true")
    parser.add_argument("--only", default="", help="comma-separated labels")
    parser.add_argument("--out", default=os.path.join(HERE, "ref"))
    args = parser.parse_args()
    global OUT
    OUT = args.out
    if hasattr(sys, "set_int_max_str_digits"):
        sys.set_int_max_str_digits(0)
    os.makedirs(OUT, exist_ok=True)
    only = set(filter(None, args.only.split(",")))
    check_exact()
    write_indexes()

    start = time.time()
    by_file = {}
    for label, expr, ref, fn, check in VALUES:
        if only and label not in only:
            continue
        t = time.time()
        negative, whole, frac = compute(fn, args.digits, GUARD)
        if args.verify:
            check_value(label, check, args.digits, (negative, whole, frac))
        name = ref.lstrip("-")
        if ref.startswith("-"):
            negative = not negative
        if name in by_file:
            if by_file[name] != (negative, whole, frac):
                raise SystemExit(f"{label} ({expr}) disagrees with {name}.txt")
            note = f"agrees with {name}"
        else:
            by_file[name] = (negative, whole, frac)
            with open(os.path.join(OUT, name + ".txt"), "w") as f:
                f.write(plain(negative, whole, frac) + "\n")
            common = compare_with_older_data(name, frac, negative, whole)
            note = f"wrote {name}.txt" + (f", {common} digits as in tests/data" if common else "")
        print(f"{label:18} {expr:18} {time.time() - t:7.1f} s  {note}", flush=True)
    print(f"{len(by_file)} files in {time.time() - start:.0f} s")


if __name__ == "__main__":
    main()
