#!/usr/bin/env python3
"""Writes tests/data/expressions.txt: whole expressions whose listings must
show the true value truncated toward zero, with the reference listings made
by mpmath at a working precision far above the places asked for.

Each line is  PRESET|PLACES|EXPRESSION|LISTING.  Expressions whose digits
just below the cut are all 0 or all 9 are left out unless their value is
exact (listed as such), since their truncation needs a closer look.

    python3 make_expression_reference.py [--out FILE]
"""
import argparse
import os
import sys

import mpmath

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from expressions import listing, near_cut, value_of  # noqa: E402

# Expressions whose digits once came out wrong, listed at 32, 200 and 1000
# places (preset 1, whose room holds 1000 places with guard limbs to spare).
CASES = [
    "SQR2*SQR3",
    "EXP^20",
    "1/(PI-3.14159265358979)",
    "10^300/7^340/SQR2",
    "SQR2-1.41421356237309504880168872",
    "1/(SQR2-1.41421356237309504880168872)",
    "SINR(1/(10^10))",
    "COSR(1/(10^17))",
    "SINR(PI/180)*10^15",
    "EXP^100",
    "LN(2)*LN(3)/LN(5)",
    "(SQR2+SQR3)^7-SQR(5)",
    "ATAN(1/7)*3-PI/8",
    "2^PI-PI^2",
    "(1+1/10^20)^(10^6)",
    "SINH(1/10^30)*10^30-1",
    "TANH(20)-1",
    "ACOSH(1+1/10^20)*10^10",
    "ATANH(1-SQR2/10^20)",
    "ASIN(1-1/(PI*10^25))",
    "ACOS(SQR3/2)*6",
]
# Values exactly on a boundary, reached through inexact steps.
EXACT = [
    ("SQR2^2", " 2"),
    ("(3^(1/3))^3", " 3"),
    ("SINR(2)^2+COSR(2)^2", " 1"),
    ("4*ATAN(1/5)-ATAN(1/239)-PI/4", " 0"),
    ("SQR(SQR(SQR(2)))^8", " 2"),
    ("ASIN(SQR2/2)*4-PI", " 0"),
    ("TANH(ATANH(1/5))", " .2"),
    ("COSH(SQR2)^2-SINH(SQR2)^2", " 1"),
]
# Loops, whose values mpmath gets from their own sums and products.
LOOPS = [
    ("ITG(K,1,100,SQR(K))", lambda: mpmath.fsum(mpmath.sqrt(k) for k in range(1, 101))),
    ("PRD(K,1,20,1+1/SQR(K))", lambda: mpmath.fprod(1 + 1 / mpmath.sqrt(k) for k in range(1, 21))),
]
# Settings of their own.
SPECIAL = [
    (0, 24, "SQR(1/10^25)"),
    (0, 24, "EXP^100"),
    (1, 400, "(-0.2959371298)^227"),
    (1, 400, "(-0.23424398)^(-781)"),
    (0, 32, "0.00000000000000000000000000002358"),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default=os.path.join(here, "..", "data", "expressions.txt"))
    args = parser.parse_args()
    rows = []
    for places in (32, 200, 1000):
        mpmath.mp.dps = 3 * places + 400
        for expr in CASES:
            v = value_of(expr)
            if near_cut(v, places):
                print("left out (near a cut):", expr, places)
                continue
            rows.append((1, places, expr, listing(v, places)))
        for expr, text in EXACT:
            rows.append((1, places, expr, text))
        for expr, value in LOOPS:
            rows.append((1, places, expr, listing(value(), places)))
    for preset, places, expr in SPECIAL:
        mpmath.mp.dps = 3 * places + 400
        rows.append((preset, places, expr, listing(value_of(expr), places)))
    with open(args.out, "w") as f:
        for row in rows:
            f.write("%d|%d|%s|%s\n" % row)
    print("wrote", len(rows), "cases to", args.out)


if __name__ == "__main__":
    main()
