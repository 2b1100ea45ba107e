// Long division of limb vectors: the schoolbook loop for short divisors, a
// Newton reciprocal on the fast products for long ones, and the fixed-point
// reciprocal built on them.
#include <cassert>

#include "fastmul.h"
#include "limbs.h"
#include "scratch.h"

namespace {

constexpr uint64_t B = LV_BASE;

static_assert(DIV_NEWTON_LIMBS >= 8, "the Newton step needs a half shorter than the whole");

// Schoolbook division by a normalised divisor v[0 .. n) (n >= 2,
// v[n - 1] >= B / 2) of u[0 .. n + k), whose top n limbs are below v (so the
// quotient has k limbs): q[0 .. k) := the quotient (q may be null),
// u[0 .. n) := the remainder, u[n .. n + k) := 0. Each quotient limb is
// estimated from the top two limbs of the window by the top divisor limb,
// corrected with the next limb of each (so it is at most one too large),
// and put right by one addition of v when the subtraction went negative.
void school_divide(uint32_t *q, uint32_t *u, int k, const uint32_t *v, int n) {
    assert(n >= 2 && v[n - 1] >= B / 2);
    const uint64_t vt = v[n - 1], vs = v[n - 2];
    for (int j = k - 1; j >= 0; j--) {
        uint32_t *w = u + j;  // the window w[0 .. n], w[n] <= vt
        uint64_t num = uint64_t(w[n]) * B + w[n - 1];
        uint64_t qh = num / vt, rh = num - qh * vt;
        while (qh >= B || qh * vs > rh * B + w[n - 2]) {
            qh--;
            rh += vt;
            if (rh >= B) break;
        }
        assert(qh < B);
        if (qh != 0) {
            // The limb products split into high and low halves on their own;
            // only the borrow (0..2) runs from limb to limb, which keeps the
            // loop's dependency chain short.
            uint64_t high = 0;
            int64_t borrow = 0;
            for (int i = 0; i < n; i++) {
                uint64_t p = qh * v[i];
                uint64_t hi = p / B;
                int64_t t = int64_t(w[i]) - int64_t(p - hi * B) - int64_t(high) - borrow;
                borrow = (t < 0) + (t < -int64_t(B));
                w[i] = uint32_t(t + borrow * int64_t(B));
                high = hi;
            }
            uint64_t taken = high + uint64_t(borrow);
            if (w[n] < taken) {  // one too large: add v back
                qh--;
                uint32_t c = lv_add(w, w, n, v, n);
                assert(w[n] + c == taken);
                (void)c;
            } else {
                assert(w[n] == taken);
            }
            w[n] = 0;
        }
        if (q) q[j] = uint32_t(qh);
    }
}

// x[0 .. m] := an approximation of B^(2m) / d for a normalised d[0 .. m)
// (d[m - 1] >= B / 2), within 4 of the true quotient (so
// B^m - 4 <= x <= 2 B^m + 4). Short ones are divided out exactly; longer
// ones take the reciprocal x_h of the top h = ceil(m / 2) + 1 limbs and one
// Newton step:
//   x = x_h B^(m-h) + x_h R / B^(2h),   R = B^(m+h) - d x_h,
// whose error is D e^2 with |e| < 8 B^-h (e the relative error of x_h, its
// own 4 plus 4 from cutting d to h limbs), below B^(m - 2h) <= B^-2 of the
// last limb, plus under 4 from cutting R to its top limbs and the final
// floor. x must not overlap d. STATUS_OK, STATUS_NO_ROOM when the arena
// lacks room, or STATUS_INTERRUPTED.
Status approx_reciprocal(Context &cx, uint32_t *x, const uint32_t *d, int m) {
    assert(m >= 1 && d[m - 1] >= B / 2);
    size_t mark = scratch_mark(cx);
    if (m < thresholds().div_newton) {
        uint32_t *num = scratch_take(cx, size_t(2) * m + 1);
        if (!num) return STATUS_NO_ROOM;
        lv_zero(num, 2 * m);
        num[2 * m] = 1;
        if (m == 1) {
            lv_div_1(num, num, 3, d[0]);
            assert(num[2] == 0);
            lv_copy(x, num, 2);
        } else {
            school_divide(x, num, m + 1, d, m);
        }
        scratch_release(cx, mark);
        return STATUS_OK;
    }
    int h = (m + 1) / 2 + 1;
    uint32_t *xh = scratch_take(cx, size_t(h) + 1);
    uint32_t *t = scratch_take(cx, size_t(m) + h + 1);
    uint32_t *c = scratch_take(cx, size_t(m) + 2);
    Status rc = !xh || !t || !c ? STATUS_NO_ROOM : approx_reciprocal(cx, xh, d + m - h, h);
    if (rc == STATUS_OK) {
        mul_limbs(cx, t, d, m, xh, h + 1);
        if (stopped(cx)) rc = STATUS_INTERRUPTED;
    }
    if (rc != STATUS_OK) {
        scratch_release(cx, mark);
        return rc;
    }
    // |R| < 8 B^m: t lies just above or just below B^(m+h), and |R| is
    // what its low m + 1 limbs differ from B^(m+1) or from 0.
    bool negative = t[m + h] != 0;
    if (negative) {
        assert(t[m + h] == 1 && lv_top(t + m + 1, h - 1) == 0);
    } else {
        for (int i = 0; i <= m; i++) t[i] = uint32_t(B - 1) - t[i];
        uint32_t carry = lv_add_1(t, t, m + 1, 1);
        assert(carry == 0);
        (void)carry;
    }
    assert(t[m] < 8);
    // The correction x_h |R| / B^(2h), from the top m + 1 - h limbs of |R|.
    mul_limbs(cx, c, xh, h + 1, t + h, m + 1 - h);
    lv_zero(x, m - h);
    lv_copy(x + m - h, xh, h + 1);
    uint32_t out = negative ? lv_sub(x, x, m + 1, c + h, m + 2 - h)
                            : lv_add(x, x, m + 1, c + h, m + 2 - h);
    assert(out == 0);
    (void)out;
    scratch_release(cx, mark);
    return stopped(cx) ? STATUS_INTERRUPTED : STATUS_OK;
}

// One block of the reciprocal division: w[0 .. n + kb) (top n limbs below
// v) by the normalised v[0 .. n), kb <= n; y[0 .. kb] approximates
// B^(n + kb) / v within 1.01. qb[0 .. kb) := the quotient, w[0 .. n) := the
// remainder, w[n .. n + kb) := 0. The estimate floor(w_top y / B^(kb+1))
// from the top kb + 1 limbs of w is within -2 .. +1 of the quotient; the
// product with v then decides each correction. STATUS_OK, STATUS_NO_ROOM
// (arena) or STATUS_INTERRUPTED.
Status reciprocal_block(Context &cx, uint32_t *qb, uint32_t *w, int kb, const uint32_t *v, int n,
                        const uint32_t *y) {
    size_t mark = scratch_mark(cx);
    uint32_t *est = scratch_take(cx, size_t(2) * kb + 2);
    uint32_t *p = scratch_take(cx, size_t(n) + kb);
    if (!est || !p) {
        scratch_release(cx, mark);
        return STATUS_NO_ROOM;
    }
    mul_limbs(cx, est, w + n - 1, kb + 1, y, kb + 1);
    if (est[2 * kb + 1] != 0) {
        // Above B^kb - 1, which the quotient never is: cut to that.
        for (int i = 0; i < kb; i++) qb[i] = uint32_t(B - 1);
    } else {
        lv_copy(qb, est + kb + 1, kb);
    }
    mul_limbs(cx, p, qb, kb, v, n);
    if (stopped(cx)) {  // the products are zeros: the corrections would not end
        scratch_release(cx, mark);
        return STATUS_INTERRUPTED;
    }
    int steps = 0;
    while (lv_cmp(p, w, n + kb) > 0) {
        lv_sub_1(qb, qb, kb, 1);
        lv_sub(p, p, n + kb, v, n);
        steps++;
    }
    lv_sub(w, w, n + kb, p, n + kb);
    assert(lv_top(w + n + 1, kb - 1) == 0);
    while (w[n] != 0 || lv_cmp(w, v, n) >= 0) {
        lv_sub(w, w, n + 1, v, n);
        lv_add_1(qb, qb, kb, 1);
        steps++;
    }
    assert(steps <= 2);
    (void)steps;
    scratch_release(cx, mark);
    return STATUS_OK;
}

// Division of u[0 .. n + k) (top n limbs below v) by the normalised
// v[0 .. n) through a reciprocal of precision m = min(k, n) + 1 limbs
// (computed once: of v's top m limbs, or of v with a zero limb below when
// m = n + 1), then block by block from the top: a first block of
// ((k - 1) mod n) + 1 quotient limbs and full blocks of n after it, each a
// division of 2n (or fewer) by n limbs. q[0 .. k) := the quotient,
// u[0 .. n) := the remainder. STATUS_OK, STATUS_NO_ROOM (arena) or
// STATUS_INTERRUPTED.
Status reciprocal_divide(Context &cx, uint32_t *q, uint32_t *u, int k, const uint32_t *v, int n) {
    size_t mark = scratch_mark(cx);
    int m = (k < n ? k : n) + 1;
    const uint32_t *d = v + n - m;
    uint32_t *x = scratch_take(cx, size_t(m) + 1);
    uint32_t *padded = m > n ? scratch_take(cx, size_t(m)) : x;
    if (!x || !padded) {
        scratch_release(cx, mark);
        return STATUS_NO_ROOM;
    }
    if (m > n) {
        padded[0] = 0;
        lv_copy(padded + 1, v, n);
        d = padded;
    }
    Status rc = approx_reciprocal(cx, x, d, m);
    if (rc != STATUS_OK) {
        scratch_release(cx, mark);
        return rc;
    }
    int pos = k;
    int kb = (k - 1) % n + 1;
    while (pos > 0) {
        pos -= kb;
        // x / B^(m - kb) approximates B^(n + kb) / v: see approx_reciprocal
        // for x's own error, and v's cut limbs add under 4 / B.
        rc = reciprocal_block(cx, q + pos, u + pos, kb, v, n, x + m - kb);
        if (rc != STATUS_OK) {
            scratch_release(cx, mark);
            return rc;
        }
        kb = n;
    }
    scratch_release(cx, mark);
    return STATUS_OK;
}

}  // namespace

Status lv_divrem(Context &cx, uint32_t *q, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb) {
    assert(a && b && nb >= 1 && na >= nb && b[nb - 1] != 0);
    if (stopped(cx)) return STATUS_INTERRUPTED;
    if (nb == 1) {
        uint64_t rem = 0;
        if (q) {
            rem = lv_div_1(q, a, na, b[0]);
        } else {
            for (int i = na - 1; i >= 0; i--) rem = (rem * B + a[i]) % b[0];
        }
        if (r) r[0] = uint32_t(rem);
        return STATUS_OK;
    }
    size_t mark = scratch_mark(cx);
    int k = na - nb + 1;
    uint32_t *v = scratch_take(cx, size_t(nb));
    uint32_t *u = scratch_take(cx, size_t(na) + 1);
    bool school = nb < thresholds().div_newton;
    uint32_t *quot = q || school ? q : scratch_take(cx, size_t(k));  // the blocks need one
    if (!v || !u || (!school && !quot)) {
        scratch_release(cx, mark);
        return STATUS_NO_ROOM;
    }
    // Scaling both by f makes the divisor's top limb at least B / 2 without
    // lengthening it, and leaves the quotient as it is.
    uint32_t f = uint32_t(B / (uint64_t(b[nb - 1]) + 1));
    if (f == 1) {
        lv_copy(v, b, nb);
        lv_copy(u, a, na);
        u[na] = 0;
    } else {
        uint64_t spill = lv_mul_1(v, b, nb, f);
        assert(spill == 0);
        (void)spill;
        u[na] = uint32_t(lv_mul_1(u, a, na, f));
    }
    assert(v[nb - 1] >= B / 2);
    Status rc = STATUS_OK;
    if (school) {
        school_divide(q, u, k, v, nb);
    } else if (na + 4 > fastmul_capacity(cx)) {
        rc = STATUS_NO_ROOM;
    } else {
        rc = reciprocal_divide(cx, quot, u, k, v, nb);
    }
    if (rc == STATUS_OK && r) {
        uint32_t rest = lv_div_1(r, u, nb, f);
        assert(rest == 0);
        (void)rest;
    }
    scratch_release(cx, mark);
    return rc;
}

Status lv_approx_reciprocal(Context &cx, uint32_t *x, const uint32_t *d, int m) {
    if (stopped(cx)) return STATUS_INTERRUPTED;
    return approx_reciprocal(cx, x, d, m);
}

Status lv_reciprocal(Context &cx, uint32_t *y, const uint32_t *b, int nb, int n) {
    assert(b && nb >= 1 && n >= 0 && b[nb - 1] != 0);
    size_t mark = scratch_mark(cx);
    int len = nb + n + 1;
    uint32_t *power = scratch_take(cx, size_t(len));
    if (!power) return STATUS_NO_ROOM;
    lv_zero(power, len - 1);
    power[len - 1] = 1;
    Status rc = lv_divrem(cx, y, nullptr, power, len, b, nb);
    scratch_release(cx, mark);
    return rc;
}
