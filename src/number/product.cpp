// Fraction multiplication: exact while the result's denominator has room for
// the product of the denominators, else a fixed-point decimal over 1.
#include <cstdio>

#include "bignum.h"
#include "messages.h"

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

// r = a * b reading both as integers; r's fraction limbs are the sum of
// theirs. Returns multiply's answer.
int multiply_scaled(BigNum *r, BigNum *a, BigNum *b) {
    int fa = a->frac_limbs, fb = b->frac_limbs;
    a->frac_limbs = 0;
    b->frac_limbs = 0;
    int res = multiply(r, a, b);
    a->frac_limbs = fa;
    b->frac_limbs = fb;
    if (res >= 0) r->frac_limbs = fa + fb;
    return res;
}

// Divides n in place by d, which may carry fraction limbs (n is raised by
// them first). Returns false when n has no room to be raised.
bool divide_in_place(BigNum *n, BigNum *d) {
    int e = d->frac_limbs;
    if (e > 0) {
        if (shift_limbs(n, e) < 0) return false;
        d->frac_limbs = 0;
    }
    divide(nullptr, nullptr, n, d);
    if (e > 0) d->frac_limbs = e;
    return true;
}

}  // namespace

// r = x * y. Single-limb numerators and denominators are cross-cancelled
// first (x and y change in place; their product does not). When r's
// denominator cannot hold the product of the denominators, the numerator is
// divided by both instead, giving fixed point over 1 with the notice
// "Prod-Rd". r may be x or y, and x may be y. Returns 1; 0 when the product
// of the numerators does not fit (after "prod_ovf"; r is then 0/1).
int fraction_product(Fraction *r, Fraction *x, Fraction *y) {
    assert(r && x && y);
    int8_t sign = int8_t(x->num->sign * y->num->sign * x->den->sign * y->den->sign);
    cancel(x->num, y->den);
    cancel(y->num, x->den);

    int res = multiply_scaled(r->num, x->num, y->num);
    if (res < 0) {
        // -1 has printed its notice; the silent refusal gets one too, so a
        // lost product is never passed on as if it were the result.
        if (res != -1) fputs(MSG_PROD_OVF, stdout);
        fraction_init(r);
        return 0;
    }

    int need = x->den->used + y->den->used;
    bool exact = r->den->capacity >= need && multiply_scaled(r->den, x->den, y->den) >= 0;
    if (!exact) {
        int f = fixed_point_limbs;
        BigNum *n = r->num;
        bool mark = false;
        // A numerator without room for the fraction limbs is divided as an
        // integer: still truncation, only to fewer places.
        if (n->frac_limbs == 0 && f > 0 && shift_limbs(n, f) >= 0) mark = true;
        int used_x = x->den->used, used_y = y->den->used;
        if (!divide_in_place(n, y->den) || !divide_in_place(n, x->den)) {
            fputs(MSG_PROD_OVF, stdout);
            fraction_init(r);
            return 0;
        }
        if (mark) n->frac_limbs = f;
        printf(MSG_PROD_ROUNDED, used_y, used_x);
        bn_set_one(r->den);
    }

    if (bn_is_zero(r->num)) {
        bn_set_one(r->den);
    } else if (bn_is_zero(r->den)) {
        fraction_init(r);
    }
    r->num->sign = sign;
    r->den->sign = 1;
    return 1;
}
