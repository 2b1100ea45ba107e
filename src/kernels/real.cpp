// The function kernels: constants by binary splitting (cached), roots by
// Newton's iteration, exponential and sine by bit-burst series, logarithm of
// a small ratio from the cached logarithms of 2, 3, 5 and 7 or an arctanh
// series, of other values by the arithmetic-geometric mean, arctangent by
// Newton on sine and cosine.
// Each result is made exact by recomputing with more limbs until the error
// bound cannot move the truncated F-th limb.
#include "real.h"
#include "real_parts.h"

#include <sys/mman.h>

#include <climits>
#include <initializer_list>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "../engine/fastmul.h"
#include "power_split.h"
#include "real_flt.h"
#include "../engine/scratch.h"

namespace {

constexpr uint32_t BASE = 100000000;

// ----------------------------------------------------------- constants

// One cached constant: its mantissa at the most limbs computed so far.
struct Cache {
    uint32_t *d = nullptr;
    int capacity = 0;  // limbs of storage
    int prec = 0;      // precision it was computed at (0: empty)
    Flt value{};
};

}  // namespace

// The constants a context keeps between kernel runs (see kernels_reserve).
struct ConstantCache {
    Cache pi, e, ln2, ln3, ln5, ln7, ln10;
};

namespace {

int reserve_cache(Cache *c, int limbs) {
    if (c->capacity >= limbs) return 0;
    void *p = map_zeroed(size_t(limbs) * 4);
    if (!p) return -1;
    if (c->d) unmap_block(c->d, size_t(c->capacity) * 4);
    c->d = static_cast<uint32_t *>(p);
    c->capacity = limbs;
    c->prec = 0;
    return 0;
}

// Limbs a constant wanted at `want` limbs is computed with: a few more, so
// that the retries of the kernels and of the certification (a few guard
// limbs more each) find it in the cache, but not so many that a value
// asked for once costs much more than it needs.
int cache_target(int want) { return want + want / 256 + 32; }

// Stores v, computed at cx.prec, as the cached value `which` of cx, unless
// the cache holds it at a higher precision already.
void keep_in_cache(Context &cx, Cache ConstantCache::*which, const Flt &v) {
    if (!cx.constants || cx.status != STATUS_OK) return;
    Cache *c = &(cx.constants->*which);
    if (v.n > c->capacity || c->prec >= cx.prec) return;
    memcpy(c->d, v.d, sizeof(uint32_t) * v.n);
    c->value = v;
    c->value.d = c->d;
    c->prec = cx.prec;
}

// The constant at cx.prec limbs: from cx's cache (field `which` of it), or
// computed with `make` (at cache_target limbs) and kept there. A context
// without a cache computes it each time.
Flt cached(Context &cx, Cache ConstantCache::*which, Flt (*make)(Context &)) {
    Cache *c = cx.constants ? &(cx.constants->*which) : nullptr;
    const int want = cx.prec;
    if (c && c->prec >= want) return flt_trunc(c->value, want);
    cx.prec = cache_target(want);
    size_t mark = scratch_mark(cx);
    Flt v = make(cx);
    keep_in_cache(cx, which, v);
    if (c && c->prec == cx.prec) {
        v = c->value;
        scratch_release(cx, mark);
    } else {
        flt_settle(cx, mark, &v);
    }
    cx.prec = want;
    return flt_trunc(v, want);
}

int64_t chudnovsky_terms(Context &cx) { return int64_t(8.0 * cx.prec / 14.1816) + 2; }

// pi = 426880 sqrt(10005) / S with S = T / Q the Chudnovsky series: the
// series' own quotient and the one by S are one division, of Q by T.
Flt make_pi(Context &cx) {
    Series s{SERIES_CHUDNOVSKY, flt_int(cx, 1), flt_int(cx, 1)};
    Flt t, q;
    series_parts(cx, s, chudnovsky_terms(cx), &t, &q);
    Flt root = flt_sqrt(cx, flt_int(cx, 10005));
    return flt_div(cx, flt_mul(cx, flt_mul_int(cx, root, 426880), q), t);
}

Flt make_e(Context &cx) {
    double need = 8.0 * (cx.prec + 1), acc = 0;
    int64_t k = 1;
    while (acc < need) acc += std::log10(double(++k));
    Series s{SERIES_EXP, flt_int(cx, 1), flt_int(cx, 1)};
    return series_sum(cx, s, k + 1);
}

// atanh(1/m) to cx.prec limbs.
Flt atanh_inverse(Context &cx, int64_t m) {
    int64_t terms = int64_t(8.0 * (cx.prec + 1) / (2 * std::log10(double(m)))) + 2;
    Flt t, d;
    odd_series(cx, 1, (unsigned __int128)(m * m), terms, &t, &d);
    return flt_div(cx, t, flt_mul_int(cx, d, m));
}

// ln 2 alone by the three arctanh values of largest arguments that give it:
// 2 / 1 = (27/25)^9 (4375/4374)^4 / (2401/2400), so
// ln 2 = 18 atanh(1/26) - 2 atanh(1/4801) + 8 atanh(1/8749).
Flt make_ln2(Context &cx) {
    Flt a = atanh_inverse(cx, 26), b = atanh_inverse(cx, 4801), c = atanh_inverse(cx, 8749);
    return flt_add(cx, flt_sub(cx, flt_mul_int(cx, a, 18), flt_mul_int(cx, b, 2)), flt_mul_int(cx, c, 8));
}

// The logarithms of 2, 3, 5 and 7 from four arctanh values, 2 atanh(1/k) =
// ln((k + 1) / (k - 1)) for k = 251, 449, 4801, 8749 (126/125, 225/224,
// 2401/2400 and 4375/4374), all four kept in the cache, with ln 10; returns
// the one of index `which` (0: ln 2, 1: ln 3, 2: ln 5, 3: ln 7, 4: ln 10).
Flt small_logs(Context &cx, int which) {
    static const int64_t args[4] = {251, 449, 4801, 8749};
    static const int64_t coef[4][4] = {
        {144, 54, -38, 62}, {228, 86, -60, 98}, {334, 126, -88, 144}, {404, 152, -106, 174}};
    static Cache ConstantCache::*const slot[5] = {&ConstantCache::ln2, &ConstantCache::ln3, &ConstantCache::ln5,
                                                  &ConstantCache::ln7, &ConstantCache::ln10};
    Flt a[4], logs[5];
    for (int i = 0; i < 4; i++) a[i] = atanh_inverse(cx, args[i]);
    for (int j = 0; j < 4; j++) {
        logs[j] = flt_zero();
        for (int i = 0; i < 4; i++) logs[j] = flt_add(cx, logs[j], flt_mul_int(cx, a[i], coef[j][i]));
    }
    logs[4] = flt_add(cx, logs[0], logs[2]);
    for (int j = 0; j < 5; j++)
        if (j != which) keep_in_cache(cx, slot[j], logs[j]);
    return logs[which];
}

Flt pi_value(Context &cx) { return cached(cx, &ConstantCache::pi, make_pi); }
Flt e_value(Context &cx) { return cached(cx, &ConstantCache::e, make_e); }
Flt ln2_value(Context &cx) { return cached(cx, &ConstantCache::ln2, make_ln2); }
// ln p of a prime p <= 7, or ln 10 for p = 10.
Flt prime_log_value(Context &cx, int p) {
    switch (p) {
        case 2: return ln2_value(cx);
        case 3: return cached(cx, &ConstantCache::ln3, [](Context &c) { return small_logs(c, 1); });
        case 5: return cached(cx, &ConstantCache::ln5, [](Context &c) { return small_logs(c, 2); });
        case 7: return cached(cx, &ConstantCache::ln7, [](Context &c) { return small_logs(c, 3); });
        default: return cached(cx, &ConstantCache::ln10, [](Context &c) { return small_logs(c, 4); });
    }
}
Flt ln10_value(Context &cx) { return prime_log_value(cx, 10); }

// ------------------------------------------------------ conversions

// Exact value of a numerator or denominator record.
Flt from_bignum(Context &cx, BigNum *b) {
    int u = b->used;
    while (u > 0 && limb(b, u - 1) == 0) u--;
    if (u == 0) return flt_zero();
    check_limb_span(b, u);
    uint32_t *d = scratch_take(cx, size_t(u));
    if (!d) return flt_zero();
    const int32_t *p = b->limbs + b->capacity - 1;
    for (int k = 0; k < u; k++) {
        int32_t v = p[-k];
        d[k] = uint32_t(v < 0 ? -v : v) % BASE;
    }
    Flt r{d, u, -int64_t(b->frac_limbs), b->sign < 0 ? -1 : 1};
    return flt_normalise(r);
}

// The fraction's value to cx.prec limbs (exact when its denominator is one).
Flt from_fraction(Context &cx, Fraction *f) {
    Flt n = from_bignum(cx, f->num), d = from_bignum(cx, f->den);
    if (d.n == 0) return flt_zero();
    if (d.n == 1 && d.d[0] == 1) {
        n.e -= d.e;  // a denominator of one limb 1 at scale e
        return n;
    }
    return flt_div(cx, n, d);
}

bool is_zero(Fraction *f) {
    for (int k = 0; k < f->num->used; k++)
        if (limb(f->num, k) != 0) return false;
    return true;
}

// out := 0 at F fraction limbs; STATUS_OK.
Status write_zero(BigNum *out, int F) {
    bn_clear(out);
    out->frac_limbs = F;
    return STATUS_OK;
}

// out := 1 at F fraction limbs; STATUS_OK, or STATUS_NO_ROOM when out cannot
// hold the F + 1 limbs (out unchanged).
Status write_one(BigNum *out, int F) {
    if (F >= out->capacity) return STATUS_NO_ROOM;
    bn_clear(out);
    for (int k = 0; k < F; k++) limb(out, k) = 0;
    out->used = F + 1;
    limb(out, F) = 1;
    out->frac_limbs = F;
    return STATUS_OK;
}

// Writes |v| truncated to F fraction limbs, with v's sign, into out.
Status write_fixed(BigNum *out, const Flt &v, int F) {
    int64_t used = v.n == 0 ? 0 : flt_top(v) + F;
    if (used < 0) used = 0;
    if (used >= out->capacity) return STATUS_NO_ROOM;
    bn_clear(out);
    for (int64_t k = 0; k < used; k++) {
        int64_t i = k - F - v.e;
        limb(out, int(k)) = (i >= 0 && i < v.n) ? int32_t(v.d[i]) : 0;
    }
    out->used = int(used);
    bn_strip(out);
    out->frac_limbs = F;
    out->sign = int8_t(out->used > 0 && v.sign < 0 ? -1 : 1);
    return STATUS_OK;
}

// ------------------------------------------------------- exactness

// Whether truncating v to F fraction limbs is certain when the true value
// lies within BASE^errpos of v.
bool truncation_certain(const Flt &v, int F, int64_t errpos) {
    if (errpos >= -int64_t(F) - 1) return false;
    if (v.n == 0) return false;
    bool below = flt_top(v) <= -F;  // truncates to 0 whatever the error
    bool any_nonzero = false, any_below_max = false;
    for (int64_t p = errpos + 1; p <= -int64_t(F) - 1; p++) {
        uint32_t x = (p >= v.e && p < v.e + v.n) ? v.d[p - v.e] : 0;
        if (x != 0) any_nonzero = true;
        if (x != BASE - 1) any_below_max = true;
        if (any_nonzero && any_below_max) break;
    }
    return (below || any_nonzero) && any_below_max;
}

// A computation for the retry loop: fills *v at cx.prec limbs and returns
// the exponent of its absolute error bound.
struct Job {
    int64_t (*compute)(Context &, Job *, Flt *);
    // Exact test of a candidate result c (already at F limbs); may be null.
    bool (*exact)(Context &, Job *, const Flt &c);
    Fraction *x, *y;
    int64_t n, m, base;
    int flag1, flag2;
    Flt (*value)(Context &);  // the constant of constant_compute
    KernelCompute outer;      // the computation of kernel_run
};

// Candidate results next to v at F fraction limbs: truncated and one unit up.
Flt candidate(Context &cx, const Flt &v, int F, int up) {
    Flt t = v;
    if (t.e < -F) {
        int64_t drop = -F - t.e;
        if (drop >= t.n) {
            t = flt_zero();
        } else {
            t.d += drop;
            t.n -= int(drop);
            t.e = -F;
        }
    }
    t = flt_normalise(t);
    if (up) {
        Flt unit = flt_int(cx, v.sign);
        unit.e = -F;
        t = flt_add(cx, t, unit);
    }
    if (t.n == 0) t.sign = 1;
    return t;
}

// Runs the job with more and more limbs until its truncation to F limbs is
// certain, then writes it. Results that are exactly representable are
// recognised through the job's exact test. The guard limbs grow while the
// room allows (twice out's capacity, and the arena); past it the last value
// is written with STATUS_UNCERTAIN and the limb exponent of its error bound
// left in cx.error_exponent, for the caller to say which places are certain.
// STATUS_INTERRUPTED or STATUS_NO_ROOM (out unchanged) when an attempt was
// stopped or found no arena.
Status run_job(Context &cx, Job *job, BigNum *out, int F) {
    size_t mark = scratch_mark(cx);
    PrecisionScope scope(cx, cx.prec);
    cx.status = STATUS_OK;
    // Enough guard limbs that the error bounds of every kernel fit below
    // the F-th limb at the first attempt; retries are for true ambiguity.
    int64_t extra = 8;
    int64_t top = 1;
    const int64_t room = 2 * int64_t(out->capacity) + 64;
    Status rc = STATUS_OK;
    for (;;) {
        cx.prec = int(F + (top > 0 ? top : 0) + extra);
        Flt v;
        int64_t errpos = job->compute(cx, job, &v);
        if (cx.status != STATUS_OK) {
            rc = cx.status;
            break;
        }
        int64_t vt = v.n ? flt_top(v) : 0;
        if (truncation_certain(v, F, errpos)) {
            rc = write_fixed(out, v, F);
            break;
        }
        if (job->exact) {
            PrecisionScope exact(cx, INT_MAX / 4);
            Flt c0 = candidate(cx, v, F, 0), c1 = candidate(cx, v, F, 1);
            bool hit0 = job->exact(cx, job, c0), hit1 = !hit0 && job->exact(cx, job, c1);
            if (hit0 || hit1) {
                rc = write_fixed(out, hit0 ? c0 : c1, F);
                break;
            }
        }
        if (vt > top) top = vt;
        int64_t short_by = errpos + F + 2;
        int64_t next = extra * 2 + (short_by > 0 ? short_by : 0);
        if (F + (top > 0 ? top : 0) + next > room) {
            // Past the room: the value is right within BASE^errpos only.
            rc = write_fixed(out, v, F);
            if (rc == STATUS_OK) rc = STATUS_UNCERTAIN;
            cx.error_exponent = errpos;
            break;
        }
        extra = next;
        scratch_release(cx, mark);
    }
    cx.status = STATUS_OK;
    scratch_release(cx, mark);
    return rc;
}

int64_t relative_error(Context &cx, const Flt &v) { return (v.n ? flt_top(v) : 0) - cx.prec + 3; }

// x^k for an exact Flt (cx.prec set to exact by the caller).
bool equal_exact(const Flt &a, const Flt &b) { return flt_cmp(a, b) == 0; }

// --------------------------------------------------------- roots

// |x|^(m/o) at cx.prec: the o-th root of |x|^m (m may be negative).
Flt root_of_power(Context &cx, Fraction *x, int64_t m, int64_t o) {
    int keep = cx.prec;
    Flt X = from_fraction(cx, x);
    X.sign = 1;
    uint64_t am = uint64_t(m < 0 ? -m : m);
    cx.prec = keep + 2;
    Flt base = am == 1 ? X : flt_pow_int(cx, X, am);
    Flt r;
    if (o == 1) {
        r = base;
    } else if (o == 2) {
        r = flt_sqrt(cx, base);
    } else {
        Flt z = flt_inv_root(cx, base, int(o));
        r = flt_mul(cx, base, flt_pow_int(cx, z, uint64_t(o - 1)));
    }
    if (m < 0) r = flt_div(cx, flt_int(cx, 1), r);
    cx.prec = keep;
    return flt_trunc(r, keep);
}

int64_t root_compute(Context &cx, Job *j, Flt *v) {
    *v = root_of_power(cx, j->x, j->m, j->n);
    if (j->flag1 && v->n) v->sign = -1;  // odd root of a negative radicand
    return relative_error(cx, *v);
}

// c^o == |x|^m exactly (all values exact here).
bool root_exact(Context &cx, Job *j, const Flt &c) {
    Flt N = from_bignum(cx, j->x->num), D = from_bignum(cx, j->x->den);
    N.sign = D.sign = 1;
    Flt cc = c;
    cc.sign = 1;
    int64_t m = j->m;
    uint64_t am = uint64_t(m < 0 ? -m : m);
    // Exact powers beyond the reserved product size are not tried.
    double room = fastmul_capacity(cx) / 2.0;
    if (double(cc.n) * double(j->n) > room) return false;
    if ((double(N.n) + double(D.n)) * double(am) > room) return false;
    Flt left = flt_pow_int(cx, cc, uint64_t(j->n));
    Flt Nm = flt_pow_int(cx, N, am), Dm = flt_pow_int(cx, D, am);
    // c^o = N^m / D^m, or D^|m| / N^|m| for negative m.
    Flt a = flt_mul(cx, left, m >= 0 ? Dm : Nm), b = m >= 0 ? Nm : Dm;
    return equal_exact(a, b);
}

// ------------------------------------------------------ exponential

// Number of terms of sum r^k / k! (r = |c|) below BASE^-(cx.prec + 1).
int64_t exp_terms(Context &cx, double log10_r, int step) {
    double need = 8.0 * (cx.prec + 1) + 2, acc = 0;
    int64_t k = 0;
    while (acc < need && k < (int64_t(1) << 40)) {
        k++;
        acc += step * (-log10_r);
        for (int s = 0; s < step; s++) acc += std::log10(double(step * k - s));
    }
    return k + 1;
}

// exp(f) for 0 <= f < 1 by bit-burst: f's fraction limbs in chunks of 1, 1,
// 2, 4, ... limbs, each chunk's exponential by binary splitting.
Flt exp_fraction(Context &cx, const Flt &f) {
    Flt result = flt_int(cx, 1);
    if (f.n == 0) return result;
    size_t mark = scratch_mark(cx);
    int64_t lo = 0, hi = 1;  // chunk covers fraction limbs lo+1 .. hi
    while (lo < cx.prec + 2) {
        // Limbs at exponents -hi .. -lo-1.
        Flt c = f;
        int64_t from = -hi, to = -lo;  // exponents [from, to)
        int64_t s = from - f.e, e_end = to - f.e;
        if (s < 0) s = 0;
        if (e_end > f.n) e_end = f.n;
        if (e_end > s) {
            c.d = f.d + s;
            c.n = int(e_end - s);
            c.e = f.e + s;
            c.sign = 1;
            c = flt_normalise(c);
            if (c.n) {
                Flt part = power_series(cx, POWER_EXP, c, exp_terms(cx, flt_log10_abs(c), 1) - 1);
                result = flt_mul(cx, result, part);
                flt_settle(cx, mark, &result);
            }
        }
        lo = hi;
        hi = hi * 2;
        if (f.e >= -lo) break;
    }
    return result;
}

// exp(x) = 2^m exp(x - m ln 2) with 0 <= x - m ln 2 < 1, when ln 2 is in
// cx's cache at the precision needed (then it costs less than the powers of
// e) and |x| is moderate; false otherwise, nothing computed.
bool exp_by_ln2(Context &cx, const Flt &x, Flt *out) {
    int64_t top_limb;
    long double lead = flt_lead(x, &top_limb);
    if (x.n == 0 || flt_top(x) > 2) return false;  // m stays far inside 64 bits
    long double xd = lead * powl((long double)BASE, (long double)top_limb) * x.sign;
    int64_t m = int64_t(floorl(xd / 0.693147180559945309417L));
    int keep = cx.prec;
    int p = keep + 2 + int(std::log10(double(m < 0 ? -m : m) + 1) / 8);
    if (!cx.constants || cx.constants->ln2.prec < p) return false;
    cx.prec = p;
    Flt ln2 = ln2_value(cx);
    Flt r = flt_sub(cx, x, flt_mul_int(cx, ln2, m));
    // The estimate of m may be one off near a multiple of ln 2 (or for a
    // large x, whose leading limbs alone gave it).
    if (r.sign < 0 && r.n) {
        r = flt_add(cx, r, ln2);
        m -= 1;
    } else if (flt_cmp(r, ln2) >= 0) {
        r = flt_sub(cx, r, ln2);
        m += 1;
    }
    if (r.sign < 0 && r.n) r = flt_zero();  // below the precision
    Flt ef = exp_fraction(cx, r);
    uint64_t am = uint64_t(m < 0 ? -m : m);
    if (am > 0) {
        Flt pw = flt_pow_int(cx, flt_int(cx, 2), am);
        ef = m > 0 ? flt_mul(cx, ef, pw) : flt_div(cx, ef, pw);
    }
    cx.prec = keep;
    *out = flt_trunc(ef, keep);
    return true;
}

// exp(x) at cx.prec for an Flt x (|x| below the room the caller checked).
Flt exp_value(Context &cx, const Flt &x) {
    int keep = cx.prec;
    Flt by_ln2;
    if (exp_by_ln2(cx, x, &by_ln2)) return by_ln2;
    Flt ip = flt_floor_abs(x);  // |integer part|
    int64_t n = 0;
    for (int i = ip.n - 1; i >= 0; i--) n = n * BASE + ip.d[i];
    for (int64_t k = 0; k < ip.e; k++) n *= BASE;
    if (x.sign < 0) n = -n;
    Flt frac = flt_sub(cx, x, flt_int(cx, n));  // in (-1, 1)
    if (frac.sign < 0 && frac.n) {
        frac = flt_add(cx, frac, flt_int(cx, 1));
        n -= 1;
        // An x < 0 below the precision makes x + 1 round to 1, which
        // exp_fraction (0 <= f < 1) reads as 0, giving 1/e: one unit below 1
        // stands in, within the error the result already allows.
        if (flt_top(frac) > 0) {
            Flt unit = flt_int(cx, 1);
            unit.e = -int64_t(cx.prec);
            frac = flt_sub(cx, flt_int(cx, 1), unit);
        }
    }
    int64_t an = n < 0 ? -n : n;
    cx.prec = keep + 2 + int(std::log10(double(an) + 1) / 8);
    Flt ef = exp_fraction(cx, frac);
    if (an > 0) {
        Flt en = flt_pow_int(cx, e_value(cx), uint64_t(an));
        ef = n > 0 ? flt_mul(cx, ef, en) : flt_div(cx, ef, en);
    }
    cx.prec = keep;
    return flt_trunc(ef, keep);
}

int64_t exp_compute(Context &cx, Job *j, Flt *v) {
    Flt x = from_fraction(cx, j->x);
    int64_t guard = std::max<int64_t>(0, flt_top(x));
    cx.prec += int(guard);
    *v = exp_value(cx, x);
    cx.prec -= int(guard);
    return relative_error(cx, *v) + 1;
}

// ------------------------------------------------------- logarithm

// Arithmetic-geometric mean of a and b > 0 at cx.prec.
Flt agm(Context &cx, Flt a, Flt b) {
    size_t mark = scratch_mark(cx);
    for (int i = 0; i < 200; i++) {
        if (cx.status != STATUS_OK || stopped(cx)) break;
        Flt d = flt_sub(cx, a, b);
        if (d.n == 0 || flt_top(d) < flt_top(a) - cx.prec + 1) break;
        Flt na = flt_div_int(cx, flt_add(cx, a, b), 2);
        Flt nb = flt_sqrt(cx, flt_mul(cx, a, b));
        a = na;
        b = nb;
        flt_settle(cx, mark, &a, &b);
    }
    return a;
}

// ln x for x > 0 at cx.prec, with the exponent of its absolute error.
Flt log_value(Context &cx, const Flt &x, int64_t *errpos) {
    int keep = cx.prec;
    // ln x = ln s - 8k ln 10 with s = x BASE^k above BASE^(p/2), where
    // ln s = pi / (2 AGM(1, 4/s)) up to an error of order 1/s^2.
    int p = keep + 3;
    int64_t k = (p + 1) / 2 + 1 - flt_top(x);
    cx.prec = p;
    Flt s = x;
    s.e += k;
    Flt four_over_s = flt_div(cx, flt_int(cx, 4), s);
    Flt m = agm(cx, flt_int(cx, 1), four_over_s);
    Flt ln_s = flt_div(cx, flt_div_int(cx, pi_value(cx), 2), m);
    Flt kl = flt_mul_int(cx, ln10_value(cx), 8 * k);
    Flt r = flt_sub(cx, ln_s, kl);
    *errpos = std::max(flt_top(ln_s), flt_top(kl)) - p + 4;
    cx.prec = keep;
    return r;
}

// Whether the fraction is an exact ratio p/q of integers with |p|, q below
// `limit` (q > 0, p signed).
bool small_ratio(Fraction *x, int64_t *p, int64_t *q, int64_t limit = int64_t(1) << 31) {
    if (x->num->frac_limbs != 0 || x->den->frac_limbs != 0) return false;
    int64_t a, b;
    if (!get_int64(x->num, &a) || !get_int64(x->den, &b) || b == 0) return false;
    if (b < 0) {
        a = -a;
        b = -b;
    }
    if (a >= limit || a <= -limit || b >= limit) return false;
    *p = a;
    *q = b;
    return true;
}

// Exponents of 2, 3, 5 and 7 in n >= 1 added to e[0..3] times `sign`;
// false when n has another prime factor.
bool add_smooth_exponents(int64_t n, int sign, int e[4]) {
    static const int primes[4] = {2, 3, 5, 7};
    for (int i = 0; i < 4; i++)
        while (n % primes[i] == 0) {
            n /= primes[i];
            e[i] += sign;
        }
    return n == 1;
}

// ln(p/q) for p/q > 0 whose terms have no prime factor above 7, from the
// cached logarithms of the primes, at cx.prec; *top is the highest limb
// index of the terms (the sum may cancel far below it). The primes above 2
// come first: their computation caches ln 2 with them.
Flt log_smooth(Context &cx, const int e[4], int64_t *top) {
    static const int primes[4] = {2, 3, 5, 7};
    Flt r = flt_zero();
    *top = 1;
    for (int i = 3; i >= 0; i--) {
        if (e[i] == 0) continue;
        Flt t = flt_mul_int(cx, prime_log_value(cx, primes[i]), e[i]);
        *top = std::max(*top, flt_top(t));
        r = flt_add(cx, r, t);
    }
    return r;
}

// ln(p/q) for a small exact ratio p/q > 0. Numerator and denominator
// without prime factors above 7 take the cached logarithms of 2, 3, 5, 7;
// others k ln 2 + 2 atanh(u) with p / (q 2^k) within [0.75, 1.5) and
// u = (p - q 2^k) / (p + q 2^k), the arctanh summed by binary splitting.
Flt log_ratio(Context &cx, int64_t p, int64_t q, int64_t *errpos) {
    int keep = cx.prec;
    cx.prec = keep + 2;
    Flt r;
    int e[4] = {0, 0, 0, 0};
    int64_t top = 1;
    if (add_smooth_exponents(p, 1, e) && add_smooth_exponents(q, -1, e)) {
        r = log_smooth(cx, e, &top);
    } else {
        int k = 0;
        __int128 P = p, Q = q;
        while (4 * P >= 6 * Q) {
            Q *= 2;
            k++;
        }
        while (4 * P < 3 * Q) {
            P *= 2;
            k--;
        }
        __int128 a = P - Q, b = P + Q;
        r = k == 0 ? flt_zero() : flt_mul_int(cx, ln2_value(cx), k);
        if (a != 0) {
            Flt ua = flt_u128(cx, (unsigned __int128)(a < 0 ? -a : a), a < 0 ? -1 : 1);
            Flt ub = flt_u128(cx, (unsigned __int128)b, 1);
            double ratio = double(b) * double(b) / (double(a) * double(a));
            int64_t terms = int64_t(8.0 * (cx.prec + 1) / std::log10(ratio)) + 2;
            Flt t, d;
            odd_series(cx, (unsigned __int128)(a * a), (unsigned __int128)(b * b), terms, &t, &d);
            Flt at = flt_div(cx, flt_mul(cx, t, ua), flt_mul(cx, d, ub));
            r = flt_add(cx, r, flt_mul_int(cx, at, 2));
        }
    }
    *errpos = std::max<int64_t>(top, r.n ? flt_top(r) : 0) - keep;
    cx.prec = keep;
    return flt_trunc(r, keep);
}

// Whether the fraction is a ratio p/q > 0 of integers below 2^40.
bool small_positive_ratio(Fraction *x, int64_t *p, int64_t *q) {
    if (!small_ratio(x, p, q, int64_t(1) << 40)) return false;
    if (*p < 0) *p = -*p;
    return *p != 0;
}

// ln of the integer b >= 2.
Flt log_int(Context &cx, int64_t b, int64_t *errpos) {
    if (b == 10) {
        *errpos = 1 - cx.prec + 2;
        return ln10_value(cx);
    }
    if (b == 2) {
        *errpos = -cx.prec + 2;
        return ln2_value(cx);
    }
    return log_ratio(cx, b, 1, errpos);
}

int64_t log_compute(Context &cx, Job *j, Flt *v) {
    int64_t err, p, q;
    Flt l;
    if (small_positive_ratio(j->x, &p, &q)) {
        l = log_ratio(cx, p, q, &err);
    } else {
        Flt x = from_fraction(cx, j->x);
        l = log_value(cx, x, &err);
    }
    if (j->base == 0) {
        *v = l;
        return err;
    }
    int64_t err_b;
    Flt lb = log_int(cx, j->base, &err_b);
    *v = flt_div(cx, l, lb);
    // Relative errors of both add up.
    int64_t rel = std::max(err - (l.n ? flt_top(l) : 0), err_b - flt_top(lb));
    rel = std::max<int64_t>(rel, 3 - cx.prec);
    return (v->n ? flt_top(*v) : 0) + rel + 1;
}

// Whether (x's numerator / denominator)^q == base^p (q >= 1), at the exact
// precision the caller set; false as well when the powers would be too long
// for the product buffers.
bool powers_agree(Context &cx, Fraction *x, int64_t base, int64_t p, int64_t q) {
    uint64_t am = uint64_t(p < 0 ? -p : p);
    Flt N = from_bignum(cx, x->num), D = from_bignum(cx, x->den);
    N.sign = D.sign = 1;
    double room = fastmul_capacity(cx) / 2.0;
    if (double(N.n + D.n) * double(q) > room || double(am) * std::log10(double(base)) > 8.0 * room) return false;
    Flt bm = flt_pow_int(cx, flt_int(cx, base), am);
    Flt Nq = flt_pow_int(cx, N, uint64_t(q)), Dq = flt_pow_int(cx, D, uint64_t(q));
    // (N / D)^q == base^p, or base^-|p|.
    return p >= 0 ? equal_exact(Nq, flt_mul(cx, bm, Dq)) : equal_exact(flt_mul(cx, Nq, bm), Dq);
}

// Whether the candidate c is exactly m / d with d <= 12 and x^d == base^m.
bool log_exact(Context &cx, Job *j, const Flt &c) {
    if (j->base == 0) return false;
    for (int64_t d = 1; d <= 12; d++) {
        Flt cd = flt_normalise(flt_mul_int(cx, c, d));
        int64_t m = 0;
        if (cd.n > 0) {
            if (cd.e < 0 || cd.n > 1 || cd.e > 0) continue;  // not a small integer
            m = int64_t(cd.d[0]) * cd.sign;
        }
        return powers_agree(cx, j->x, j->base, m, d);
    }
    return false;
}

// ---------------------------------------------------- sine, cosine

// sin and cos of |r| <= 1 (about) by bit-burst chunks; r's sign is applied.
void sin_cos_small(Context &cx, const Flt &r, Flt *sn, Flt *cs) {
    Flt S = flt_zero(), C = flt_int(cx, 1);
    size_t mark = scratch_mark(cx);
    if (r.n == 0) {
        *sn = S;
        *cs = C;
        return;
    }
    // Chunks of the limbs at exponents [-hi, -lo); the first also takes the
    // integer limb.
    int64_t lo = -1, hi = 1;
    while (true) {
        int64_t from = -hi, to = lo < 0 ? 1 : -lo;
        int64_t s = from - r.e, e_end = to - r.e;
        if (s < 0) s = 0;
        if (e_end > r.n) e_end = r.n;
        if (e_end > s) {
            Flt c = flt_normalise(Flt{r.d + s, int(e_end - s), r.e + s, 1});
            if (c.n) {
                Flt c2 = flt_neg(flt_mul(cx, c, c));
                Flt sc = flt_mul(cx, c, power_series(cx, POWER_SIN, c2, exp_terms(cx, flt_log10_abs(c), 2) - 1));
                // cos = sqrt(1 - sin^2) costs less than a second series
                // (measured); the chunks are at most pi/4, so nothing cancels.
                Flt cc = flt_sqrt(cx, flt_sub(cx, flt_int(cx, 1), flt_mul(cx, sc, sc)));
                Flt nS = flt_add(cx, flt_mul(cx, S, cc), flt_mul(cx, C, sc));
                Flt nC = flt_sub(cx, flt_mul(cx, C, cc), flt_mul(cx, S, sc));
                S = nS;
                C = nC;
                flt_settle(cx, mark, &S, &C);
            }
        }
        if (hi > cx.prec + 2 || r.e >= -hi) break;
        lo = hi;
        hi *= 2;
    }
    if (r.sign < 0) S = flt_neg(S);
    *sn = S;
    *cs = C;
}

// sin and cos of theta (radians, or half-turns when half_turns) at
// cx.prec; *amplify receives how many limbs of absolute error the reduction
// may have cost.
void sin_cos_value(Context &cx, const Flt &x, int half_turns, Flt *sn, Flt *cs) {
    int keep = cx.prec;
    int64_t guard = std::max<int64_t>(0, flt_top(x)) + 1;
    cx.prec = keep + int(guard);
    Flt pi = pi_value(cx);
    // Quarter turns q = x / (pi/2) (or 2x for half-turns), k the nearest
    // integer, r the rest in radians, |r| <= pi/4.
    Flt q = half_turns == 1   ? flt_mul_int(cx, x, 2)
            : half_turns == 2 ? flt_div_int(cx, x, 90)
                              : flt_div(cx, flt_mul_int(cx, x, 2), pi);
    Flt k = flt_floor(cx, flt_add(cx, q, flt_div_int(cx, flt_int(cx, 1), 2)));
    Flt r;
    if (half_turns) {
        r = flt_div_int(cx, flt_mul(cx, flt_sub(cx, q, k), pi), 2);
    } else {
        r = flt_sub(cx, x, flt_div_int(cx, flt_mul(cx, pi, k), 2));
    }
    // k mod 4 from its lowest limb (the base is a multiple of 4).
    int low = (k.n == 0 || k.e > 0) ? 0 : int(k.d[0] % 4);
    int quadrant = k.sign < 0 ? (4 - low) % 4 : low;
    cx.prec = keep + 1;
    Flt s, c;
    sin_cos_small(cx, r, &s, &c);
    switch (quadrant) {
        case 0: *sn = s; *cs = c; break;
        case 1: *sn = c; *cs = flt_neg(s); break;
        case 2: *sn = flt_neg(s); *cs = flt_neg(c); break;
        default: *sn = flt_neg(c); *cs = s; break;
    }
    cx.prec = keep;
}

int64_t sin_cos_compute(Context &cx, Job *j, Flt *v) {
    Flt s, c;
    int64_t p, q;
    int keep = cx.prec;
    if (!j->flag2 && small_ratio(j->x, &p, &q) && (p < 0 ? -p : p) <= 2 * q) {
        cx.prec = keep + 1;
        Flt x = flt_div(cx, flt_int(cx, p), flt_int(cx, q));
        Flt p2 = flt_int(cx, p * p), q2 = flt_int(cx, q * q);
        double l10 = std::log10(std::fabs(double(p) / double(q)));
        Series ss{SERIES_SIN, p2, q2}, cs{SERIES_COS, p2, q2};
        if (j->flag1 == 0 || j->flag1 == 2) s = flt_mul(cx, x, series_sum(cx, ss, exp_terms(cx, l10, 2)));
        if (j->flag1 == 1 || j->flag1 == 2) c = series_sum(cx, cs, exp_terms(cx, l10, 2));
        cx.prec = keep;
    } else {
        // The reduction keeps only x's fraction of a turn: a large x is read
        // with as many more limbs as its integer part has, or its rounding
        // at cx.prec moves the last limbs of the result.
        Flt x = from_fraction(cx, j->x);
        if (flt_top(x) > 0) {
            cx.prec = keep + int(flt_top(x)) + 1;
            x = from_fraction(cx, j->x);
            cx.prec = keep;
        }
        sin_cos_value(cx, x, j->flag2, &s, &c);
    }
    if (j->flag1 == 2) {  // tangent
        // A cosine held as exactly 0 (a pole the caller did not catch) is no
        // divisor: the value stays uncertain, attempt after attempt.
        if (c.n == 0) {
            *v = flt_int(cx, 0);
            return INT64_MAX / 4;
        }
        *v = flt_div(cx, s, c);
        int64_t amplify = std::max<int64_t>(0, -flt_top(c));
        return relative_error(cx, *v) + 1 + amplify;
    }
    *v = j->flag1 ? c : s;
    // The reduction's absolute error is below BASE^(3 - cx.prec).
    return std::max<int64_t>(relative_error(cx, *v), 4 - cx.prec);
}

// ------------------------------------------------------- arctangent

// atan x for 0 < x <= 1 at cx.prec by Newton's iteration on sine and
// cosine: y += (x cos y - sin y) / (cos y + x sin y), digits doubling.
Flt atan_newton(Context &cx, const Flt &x) {
    int target = cx.prec;
    int64_t e;
    long double lead = flt_lead(x, &e);
    long double xd = lead * powl((long double)BASE, (long double)e);
    Flt y = flt_top(x) < -2 ? x : flt_from_ld(cx, atanl(xd), 0);
    int steps[64], count = 0;
    for (int p = target + 1; p > 2 && count < 62; p = (p + 1) / 2 + 1) steps[count++] = p;
    size_t mark = scratch_mark(cx);
    for (int i = count - 1; i >= 0; i--) {
        cx.prec = steps[i] + 1;
        Flt s, c;
        Flt xx = flt_trunc(x, cx.prec + 1);
        sin_cos_small(cx, flt_trunc(y, cx.prec + 1), &s, &c);
        Flt num = flt_sub(cx, flt_mul(cx, xx, c), s);
        Flt den = flt_add(cx, c, flt_mul(cx, xx, s));
        y = flt_add(cx, y, flt_div(cx, num, den));
        flt_settle(cx, mark, &y);
    }
    cx.prec = target;
    return flt_trunc(y, target);
}

// atan of a small exact ratio p/q with 0 < p <= q by Euler's series, after
// atan(p/q) = pi/4 - atan((q-p)/(q+p)) when p/q > 1/2.
Flt atan_ratio(Context &cx, int64_t p, int64_t q) {
    bool folded = false;
    if (2 * p > q) {
        int64_t np = q - p, nq = q + p;
        p = np;
        q = nq;
        folded = true;
    }
    Flt r = flt_zero();
    if (p > 0) {
        __int128 p2 = (__int128)p * p, s2 = p2 + (__int128)q * q;
        Flt pb = flt_u128(cx, (unsigned __int128)p2, 1), qb = flt_u128(cx, (unsigned __int128)s2, 1);
        double ratio = double(s2) / double(p2);
        int64_t terms = int64_t(8.0 * (cx.prec + 1) / std::log10(ratio)) + 2;
        Series s{SERIES_ATAN_EULER, pb, qb};
        Flt sum = series_sum(cx, s, terms);
        r = flt_div(cx, flt_mul(cx, sum, flt_u128(cx, (unsigned __int128)((__int128)p * q), 1)), qb);
    }
    if (folded) r = flt_sub(cx, flt_div_int(cx, pi_value(cx), 4), r);
    return r;
}

int64_t atan_compute(Context &cx, Job *j, Flt *v) {
    int64_t p, q;
    int keep = cx.prec;
    cx.prec = keep + 1;
    Flt r;
    int sign = 1;
    if (small_ratio(j->x, &p, &q)) {
        if (p < 0) {
            p = -p;
            sign = -1;
        }
        r = p <= q ? atan_ratio(cx, p, q) : flt_sub(cx, flt_div_int(cx, pi_value(cx), 2), atan_ratio(cx, q, p));
    } else {
        Flt x = from_fraction(cx, j->x);
        sign = x.sign;
        x.sign = 1;
        Flt one = flt_int(cx, 1);
        int c = flt_cmp_abs(x, one);
        if (c == 0) {
            r = flt_div_int(cx, pi_value(cx), 4);
        } else if (c < 0) {
            r = atan_newton(cx, x);
        } else {
            r = flt_sub(cx, flt_div_int(cx, pi_value(cx), 2), atan_newton(cx, flt_div(cx, one, x)));
        }
    }
    if (sign < 0) r = flt_neg(r);
    cx.prec = keep;
    *v = flt_trunc(r, keep);
    return std::max<int64_t>(relative_error(cx, *v), 4 - keep);
}

// ------------------------------------------------------------ powers

int64_t power_compute(Context &cx, Job *j, Flt *v) {
    Flt x = from_fraction(cx, j->x), y = from_fraction(cx, j->y);
    int keep = cx.prec;
    // exp(y ln x): the error of y ln x becomes the relative error of the result.
    int64_t est_top = 1;
    {
        double l = flt_log10_abs(x);
        double ly = flt_log10_abs(y);
        double mag = std::log10(std::fabs(l * 2.302585) + 1e-300) + ly;
        // A zero exponent (or one stopped into zero) has ly = -1e300: the
        // estimate is clamped before it becomes an integer.
        mag = std::min(std::max(mag, -1e9), 1e9);
        est_top = std::max<int64_t>(1, int64_t(mag / 8) + 2);
    }
    cx.prec = keep + int(est_top) + 1;
    int64_t err, p, q;
    Flt l = small_positive_ratio(j->x, &p, &q) ? log_ratio(cx, p, q, &err) : log_value(cx, x, &err);
    Flt w = flt_mul(cx, y, l);
    *v = exp_value(cx, w);
    cx.prec = keep;
    *v = flt_trunc(*v, keep + 1);
    return relative_error(cx, *v) + std::max<int64_t>(0, flt_top(w)) + std::max<int64_t>(0, flt_top(y)) + 2;
}

int64_t power_ratio_compute(Context &cx, Job *j, Flt *v) {
    Fraction *x = j->x;
    int64_t m = j->m, o = j->n;
    double cost = double(m < 0 ? -m : m);
    if (o <= 64 && cost * (x->num->used + x->den->used) < 4.0 * cx.prec) {
        *v = root_of_power(cx, x, m, o);
        return relative_error(cx, *v) + 1;
    }
    Flt X = from_fraction(cx, x);
    int keep = cx.prec;
    int64_t mag = std::max<int64_t>(1, int64_t(std::fabs(flt_log10_abs(X) * double(m) / double(o)) / 8) + 2);
    cx.prec = keep + int(mag) + 1;
    int64_t err, p, q;
    Flt l = small_positive_ratio(x, &p, &q) ? log_ratio(cx, p, q, &err) : log_value(cx, X, &err);
    Flt w = flt_div_int(cx, flt_mul_int(cx, l, m), o);
    *v = exp_value(cx, w);
    cx.prec = keep;
    *v = flt_trunc(*v, keep + 1);
    return relative_error(cx, *v) + std::max<int64_t>(0, flt_top(w)) + 1;
}

Job make_job(int64_t (*compute)(Context &, Job *, Flt *), Fraction *x) {
    Job j{};
    j.compute = compute;
    j.exact = nullptr;
    j.x = x;
    return j;
}

int64_t constant_compute(Context &cx, Job *j, Flt *v) {
    *v = j->value(cx);
    return relative_error(cx, *v);
}

// The job `compute` on x at F limbs into out, or 0 at once for x = 0.
Status zero_or_job(Context &cx, int64_t (*compute)(Context &, Job *, Flt *), BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return write_zero(out, F);
    Job j = make_job(compute, x);
    return run_job(cx, &j, out, F);
}

Status constant(Context &cx, BigNum *out, int F, Flt (*value)(Context &)) {
    Job j = make_job(constant_compute, nullptr);
    j.value = value;
    return run_job(cx, &j, out, F);
}

}  // namespace

Status kernels_reserve(Context &cx, int p) {
    static ConstantCache core_constants;  // the one cache, owned by the start-up context
    if (cx.constants && cx.constants != &core_constants) return STATUS_NO_ROOM;
    int limbs = p / 4 + p / 16 + 4096;
    for (Cache *c : {&core_constants.pi, &core_constants.e, &core_constants.ln2, &core_constants.ln3,
                     &core_constants.ln5, &core_constants.ln7, &core_constants.ln10})
        if (reserve_cache(c, limbs) != 0) return STATUS_NO_ROOM;
    cx.constants = &core_constants;
    return STATUS_OK;
}

int core_start(int p) {
    if (pool_start(p) != 0 || kernels_reserve(core, p) != STATUS_OK) return -1;
    return 0;
}

namespace {
int64_t over_pi_compute(Context &cx, Job *j, Flt *v) {
    *v = flt_div(cx, from_fraction(cx, j->x), pi_value(cx));
    return relative_error(cx, *v) + 1;
}
}  // namespace

Status real_over_pi(Context &cx, BigNum *out, Fraction *x, int F) {
    return zero_or_job(cx, over_pi_compute, out, x, F);
}

bool log_is_ratio(Context &cx, Fraction *x, int64_t base, int64_t p, int64_t q) {
    if (q < 1 || q > 64 || base < 2 || p < -(int64_t(1) << 40) || p > (int64_t(1) << 40)) return false;
    cx.status = STATUS_OK;
    size_t mark = scratch_mark(cx);
    bool result = false;
    if (!is_zero(x)) {
        PrecisionScope exact(cx, INT_MAX / 4);
        result = powers_agree(cx, x, base, p, q);
    }
    scratch_release(cx, mark);
    if (cx.status != STATUS_OK) result = false;  // stopped: nothing was shown
    cx.status = STATUS_OK;
    return result;
}

bool exact_root(BigNum *r, BigNum *x, int n) {
    if (x->frac_limbs != 0 || x->sign < 0 || n < 2 || r->capacity < x->used + 2) return false;
    if (bn_is_zero(x)) {
        bn_clear(r);
        return true;
    }
    size_t mark = scratch_mark(core);
    BigNum one, power;
    bool answer = false;
    if (bn_from_scratch(&one, 2) && bn_from_scratch(&power, 2 * x->used + 4)) {
        bn_set_one(&one);
        Fraction xf = {x, &one, 0};
        if (real_root(core, r, &xf, n, 0) == STATUS_OK && r->frac_limbs == 0 && copy(&power, r) == STATUS_OK) {
            // r^n by n - 1 products, stopped as soon as it outgrows x.
            bool over = false;
            for (int k = 1; k < n && !over; k++) {
                if (multiply(&power, &power, r) != STATUS_OK) over = true;
                if (power.used > x->used) over = true;
            }
            if (!over && compare_magnitude(&power, x) == 0) answer = true;
        }
    }
    scratch_release(core, mark);
    return answer;
}

Status real_pi(Context &cx, BigNum *out, int F) { return constant(cx, out, F, pi_value); }  // run_job clears cx.status
Status real_e(Context &cx, BigNum *out, int F) { return constant(cx, out, F, e_value); }

Status real_root(Context &cx, BigNum *out, Fraction *x, int n, int F) {
    cx.status = STATUS_OK;
    bool negative = !is_zero(x) && (x->num->sign < 0) != (x->den->sign < 0);
    if (negative && n % 2 == 0) return STATUS_DOMAIN;
    if (is_zero(x)) {
        if (out->capacity < 2) return STATUS_NO_ROOM;
        return write_zero(out, F);
    }
    Job j = make_job(root_compute, x);
    j.exact = root_exact;
    j.n = n;
    j.m = 1;
    j.flag1 = negative;
    return run_job(cx, &j, out, F);
}

namespace {

// A power or exponential whose decimal exponent is about `digits` (the
// log10 of its value): beyond the room of out it is refused, far below the
// last fraction limb it is 0 (1 when handled, else 0).
int out_of_reach(BigNum *out, double digits, int F, Status *rc) {
    if (digits > 8.0 * out->capacity + 16) {
        *rc = STATUS_NO_ROOM;
        return 1;
    }
    if (digits < -8.0 * (F + 2) - 16) {
        *rc = write_zero(out, F);
        return 1;
    }
    return 0;
}

// log10 of the fraction's magnitude, roughly (x != 0).
double log10_of(Context &cx, Fraction *x) {
    size_t mark = scratch_mark(cx);
    int saved = cx.prec;
    cx.prec = 3;
    double l = flt_log10_abs(from_fraction(cx, x));
    cx.prec = saved;
    scratch_release(cx, mark);
    return l;
}

}  // namespace

Status real_power_ratio(Context &cx, BigNum *out, Fraction *x, int64_t m, int64_t o, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x) || (x->num->sign < 0) != (x->den->sign < 0)) return STATUS_DOMAIN;
    Status rc;
    if (out_of_reach(out, log10_of(cx, x) * double(m) / double(o), F, &rc)) return rc;
    Job j = make_job(power_ratio_compute, x);
    j.exact = root_exact;
    j.n = o;
    j.m = m;
    return run_job(cx, &j, out, F);
}

Status real_power(Context &cx, BigNum *out, Fraction *x, Fraction *y, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x) || (x->num->sign < 0) != (x->den->sign < 0)) return STATUS_DOMAIN;
    Status rc;
    if (is_zero(y)) return write_one(out, F);  // x^0 = 1, which no retry could settle on
    {
        double ly = log10_of(cx, y), lx = log10_of(cx, x);
        double digits = ly > 300 ? (lx > 0 ? 1e300 : -1e300) : lx * std::pow(10.0, ly);
        if ((y->num->sign < 0) != (y->den->sign < 0)) digits = -digits;
        if (out_of_reach(out, digits, F, &rc)) return rc;
    }
    Job j = make_job(power_compute, x);
    j.y = y;
    return run_job(cx, &j, out, F);
}

Status real_exp(Context &cx, BigNum *out, Fraction *x, int F) {
    cx.status = STATUS_OK;
    // Far outside the room, or so far below zero that the value truncates
    // to 0: decided from an estimate before any series runs.
    size_t mark = scratch_mark(cx);
    int saved = cx.prec;
    cx.prec = 3;
    double l = is_zero(x) ? -1e300 : flt_log10_abs(from_fraction(cx, x));
    bool negative = !is_zero(x) && (x->num->sign < 0) != (x->den->sign < 0);
    cx.prec = saved;
    scratch_release(cx, mark);
    if (l > 0 && l < 300) {
        double digits = std::pow(10.0, l) * 0.4342944819;
        if (!negative && digits > 8.0 * out->capacity) return STATUS_NO_ROOM;
        if (negative && digits > 8.0 * (F + 2)) {
            return write_zero(out, F);
        }
    } else if (l >= 300) {
        if (!negative) return STATUS_NO_ROOM;
        return write_zero(out, F);
    }
    Job j = make_job(exp_compute, x);
    return run_job(cx, &j, out, F);
}

Status real_log(Context &cx, BigNum *out, Fraction *x, int64_t base, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x) || (x->num->sign < 0) != (x->den->sign < 0)) return STATUS_DOMAIN;
    Job j = make_job(log_compute, x);
    j.exact = log_exact;
    j.base = base;
    // ln 1 = 0 exactly; the retries could not settle on it.
    size_t mark = scratch_mark(cx);
    int saved = cx.prec;
    cx.prec = INT_MAX / 4;
    Flt N = from_bignum(cx, x->num), D = from_bignum(cx, x->den);
    N.sign = D.sign = 1;
    bool one = flt_cmp(N, D) == 0;
    cx.prec = saved;
    scratch_release(cx, mark);
    if (one) {
        if (out->capacity < 2) return STATUS_NO_ROOM;
        return write_zero(out, F);
    }
    return run_job(cx, &j, out, F);
}

Status real_atan(Context &cx, BigNum *out, Fraction *x, int F) { return zero_or_job(cx, atan_compute, out, x, F); }

Status real_sin_cos(Context &cx, BigNum *out, Fraction *x, int cosine, int half_turns, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) return cosine ? write_one(out, F) : write_zero(out, F);
    Job j = make_job(sin_cos_compute, x);
    j.flag1 = cosine;
    j.flag2 = half_turns;
    return run_job(cx, &j, out, F);
}

Status real_tan(Context &cx, BigNum *out, Fraction *x, int half_turns, int F) {
    cx.status = STATUS_OK;
    if (is_zero(x)) {
        return write_zero(out, F);
    }
    Job j = make_job(sin_cos_compute, x);
    j.flag1 = 2;
    j.flag2 = half_turns;
    return run_job(cx, &j, out, F);
}

// ------------------------------------------- parts for real_inverse.cpp

namespace {
int64_t outer_compute(Context &cx, Job *j, Flt *v) { return j->outer(cx, j->x, j->flag1, v); }
}  // namespace

Status kernel_run(Context &cx, KernelCompute compute, Fraction *x, int which, BigNum *out, int F) {
    cx.status = STATUS_OK;
    Job j = make_job(outer_compute, x);
    j.outer = compute;
    j.flag1 = which;
    return run_job(cx, &j, out, F);
}

Flt kernel_pi(Context &cx) { return pi_value(cx); }
Flt kernel_from_bignum(Context &cx, BigNum *b) { return from_bignum(cx, b); }
Flt kernel_exp(Context &cx, const Flt &x) { return exp_value(cx, x); }
Flt kernel_log(Context &cx, const Flt &x, int64_t *errpos) { return log_value(cx, x, errpos); }
Flt kernel_log_ratio(Context &cx, int64_t p, int64_t q, int64_t *errpos) { return log_ratio(cx, p, q, errpos); }
Flt kernel_atan_unit(Context &cx, const Flt &x) { return atan_newton(cx, x); }
bool kernel_small_ratio(Fraction *x, int64_t *p, int64_t *q) { return small_ratio(x, p, q, int64_t(1) << 40); }
double kernel_log10(Context &cx, Fraction *x) { return log10_of(cx, x); }

bool fraction_stash(Fraction *dst, BigNum *num, BigNum *den, Fraction *src) {
    BigNum *from[2] = {src->num, src->den}, *to[2] = {num, den};
    for (int i = 0; i < 2; i++) {
        int cap = from[i]->used + 2;
        auto *limbs = reinterpret_cast<int32_t *>(scratch_take(core, size_t(cap)));
        if (!limbs) return false;
        *to[i] = *from[i];
        to[i]->limbs = limbs;
        to[i]->capacity = cap;
        for (int k = 0; k < cap; k++) limbs[k] = 0;
        for (int k = 0; k < from[i]->used; k++) limb(to[i], k) = limb(from[i], k);
    }
    dst->num = num;
    dst->den = den;
    dst->num_only = src->num_only;
    return true;
}
