// Fractions: reduction by a machine-integer divisor, common denominators,
// conversion to fixed point, addition, and the recognition of a repeating
// fixed-point decimal as the exact fraction it came from.
#include <climits>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "bignum.h"
#include "messages.h"

namespace {

constexpr int64_t FIT_SMALL_DEN = 92233720368LL;  // small_den * 10^8 stays in 64 bits

int64_t abs64(int64_t v) { return v < 0 ? -v : v; }

int64_t gcd64(int64_t a, int64_t b) {
    a = abs64(a);
    b = abs64(b);
    while (b != 0) {
        int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Limb at position p, reading positions outside the used limbs as 0 so that
// stale storage above a number never takes part in a decision.
int32_t limb_at(BigNum *n, int p) {
    if (p < 0 || p >= n->used || p >= n->capacity) return 0;
    return limb(n, p);
}

// Adds v (0 <= v < 10^8) to the magnitude of n with carry; false when the
// carry would need a limb beyond the capacity (n is then unchanged only in
// value terms up to that limb, which the callers never reach in practice).
bool add_to_magnitude(BigNum *n, int32_t v) {
    if (n->used == 0) {
        if (n->capacity < 1) return false;
        limb(n, 0) = 0;
        n->used = 1;
    }
    int64_t carry = v;
    for (int k = 0; carry != 0; k++) {
        if (k == n->used) {
            if (n->used >= n->capacity) return false;
            limb(n, k) = 0;
            n->used++;
        }
        int64_t s = limb(n, k) + carry;
        limb(n, k) = int32_t(s % LIMB_BASE);
        carry = s / LIMB_BASE;
    }
    return true;
}

// Whether n * m fits n: multiply needs the sum of the lengths plus one limb.
bool room_for(BigNum *n, int64_t m) {
    if (m == 1 || m == -1) return true;
    int64_t a = abs64(m);
    int len = a < LIMB_BASE ? 1 : a < int64_t(LIMB_BASE) * LIMB_BASE ? 2 : 3;
    return n->capacity >= n->used + len + 1;
}

// Multiplies n in place by the machine integer m through scratch slot 19.
// Refuses (false, n unchanged) when the product might not fit n, so that a
// rescaled numerator is never silently left at its old value.
bool scale_by(BigNum *n, int64_t m) {
    if (m == 1) return true;
    if (m == -1) {
        n->sign = int8_t(-n->sign);
        return true;
    }
    BigNum *mul = work_int(3);
    bn_clear(mul);
    set_int64(mul, m);
    if (!room_for(n, m)) return false;
    return multiply(n, n, mul) >= 0;
}

// The lcm window: the common denominator of x and y when it stays below
// 10^18.7, with the two numerator multipliers; false when it would not.
bool lcm_window(int64_t x, int64_t y, int64_t *l, int64_t *mul_a, int64_t *mul_b) {
    if (abs64(x) == abs64(y)) {
        // Equal magnitudes: a negative denominator moves its sign onto the
        // numerator so that both share the positive common denominator.
        *l = abs64(x);
        *mul_a = x < 0 ? -1 : 1;
        *mul_b = y < 0 ? -1 : 1;
        return true;
    }
    int64_t g = gcd64(x, y);
    int64_t xr = x / g, yr = y / g;
    if (std::log(double(g)) + std::log(double(abs64(xr))) + std::log(double(abs64(yr))) >
        18.7 * std::log(10.0))
        return false;
    *l = g * xr * yr;
    *mul_a = yr;
    *mul_b = xr;
    return true;
}

// Both denominators as usable machine integers (integers, fitting, non-zero).
bool small_denominators(Fraction *a, Fraction *b, int64_t *x, int64_t *y) {
    if (a->den->frac_limbs != 0 || b->den->frac_limbs != 0) return false;
    if (!get_int64(a->den, x) || !get_int64(b->den, y)) return false;
    return *x != 0 && *y != 0;
}

// Rescales both numerators onto the common denominator l; 0 when a product
// would not fit (nothing changed then), else l.
int64_t rescale(Fraction *a, Fraction *b, int64_t l, int64_t mul_a, int64_t mul_b) {
    if (l == 1) return l;
    BigNum *na = a->num, *nb = b->num;
    // Check both before touching either, so a refusal leaves both intact.
    if (!room_for(na, mul_a) || !room_for(nb, mul_b)) return 0;
    if (!scale_by(na, mul_a)) return 0;
    if (na == nb) return l;  // one record serves both fractions
    if (!scale_by(nb, mul_b)) return 0;
    return l;
}

// Divides n in place (or into q) by d, which may carry fraction limbs: the
// dividend is first raised by d's fraction limbs and d read as an integer.
// Returns divide's answer, or -3 when the dividend has no room to be raised.
int divide_scaled(BigNum *q, BigNum *n, BigNum *d) {
    int e = d->frac_limbs;
    if (e > 0) {
        if (shift_limbs(n, e) < 0) return -3;
        d->frac_limbs = 0;
    }
    int res = divide(q, nullptr, n, d);
    if (e > 0) d->frac_limbs = e;
    return res;
}

// The fraction becomes 0 with s fraction limbs over 1, after a notice: its
// value cannot be held with s fraction limbs in its record.
void overflow_to_zero(Fraction *f, int s) {
    fputs(MSG_PROD_OVF, stdout);
    bn_clear(f->num);
    f->num->frac_limbs = s;
    bn_set_one(f->den);
}

}  // namespace

// Removes the greatest common divisor of n and d when both are non-zero
// integers within the 64-bit window; returns it (capped at INT32_MAX), or 0
// when nothing was done. Zero operands are normalised first. n and d must be
// distinct records.
int reduce_small(BigNum *n, BigNum *d) {
    assert(n && d);
    bn_normalise_zero(n);
    bn_normalise_zero(d);
    // A numerator with fraction limbs is left alone, including the shape of
    // two fraction limbs over an integer: dividing it by the denominator's
    // lowest limb would change its value.
    if (n->frac_limbs != 0 || d->frac_limbs != 0) return 0;
    int64_t nv, dv;
    if (!get_int64(n, &nv) || !get_int64(d, &dv)) return 0;
    if (nv == 0 || dv == 0) return 0;
    int64_t c = abs64(nv) == abs64(dv) ? abs64(nv) : gcd64(nv, dv);
    set_int64(n, nv / c);
    set_int64(d, dv / c);
    return c > INT32_MAX ? INT32_MAX : int(c);
}

// Brings a and b to a common denominator by rescaling their numerators (their
// denominators stay, apart from the reduction of b on the slow path). Returns
// the common denominator (may be negative when a denominator is), or 0 when
// none within 10^18.7 was found or a rescaled numerator would not fit.
// Uses scratch integers 3 (multiplier) and 4 (common divisor).
int64_t common_denominator(Fraction *a, Fraction *b) {
    assert(a && b);
    int64_t x, y, l, ma, mb;
    if (small_denominators(a, b, &x, &y) && a->num->frac_limbs == 0 &&
        b->num->frac_limbs == 0 && lcm_window(x, y, &l, &ma, &mb))
        return rescale(a, b, l, ma, mb);

    int f = fixed_point_limbs;
    if ((f > 0 && a->num->frac_limbs == f) || b->num->frac_limbs != 0) return 0;

    if (b->den->frac_limbs == 0) {
        // Reduce b, also beyond the 64-bit window. The divisor starts at one
        // so that a refused common divisor leaves b as it was.
        BigNum *g = work_int(4);
        set_int32(g, 1);
        gcd_lcm(g, nullptr, b->num, b->den);
        g->frac_limbs = 0;
        bool usable = !bn_is_zero(g) && !(g->used == 1 && limb(g, 0) == 1);
        if (usable) {
            divide(nullptr, nullptr, b->num, g);
            divide(nullptr, nullptr, b->den, g);
        }
    }
    if (a->num->frac_limbs || b->num->frac_limbs || a->den->frac_limbs || b->den->frac_limbs)
        return 0;
    if (b->den->used > 3) return 0;
    if (!small_denominators(a, b, &x, &y)) return 0;
    if (!lcm_window(x, y, &l, &ma, &mb)) return 0;
    return rescale(a, b, l, ma, mb);
}

// Turns f into a fixed-point decimal with s fraction limbs over 1, truncating.
// Uses scratch integer 0 for the quotient. When the numerator has no room for
// s fraction limbs, prints "prod_ovf" and f becomes 0 over 1.
void to_fixed(Fraction *f, int s) {
    assert(f && s >= 0);
    BigNum *n = f->num, *d = f->den;
    if (n->frac_limbs != s) {
        int by = s - n->frac_limbs;  // a downward shift cannot fail
        if (shift_limbs(n, by) == -3 && by > 0) {
            overflow_to_zero(f, s);
            return;
        }
        n->frac_limbs = s;
    }
    BigNum *q = work_int(0);
    if (divide_scaled(q, n, d) == -3) {
        overflow_to_zero(f, s);
        return;
    }
    copy(n, q);
    n->frac_limbs = s;
    bn_set_one(d);
}

// r = a + b. Exact when a common denominator is found, else fixed point over 1
// with fixed_point_limbs fraction limbs. Any of r, a, b may be the same.
// Returns 1, or 0 when the sum did not fit (after "prod_ovf"; r is 0/1).
int fraction_add(Fraction *r, Fraction *a, Fraction *b) {
    assert(r && a && b);
    int f = fixed_point_limbs;
    for (BigNum *n : {a->num, b->num}) {
        if (n->frac_limbs != f || f == 0) continue;
        bool whole = true;
        for (int k = 0; k < f && whole; k++) whole = limb_at(n, k) == 0;
        if (whole) {
            shift_limbs(n, -f);
            n->frac_limbs = 0;
        }
    }
    int64_t l;
    int c = 0;
    if (f > 0 && (a->num->frac_limbs == f || b->num->frac_limbs == f)) {
        to_fixed(a, f);
        to_fixed(b, f);
        l = 1;
        c = f;
    } else {
        l = common_denominator(a, b);
        if (l == 0) {
            l = 1;
            c = f;
            to_fixed(a, f);
            to_fixed(b, f);
        }
    }
    r->num->frac_limbs = c;
    if (add(r->num, a->num, b->num) < 0) {
        fputs(MSG_PROD_OVF, stdout);
        fraction_init(r);
        return 0;
    }
    bn_clear(r->den);
    set_int64(r->den, l);
    if (l > 0) reduce_small(r->num, r->den);
    return 1;
}

// Looks for a period of 1, 2 or 4 digits in the fraction limbs of n, the b
// lowest limbs left out. On success rewrites n as the numerator of the exact
// value (keeping n's sign) and returns the denominator factor; 0 when no
// period was found (n unchanged then, except after a capacity failure, which
// cannot arise for numbers that fit their record).
int64_t find_period(BigNum *n, int b) {
    assert(n);
    int k = n->frac_limbs;
    int32_t la = limb_at(n, b + 1), lb = limb_at(n, b);
    int64_t e, d;
    int q;
    if (la % 11111111 == 0) {
        e = la / 11111111;
        d = 10;
        q = 1;
    } else {
        if (la % 10000 != lb / 10000) return 0;
        e = la % 10000;
        d = 10000;
        q = 4;
        if (la % 100 == lb / 1000000) {
            e = la % 100;
            d = 100;
            q = 2;
        }
        // Limb A must itself be the period repeated (e e for four digits,
        // e e e e for two): a limb such as 00029999 whose last digits merely
        // continue into B is no period, and reading it as one would replace
        // the value by an unrelated fraction (3 / (10^20 + 1) became 10^-16).
        if (la != e * (q == 2 ? 1010101 : 10001)) {
            if (q == 2 && la == (la % 10000) * 10001) {
                e = la % 10000;
                d = 10000;
                q = 4;
            } else {
                return 0;
            }
        }
    }
    int64_t fct = d - 1;
    int64_t g = e == 0 ? 1 : gcd64(e, fct);

    // The run of limbs equal to A ends at the first limb that differs, or at
    // the top fraction limb.
    int r = b + 1;
    while (r + 1 < k) {
        r++;
        if (limb_at(n, r) != la) break;
    }
    if (r < k / 2) return 0;

    int8_t sign = n->sign;
    int64_t t = limb_at(n, r);
    int64_t m;
    if (k - r >= 2) {
        m = LIMB_BASE;
        n->frac_limbs = k - r - 1;
    } else {
        m = r + 1 == k ? LIMB_BASE : 1;
        n->frac_limbs = 0;
    }
    int c = 0;
    while (t % d == e && m / d > 0) {
        m /= d;
        t /= d;
        c++;
    }
    shift_limbs(n, -r);
    shift_decimal(n, -q * c);

    int64_t factor;
    if (e != 0 && (e != 9 || d != 10)) {
        if (mul_small(n, n, int32_t(fct / g)) < 0) return 0;
        if (!add_to_magnitude(n, int32_t(e / g))) return 0;
        // Cancel common powers of ten of the numerator and m; each step is
        // exact, unlike dropping all of m's zeros on a single trailing zero.
        while (m > 1 && n->used > 0 && limb(n, 0) % 10 == 0) {
            div_small(n, 10);
            m /= 10;
        }
        factor = fct / g * m;
    } else {
        if (e == 9 && !add_to_magnitude(n, 1)) return 0;
        factor = m;
    }
    if (!bn_is_zero(n)) n->sign = sign;
    return factor;
}

// Recognises a fixed-point numerator (at least four fraction limbs) whose
// digits repeat and turns f into the exact fraction. Returns 1 when it did
// (or found nothing left to do), 0 when f was left as it was. Prints
// "gyr-byr" when a 6-digit block does not lead to a single-digit run.
// Uses scratch integer 0 (1 when f's numerator is integer 0) as a backup.
int to_fraction(Fraction *f) {
    assert(f);
    BigNum *n = f->num, *den = f->den;
    int64_t sd;
    bool den_fits = get_int64(den, &sd) && den->frac_limbs == 0;
    den->small_den = den_fits ? sd : 0;
    if (den->small_den == 0) den->small_den = 1;

    int k = n->frac_limbs;
    if (k < 4) return 0;
    // A denominator outside the window would be replaced by the period's
    // factor alone, changing the value.
    if (!den_fits) return 0;
    int b = 0;
    if (k >= 5) {
        // With five fraction limbs the second limb of this quick test would
        // lie below the number: the test is skipped and the period search
        // alone decides, as it does with four.
        if (k - 6 >= 0 && limb_at(n, k - 3) / 1024 != limb_at(n, k - 6) / 1024) return 0;
        b = k / 6;
    }

    BigNum *backup = n == work_int(0) ? work_int(1) : work_int(0);
    int used_before = n->used;
    if (n->used == k) {
        if (n->capacity <= k) return 0;
        limb(n, k) = 0;
        n->used = k + 1;
    }
    if (n->used > backup->capacity) {
        n->used = used_before;
        return 0;
    }
    copy(backup, n);
    auto give_up = [&](int answer) {
        copy(n, backup);
        n->used = used_before;
        return answer;
    };

    int64_t period = find_period(n, b);
    int64_t mult = 1;
    if (period == 0) {
        copy(n, backup);
        int64_t hi = limb_at(n, b + 1), lo = limb_at(n, b);
        int64_t x = hi * 10000 + lo / 10000;
        int64_t h = 999999 * x;
        const int64_t t12 = 1000000000000LL, t6 = 1000000;
        if (h / t12 + h % t6 != 999999) return give_up(0);
        int64_t mid = h % t12 - h % t6 - 999999000000LL;
        if (mid < 0 || mid > 999999) return give_up(0);
        int64_t qb = h / t12 + 1;
        mult = (qb == 0 || qb == 999999) ? 1 : 999999 / gcd64(qb, 999999);
        if (mul_small(n, n, int32_t(mult)) < 0) return give_up(0);
        if (n->used == n->frac_limbs) {
            if (n->used >= n->capacity) return give_up(0);
            limb(n, n->used) = 0;
            n->used++;
        }
        if (limb_at(n, b + 1) % 11111111 != 0) {
            fputs(MSG_PERIOD_FAIL, stdout);
            return give_up(0);
        }
        period = find_period(n, b);
        // No run behind the block: the multiplied numerator must not stay.
        if (period == 0) return give_up(0);
    }

    __int128 full = __int128(den->small_den) * period * mult;
    if (full > INT64_MAX || full < -INT64_MAX) return give_up(0);
    int64_t dv = int64_t(full);
    int m = n->frac_limbs;
    if (m > 0 && den->capacity < 3 + m) return give_up(0);
    den->small_den = dv;
    bn_clear(den);
    set_int64(den, dv);
    if (m > 0) {
        shift_limbs(den, m);
        n->frac_limbs = 0;
        if (abs64(den->small_den) < FIT_SMALL_DEN) den->small_den *= LIMB_BASE;
    }
    return 1;
}
