// Greatest common divisor of limb vectors in base 100000000: Lehmer's method
// (quotients simulated on the leading limbs, applied to the whole numbers as
// one 2x2 step), long division when a quotient is too large to simulate.
#include <cassert>
#include <utility>

#include "limbs.h"
#include "scratch.h"

namespace {

constexpr int64_t B = LV_BASE;
// Cofactors stay below this, so that a cofactor times a limb plus the other
// product and the carry stays far inside 64 bits (2 * 2^34 * 10^8 < 2^62).
constexpr int64_t COFACTOR_CAP = int64_t(1) << 34;

// u[0 .. n) mod d for 0 < d < B^2.
uint64_t mod_small(const uint32_t *u, int n, uint64_t d) {
    if (d < B) {
        uint64_t r = 0;
        for (int i = n - 1; i >= 0; i--) r = (r * B + u[i]) % d;
        return r;
    }
    unsigned __int128 r = 0;
    for (int i = n - 1; i >= 0; i--) r = (r * B + u[i]) % d;
    return uint64_t(r);
}

// The leading limbs of u[0 .. nu) as one number below 10^18, and those of v
// at the same positions (v is below u, nv <= nu).
void leading(const uint32_t *u, int nu, const uint32_t *v, int nv, int64_t *x, int64_t *y) {
    // Three limbs when the top one is small enough to keep the window below
    // 10^18; two otherwise.
    int w = nu >= 3 && u[nu - 1] < 10 ? 3 : 2;
    int64_t a = 0, b = 0;
    for (int i = nu - 1; i >= nu - w; i--) {
        a = a * B + u[i];
        b = b * B + (i < nv ? v[i] : 0);
    }
    *x = a;
    *y = b;
}

// Knuth's condition on the windows x >= y: the cofactors (A B; C D) of as
// many Euclid steps as the windows decide for certain. False when not even
// one step was decided (B stays 0).
bool simulate(int64_t x, int64_t y, int64_t m[4]) {
    int64_t a = 1, b = 0, c = 0, d = 1;
    while (y + c != 0 && y + d != 0) {
        int64_t q = (x + a) / (y + c);
        if (q != (x + b) / (y + d)) break;
        int64_t nc = a - q * c, nd = b - q * d;
        if (nc >= COFACTOR_CAP || nc <= -COFACTOR_CAP || nd >= COFACTOR_CAP || nd <= -COFACTOR_CAP)
            break;
        a = c;
        c = nc;
        b = d;
        d = nd;
        int64_t t = x - q * y;
        x = y;
        y = t;
    }
    m[0] = a;
    m[1] = b;
    m[2] = c;
    m[3] = d;
    return b != 0;
}

// (u, v) := (A u + B v, C u + D v) over n limbs, in place; both results are
// known to be non-negative and below the old u.
void combine(uint32_t *u, uint32_t *v, int n, const int64_t m[4]) {
    int64_t cu = 0, cv = 0;
    for (int i = 0; i < n; i++) {
        int64_t x = u[i], y = v[i];
        u[i] = lv_split_signed(m[0] * x + m[1] * y + cu, &cu);
        v[i] = lv_split_signed(m[2] * x + m[3] * y + cv, &cv);
    }
    assert(cu == 0 && cv == 0);
}

}  // namespace

Status lv_gcd(Context &cx, uint32_t *g, int *length, const uint32_t *a, int na, const uint32_t *b, int nb) {
    assert(na >= 0 && nb >= 0);
    na = lv_top(a, na);
    nb = lv_top(b, nb);
    int n = na > nb ? na : nb;
    if (na == 0 || nb == 0) {
        lv_copy(g, na == 0 ? b : a, n);
        *length = n;
        return STATUS_OK;
    }
    if (na <= 2 || nb <= 2) {
        // One operand below 10^16 (the denominator 1 of every integer the
        // evaluator reduces): one pass over the other for its remainder,
        // read in place, then machine integers; a 1 needs no pass.
        if (stopped(cx)) return STATUS_INTERRUPTED;
        const bool a_short = na < nb;
        const uint32_t *s = a_short ? a : b, *l = a_short ? b : a;
        const int ns = a_short ? na : nb, nl = a_short ? nb : na;
        uint64_t d = s[0] + (ns == 2 ? uint64_t(s[1]) * B : 0);
        uint64_t c = d == 1 ? 1 : gcd_u64(d, mod_small(l, nl, d));
        g[0] = uint32_t(c % B);
        if (c >= uint64_t(B)) g[1] = uint32_t(c / B);
        *length = c >= uint64_t(B) ? 2 : 1;
        return STATUS_OK;
    }
    size_t mark = scratch_mark(cx);
    uint32_t *u = scratch_take(cx, size_t(n));
    uint32_t *v = scratch_take(cx, size_t(n));
    uint32_t *r = scratch_take(cx, size_t(n));
    if (!u || !v || !r) {
        scratch_release(cx, mark);
        return STATUS_NO_ROOM;
    }
    lv_copy(u, a, na);
    lv_zero(u + na, n - na);
    lv_copy(v, b, nb);
    lv_zero(v + nb, n - nb);
    int nu = na, nv = nb;
    for (;;) {
        if (stopped(cx)) {
            scratch_release(cx, mark);
            return STATUS_INTERRUPTED;
        }
        if (nu < nv || (nu == nv && lv_cmp(u, v, nu) < 0)) {
            std::swap(u, v);
            std::swap(nu, nv);
        }
        if (nv == 0) break;
        if (nv <= 2) {
            // v is below 10^16: one pass for u mod v, then machine integers.
            uint64_t d = v[0] + (nv == 2 ? uint64_t(v[1]) * B : 0);
            uint64_t c = gcd_u64(d, mod_small(u, nu, d));
            u[0] = uint32_t(c % B);
            u[1] = uint32_t(c / B);
            nu = lv_top(u, 2);
            break;
        }
        int64_t x, y, m[4];
        leading(u, nu, v, nv, &x, &y);
        if (nu - nv < 2 && simulate(x, y, m)) {
            combine(u, v, nu, m);
            nu = lv_top(u, nu);
            nv = lv_top(v, nu);
            continue;
        }
        // A quotient too large to simulate: one division step.
        Status rc = lv_divrem(cx, nullptr, r, u, nu, v, nv);
        if (rc != STATUS_OK) {
            scratch_release(cx, mark);
            return rc;
        }
        lv_zero(u, nu);
        lv_copy(u, r, nv);
        nu = lv_top(u, nv);
    }
    lv_copy(g, u, nu);
    scratch_release(cx, mark);
    *length = nu;
    return STATUS_OK;
}
