#!/usr/bin/env python3
"""Every printed digit of whole expressions: the listings of
tests/data/expressions.txt (reference digits made by mpmath, see
make_expression_reference.py), then random expression trees listed at two
precisions (the longer listing truncated to the shorter must equal it) and,
when mpmath is installed, against mpmath.

    expression_test.py BINARY [--seed N] [--count N]

The seed is printed; pass it back with --seed to repeat a run."""
import argparse
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
try:
    import mpmath

    from expressions import listing, near_cut, value_of
except ImportError:  # the consistency test runs without the reference library
    mpmath = None

HERE = os.path.dirname(os.path.abspath(__file__))


def run(binary, preset, lines):
    """Runs the lines; returns {expression: (messages, listing)} for every
    line "P.expression", the messages being any other text printed since the
    previous listing."""
    text = "\n".join(lines) + "\n"
    out = subprocess.run([binary, str(preset)], input=text, capture_output=True, text=True, timeout=600).stdout
    wanted = [line[2:] for line in lines if line.startswith("P.")]
    result = {}
    pending = []
    k = 0
    for line in out.split("\n"):
        while line.startswith("? "):
            line = line[2:]
        if not line.strip() or line.startswith("Vantrel "):
            continue
        at = line.find(wanted[k] + "=") if k < len(wanted) else -1
        if at < 0:
            pending.append(line)
            continue
        if at > 0:
            pending.append(line[:at])
        result[wanted[k]] = (pending, line[at + len(wanted[k]) + 1:].rstrip(" "))
        pending = []
        k += 1
    return result


def check_reference(binary):
    failures = 0
    groups = {}
    with open(os.path.join(HERE, "..", "data", "expressions.txt")) as f:
        for line in f:
            preset, places, expr, want = line.rstrip("\n").split("|")
            groups.setdefault((int(preset), int(places)), []).append((expr, want))
    for (preset, places), cases in sorted(groups.items()):
        lines = ["#FF:%d" % places] + ["P." + e for e, _ in cases]
        got = run(binary, preset, lines)
        for expr, want in cases:
            messages, value = got.get(expr, ([], "<missing>"))
            if value != want or messages:
                failures += 1
                print("FAIL preset %d, %d places: %s\n  got  %r %s\n  want %r" % (preset, places, expr, value[:120],
                                                                                  messages, want[:120]))
    print("reference listings: %d failures" % failures)
    return failures


def tree(rng, depth):
    """A random expression of literals, variables, the four operations,
    small powers and the functions, biased to cancellations and tiny values."""
    if depth == 0 or rng.random() < 0.25:
        pick = rng.random()
        if pick < 0.3:
            return str(rng.randint(1, 99))
        if pick < 0.5:
            return "%d.%s" % (rng.randint(0, 9), "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 12))))
        if pick < 0.7:
            return rng.choice("ABC")
        if pick < 0.85:
            return rng.choice(["PI", "SQR2", "SQR3", "EXP"])
        return "1/10^%d" % rng.randint(1, 40)
    a, b = tree(rng, depth - 1), tree(rng, depth - 1)
    form = rng.random()
    if form < 0.18:
        return "(%s+%s)" % (a, b)
    if form < 0.36:
        return "(%s-%s)" % (a, b)
    if form < 0.54:
        return "(%s*%s)" % (a, b)
    if form < 0.66:
        return "(%s/%s)" % (a, b)
    if form < 0.74:
        return "(%s)^%d" % (a, rng.randint(2, 9))
    fn = rng.choice(["SQR", "SINR", "COSR", "ATAN", "LN", "EXP", "ASIN", "ACOS", "SINH", "COSH", "TANH", "ASINH",
                     "ACOSH", "ATANH"])
    if fn in ("EXP", "SINH", "COSH"):
        a = tree(rng, 0)  # a leaf: towers of exponentials leave every room
    return "%s(%s)" % (fn, a)


VARIABLES = {"A": "7/3", "B": "0.125", "C": "-13/7"}


def safe(expr):
    """The mpmath value when the expression is defined and of moderate size."""
    try:
        v = value_of(expr, {k: mpmath.mpf(eval(t)) if "/" not in t else mpmath.mpf(int(t.split("/")[0])) /
                            int(t.split("/")[1]) for k, t in VARIABLES.items()})
    except (ValueError, ZeroDivisionError, OverflowError):
        return None
    if isinstance(v, mpmath.mpc) or not mpmath.isfinite(v) or abs(v) > mpmath.mpf(10) ** 60:
        return None
    return v


def reference(expr):
    """The mpmath value, or None when it is undefined or when two working
    precisions disagree on it: an inner value far larger than the result
    (SINR of e^696) eats the working digits, and then the reference cannot
    be trusted rather than the calculator."""
    mpmath.mp.dps = 300
    v = safe(expr)
    mpmath.mp.dps = 700
    w = safe(expr)
    if v is None or w is None or listing(v, 48) != listing(w, 48):
        return None
    return w


def check_random(binary, seed, count):
    rng = random.Random(seed)
    exprs = []
    while len(exprs) < count:
        e = tree(rng, rng.choice([2, 3, 4]))
        if mpmath is not None:
            mpmath.mp.dps = 500
            if safe(e) is None:
                continue
        exprs.append(e)
    setup = ["%s=%s" % (k, v) for k, v in VARIABLES.items()]
    short = run(binary, 1, setup + ["#FF:32"] + ["P." + e for e in exprs])
    long = run(binary, 1, setup + ["#FF:64"] + ["P." + e for e in exprs])
    failures = 0
    compared = 0
    for e in exprs:
        ms, s = short.get(e, ([], None))
        ml, l = long.get(e, ([], None))
        if s is None or l is None or ms or ml:
            continue  # a message (division by zero, a domain) lists no digits to compare
        compared += 1
        if "." in l and not l.endswith(".."):
            whole, frac = l.split(".", 1)
            cut = (whole + "." + frac[:32].rstrip("0")).rstrip(".") or " 0"
            if cut in ("", "-", " "):
                cut = " 0"
            if cut == "-":
                cut = " 0"
        else:
            cut = l
        if s.endswith("..") or l.endswith(".."):
            continue
        if cut != s:
            failures += 1
            print("FAIL two precisions: %s\n  32: %s\n  64: %s" % (e, s, l))
            continue
        if mpmath is not None:
            v = reference(e)
            if v is not None and not near_cut(v, 32) and listing(v, 32) != s:
                failures += 1
                print("FAIL reference: %s\n  got  %s\n  want %s" % (e, s, listing(v, 32)))
    print("random expressions (seed %d): %d compared, %d failures" % (seed, compared, failures))
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--count", type=int, default=300)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 30)
    print("seed", seed)
    failures = 0
    if mpmath is not None:
        failures += check_reference(args.binary)
    else:
        print("mpmath not installed: reference listings skipped")
    failures += check_random(args.binary, seed, args.count)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
