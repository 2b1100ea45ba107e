#!/usr/bin/env python3
"""Writes the reference values used by the series accuracy tests.

Each file NAME.txt holds one value as plain decimal text with DIGITS digits
after the point (truncated, not rounded). Everything is computed with
Python's own decimal module at a working precision well above DIGITS, so
the data does not depend on the calculator in any way.

    python3 make_reference.py [DIGITS]      (default 10100)
"""
import os
import sys
from decimal import Decimal, getcontext, ROUND_DOWN

DIGITS = int(sys.argv[1]) if len(sys.argv) > 1 else 10100
getcontext().prec = DIGITS + 60
HERE = os.path.dirname(os.path.abspath(__file__))


def atan_small(x):
    # arctan x = sum (-1)^k x^(2k+1)/(2k+1), for |x| <= 1/5 or so
    eps = Decimal(10) ** -(DIGITS + 50)
    x2 = x * x
    term = x
    total = Decimal(0)
    k = 0
    while abs(term) > eps:
        total += term / (2 * k + 1) if k % 2 == 0 else -term / (2 * k + 1)
        term *= x2
        k += 1
    return total


def pi():
    # Machin: pi = 16 atan(1/5) - 4 atan(1/239)
    return 16 * atan_small(Decimal(1) / 5) - 4 * atan_small(Decimal(1) / 239)


PI = pi()


def atan(x):
    # Halve the argument until it is small: atan x = 2 atan(x / (1 + sqrt(1 + x^2)))
    if x < 0:
        return -atan(-x)
    doublings = 0
    while x > Decimal("0.1"):
        x = x / (1 + (1 + x * x).sqrt())
        doublings += 1
    return atan_small(x) * (2 ** doublings)


def sin_cos(x):
    # Taylor series on x / 2^8, then eight double-angle steps
    eps = Decimal(10) ** -(DIGITS + 50)
    y = x / 256
    s = Decimal(0)
    term = y
    k = 1
    while abs(term) > eps:
        s += term
        term = -term * y * y / ((k + 1) * (k + 2))
        k += 2
    c = (1 - s * s).sqrt()
    for _ in range(8):
        s, c = 2 * s * c, c * c - s * s
    return s, c


def write(name, value):
    q = Decimal(1).scaleb(-DIGITS)
    text = str(value.quantize(q, rounding=ROUND_DOWN))
    with open(os.path.join(HERE, name + ".txt"), "w") as f:
        f.write(text + "\n")


def main():
    one = Decimal(1)
    write("pi", PI)
    write("e", one.exp())
    write("sqrt2", Decimal(2).sqrt())
    write("sqrt3", Decimal(3).sqrt())
    write("ln2", Decimal(2).ln())
    write("ln10", Decimal(10).ln())
    write("ln1_5", Decimal("1.5").ln())
    write("ln1_99", Decimal("1.99").ln())
    s1, c1 = sin_cos(one)
    write("sin_1rad", s1)
    write("cos_1rad", c1)
    s15, c15 = sin_cos(PI / 12)
    write("sin_15deg", s15)
    write("cos_15deg", c15)
    s, _ = sin_cos(Decimal("0.1234567") * PI / 180)
    write("sin_0_1234567deg", s)
    _, c = sin_cos(Decimal(40) * PI / 180)
    write("cos_40deg", c)
    write("atan_2", atan(Decimal(2)))
    write("atan_half", atan(Decimal("0.5")))
    write("atan_m0_9", atan(Decimal("-0.9")))


if __name__ == "__main__":
    main()
