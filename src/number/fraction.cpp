// Fractions: reduction by the greatest common divisor, common denominators,
// conversion to fixed point, exact addition at any length that fits the
// result, and the recognition of a repeating fixed-point decimal as the
// exact fraction it came from.
#include <climits>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "ball.h"
#include "bignum.h"
#include "../engine/limbs.h"
#include "../engine/scratch.h"

namespace {

constexpr int64_t FIT_SMALL_DEN = 92233720368LL;  // small_den * 10^8 stays in 64 bits
constexpr int SHORT_LIMBS = 8;  // a decimal or denominator this short is read as a fraction

int64_t abs64(int64_t v) { return v < 0 ? -v : v; }

// Divisor of |a| and |b|; that of a and 0 is |a|.
int64_t gcd64(int64_t a, int64_t b) { return int64_t(gcd_u64(uint64_t(abs64(a)), uint64_t(abs64(b)))); }

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
    return multiply(n, n, mul) == STATUS_OK;
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
    // A denominator of -1 still moves its sign onto the numerator.
    if (l == 1 && mul_a == 1 && mul_b == 1) return l;
    BigNum *na = a->num, *nb = b->num;
    // Check both before touching either, so a refusal leaves both intact.
    if (!room_for(na, mul_a) || !room_for(nb, mul_b)) return 0;
    if (!scale_by(na, mul_a)) return 0;
    if (na == nb) return l;  // one record serves both fractions
    if (!scale_by(nb, mul_b)) return 0;
    return l;
}

// The fraction becomes 0 with s fraction limbs over 1, after a notice: its
// value cannot be held with s fraction limbs in its record.
void overflow_to_zero(Fraction *f, int s) {
    report_refusal(STATUS_NO_ROOM);
    bn_clear(f->num);
    f->num->frac_limbs = s;
    bn_set_one(f->den);
}

// Divides the integers n and d (distinct records) by their greatest common
// divisor; returns it (capped at INT32_MAX), or 0 when it is 1, an operand
// is zero, or the arena lacks room (n and d unchanged then). d's quotient is
// built in the arena and written back only once n's division has succeeded
// too, so that a refused division never leaves one of the two divided.
int64_t reduce_by_gcd(BigNum *n, BigNum *d) {
    if (bn_is_zero(n) || bn_is_zero(d)) return 0;
    size_t mark = scratch_mark(core);
    int shorter = n->used < d->used ? n->used : d->used;
    BigNum g, qd;
    int64_t answer = 0;
    if (bn_from_scratch(&g, shorter + 2) && gcd_magnitude(&g, n, d) == STATUS_OK &&
        !(g.used == 1 && limb(&g, 0) == 1) && bn_from_scratch(&qd, d->used) &&
        divide(&qd, nullptr, d, &g) == STATUS_OK && divide(nullptr, nullptr, n, &g) == STATUS_OK) {
        int64_t v = 0;
        answer = get_int64(&g, &v) && v < INT32_MAX ? v : INT32_MAX;
        // As an in-place division leaves it: the limbs above the quotient zero.
        int old_used = d->used;
        (void)copy(d, &qd);  // the quotient is no longer than d
        for (int k = d->used; k < old_used; k++) limb(d, k) = 0;
    }
    scratch_release(core, mark);
    return answer;
}

// The sign of a fraction with numerator n and denominator d.
int8_t fraction_sign(BigNum *n, BigNum *d) { return int8_t((n->sign < 0) != (d->sign < 0) ? -1 : 1); }

// r := a * b on magnitudes, reading both as integers; false when the product
// would not fit r (r unchanged then; no notice).
bool product_into(BigNum *r, BigNum *a, BigNum *b) {
    if (int64_t(a->used) + b->used + 1 > r->capacity || a->used + b->used > precision) return false;
    Status rc;
    {
        PlainOperand pa(a, true), pb(b, true);
        rc = multiply(r, a, b);
    }
    r->sign = 1;
    r->frac_limbs = 0;
    return rc == STATUS_OK;
}

// d := |s|, frac_limbs 0; false when d cannot hold it.
bool magnitude_into(BigNum *d, BigNum *s) {
    if (s->used > d->capacity) return false;
    (void)copy(d, s);  // room checked above
    d->sign = 1;
    d->frac_limbs = 0;
    d->offset = 0;
    return true;
}

// |n| mod d for 0 < d < 10^8, the limbs read as an integer.
int64_t mod_limb(BigNum *n, int64_t d) {
    check_limb_span(n, n->used);
    const int32_t *p = n->limbs + n->capacity - n->used;  // most significant first
    // Each step's dividend is below 2^57, so the high half of its product
    // with floor(2^64 / d) is the quotient or one less (as in lv_div_1).
    const uint64_t dd = uint64_t(d);
    const uint64_t inv = uint64_t((static_cast<unsigned __int128>(1) << 64) / dd);
    uint64_t r = 0;
    for (int k = 0; k < n->used; k++) {
        uint64_t t = r * LIMB_BASE + uint32_t(p[k]);
        uint64_t q = uint64_t((static_cast<unsigned __int128>(t) * inv) >> 64);
        r = t - q * dd;
        if (r >= dd) r -= dd;
    }
    return int64_t(r);
}

// t := p m + q n on magnitudes in one pass (0 <= m, n < 10^8; q no longer
// than p); t may be p. t needs room for used(p) + 1 limbs. Sign and scale
// are the caller's.
void mul_add_small(BigNum *t, BigNum *p, int64_t m, BigNum *q, int64_t n) {
    int up = p->used, uq = q->used;
    assert(uq <= up && t->capacity > up);
    check_limb_span(p, up);
    check_limb_span(q, uq);
    check_limb_span(t, up + 1);
    const int32_t *pp = p->limbs + p->capacity - 1, *qq = q->limbs + q->capacity - 1;
    int32_t *tt = t->limbs + t->capacity - 1;
    int64_t carry = 0;
    for (int k = 0; k < up; k++) {
        int64_t v = pp[-k] * m + (k < uq ? qq[-k] * n : 0) + carry;
        carry = v / LIMB_BASE;
        tt[-k] = int32_t(v - carry * LIMB_BASE);
    }
    int used = up;
    while (carry != 0) {
        tt[-used] = int32_t(carry % LIMB_BASE);
        carry /= LIMB_BASE;
        used++;
    }
    t->used = used;
    bn_strip(t);
}

// The common case of sum_with_short_denominator, written straight into r:
// a and b of one sign, b's numerator one limb, a's numerator no longer than
// its denominator. False (nothing changed) when that shape or r's room is
// missing.
bool sum_short_direct(Fraction *r, Fraction *a, Fraction *b, int64_t k, int64_t g) {
    BigNum *an = a->num, *ad = a->den, *bn = b->num;
    if (bn->used != 1 || an->used > ad->used || fraction_sign(an, ad) != fraction_sign(b->num, b->den))
        return false;
    int64_t m = limb(bn, 0);
    if (m < 0 || m >= LIMB_BASE || r->num->capacity <= ad->used + 1 || r->den->capacity <= ad->used + 1)
        return false;
    if (r->num == ad || r->den == an || r == b) return false;
    int8_t sign = fraction_sign(an, ad);
    size_t mark = scratch_mark(core);
    BigNum x;
    BigNum *xs = ad;  // a_d / g
    if (g > 1) {
        if (!bn_from_scratch(&x, ad->used + 1)) return false;
        magnitude_into(&x, ad);
        (void)div_small(&x, g);  // g divides x and is below one limb
        xs = &x;
    }
    // t = a_n (k / g) + b_n (a_d / g): x is at least as long as a_n here
    // unless a_n is longer than a_d / g, which the order of the pass allows
    // only one way round.
    BigNum *t = r->num;
    int old_num = t->used, old_den = r->den->used;
    if (an->used <= xs->used)
        mul_add_small(t, xs, m, an, k / g);
    else
        mul_add_small(t, an, k / g, xs, m);
    int64_t h = g > 1 ? gcd64(g, mod_limb(t, g)) : 1;
    if (h > 1) (void)div_small(t, h);  // h divides t and is below one limb
    t->sign = sign;
    t->frac_limbs = 0;
    t->offset = 0;
    (void)mul_small(r->den, xs, int32_t(k / h));  // room checked; in place when xs is r's denominator
    r->den->sign = 1;
    r->den->frac_limbs = 0;
    // Limbs the old values left above the new ones are cleared, as after
    // bn_clear.
    for (BigNum *n : {t, r->den}) {
        int old = n == t ? old_num : old_den;
        for (int j = n->used; j <= old && j < n->capacity; j++) limb(n, j) = 0;
    }
    scratch_release(core, mark);
    return true;
}

// r := t / den, both integers built in the arena, t with the sum's sign; the
// caller has checked that r's records hold them.
void write_sum(Fraction *r, BigNum *t, BigNum *den) {
    int8_t sign = t->sign;
    (void)copy(r->num, t);  // room checked by the caller
    (void)copy(r->den, den);  // room checked by the caller
    r->num->sign = sign;
    r->num->frac_limbs = 0;
    r->num->offset = 0;
    r->den->sign = 1;
    r->den->frac_limbs = 0;
}

// exact_sum when b's denominator is one limb k (the usual shape of a running
// sum and its next term): g = gcd(a_d, k) from one pass over a_d, and every
// other step a pass of a machine-integer product or division, written
// straight into r. The same result and contract as exact_sum, except that
// b's denominator must be one limb; 0 (nothing changed) when r lacks room.
int sum_with_short_denominator(Fraction *r, Fraction *a, Fraction *b) {
    BigNum *an = a->num, *ad = a->den, *bn = b->num, *bd = b->den;
    int64_t k = limb(bd, 0);
    int8_t sa = fraction_sign(an, ad), sb = fraction_sign(bn, bd);
    int64_t g = gcd64(k, mod_limb(ad, k));
    if (sum_short_direct(r, a, b, k, g)) return 1;
    int32_t y = int32_t(k / g);
    // t = a_n y + b_n (a_d / g) and the denominator (a_d / g) (k / h) are
    // built in the arena and written to r once both are known to fit.
    int tl = (an->used + 1 > bn->used + ad->used ? an->used + 1 : bn->used + ad->used) + 2;
    if (bn->used + ad->used > precision) return 0;
    size_t mark = scratch_mark(core);
    BigNum x, u, t, den;
    if (!bn_from_scratch(&x, ad->used + 1) || !bn_from_scratch(&u, tl) || !bn_from_scratch(&t, tl) ||
        !bn_from_scratch(&den, ad->used + 2)) {
        scratch_release(core, mark);
        return 0;
    }
    magnitude_into(&x, ad);
    if (g > 1) (void)div_small(&x, g);  // g divides x and is below one limb
    bool short_num = bn->used == 1 && limb(bn, 0) >= 0 && limb(bn, 0) < LIMB_BASE;
    if (short_num ? mul_small(&u, &x, limb(bn, 0)) != STATUS_OK : !product_into(&u, bn, &x)) {
        scratch_release(core, mark);
        return 0;
    }
    u.sign = sb;
    (void)mul_small(&t, an, y);  // t has room for a_n and one limb more
    t.sign = bn_is_zero(&t) ? 1 : sa;
    (void)add(&t, &t, &u);  // tl leaves room for the carry
    int64_t h = g > 1 ? gcd64(g, mod_limb(&t, g)) : 1;
    if (h > 1) (void)div_small(&t, h);  // h divides t and is below one limb
    (void)mul_small(&den, &x, int32_t(k / h));  // den has room for x and one limb more
    bool fits = t.used <= r->num->capacity && den.used <= r->den->capacity;
    if (fits) {
        write_sum(r, &t, &den);
        if (bn_is_zero(r->num)) fraction_init(r);
    }
    scratch_release(core, mark);
    return fits ? 1 : 0;
}

// r := a + b exactly, for integer numerators and non-zero integer
// denominators of any length, by the common divisor g of the denominators:
// t = a_n (b_d / g) + b_n (a_d / g), then the divisor h of t and g is
// removed, giving t / h over (a_d / g) (b_d / h). When a and b are in
// lowest terms so is the result (t shares no factor with a_d / g or b_d / g);
// the result is reduced by its full gcd as well whenever that is cheap (one
// of its parts within 64 bits). A zero operand gives the other one. r, a and
// b may be the same. Returns 1, or 0 when the result would not fit r or the
// arena lacks room (nothing changed then).
int exact_sum(Fraction *r, Fraction *a, Fraction *b) {
    BigNum *an = a->num, *ad = a->den, *bn = b->num, *bd = b->den;
    if (bn_is_zero(an) || bn_is_zero(bn)) {
        Fraction *keep = bn_is_zero(an) ? b : a;
        if (keep->num->used > r->num->capacity || keep->den->used > r->den->capacity) return 0;
        int8_t sign = fraction_sign(keep->num, keep->den);
        (void)copy(r->num, keep->num);  // room checked above
        (void)copy(r->den, keep->den);  // room checked above
        r->num->sign = bn_is_zero(r->num) ? 1 : sign;
        r->den->sign = 1;
        if (bn_is_zero(r->num)) bn_set_one(r->den);
        return 1;
    }
    // One short denominator: the linear path (b + a = a + b).
    if (bd->used == 1 && ad->used > 1) return sum_with_short_denominator(r, a, b);
    if (ad->used == 1 && bd->used > 1) return sum_with_short_denominator(r, b, a);
    size_t mark = scratch_mark(core);
    int la = ad->used, lb = bd->used;
    int lt = (an->used + lb > bn->used + la ? an->used + lb : bn->used + la) + 2;
    BigNum g, x, y, t, u, h, den;
    bool ok = bn_from_scratch(&g, (la < lb ? la : lb) + 2) && bn_from_scratch(&x, la + 1) &&
              bn_from_scratch(&y, lb + 1) && bn_from_scratch(&t, lt) && bn_from_scratch(&u, lt) &&
              bn_from_scratch(&h, (la < lb ? la : lb) + 2) && bn_from_scratch(&den, la + lb + 2);
    ok = ok && gcd_magnitude(&g, ad, bd) == STATUS_OK && magnitude_into(&x, ad) && magnitude_into(&y, bd);
    if (ok) {
        ok = divide(nullptr, nullptr, &x, &g) == STATUS_OK && divide(nullptr, nullptr, &y, &g) == STATUS_OK;
        ok = ok && product_into(&t, an, &y) && product_into(&u, bn, &x);
    }
    if (ok) {
        t.sign = fraction_sign(an, ad);
        u.sign = fraction_sign(bn, bd);
        ok = add(&t, &t, &u) == STATUS_OK;
        t.frac_limbs = 0;
    }
    if (ok && bn_is_zero(&t)) {
        scratch_release(core, mark);
        fraction_init(r);
        return 1;
    }
    // h = gcd(t, g); the denominator is x (b_d / h).
    ok = ok && gcd_magnitude(&h, &t, &g) == STATUS_OK && magnitude_into(&u, bd);
    if (ok) {
        ok = divide(nullptr, nullptr, &t, &h) == STATUS_OK && divide(nullptr, nullptr, &u, &h) == STATUS_OK;
        ok = ok && product_into(&den, &x, &u) && t.used <= r->num->capacity && den.used <= r->den->capacity;
    }
    if (ok) write_sum(r, &t, &den);
    scratch_release(core, mark);
    if (ok) reduce_small(r->num, r->den);
    return ok ? 1 : 0;
}

// An exact decimal: fraction limbs over one, no error.
bool exact_decimal(const Fraction *x) {
    // bn_is_one takes either sign: a decimal over -1 is not one of these.
    return rad_is_zero(x->rad) && x->num->frac_limbs > 0 && bn_is_one(x->den) && x->den->sign > 0;
}

// x (an exact decimal of k fraction limbs) := its digits over 10^(8k), when
// the denominator record holds that; unchanged otherwise.
void decimal_as_fraction(Fraction *x) {
    int k = x->num->frac_limbs;
    if (x->den->capacity < k + 2 || x->num == x->den) return;
    bn_clear(x->den);
    bn_set_one(x->den);
    (void)shift_limbs(x->den, k);  // room checked above
    x->num->frac_limbs = 0;
    bn_strip(x->num);
    (void)reduce_by_gcd(x->num, x->den);  // in lowest terms, so the sum is
}

// r := a + b for exact decimals over one (integers included, at least one
// with fraction limbs), at the longer of their scales. False, nothing
// changed in value, when they are not such or a scaled numerator has no room.
bool exact_sum_of_decimals(Fraction *r, Fraction *a, Fraction *b) {
    if (!rad_is_zero(a->rad) || !rad_is_zero(b->rad) || !bn_is_one(a->den) || !bn_is_one(b->den)) return false;
    // bn_is_one takes either sign: a decimal over -1 goes the usual way.
    if (a->den->sign < 0 || b->den->sign < 0) return false;
    int fa = a->num->frac_limbs, fb = b->num->frac_limbs, c = fa > fb ? fa : fb;
    if (c == 0 || c <= fixed_point_limbs) return false;  // the usual paths keep these exact
    for (Fraction *x : {a, b}) {
        int by = c - x->num->frac_limbs;
        if (by > 0 && !bn_is_zero(x->num) && x->num->used + by >= x->num->capacity) return false;
    }
    for (Fraction *x : {a, b}) {
        int by = c - x->num->frac_limbs;
        if (by > 0 && !bn_is_zero(x->num)) (void)shift_limbs(x->num, by);  // room checked above
        x->num->frac_limbs = c;
        if (a == b) break;
    }
    r->num->frac_limbs = c;
    if (add(r->num, a->num, b->num) != STATUS_OK) return false;
    bn_clear(r->den);
    bn_set_one(r->den);
    r->rad = RAD_ZERO;
    return true;
}

}  // namespace

// Removes the greatest common divisor of n and d when both are non-zero
// integers and at least one of them lies within the 64-bit window (the
// other may have any length: one pass over it finds the divisor). Returns
// the divisor (capped at INT32_MAX), or 0 when nothing was done. Zero
// operands are normalised first. n and d must be distinct records.
int reduce_small(BigNum *n, BigNum *d) {
    assert(n && d);
    bn_normalise_zero(n);
    bn_normalise_zero(d);
    // A numerator with fraction limbs is left alone, including the shape of
    // two fraction limbs over an integer: dividing it by the denominator's
    // lowest limb would change its value.
    if (n->frac_limbs != 0 || d->frac_limbs != 0) return 0;
    int64_t nv, dv;
    bool n_fits = get_int64(n, &nv), d_fits = get_int64(d, &dv);
    if (n_fits && d_fits) {
        if (nv == 0 || dv == 0) return 0;
        int64_t c = abs64(nv) == abs64(dv) ? abs64(nv) : gcd64(nv, dv);
        set_int64(n, nv / c);
        set_int64(d, dv / c);
        return c > INT32_MAX ? INT32_MAX : int(c);
    }
    if (!n_fits && !d_fits) return 0;
    // A unit shares no divisor: an integer over 1 needs no pass over its limbs.
    if ((n_fits && abs64(nv) == 1) || (d_fits && abs64(dv) == 1)) return 0;
    return int(reduce_by_gcd(n, d));
}

// Brings a and b to a common denominator by rescaling their numerators, and
// writes it into l (which may be a's or b's denominator; the denominators
// stay otherwise). Within the 64-bit window the multiple is found with
// machine integers and may be negative when a denominator is; beyond it,
// for integer numerators and denominators, it is |a_d| |b_d| / gcd, positive,
// the numerators taking the denominators' signs. Returns 1, or 0 when a
// numerator has fraction limbs, a denominator is 0 or not an integer, or the
// multiple or a rescaled numerator would not fit its record (nothing changed
// then). Uses scratch integer 3 (multiplier) and the arena.
int common_denominator(Fraction *a, Fraction *b, BigNum *l) {
    assert(a && b && l);
    int64_t x, y, lv, ma, mb;
    if (a->num->frac_limbs != 0 || b->num->frac_limbs != 0) return 0;
    if (small_denominators(a, b, &x, &y) && lcm_window(x, y, &lv, &ma, &mb)) {
        if (l->capacity < 3 || rescale(a, b, lv, ma, mb) == 0) return 0;
        bn_clear(l);
        set_int64(l, lv);
        return 1;
    }
    BigNum *ad = a->den, *bd = b->den;
    if (ad->frac_limbs || bd->frac_limbs || bn_is_zero(ad) || bn_is_zero(bd)) return 0;
    size_t mark = scratch_mark(core);
    int la = ad->used, lb = bd->used;
    BigNum g, xa, xb, m;
    bool ok = bn_from_scratch(&g, (la < lb ? la : lb) + 2) && bn_from_scratch(&xa, lb + 1) &&
              bn_from_scratch(&xb, la + 1) && bn_from_scratch(&m, la + lb + 2) &&
              gcd_magnitude(&g, ad, bd) == STATUS_OK && magnitude_into(&xa, bd) && magnitude_into(&xb, ad);
    if (ok) {
        // a's numerator is multiplied by |b_d| / g, b's by |a_d| / g.
        ok = divide(nullptr, nullptr, &xa, &g) == STATUS_OK && divide(nullptr, nullptr, &xb, &g) == STATUS_OK;
        ok = ok && product_into(&m, ad, &xa) && m.used <= l->capacity;
        BigNum *na = a->num, *nb = b->num;
        ok = ok && na->used + xa.used + 1 <= na->capacity && nb->used + xb.used + 1 <= nb->capacity;
        ok = ok && na->used + xa.used <= precision && nb->used + xb.used <= precision;
        if (ok) {
            xa.sign = ad->sign;
            xb.sign = bd->sign;
            (void)multiply(na, na, &xa);  // room checked above
            if (nb != na) (void)multiply(nb, nb, &xb);  // room checked above
            (void)copy(l, &m);  // room checked above
            l->sign = 1;
            l->frac_limbs = 0;
        }
    }
    scratch_release(core, mark);
    return ok ? 1 : 0;
}

// Turns f into a fixed-point decimal with s fraction limbs over 1, truncating.
// Uses scratch integer 0 for the quotient. When the numerator has no room for
// s fraction limbs, prints "prod_ovf" and f becomes 0 over 1.
void to_fixed(Fraction *f, int s) {
    assert(f && s >= 0);
    BigNum *n = f->num, *d = f->den;
    // Whether digits fall off: below the new scale, or in the division by a
    // denominator other than one (a one-limb one is tested exactly). Each
    // truncation moves the value by less than one unit of the last place.
    bool den_one = d->used == 1 && limb(d, 0) == 1 && d->frac_limbs == 0;
    bool cut = false;
    if (!den_one && !bn_is_zero(n)) {
        if (d->used == 1 && d->frac_limbs == 0 && limb(d, 0) > 0 && n->frac_limbs <= s) {
            // The numerator raised to s limbs is n 10^(8(s - frac)): exact
            // when the denominator divides that.
            __int128 v = mod_limb(n, limb(d, 0));
            for (int k = n->frac_limbs; k < s && v != 0; k++) v = v * LIMB_BASE % limb(d, 0);
            cut = v != 0;
        } else {
            cut = true;
        }
    }
    if (n->frac_limbs != s) {
        int by = s - n->frac_limbs;  // a downward shift cannot fail
        // The denominator's fraction limbs raise n again in divide_scaled:
        // cutting limbs that come back would cut twice, by far more than the
        // unit the radius gets (d becomes 1 on every way out).
        int lift = by < 0 && d->frac_limbs > 0 ? (d->frac_limbs < -by ? d->frac_limbs : -by) : 0;
        by += lift;
        d->frac_limbs -= lift;
        for (int k = 0; k < -by && !cut; k++) cut = limb_at(n, k) != 0;
        if (shift_limbs(n, by) != STATUS_OK && by > 0) {
            overflow_to_zero(f, s);
            return;
        }
        n->frac_limbs = s;
    }
    if (cut) f->rad = rad_add(f->rad, rad_ulps(1, s));
    BigNum *q = work_int(0);
    if (divide_scaled(q, n, d) != STATUS_OK) {
        overflow_to_zero(f, s);
        return;
    }
    (void)copy(n, q);  // the quotient is no longer than the dividend
    n->frac_limbs = s;
    bn_set_one(d);
}

// r = a + b. Exact whenever both are exact and the sum fits r (machine
// integers while the common denominator stays within 10^18.7, else
// exact_sum), otherwise fixed point over 1 with fixed_point_limbs fraction
// limbs. Any of r, a, b may be the same. STATUS_OK, or STATUS_REFUSED when
// the sum did not fit (reported as STATUS_NO_ROOM; r is 0/1).
Status fraction_add(Fraction *r, Fraction *a, Fraction *b) {
    assert(r && a && b);
    int f = fixed_point_limbs;
    double rr = rad_add(a->rad, b->rad);
    for (BigNum *n : {a->num, b->num}) {
        if (n->frac_limbs != f || f == 0) continue;
        bool whole = true;
        for (int k = 0; k < f && whole; k++) whole = limb_at(n, k) == 0;
        if (whole) {
            (void)shift_limbs(n, -f);  // a downward shift cannot fail
            n->frac_limbs = 0;
        }
    }
    // A short exact decimal (a literal) meeting an exact fraction with a
    // short denominator is read as the fraction digits / 10^(8k), so that
    // their sum stays exact (1/7 + 0.00000001). Long decimals (a constant at
    // full precision) stay decimals: as fractions every later step would
    // carry their huge denominators.
    for (Fraction *x : {a, b}) {
        Fraction *other = x == a ? b : a;
        if (exact_decimal(x) && x->num->used <= SHORT_LIMBS && x->num->frac_limbs <= SHORT_LIMBS &&
            other->den->used <= SHORT_LIMBS && rad_is_zero(other->rad) && other->num->frac_limbs == 0 &&
            other->den->frac_limbs == 0 && !bn_is_one(other->den))
            decimal_as_fraction(x);
    }
    // Two exact decimals (or an exact decimal and an integer) add exactly at
    // the longer scale, even beyond f fraction limbs (1/10^50 + 0).
    if (exact_sum_of_decimals(r, a, b)) return STATUS_OK;
    int64_t l = 1;
    int c = 0;
    bool rescaled = false;
    bool fixed = f > 0 && (a->num->frac_limbs == f || b->num->frac_limbs == f);
    if (!fixed) {
        int64_t x, y, ma, mb;
        bool integers = a->num->frac_limbs == 0 && b->num->frac_limbs == 0;
        if (integers && small_denominators(a, b, &x, &y) && lcm_window(x, y, &l, &ma, &mb) &&
            rescale(a, b, l, ma, mb) != 0) {
            // the machine-integer common denominator l
            rescaled = true;
        } else if (integers && !a->den->frac_limbs && !b->den->frac_limbs && !bn_is_zero(a->den) &&
                   !bn_is_zero(b->den) && exact_sum(r, a, b)) {
            r->rad = rr;
            return STATUS_OK;
        } else {
            fixed = true;
        }
    }
    if (fixed) {
        to_fixed(a, f);
        to_fixed(b, f);
        l = 1;
        c = f;
        rr = rad_add(a->rad, b->rad);  // with the truncations of to_fixed
    }
    r->rad = rr;
    r->num->frac_limbs = c;
    if (add(r->num, a->num, b->num) != STATUS_OK) {
        report_refusal(STATUS_NO_ROOM);
        fraction_init(r);
        return STATUS_REFUSED;
    }
    bn_clear(r->den);
    set_int64(r->den, l);
    if (l > 0) reduce_small(r->num, r->den);
    // An operand that is not the result had its numerator rescaled to l:
    // it takes l as its denominator too, so that it keeps its value (W = W + V
    // twice adds V twice), and is reduced again.
    for (Fraction *x : {a, b}) {
        if (!rescaled || x->den == r->den || x->num == r->num) continue;
        bn_clear(x->den);
        set_int64(x->den, l);
        reduce_small(x->num, x->den);
        // One fraction given twice is done: its reduced numerator over l
        // a second time would no longer be its value.
        if (a == b) break;
    }
    return STATUS_OK;
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
    // Zeros up to the top fraction limb and no integer part: every digit of
    // the value lies below the run, so there is no period to read, only a
    // small value (0.00...05 is not 0).
    if (la == 0 && r == k - 1 && limb_at(n, r) == 0 && top_used(n) <= k) return 0;

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
    (void)shift_limbs(n, -r);  // a downward shift cannot fail
    (void)shift_decimal(n, -q * c);  // a downward shift cannot fail

    int64_t factor;
    if (e != 0 && (e != 9 || d != 10)) {
        if (mul_small(n, n, int32_t(fct / g)) != STATUS_OK) return 0;
        if (!add_to_magnitude(n, int32_t(e / g))) return 0;
        // Cancel common powers of ten of the numerator and m; each step is
        // exact, unlike dropping all of m's zeros on a single trailing zero.
        while (m > 1 && n->used > 0 && limb(n, 0) % 10 == 0) {
            (void)div_small(n, 10);  // exact: the lowest digit is 0
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
// digits repeat and turns f into the exact fraction. STATUS_OK when it did
// (or found nothing left to do), STATUS_NO_PERIOD when f was left as it was;
// a 6-digit block that does not lead to a single-digit run is also told to
// the sink as STATUS_NO_PERIOD ("gyr-byr").
// Uses scratch integer 0 (1 when f's numerator is integer 0) as a backup.
Status to_fraction(Fraction *f) {
    assert(f);
    BigNum *n = f->num, *den = f->den;
    int64_t sd;
    bool den_fits = get_int64(den, &sd) && den->frac_limbs == 0;
    den->small_den = den_fits ? sd : 0;
    if (den->small_den == 0) den->small_den = 1;

    int k = n->frac_limbs;
    if (k < 4) return STATUS_NO_PERIOD;
    // A denominator outside the window would be replaced by the period's
    // factor alone, changing the value.
    if (!den_fits) return STATUS_NO_PERIOD;
    int b = 0;
    if (k >= 5) {
        // With five fraction limbs the second limb of this quick test would
        // lie below the number: the test is skipped and the period search
        // alone decides, as it does with four.
        if (k - 6 >= 0 && limb_at(n, k - 3) / 1024 != limb_at(n, k - 6) / 1024) return STATUS_NO_PERIOD;
        b = k / 6;
    }

    BigNum *backup = n == work_int(0) ? work_int(1) : work_int(0);
    int used_before = n->used;
    if (n->used == k) {
        if (n->capacity <= k) return STATUS_NO_PERIOD;
        limb(n, k) = 0;
        n->used = k + 1;
    }
    if (n->used > backup->capacity) {
        n->used = used_before;
        return STATUS_NO_PERIOD;
    }
    (void)copy(backup, n);  // room checked above
    auto give_up = [&](Status answer) {
        (void)copy(n, backup);  // n held these limbs before
        n->used = used_before;
        return answer;
    };

    int64_t period = find_period(n, b);
    int64_t mult = 1;
    if (period == 0) {
        (void)copy(n, backup);  // n held these limbs before
        int64_t hi = limb_at(n, b + 1), lo = limb_at(n, b);
        int64_t x = hi * 10000 + lo / 10000;
        int64_t h = 999999 * x;
        const int64_t t12 = 1000000000000LL, t6 = 1000000;
        if (h / t12 + h % t6 != 999999) return give_up(STATUS_NO_PERIOD);
        int64_t mid = h % t12 - h % t6 - 999999000000LL;
        if (mid < 0 || mid > 999999) return give_up(STATUS_NO_PERIOD);
        int64_t qb = h / t12 + 1;
        mult = (qb == 0 || qb == 999999) ? 1 : 999999 / gcd64(qb, 999999);
        if (mul_small(n, n, int32_t(mult)) != STATUS_OK) return give_up(STATUS_NO_PERIOD);
        if (n->used == n->frac_limbs) {
            if (n->used >= n->capacity) return give_up(STATUS_NO_PERIOD);
            limb(n, n->used) = 0;
            n->used++;
        }
        if (limb_at(n, b + 1) % 11111111 != 0) {
            report_notice(STATUS_NO_PERIOD);
            return give_up(STATUS_NO_PERIOD);
        }
        period = find_period(n, b);
        // No run behind the block: the multiplied numerator must not stay.
        if (period == 0) return give_up(STATUS_NO_PERIOD);
    }

    __int128 full = __int128(den->small_den) * period * mult;
    if (full > INT64_MAX || full < -INT64_MAX) return give_up(STATUS_NO_PERIOD);
    int64_t dv = int64_t(full);
    int m = n->frac_limbs;
    if (m > 0 && den->capacity < 3 + m) return give_up(STATUS_NO_PERIOD);
    den->small_den = dv;
    bn_clear(den);
    set_int64(den, dv);
    if (m > 0) {
        (void)shift_limbs(den, m);  // room checked above
        n->frac_limbs = 0;
        if (abs64(den->small_den) < FIT_SMALL_DEN) den->small_den *= LIMB_BASE;
        // The shifted denominator may share powers of ten with n: the value
        // leaves in lowest terms like every other exact result.
        if (reduce_by_gcd(n, den) != 0) {
            int64_t v;
            if (get_int64(den, &v)) den->small_den = v;
        }
    }
    return STATUS_OK;
}
