// Fraction multiplication: common factors cancelled across by the full
// greatest common divisor, exact while the result's denominator has room for
// the product of the cancelled denominators, else a fixed-point decimal over 1;
// and the comparison of two fractions through their cross products.
#include <cstdio>
#include <initializer_list>

#include "ball.h"
#include "bignum.h"
#include "../engine/fastmul.h"
#include "../engine/limbs.h"
#include "../engine/scratch.h"

namespace {

int32_t gcd32(int32_t a, int32_t b) {
    while (b != 0) {
        int32_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Divides two single-limb magnitudes by their common divisor. Scale and sign
// are untouched, so a fraction built from them keeps its value ratio.
void cancel(BigNum *a, BigNum *b) {
    if (a->used != 1 || b->used != 1 || a == b) return;
    int32_t g = gcd32(limb(a, 0), limb(b, 0));
    if (g <= 1) return;
    limb(a, 0) /= g;
    limb(b, 0) /= g;
}

// The pair (*p, *q) (a numerator of one factor, the denominator of the
// other) with their greatest common divisor taken out: when it is not 1,
// *p and *q are pointed at arena copies divided by it (cp and cq are their
// records); the operands themselves never change. Integers get the full
// gcd, values with fraction limbs the single-limb cancellation (the limbs
// read as integers: the product's value stays). Returns false when the
// arena lacks room (nothing cancelled then).
bool cancel_across(BigNum **p, BigNum **q, BigNum *cp, BigNum *cq) {
    BigNum *a = *p, *b = *q;
    if (bn_is_zero(a) || bn_is_zero(b) || bn_is_one(a) || bn_is_one(b)) return true;
    if (a == b) {
        // One record on both sides (x / x): it cancels to one.
        if (a->frac_limbs != 0 || !bn_from_scratch(cp, 2) || !bn_from_scratch(cq, 2)) return true;
        bn_set_one(cp);
        bn_set_one(cq);
        cp->sign = cq->sign = a->sign;
        *p = cp;
        *q = cq;
        return true;
    }
    bool integers = a->frac_limbs == 0 && b->frac_limbs == 0;
    if (!integers && (a->used != 1 || b->used != 1)) return true;
    if (!bn_from_scratch(cp, a->used + 1) || !bn_from_scratch(cq, b->used + 1)) return false;
    (void)copy(cp, a);  // cp was taken with room for a
    (void)copy(cq, b);  // cq was taken with room for b
    if (integers) {
        BigNum g;
        int shorter = a->used < b->used ? a->used : b->used;
        if (!bn_from_scratch(&g, shorter + 2) || gcd_magnitude(&g, a, b) != STATUS_OK) return false;
        if (g.used == 1 && limb(&g, 0) == 1) return true;
        if (divide(nullptr, nullptr, cp, &g) != STATUS_OK || divide(nullptr, nullptr, cq, &g) != STATUS_OK)
            return false;
        cp->sign = a->sign;
        cq->sign = b->sign;
    } else {
        cancel(cp, cq);
    }
    *p = cp;
    *q = cq;
    return true;
}

// r = a * b reading both as integers; r's fraction limbs are the sum of
// theirs. Returns multiply's answer.
Status multiply_scaled(BigNum *r, BigNum *a, BigNum *b) {
    int fa = a->frac_limbs, fb = b->frac_limbs;
    a->frac_limbs = 0;
    b->frac_limbs = 0;
    Status res = multiply(r, a, b);
    a->frac_limbs = fa;
    b->frac_limbs = fb;
    if (res == STATUS_OK) r->frac_limbs = fa + fb;
    return res;
}

}  // namespace

// r = x * y. Common factors of x's numerator and y's denominator, and of
// y's numerator and x's denominator, are cancelled first (on copies: x and y
// stay as they are), so that factors in lowest terms give a product in
// lowest terms. When r's denominator cannot hold the product of the
// cancelled denominators, the numerator is divided by both instead, giving
// fixed point over 1, the truncation added to the radius. r may be x or y, and x may
// be y. STATUS_OK, or STATUS_REFUSED when the product does not fit (reported
// as STATUS_NO_ROOM; r is then 0/1).
Status fraction_product(Fraction *r, Fraction *x, Fraction *y) {
    assert(r && x && y);
    // An inexact decimal factor (or a mixed one, decimal over an integer)
    // goes into the product as a decimal of F fraction limbs: a running product of them (a PRD loop, a power chain)
    // would otherwise add F limbs with every factor until no record holds
    // it. The truncation goes into its radius.
    for (Fraction *v : {x, y}) {
        bool long_decimal = v->num->frac_limbs > fixed_point_limbs || v->den->frac_limbs != 0 ||
                            (v->num->frac_limbs != 0 && !bn_is_one(v->den));
        if (!rad_is_zero(v->rad) && long_decimal) to_fixed(v, fixed_point_limbs);
    }
    int8_t sign = int8_t(x->num->sign * y->num->sign * x->den->sign * y->den->sign);
    // |xy - x'y'| <= |x'| ry + |y'| rx + rx ry for the held values x', y'.
    double rad = RAD_ZERO;
    if (!rad_is_zero(x->rad) || !rad_is_zero(y->rad)) {
        rad = rad_add(rad_add(rad_mul(mag_up(x), y->rad), rad_mul(mag_up(y), x->rad)), rad_mul(x->rad, y->rad));
    }
    size_t mark = scratch_mark(core);
    BigNum *xn = x->num, *xd = x->den, *yn = y->num, *yd = y->den;
    BigNum c1, c2, c3, c4;
    if (x != y) {
        // Without arena room the product is still right, only unreduced.
        if (cancel_across(&xn, &yd, &c1, &c2)) cancel_across(&yn, &xd, &c3, &c4);
    }

    // The numerator goes straight into r unless r's numerator is a
    // denominator still to be read (a reciprocal made of swapped records);
    // then it is built in the arena, under the same capacity rule.
    BigNum num;
    bool staged = r->num == xd || r->num == yd;
    Status res;
    int need = xn->used + yn->used;
    if (!staged) {
        res = multiply_scaled(r->num, xn, yn);
    } else if (r->num->capacity < need) {
        res = multiply_scaled(r->num, xn, yn);  // refused with its notice
    } else {
        res = r->num->capacity > need && bn_from_scratch(&num, need + 1) ? multiply_scaled(&num, xn, yn)
                                                                          : STATUS_NO_ROOM;
    }
    if (res != STATUS_OK) {
        // STATUS_REFUSED has been reported; the silent refusal is reported
        // too, so a lost product is never passed on as if it were the result.
        if (res != STATUS_REFUSED) report_refusal(STATUS_NO_ROOM);
        scratch_release(core, mark);
        fraction_init(r);
        return STATUS_REFUSED;
    }

    // The denominator is built in the arena, so that one which fits r's
    // denominator exactly (multiply wants a spare limb) stays exact.
    BigNum den;
    bool exact = bn_from_scratch(&den, xd->used + yd->used + 1) && multiply_scaled(&den, xd, yd) == STATUS_OK &&
                 den.used <= r->den->capacity;
    BigNum sx, sy;
    if (staged && !exact) {
        // The fall-back divides by both denominators after r's numerator is
        // written: keep them apart (without room the product is refused).
        if (!bn_from_scratch(&sx, xd->used + 1) || !bn_from_scratch(&sy, yd->used + 1)) {
            report_refusal(STATUS_NO_ROOM);
            scratch_release(core, mark);
            fraction_init(r);
            return STATUS_REFUSED;
        }
        (void)copy(&sx, xd);  // sx was taken with room for xd
        (void)copy(&sy, yd);  // sy was taken with room for yd
        xd = &sx;
        yd = &sy;
    }
    if (staged) (void)copy(r->num, &num);  // the staged product is shorter than r's capacity
    if (exact) {
        (void)copy(r->den, &den);  // room checked above
    } else {
        int f = fixed_point_limbs;
        BigNum *n = r->num;
        bool mark_fixed = false;
        // A numerator without room for the fraction limbs is divided as an
        // integer: still truncation, only to fewer places.
        if (n->frac_limbs == 0 && f > 0 && shift_limbs(n, f) == STATUS_OK) mark_fixed = true;
        if (divide_scaled(nullptr, n, yd) != STATUS_OK || divide_scaled(nullptr, n, xd) != STATUS_OK) {
            report_refusal(STATUS_NO_ROOM);
            scratch_release(core, mark);
            fraction_init(r);
            return STATUS_REFUSED;
        }
        if (mark_fixed) n->frac_limbs = f;
        // Two truncating divisions: less than two units of the last place.
        rad = rad_add(rad, rad_ulps(2, n->frac_limbs));
        bn_set_one(r->den);
    }
    scratch_release(core, mark);

    if (bn_is_zero(r->num)) {
        bn_set_one(r->den);
    } else if (bn_is_zero(r->den)) {
        fraction_init(r);
    }
    r->num->sign = sign;
    r->den->sign = 1;
    r->rad = rad;
    return STATUS_OK;
}

// The used limbs of |n| (fraction limbs included) after `lead` zero limbs,
// into `out`; returns the length. A numerator never defined counts as 0.
static int magnitude_limbs(uint32_t *out, const BigNum *n, int lead, bool numerator) {
    int used = n->used < n->capacity ? n->used : n->capacity;
    if (numerator && n->defined != 1) used = 0;
    lv_zero(out, lead);
    for (int k = 0; k < used; k++) out[lead + k] = static_cast<uint32_t>(limb(n, k));
    return lead + used;
}

// Compares |a| * da with |b| * db through their products in the arena;
// STATUS_OK with the order in *order, or STATUS_NO_ROOM (contract in bignum.h).
Status compare_cross(const BigNum *a, const BigNum *da, const BigNum *b, const BigNum *db, int *order) {
    *order = 0;
    ScratchScope scope(core);
    int fa = a->frac_limbs > 0 ? a->frac_limbs : 0, fb = b->frac_limbs > 0 ? b->frac_limbs : 0;
    int scale = fa > fb ? fa : fb;
    size_t na = size_t(scale - fa) + a->used, nb = size_t(scale - fb) + b->used;
    size_t room = na + nb + size_t(da->used) + db->used;
    uint32_t *ua = scratch_take(core, na + 1), *ub = scratch_take(core, nb + 1);
    uint32_t *ud = scratch_take(core, size_t(da->used) + 1), *ue = scratch_take(core, size_t(db->used) + 1);
    uint32_t *pa = scratch_take(core, room + 2), *pb = scratch_take(core, room + 2);
    if (!ua || !ub || !ud || !ue || !pa || !pb) return STATUS_NO_ROOM;
    int la = magnitude_limbs(ua, a, scale - fa, true), lb = magnitude_limbs(ub, b, scale - fb, true);
    int ld = magnitude_limbs(ud, da, 0, false), le = magnitude_limbs(ue, db, 0, false);
    if (lv_top(ua, la) == 0 || lv_top(ub, lb) == 0 || ld == 0 || le == 0) {
        bool za = lv_top(ua, la) == 0, zb = lv_top(ub, lb) == 0;
        *order = za && zb ? 0 : za ? -1 : 1;
        return STATUS_OK;
    }
    mul_limbs(core, pa, ua, la, ud, ld);
    mul_limbs(core, pb, ub, lb, ue, le);
    int n = la + ld > lb + le ? la + ld : lb + le;
    for (int k = la + ld; k < n; k++) pa[k] = 0;
    for (int k = lb + le; k < n; k++) pb[k] = 0;
    int c = lv_cmp(pa, pb, n);
    *order = c > 0 ? 1 : c < 0 ? -1 : 0;
    return STATUS_OK;
}
