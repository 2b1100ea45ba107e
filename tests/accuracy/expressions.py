"""Shared by the expression reference generator and the expression tests:
how a listing looks, and the calculator's words in mpmath terms.

A listing of a value v at d places is the true value truncated toward zero
at d decimal places, written with a blank (or "-") in front, no zero before
the point, and no trailing zeros after it."""

import re

import mpmath


def listing(v, places):
    """The calculator's listing of the real v truncated at `places`."""
    scaled = v * mpmath.mpf(10) ** places
    t = int(mpmath.floor(abs(scaled)))
    negative = scaled < 0 and t != 0
    whole, frac = divmod(t, 10 ** places)
    frac_text = str(frac).rjust(places, "0").rstrip("0") if places else ""
    text = (str(whole) if whole else "") + ("." + frac_text if frac_text else "")
    if not text:
        text = "0"
    return ("-" if negative else " ") + text


def near_cut(v, places, guard=12):
    """True when the digits just below the cut are all 0 or all 9, so that
    the reference itself needs more care than a plain evaluation."""
    scaled = abs(v) * mpmath.mpf(10) ** (places + guard)
    low = int(mpmath.floor(scaled)) % 10 ** guard
    return low < 10 or low > 10 ** guard - 10


# The calculator's function words and their mpmath meanings (radians).
ENV = {
    "SQR": mpmath.sqrt,
    "SINR": mpmath.sin,
    "COSR": mpmath.cos,
    "ATAN": mpmath.atan,
    "LN": mpmath.log,
    "ASIN": mpmath.asin,
    "ACOS": mpmath.acos,
    "SINH": mpmath.sinh,
    "COSH": mpmath.cosh,
    "TANH": mpmath.tanh,
    "ASINH": mpmath.asinh,
    "ACOSH": mpmath.acosh,
    "ATANH": mpmath.atanh,
}


def to_python(expr):
    """The calculator expression as a Python expression over mpmath."""
    out = expr.replace("SQR2", "SQR(2)").replace("SQR3", "SQR(3)")
    # Literals are exact: decimal text read by mpmath, never a float.
    out = re.sub(r"(\d+\.?\d*|\.\d+)", lambda m: "mpmath.mpf('%s')" % m.group(1), out)
    out = out.replace("^", "**")
    out = out.replace("PI", "mpmath.pi").replace("EXP(", "mpmath.exp(").replace("EXP", "mpmath.e")
    return out


def value_of(expr, variables=None):
    env = dict(ENV)
    env["mpmath"] = mpmath
    env.update(variables or {})
    return eval(to_python(expr), env)  # noqa: S307 - our own generated text
