// Floating big numbers of the function kernels (mantissa, limb exponent,
// truncation to cx.prec limbs) and binary splitting of series on them.
#include "real_flt.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <initializer_list>
#include <new>

#include "../engine/fastmul.h"
#include "../engine/limbs.h"
#include "../engine/scratch.h"
#include "../engine/threads.h"
#include "../engine/thresholds.h"


namespace {

constexpr uint32_t BASE = LV_BASE;

// Arena storage for n limbs, or null with cx.status STATUS_NO_ROOM when the
// arena (sized for the precision) runs out: the kernel then ends with that
// status rather than compute into memory that is not ours.
uint32_t *take(Context &cx, int64_t n) {
    uint32_t *p = scratch_take(cx, size_t(n > 0 ? n : 1));
    if (!p && cx.status == STATUS_OK) cx.status = STATUS_NO_ROOM;
    return p;
}

// True when the operation is to return zero at once: an earlier one failed
// or the stop flag is raised.
inline bool halted(Context &cx) { return cx.status != STATUS_OK || stopped(cx); }

// Strips zero limbs at both ends; zero becomes the canonical zero.
Flt normalise(Flt a) {
    while (a.n > 0 && a.d[a.n - 1] == 0) a.n--;
    int low = 0;
    while (low < a.n && a.d[low] == 0) low++;
    a.d += low;
    a.n -= low;
    a.e += low;
    if (a.n == 0) {
        a.e = 0;
        a.sign = 1;
    }
    return a;
}

Flt round_prec(Context &cx, const Flt &a) { return flt_trunc(normalise(a), cx.prec); }

}  // namespace

Flt flt_zero() { return Flt{nullptr, 0, 0, 1}; }

Flt flt_u128(Context &cx, unsigned __int128 v, int sign) {
    uint32_t *d = halted(cx) ? nullptr : take(cx, 5);
    if (!d) return flt_zero();
    int n = 0;
    while (v) {
        d[n++] = uint32_t(v % BASE);
        v /= BASE;
    }
    return normalise(Flt{d, n, 0, sign});
}

Flt flt_int(Context &cx, int64_t v) {
    unsigned __int128 m = v < 0 ? (unsigned __int128)(-(__int128)v) : (unsigned __int128)v;
    return flt_u128(cx, m, v < 0 ? -1 : 1);
}

Flt flt_from_ld(Context &cx, long double v, int64_t shift) {
    assert(v > 0);
    int64_t e = 0;
    while (v >= 1e16L) {
        v /= BASE;
        e++;
    }
    while (v < 1e8L) {
        v *= BASE;
        e--;
    }
    // Now 1e8 <= v < 1e16: three limbs hold v * BASE.
    unsigned __int128 m = (unsigned __int128)(v * (long double)BASE);
    Flt r = flt_u128(cx, m, 1);
    if (r.n) r.e += e - 1 + shift;
    return r;
}

int64_t flt_top(const Flt &a) { return a.n == 0 ? INT64_MIN / 4 : a.e + a.n; }

long double flt_lead(const Flt &a, int64_t *exp) {
    if (a.n == 0) {
        *exp = 0;
        return 0;
    }
    long double m = a.d[a.n - 1];
    if (a.n >= 2) m = m * BASE + a.d[a.n - 2];
    if (a.n >= 3) m += a.d[a.n - 3] / (long double)BASE;
    *exp = a.e + a.n - (a.n >= 2 ? 2 : 1);
    return m;
}

double flt_log10_abs(const Flt &a) {
    int64_t e;
    long double m = flt_lead(a, &e);
    if (m <= 0) return -1e300;
    return double(log10l(m) + 8.0L * e);
}

Flt flt_trunc(const Flt &a, int limbs) {
    if (a.n <= limbs) return a;
    Flt r = a;
    int drop = a.n - limbs;
    r.d += drop;
    r.n = limbs;
    r.e += drop;
    return normalise(r);
}

Flt flt_normalise(const Flt &a) { return normalise(a); }

Flt flt_floor(Context &cx, const Flt &a) {
    Flt f = flt_floor_abs(a);
    if (a.sign > 0 || a.n == 0) return f;
    // -(ceil |a|): one more when a has a fraction.
    bool whole = flt_cmp_abs(f, a) == 0;
    Flt r = whole ? flt_copy(cx, f) : flt_add(cx, f, flt_int(cx, 1));
    return flt_neg(r);
}

Flt flt_copy(Context &cx, const Flt &a) {
    Flt r = a;
    if (a.n == 0) return r;
    r.d = halted(cx) ? nullptr : take(cx, a.n);
    if (!r.d) return flt_zero();
    memcpy(r.d, a.d, sizeof(uint32_t) * a.n);
    return r;
}

Flt flt_neg(const Flt &a) {
    Flt r = a;
    if (r.n) r.sign = -r.sign;
    return r;
}

Flt flt_mul(Context &cx, const Flt &x, const Flt &y) {
    if (x.n == 0 || y.n == 0 || halted(cx)) return flt_zero();
    Flt a = flt_trunc(x, cx.prec + 1), b = flt_trunc(y, cx.prec + 1);
    Flt r{take(cx, int64_t(a.n) + b.n), a.n + b.n, a.e + b.e, a.sign * b.sign};
    if (!r.d) return flt_zero();
    if (a.n == 1) {
        r.d[b.n] = uint32_t(lv_mul_1(r.d, b.d, b.n, a.d[0]));
    } else if (b.n == 1) {
        r.d[a.n] = uint32_t(lv_mul_1(r.d, a.d, a.n, b.d[0]));
    } else {
        if (fastmul_capacity(cx) < a.n + b.n) {
            // Without the product scratch, row by row: slow but exact.
            lv_zero(r.d, a.n + b.n);
            for (int i = 0; i < b.n; i++) r.d[a.n + i] = lv_addmul_1(r.d + i, a.d, a.n, b.d[i]);
        } else if (a.d == b.d && a.n == b.n) {
            sqr_limbs(cx, r.d, a.d, a.n);
        } else {
            mul_limbs(cx, r.d, a.d, a.n, b.d, b.n);
        }
    }
    return round_prec(cx, r);
}

namespace {

// |a| + |b| or ||a| - |b|| aligned on limb exponents, with the sign of the
// result; operands below the kept precision are cut first.
Flt add_signed(Context &cx, const Flt &x, const Flt &y, int ysign) {
    if (halted(cx)) return flt_zero();
    if (y.n == 0) return flt_copy(cx, x);
    if (x.n == 0) {
        Flt r = flt_copy(cx, y);
        r.sign = ysign;
        return r;
    }
    int64_t top = std::max(flt_top(x), flt_top(y));
    int64_t lo = std::min(x.e, y.e);
    if (top - lo > cx.prec + 2) lo = top - (cx.prec + 2);
    Flt a = x, b = y;
    for (Flt *v : {&a, &b}) {
        if (v->e < lo) {
            int64_t drop = lo - v->e;
            if (drop >= v->n) {
                *v = flt_zero();
            } else {
                v->d += drop;
                v->n -= int(drop);
                v->e = lo;
            }
        }
    }
    int L = int(top - lo) + 1;
    uint32_t *ra = take(cx, L);
    if (!ra) return flt_zero();
    lv_zero(ra, L);
    if (a.n) memcpy(ra + (a.e - lo), a.d, sizeof(uint32_t) * a.n);
    Flt r{ra, L, lo, x.sign};
    if (b.n == 0) return round_prec(cx, r);
    int ob = int(b.e - lo);
    if (x.sign == ysign) {
        lv_add(ra + ob, ra + ob, L - ob, b.d, b.n);
        return round_prec(cx, r);
    }
    uint32_t *rb = take(cx, L);
    if (!rb) return flt_zero();
    lv_zero(rb, L);
    memcpy(rb + ob, b.d, sizeof(uint32_t) * b.n);
    if (lv_cmp(ra, rb, L) >= 0) {
        lv_sub(ra, ra, L, rb, L);
    } else {
        lv_sub(ra, rb, L, ra, L);
        r.sign = ysign;
    }
    return round_prec(cx, r);
}

}  // namespace

Flt flt_add(Context &cx, const Flt &a, const Flt &b) { return add_signed(cx, a, b, b.sign); }
Flt flt_sub(Context &cx, const Flt &a, const Flt &b) { return add_signed(cx, a, b, -b.sign); }

Flt flt_mul_int(Context &cx, const Flt &a, int64_t m) {
    if (a.n == 0 || m == 0) return flt_zero();
    if (m < 0) return flt_neg(flt_mul_int(cx, a, -m));
    if (halted(cx)) return flt_zero();
    if (m < int64_t(BASE)) {
        Flt r{take(cx, a.n + 1), a.n + 1, a.e, a.sign};
        if (!r.d) return flt_zero();
        r.d[a.n] = uint32_t(lv_mul_1(r.d, a.d, a.n, uint32_t(m)));
        return round_prec(cx, r);
    }
    return flt_mul(cx, a, flt_int(cx, m));
}

// Divisors of at least half the precision: a rounded quotient needs no
// remainder, so a/b is a times
// an approximate reciprocal of b's mantissa at m = prec + 2 limbs (zero
// limbs below a shorter one), both scaled by f so that the divisor's top
// limb is at least BASE / 2. The reciprocal is within 4 units of m limbs;
// taking 4 off makes it a lower bound, so the quotient stays a truncation
// (never above a / b), low by a relative 8 BASE^-m at most, far inside the
// result's last limb.
Flt divide_by_reciprocal(Context &cx, const Flt &a, const Flt &b) {
    const int m = cx.prec + 2;
    uint32_t f = uint32_t(BASE / (uint64_t(b.d[b.n - 1]) + 1));
    int nq = a.n + 1 + m + 1;
    Flt q{take(cx, nq), nq, a.e - b.e - m - b.n, a.sign * b.sign};
    if (!q.d) return flt_zero();
    size_t mark = scratch_mark(cx);
    uint32_t *d = take(cx, m), *x = take(cx, m + 1), *num = take(cx, a.n + 1);
    if (!d || !x || !num) return flt_zero();
    lv_zero(d, m - b.n);
    uint64_t spill = lv_mul_1(d + m - b.n, b.d, b.n, f);
    assert(spill == 0);
    (void)spill;
    num[a.n] = uint32_t(lv_mul_1(num, a.d, a.n, f));
    Status rc = lv_approx_reciprocal(cx, x, d, m);
    if (rc != STATUS_OK) {
        cx.status = rc;
        return flt_zero();
    }
    lv_sub_1(x, x, m + 1, 4);  // x >= BASE^m - 4: no borrow out
    mul_limbs(cx, q.d, num, a.n + 1, x, m + 1);
    scratch_release(cx, mark);
    if (halted(cx)) return flt_zero();
    return round_prec(cx, q);
}

Flt flt_div(Context &cx, const Flt &x, const Flt &y) {
    if (x.n == 0 || halted(cx)) return flt_zero();  // a divisor made zero by a halt is never read
    assert(y.n > 0);
    Flt a = flt_trunc(x, cx.prec + 2), b = flt_trunc(y, cx.prec + 2);
    // A divisor of fewer limbs divides faster exactly (its reciprocal would
    // be padded to the full length).
    if (2 * b.n >= cx.prec && cx.prec + 2 >= thresholds().div_newton) return divide_by_reciprocal(cx, a, b);
    int s = cx.prec + 2 + b.n - a.n;
    if (s < 0) s = 0;
    int nn = a.n + s;
    uint32_t *num = take(cx, nn);
    if (!num) return flt_zero();
    lv_zero(num, s);
    memcpy(num + s, a.d, sizeof(uint32_t) * a.n);
    int nq = nn - b.n + 1;
    Flt q{take(cx, nq), nq, a.e - s - b.e, a.sign * b.sign};
    if (!q.d) return flt_zero();
    if (b.n == 1) {
        lv_div_1(num, num, nn, b.d[0]);
        q.d = num;
        q.n = nn;
    } else {
        Status rc = lv_divrem(cx, q.d, nullptr, num, nn, b.d, b.n);
        if (rc != STATUS_OK) {
            cx.status = rc;
            return flt_zero();
        }
    }
    return round_prec(cx, q);
}

Flt flt_div_int(Context &cx, const Flt &a, int64_t m) {
    assert(m != 0);
    if (m < 0) return flt_neg(flt_div_int(cx, a, -m));
    if (a.n == 0 || halted(cx)) return flt_zero();
    if (m >= int64_t(BASE)) return flt_div(cx, a, flt_int(cx, m));
    int extra = cx.prec + 2 - a.n;
    if (extra < 1) extra = 1;
    int nn = a.n + extra;
    Flt r{take(cx, nn), nn, a.e - extra, a.sign};
    if (!r.d) return flt_zero();
    lv_zero(r.d, extra);
    memcpy(r.d + extra, a.d, sizeof(uint32_t) * a.n);
    lv_div_1(r.d, r.d, nn, uint32_t(m));
    return round_prec(cx, r);
}

Flt flt_pow_int(Context &cx, const Flt &a, uint64_t k) {
    if (k == 0) return flt_int(cx, 1);
    Flt r = a;
    int bit = 63;
    while (!((k >> bit) & 1)) bit--;
    for (bit--; bit >= 0; bit--) {
        r = flt_mul(cx, r, r);
        if ((k >> bit) & 1) r = flt_mul(cx, r, a);
    }
    return r;
}

Flt flt_inv_root(Context &cx, const Flt &a, int n) {
    if (halted(cx)) return flt_zero();
    assert(a.n > 0 && a.sign > 0 && n >= 1);
    const int target = cx.prec;
    PrecisionScope scope(cx, target);
    // a ~ m * BASE^E with E = n q + r, 0 <= r < n: a^(-1/n) = (m BASE^r)^(-1/n) BASE^-q.
    int64_t E;
    long double m = flt_lead(a, &E);
    int64_t q = E >= 0 ? E / n : -((-E + n - 1) / n);
    int64_t r = E - q * n;
    long double start = powl(m, -1.0L / n) * powl((long double)BASE, -(long double)r / n);
    Flt z = flt_from_ld(cx, start, -q);
    // Precisions of the Newton steps, from the full one down by halving.
    int steps[64], count = 0;
    for (int p = target; p > 2 && count < 62; p = (p + 1) / 2 + 1) steps[count++] = p;
    steps[count++] = 2;
    size_t mark = scratch_mark(cx);
    for (int i = count - 1; i >= 0; i--) {
        if (halted(cx)) return flt_zero();
        cx.prec = steps[i] + 1;
        // z += z (1 - a z^n) / n
        Flt t = flt_mul(cx, flt_trunc(a, cx.prec + 1), flt_pow_int(cx, z, uint64_t(n)));
        Flt one = flt_int(cx, 1);
        Flt residual = flt_sub(cx, one, t);
        Flt step = flt_mul(cx, z, residual);
        if (n > 1) step = flt_div_int(cx, step, n);
        z = flt_add(cx, z, step);
        flt_settle(cx, mark, &z);
    }
    return z;
}

Flt flt_sqrt(Context &cx, const Flt &a) {
    if (a.n == 0) return a;
    const int target = cx.prec;
    PrecisionScope scope(cx, target);
    // The root to half the limbs, then one correction at full length whose
    // products are of half-length operands: s + z (a - s^2) / 2 with
    // z ~ 1/sqrt(a) to half the limbs (Karp and Markstein's arrangement).
    int half = target / 2 + 2;
    if (half > target + 1) half = target + 1;
    cx.prec = half;
    Flt z = flt_inv_root(cx, a, 2);
    cx.prec = half;
    Flt s = flt_mul(cx, flt_trunc(a, half + 1), z);
    cx.prec = target + 2;
    Flt r = flt_sub(cx, a, flt_mul(cx, s, s));
    Flt corr = flt_div_int(cx, flt_mul(cx, z, r), 2);
    s = flt_add(cx, s, corr);
    cx.prec = target;
    return round_prec(cx, s);
}

Flt flt_floor_abs(const Flt &a) {
    if (a.n == 0 || a.e >= 0) {
        Flt r = a;
        r.sign = 1;
        return r;
    }
    if (flt_top(a) <= 0) return flt_zero();
    Flt r = a;
    int64_t drop = -a.e;
    r.d += drop;
    r.n -= int(drop);
    r.e = 0;
    r.sign = 1;
    return normalise(r);
}

int flt_cmp_abs(const Flt &a, const Flt &b) {
    if (a.n == 0 || b.n == 0) return (a.n != 0) - (b.n != 0);
    int64_t ta = flt_top(a), tb = flt_top(b);
    if (ta != tb) return ta < tb ? -1 : 1;
    for (int64_t p = ta - 1; p >= std::min(a.e, b.e); p--) {
        uint32_t x = (p >= a.e && p < ta) ? a.d[p - a.e] : 0;
        uint32_t y = (p >= b.e && p < tb) ? b.d[p - b.e] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

int flt_cmp(const Flt &a, const Flt &b) {
    int sa = a.n == 0 ? 0 : a.sign, sb = b.n == 0 ? 0 : b.sign;
    if (sa != sb) return sa < sb ? -1 : 1;
    int c = flt_cmp_abs(a, b);
    return sa < 0 ? -c : c;
}

void flt_settle(Context &cx, size_t mark, Flt *a, Flt *b, Flt *c) {
    Flt *v[3] = {a, b, c};
    int64_t total = 0;
    for (Flt *x : v)
        if (x) total += x->n;
    // Through a copy above everything, since the values may overlap the
    // place they move to.
    uint32_t *tmp = take(cx, total);
    if (!tmp) {  // the values are lost: the kernel ends with STATUS_NO_ROOM
        for (Flt *x : v)
            if (x) *x = flt_zero();
        return;
    }
    int64_t pos = 0;
    for (Flt *x : v)
        if (x && x->n) {
            memcpy(tmp + pos, x->d, sizeof(uint32_t) * x->n);
            pos += x->n;
        }
    scratch_release(cx, mark);
    uint32_t *dst = take(cx, total);
    memmove(dst, tmp, sizeof(uint32_t) * total);
    pos = 0;
    for (Flt *x : v)
        if (x && x->n) {
            x->d = dst + pos;
            pos += x->n;
        }
}

// ----------------------------------------------------------- series

namespace {

struct Triple {
    Flt P, Q, T;
};

// Factors of term k >= 1 of a series as 128-bit integers.
void term_factors(SeriesKind kind, int64_t k, __int128 *ps, __int128 *qs, __int128 *ak) {
    *ak = 1;
    *ps = 1;
    *qs = 1;
    switch (kind) {
        case SERIES_EXP: *ps = 1; *qs = k; break;
        case SERIES_SIN: *ps = -1; *qs = (__int128)(2 * k) * (2 * k + 1); break;
        case SERIES_COS: *ps = -1; *qs = (__int128)(2 * k - 1) * (2 * k); break;
        case SERIES_ATANH: *ps = 2 * k - 1; *qs = 2 * k + 1; break;
        case SERIES_ATAN_EULER: *ps = 2 * k; *qs = 2 * k + 1; break;
        case SERIES_CHUDNOVSKY:
            *ps = -(__int128)(6 * k - 5) * (2 * k - 1) * (6 * k - 1);
            *qs = (__int128)k * k * k * 10939058860032000LL;
            *ak = 13591409 + (__int128)545140134 * k;
            break;
    }
}

Flt from_i128(Context &cx, __int128 v) {
    return flt_u128(cx, v < 0 ? (unsigned __int128)(-v) : (unsigned __int128)v, v < 0 ? -1 : 1);
}

Triple leaf(Context &cx, const Series &s, int64_t k) {
    Triple t;
    if (k == 0) {
        t.P = flt_int(cx, 1);
        t.Q = flt_int(cx, 1);
        __int128 ps, qs, ak;
        term_factors(s.kind, 1, &ps, &qs, &ak);
        t.T = s.kind == SERIES_CHUDNOVSKY ? flt_int(cx, 13591409) : flt_int(cx, 1);
        return t;
    }
    __int128 ps, qs, ak;
    term_factors(s.kind, k, &ps, &qs, &ak);
    Flt p = from_i128(cx, ps), q = from_i128(cx, qs);
    bool unit_p = s.pb.n == 1 && s.pb.d[0] == 1 && s.pb.e == 0 && s.pb.sign > 0;
    t.P = unit_p ? p : flt_mul(cx, p, s.pb);
    t.Q = s.qb.n == 1 && s.qb.d[0] == 1 && s.qb.e == 0 && s.qb.sign > 0 ? q : flt_mul(cx, q, s.qb);
    __int128 pa;
    if (ak == 1)
        t.T = t.P;
    else if (unit_p && !__builtin_mul_overflow(ps, ak, &pa))
        t.T = from_i128(cx, pa);  // pi's terms: p(k) a(k) in one word pair
    else
        t.T = flt_mul(cx, t.P, from_i128(cx, ak));
    return t;
}

// P, Q, T of two neighbouring ranges joined (need_p: also P), in cx's
// arena above the parts, which stay.
Triple join(Context &cx, const Triple &L, const Triple &R, bool need_p) {
    if (halted(cx)) return Triple{flt_zero(), flt_zero(), flt_zero()};
    Triple t;
    t.P = need_p ? flt_mul(cx, L.P, R.P) : flt_zero();
    t.Q = flt_mul(cx, L.Q, R.Q);
    t.T = flt_add(cx, flt_mul(cx, L.T, R.Q), flt_mul(cx, L.P, R.T));
    return t;
}

// The plain series of e (every p(k) = 1, q(k) = k, no outer factors):
// P, Q, T of a short range [a, b) in 128-bit integers, Q = prod q(k) and,
// by Horner's rule, T = sum_k prod_{k < i < b} q(i), the values a split
// into single terms joins to. False when Q would pass 2^120: the caller
// splits further. A leaf of several terms spares the series' thousands of
// joins of one-limb numbers.
bool e_range(Context &cx, const Series &s, int64_t a, int64_t b, Triple *t) {
    auto unit = [](const Flt &x) { return x.n == 1 && x.d[0] == 1 && x.e == 0 && x.sign > 0; };
    if (s.kind != SERIES_EXP || !unit(s.pb) || !unit(s.qb) || b - a > 16) return false;
    const unsigned __int128 limit = (unsigned __int128)1 << 120;
    unsigned __int128 q = 1, sum = 0;
    for (int64_t k = a; k < b; k++) {
        uint64_t qk = k == 0 ? 1 : uint64_t(k);  // the first term is 1 itself
        if (q > limit / qk) return false;
        q *= qk;
        sum = sum * qk + 1;  // below q (b - a) <= 2^124
    }
    t->P = flt_int(cx, 1);
    t->Q = flt_u128(cx, q, 1);
    t->T = flt_u128(cx, sum, 1);
    return true;
}

// P, Q, T of the terms a .. b-1, settled at the arena position on entry.
// The rightmost range never needs P.
Triple split(Context &cx, const Series &s, int64_t a, int64_t b, bool need_p) {
    if (b - a == 1) return leaf(cx, s, a);
    Triple short_range;
    if (e_range(cx, s, a, b, &short_range)) return short_range;
    size_t mark = scratch_mark(cx);
    int64_t m = a + (b - a) / 2;
    Triple L = split(cx, s, a, m, true);
    Triple R = split(cx, s, m, b, need_p);
    Triple t = join(cx, L, R, need_p);
    flt_settle(cx, mark, &t.P, &t.Q, &t.T);
    return t;
}

// ------------------------------------------- binary splitting on a team
//
// The top of the splitting shared by the members of cx's team: the range
// is cut as split cuts it, into 2^depth subranges, which the members take
// whole in their own contexts (the last first: later terms are longer, so
// the longest go first); the nodes above are joined a node to a member
// while a level has two nodes a member, the rest by cx with its products
// on the team. Every value is the one split computes, whichever thread
// computes it, so the sum is the same for every number of threads.

constexpr int SPLIT_DEPTH_MAX = 8;  // 4 subranges a member for THREADS_MAX

// A node of the top: its range, whether it needs P, and its P, Q, T.
struct Node {
    int64_t a, b;
    bool need_p;
    Triple t;
};

struct SplitJob {
    const Series *s;
    Context *cx;
    int depth;  // the members take the nodes of this depth whole
    int shared;  // levels above them joined a node to a member
    TeamWork work;
    Node node[2 << SPLIT_DEPTH_MAX];  // node i's halves are 2i and 2i + 1, the root 1
};

// Node i joined from its halves in cx, settled above the arena's mark.
void join_node(Context &cx, Node *node, int i) {
    size_t mark = scratch_mark(cx);
    Triple &t = node[i].t;
    t = join(cx, node[2 * i].t, node[2 * i + 1].t, node[i].need_p);
    flt_settle(cx, mark, &t.P, &t.Q, &t.T);
}

void split_member(void *arg, int m) {
    SplitJob &j = *static_cast<SplitJob *>(arg);
    Context &cx = m == 0 ? *j.cx : thread_context(j.cx->team_first + m);
    Turn turn(j.work);
    for (int d = j.depth; d >= j.depth - j.shared; d--) {
        const int count = 1 << d;
        for (size_t k; take_chunk(turn, size_t(count), &k);) {
            const int i = 2 * count - 1 - int(k);
            if (d == j.depth) j.node[i].t = split(cx, *j.s, j.node[i].a, j.node[i].b, j.node[i].need_p);
            else join_node(cx, j.node, i);
        }
        barrier_wait(j.work.barrier);
    }
}

// split(cx, s, 0, terms, false) on the members of cx's team, terms >= 2
// ^ SPLIT_DEPTH_MAX; what the members computed stays in their arenas
// until the caller gives it back (see series_sum).
Triple split_on_team(Context &cx, const Series &s, int64_t terms, SplitJob &j) {
    const int members = cx.team_size;
    j.s = &s;
    j.cx = &cx;
    j.work.barrier.size = unsigned(members);
    j.depth = 0;
    while ((1 << j.depth) < 4 * members && j.depth < SPLIT_DEPTH_MAX) j.depth++;
    j.shared = 0;
    while ((1 << (j.depth - j.shared - 1)) >= 2 * members) j.shared++;
    j.node[1] = Node{0, terms, false, {}};
    for (int i = 1; i < (1 << j.depth); i++) {
        const Node &n = j.node[i];
        int64_t mid = n.a + (n.b - n.a) / 2;
        j.node[2 * i] = Node{n.a, mid, true, {}};
        j.node[2 * i + 1] = Node{mid, n.b, n.need_p, {}};
    }
    for (int m = 1; m < members; m++) {
        Context &w = thread_context(cx.team_first + m);
        w.prec = cx.prec;
        w.status = STATUS_OK;
        w.stop = cx.stop;
        w.team_size = 1;
    }
    cx.team_size = 1;  // the others are busy until the job ends
    team_run(cx.team_first, members, split_member, &j);
    cx.team_size = members;
    for (int m = 1; m < members; m++) {
        Status st = thread_context(cx.team_first + m).status;
        if (st != STATUS_OK && cx.status == STATUS_OK) cx.status = st;
    }
    for (int d = j.depth - j.shared - 1; d >= 0; d--)
        for (int i = 1 << d; i < 2 << d; i++) join_node(cx, j.node, i);
    return j.node[1].t;
}

// The splitting of the whole range [0, terms) at cx.prec: on cx's team when
// the sum is long enough to pay, else on this thread. With the team, parts
// of the result lie in the members' arenas, whose marks go to `marks`; the
// caller settles what it keeps and then gives them back (release_members).
Triple split_whole(Context &cx, const Series &s, int64_t terms, int target, size_t *marks, bool *shared) {
    *shared = cx.team_size > 1 && target >= thresholds().threaded_series && terms >= (int64_t(1) << SPLIT_DEPTH_MAX);
    for (int m = 1; *shared && m < cx.team_size; m++) marks[m] = scratch_mark(thread_context(cx.team_first + m));
    SplitJob *job = nullptr;
    // The job is large; it lives in the arena like the rest of the sum.
    void *room = *shared ? take(cx, (sizeof(SplitJob) + 3) / 4) : nullptr;
    if (room) job = new (room) SplitJob;
    return job ? split_on_team(cx, s, terms, *job) : split(cx, s, 0, terms, false);
}

void release_members(Context &cx, const size_t *marks, bool shared) {
    for (int m = 1; shared && m < cx.team_size; m++) scratch_release(thread_context(cx.team_first + m), marks[m]);
}

}  // namespace

Flt series_sum(Context &cx, const Series &s, int64_t terms) {
    const int target = cx.prec;
    size_t mark = scratch_mark(cx);
    Flt t, q;
    series_parts(cx, s, terms, &t, &q);
    // The quotient at the parts' few limbs more than the sum, then cut.
    cx.prec = target + 2;
    Flt sum = flt_div(cx, t, q);
    cx.prec = target;
    sum = flt_trunc(sum, target);
    flt_settle(cx, mark, &sum);
    return sum;
}

void series_parts(Context &cx, const Series &s, int64_t terms, Flt *t, Flt *q) {
    if (terms < 1) terms = 1;
    const int target = cx.prec;
    size_t mark = scratch_mark(cx);
    cx.prec = target + 2;
    size_t marks[THREADS_MAX];
    bool shared;
    Triple r = split_whole(cx, s, terms, target, marks, &shared);
    cx.prec = target;
    *t = r.T;
    *q = r.Q;
    flt_settle(cx, mark, t, q);
    release_members(cx, marks, shared);
}
