// The function kernels: constants by binary splitting (cached), roots by
// Newton's iteration, exponential and sine by bit-burst series, logarithm by
// the arithmetic-geometric mean, arctangent by Newton on sine and cosine.
// Each result is made exact by recomputing with more limbs until the error
// bound cannot move the truncated F-th limb.
#include "real.h"

#include <sys/mman.h>

#include <climits>
#include <initializer_list>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "../engine/fastmul.h"
#include "real_flt.h"
#include "../engine/scratch.h"

namespace {

constexpr uint32_t BASE = 100000000;

// ----------------------------------------------------------- constants

// One cached constant: its mantissa at the most limbs computed so far.
struct Cache {
    uint32_t *d;
    int capacity;  // limbs of storage
    int prec;      // precision it was computed at (0: empty)
    Flt value;
};
Cache cache_pi, cache_e, cache_ln2, cache_ln10;

int reserve_cache(Cache *c, int limbs) {
    if (c->capacity >= limbs) return 0;
    void *p = mmap(nullptr, size_t(limbs) * 4, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return -1;
    if (c->d) munmap(c->d, size_t(c->capacity) * 4);
    c->d = static_cast<uint32_t *>(p);
    c->capacity = limbs;
    c->prec = 0;
    return 0;
}

// The cached value at flt_prec limbs, or computes it with `make` (a little
// beyond, so that a retry with a few more limbs finds it) and keeps it.
Flt cached(Cache *c, Flt (*make)()) {
    int want = flt_prec;
    if (c->prec >= want) return flt_trunc(c->value, want);
    int target = want + want / 8 + 2;
    flt_prec = target;
    size_t mark = scratch_mark();
    Flt v = make();
    if (v.n <= c->capacity) {
        memcpy(c->d, v.d, sizeof(uint32_t) * v.n);
        c->value = v;
        c->value.d = c->d;
        c->prec = target;
        v = c->value;
        scratch_release(mark);
    } else {
        flt_settle(mark, &v);
    }
    flt_prec = want;
    return flt_trunc(v, want);
}

int64_t chudnovsky_terms() { return int64_t(8.0 * flt_prec / 14.1816) + 2; }

Flt make_pi() {
    Series s{SERIES_CHUDNOVSKY, flt_int(1), flt_int(1)};
    Flt sum = series_sum(s, chudnovsky_terms());
    Flt root = flt_sqrt(flt_int(10005));
    return flt_div(flt_mul_int(root, 426880), sum);
}

Flt make_e() {
    double need = 8.0 * (flt_prec + 1), acc = 0;
    int64_t k = 1;
    while (acc < need) acc += std::log10(double(++k));
    Series s{SERIES_EXP, flt_int(1), flt_int(1)};
    return series_sum(s, k + 1);
}

// atanh(1/m) to flt_prec limbs.
Flt atanh_inverse(int64_t m) {
    int64_t terms = int64_t(8.0 * (flt_prec + 1) / (2 * std::log10(double(m)))) + 2;
    Series s{SERIES_ATANH, flt_int(1), flt_int(m * m)};
    return flt_div_int(series_sum(s, terms), m);
}

// ln 2 and ln 10 from the same three arctanh values.
void make_logs(Flt *ln2, Flt *ln10) {
    Flt a = atanh_inverse(31), b = atanh_inverse(49), c = atanh_inverse(161);
    if (ln2)
        *ln2 = flt_add(flt_add(flt_mul_int(a, 14), flt_mul_int(b, 10)), flt_mul_int(c, 6));
    if (ln10)
        *ln10 = flt_add(flt_add(flt_mul_int(a, 46), flt_mul_int(b, 34)), flt_mul_int(c, 20));
}
// Stores v, computed at flt_prec, as the cached value of c.
void keep_in_cache(Cache *c, const Flt &v) {
    if (v.n > c->capacity) return;
    memcpy(c->d, v.d, sizeof(uint32_t) * v.n);
    c->value = v;
    c->value.d = c->d;
    c->prec = flt_prec;
}

// ln 2 and ln 10 share their arctanh values: computing one caches both.
Flt make_ln2_and_ln10() {
    Flt a, b;
    make_logs(&a, &b);
    keep_in_cache(&cache_ln10, b);
    return a;
}
Flt make_ln10_and_ln2() {
    Flt a, b;
    make_logs(&a, &b);
    keep_in_cache(&cache_ln2, a);
    return b;
}

Flt pi_value() { return cached(&cache_pi, make_pi); }
Flt e_value() { return cached(&cache_e, make_e); }
Flt ln2_value() { return cached(&cache_ln2, make_ln2_and_ln10); }
Flt ln10_value() { return cached(&cache_ln10, make_ln10_and_ln2); }

// ------------------------------------------------------ conversions

// Exact value of a numerator or denominator record.
Flt from_bignum(BigNum *b) {
    int u = b->used;
    while (u > 0 && limb(b, u - 1) == 0) u--;
    if (u == 0) return flt_zero();
    check_limb_span(b, u);
    uint32_t *d = scratch_take(size_t(u));
    if (!d) return flt_zero();
    const int32_t *p = b->limbs + b->capacity - 1;
    for (int k = 0; k < u; k++) {
        int32_t v = p[-k];
        d[k] = uint32_t(v < 0 ? -v : v) % BASE;
    }
    Flt r{d, u, -int64_t(b->frac_limbs), b->sign < 0 ? -1 : 1};
    return flt_normalise(r);
}

// The fraction's value to flt_prec limbs (exact when its denominator is one).
Flt from_fraction(Fraction *f) {
    Flt n = from_bignum(f->num), d = from_bignum(f->den);
    if (d.n == 0) return flt_zero();
    if (d.n == 1 && d.d[0] == 1) {
        n.e -= d.e;  // a denominator of one limb 1 at scale e
        return n;
    }
    return flt_div(n, d);
}

bool is_zero(Fraction *f) {
    for (int k = 0; k < f->num->used; k++)
        if (limb(f->num, k) != 0) return false;
    return true;
}

// out := 0 at F fraction limbs; returns 0 (done).
int write_zero(BigNum *out, int F) {
    bn_clear(out);
    out->frac_limbs = F;
    return 0;
}

// Writes |v| truncated to F fraction limbs, with v's sign, into out.
int write_fixed(BigNum *out, const Flt &v, int F) {
    int64_t used = v.n == 0 ? 0 : flt_top(v) + F;
    if (used < 0) used = 0;
    if (used >= out->capacity) return REAL_NO_ROOM;
    bn_clear(out);
    for (int64_t k = 0; k < used; k++) {
        int64_t i = k - F - v.e;
        limb(out, int(k)) = (i >= 0 && i < v.n) ? int32_t(v.d[i]) : 0;
    }
    out->used = int(used);
    bn_strip(out);
    out->frac_limbs = F;
    out->sign = int8_t(out->used > 0 && v.sign < 0 ? -1 : 1);
    return 0;
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

// A computation for the retry loop: fills *v at flt_prec limbs and returns
// the exponent of its absolute error bound.
struct Job {
    int64_t (*compute)(Job *, Flt *);
    // Exact test of a candidate result c (already at F limbs); may be null.
    bool (*exact)(Job *, const Flt &c);
    Fraction *x, *y;
    int64_t n, m, base;
    int flag1, flag2;
};

// Candidate results next to v at F fraction limbs: truncated and one unit up.
Flt candidate(const Flt &v, int F, int up) {
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
        Flt unit = flt_int(v.sign);
        unit.e = -F;
        t = flt_add(t, unit);
    }
    if (t.n == 0) t.sign = 1;
    return t;
}

// Runs the job with more and more limbs until its truncation to F limbs is
// certain, then writes it. Results that are exactly representable are
// recognised through the job's exact test.
int run_job(Job *job, BigNum *out, int F) {
    size_t mark = scratch_mark();
    int saved = flt_prec;
    // Enough guard limbs that the error bounds of every kernel fit below
    // the F-th limb at the first attempt; retries are for true ambiguity.
    int extra = 8;
    int64_t top = 1;
    int rc = 0;
    for (int attempt = 0;; attempt++) {
        flt_prec = int(F + (top > 0 ? top : 0) + extra);
        Flt v;
        int64_t errpos = job->compute(job, &v);
        int64_t vt = v.n ? flt_top(v) : 0;
        if (truncation_certain(v, F, errpos)) {
            rc = write_fixed(out, v, F);
            break;
        }
        if (job->exact) {
            int keep = flt_prec;
            flt_prec = INT_MAX / 4;
            Flt c0 = candidate(v, F, 0), c1 = candidate(v, F, 1);
            bool hit0 = job->exact(job, c0), hit1 = !hit0 && job->exact(job, c1);
            flt_prec = keep;
            if (hit0 || hit1) {
                rc = write_fixed(out, hit0 ? c0 : c1, F);
                break;
            }
        }
        if (attempt >= 6) {  // ambiguity that does not resolve: keep the best value
            rc = write_fixed(out, v, F);
            break;
        }
        if (vt > top) top = vt;
        int64_t short_by = errpos + F + 2;
        extra = int(extra * 2 + (short_by > 0 ? short_by : 0));
        scratch_release(mark);
    }
    flt_prec = saved;
    scratch_release(mark);
    return rc;
}

int64_t relative_error(const Flt &v) { return (v.n ? flt_top(v) : 0) - flt_prec + 3; }

// x^k for an exact Flt (flt_prec set to exact by the caller).
bool equal_exact(const Flt &a, const Flt &b) { return flt_cmp(a, b) == 0; }

// --------------------------------------------------------- roots

// |x|^(m/o) at flt_prec: the o-th root of |x|^m (m may be negative).
Flt root_of_power(Fraction *x, int64_t m, int64_t o) {
    int keep = flt_prec;
    Flt X = from_fraction(x);
    X.sign = 1;
    uint64_t am = uint64_t(m < 0 ? -m : m);
    flt_prec = keep + 2;
    Flt base = am == 1 ? X : flt_pow_int(X, am);
    Flt r;
    if (o == 1) {
        r = base;
    } else if (o == 2) {
        r = flt_sqrt(base);
    } else {
        Flt z = flt_inv_root(base, int(o));
        r = flt_mul(base, flt_pow_int(z, uint64_t(o - 1)));
    }
    if (m < 0) r = flt_div(flt_int(1), r);
    flt_prec = keep;
    return flt_trunc(r, keep);
}

int64_t root_compute(Job *j, Flt *v) {
    *v = root_of_power(j->x, j->m, j->n);
    if (j->flag1 && v->n) v->sign = -1;  // odd root of a negative radicand
    return relative_error(*v);
}

// c^o == |x|^m exactly (all values exact here).
bool root_exact(Job *j, const Flt &c) {
    Flt N = from_bignum(j->x->num), D = from_bignum(j->x->den);
    N.sign = D.sign = 1;
    Flt cc = c;
    cc.sign = 1;
    int64_t m = j->m;
    uint64_t am = uint64_t(m < 0 ? -m : m);
    // Exact powers beyond the reserved product size are not tried.
    double room = fastmul_capacity() / 2.0;
    if (double(cc.n) * double(j->n) > room) return false;
    if ((double(N.n) + double(D.n)) * double(am) > room) return false;
    Flt left = flt_pow_int(cc, uint64_t(j->n));
    Flt Nm = flt_pow_int(N, am), Dm = flt_pow_int(D, am);
    // c^o = N^m / D^m, or D^|m| / N^|m| for negative m.
    Flt a = flt_mul(left, m >= 0 ? Dm : Nm), b = m >= 0 ? Nm : Dm;
    return equal_exact(a, b);
}

// ------------------------------------------------------ exponential

// Number of terms of sum r^k / k! (r = |c|) below BASE^-(flt_prec + 1).
int64_t exp_terms(double log10_r, int step) {
    double need = 8.0 * (flt_prec + 1) + 2, acc = 0;
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
Flt exp_fraction(const Flt &f) {
    Flt result = flt_int(1);
    if (f.n == 0) return result;
    size_t mark = scratch_mark();
    int64_t lo = 0, hi = 1;  // chunk covers fraction limbs lo+1 .. hi
    while (lo < flt_prec + 2) {
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
                Series ser{SERIES_EXP, c, flt_int(1)};
                Flt part = series_sum(ser, exp_terms(flt_log10_abs(c), 1));
                result = flt_mul(result, part);
                flt_settle(mark, &result);
            }
        }
        lo = hi;
        hi = hi * 2;
        if (f.e >= -lo) break;
    }
    return result;
}

// exp(x) at flt_prec for an Flt x (|x| below the room the caller checked).
Flt exp_value(const Flt &x) {
    int keep = flt_prec;
    Flt ip = flt_floor_abs(x);  // |integer part|
    int64_t n = 0;
    for (int i = ip.n - 1; i >= 0; i--) n = n * BASE + ip.d[i];
    for (int64_t k = 0; k < ip.e; k++) n *= BASE;
    if (x.sign < 0) n = -n;
    Flt frac = flt_sub(x, flt_int(n));  // in (-1, 1)
    if (frac.sign < 0 && frac.n) {
        frac = flt_add(frac, flt_int(1));
        n -= 1;
        // An x < 0 below the precision makes x + 1 round to 1, which
        // exp_fraction (0 <= f < 1) reads as 0, giving 1/e: one unit below 1
        // stands in, within the error the result already allows.
        if (flt_top(frac) > 0) {
            Flt unit = flt_int(1);
            unit.e = -int64_t(flt_prec);
            frac = flt_sub(flt_int(1), unit);
        }
    }
    int64_t an = n < 0 ? -n : n;
    flt_prec = keep + 2 + int(std::log10(double(an) + 1) / 8);
    Flt ef = exp_fraction(frac);
    if (an > 0) {
        Flt en = flt_pow_int(e_value(), uint64_t(an));
        ef = n > 0 ? flt_mul(ef, en) : flt_div(ef, en);
    }
    flt_prec = keep;
    return flt_trunc(ef, keep);
}

int64_t exp_compute(Job *j, Flt *v) {
    Flt x = from_fraction(j->x);
    int64_t guard = std::max<int64_t>(0, flt_top(x));
    flt_prec += int(guard);
    *v = exp_value(x);
    flt_prec -= int(guard);
    return relative_error(*v) + 1;
}

// ------------------------------------------------------- logarithm

// Arithmetic-geometric mean of a and b > 0 at flt_prec.
Flt agm(Flt a, Flt b) {
    size_t mark = scratch_mark();
    for (int i = 0; i < 200; i++) {
        poll_interrupt();
        Flt d = flt_sub(a, b);
        if (d.n == 0 || flt_top(d) < flt_top(a) - flt_prec + 1) break;
        Flt na = flt_div_int(flt_add(a, b), 2);
        Flt nb = flt_sqrt(flt_mul(a, b));
        a = na;
        b = nb;
        flt_settle(mark, &a, &b);
    }
    return a;
}

// ln x for x > 0 at flt_prec, with the exponent of its absolute error.
Flt log_value(const Flt &x, int64_t *errpos) {
    int keep = flt_prec;
    // ln x = ln s - 8k ln 10 with s = x BASE^k above BASE^(p/2), where
    // ln s = pi / (2 AGM(1, 4/s)) up to an error of order 1/s^2.
    int p = keep + 3;
    int64_t k = (p + 1) / 2 + 1 - flt_top(x);
    flt_prec = p;
    Flt s = x;
    s.e += k;
    Flt four_over_s = flt_div(flt_int(4), s);
    Flt m = agm(flt_int(1), four_over_s);
    Flt ln_s = flt_div(flt_div_int(pi_value(), 2), m);
    Flt kl = flt_mul_int(ln10_value(), 8 * k);
    Flt r = flt_sub(ln_s, kl);
    *errpos = std::max(flt_top(ln_s), flt_top(kl)) - p + 4;
    flt_prec = keep;
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

// ln(p/q) for a small exact ratio p/q > 0: k ln 2 + 2 atanh(u) with
// p / (q 2^k) within [0.75, 1.5) and u = (p - q 2^k) / (p + q 2^k), the
// arctanh summed by binary splitting. Values 2^k and 10 come from the
// cached constants.
Flt log_ratio(int64_t p, int64_t q, int64_t *errpos) {
    int keep = flt_prec;
    flt_prec = keep + 2;
    Flt r;
    if (p == 10 * q) {
        r = ln10_value();
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
        r = k == 0 ? flt_zero() : flt_mul_int(ln2_value(), k);
        if (a != 0) {
            Flt ua = flt_u128((unsigned __int128)(a < 0 ? -a : a), a < 0 ? -1 : 1);
            Flt ub = flt_u128((unsigned __int128)b, 1);
            double ratio = double(b) * double(b) / (double(a) * double(a));
            int64_t terms = int64_t(8.0 * (flt_prec + 1) / std::log10(ratio)) + 2;
            Series s{SERIES_ATANH, flt_mul(ua, ua), flt_mul(ub, ub)};
            Flt at = flt_div(flt_mul(series_sum(s, terms), ua), ub);
            r = flt_add(r, flt_mul_int(at, 2));
        }
    }
    *errpos = (r.n ? flt_top(r) : 0) - keep;
    flt_prec = keep;
    return flt_trunc(r, keep);
}

// Whether the fraction is a ratio p/q > 0 of integers below 2^40.
bool small_positive_ratio(Fraction *x, int64_t *p, int64_t *q) {
    if (!small_ratio(x, p, q, int64_t(1) << 40)) return false;
    if (*p < 0) *p = -*p;
    return *p != 0;
}

// ln of the integer b >= 2.
Flt log_int(int64_t b, int64_t *errpos) {
    if (b == 10) {
        *errpos = 1 - flt_prec + 2;
        return ln10_value();
    }
    if (b == 2) {
        *errpos = -flt_prec + 2;
        return ln2_value();
    }
    return log_ratio(b, 1, errpos);
}

int64_t log_compute(Job *j, Flt *v) {
    int64_t err, p, q;
    Flt l;
    if (small_positive_ratio(j->x, &p, &q)) {
        l = log_ratio(p, q, &err);
    } else {
        Flt x = from_fraction(j->x);
        l = log_value(x, &err);
    }
    if (j->base == 0) {
        *v = l;
        return err;
    }
    int64_t err_b;
    Flt lb = log_int(j->base, &err_b);
    *v = flt_div(l, lb);
    // Relative errors of both add up.
    int64_t rel = std::max(err - (l.n ? flt_top(l) : 0), err_b - flt_top(lb));
    rel = std::max<int64_t>(rel, 3 - flt_prec);
    return (v->n ? flt_top(*v) : 0) + rel + 1;
}

// Whether the candidate c is exactly m / d with d <= 12 and x^d == base^m.
bool log_exact(Job *j, const Flt &c) {
    if (j->base == 0) return false;
    for (int64_t d = 1; d <= 12; d++) {
        Flt cd = flt_normalise(flt_mul_int(c, d));
        int64_t m = 0;
        if (cd.n > 0) {
            if (cd.e < 0 || cd.n > 1 || cd.e > 0) continue;  // not a small integer
            m = int64_t(cd.d[0]) * cd.sign;
        }
        uint64_t am = uint64_t(m < 0 ? -m : m);
        Flt N = from_bignum(j->x->num), D = from_bignum(j->x->den);
        N.sign = D.sign = 1;
        double room = fastmul_capacity() / 2.0;
        if (double(N.n + D.n) * double(d) > room || double(am) * std::log10(double(j->base)) > 8.0 * room)
            return false;
        Flt bm = flt_pow_int(flt_int(j->base), am);
        Flt Nd = flt_pow_int(N, uint64_t(d)), Dd = flt_pow_int(D, uint64_t(d));
        // (N / D)^d == b^m, or b^-|m|.
        return m >= 0 ? equal_exact(Nd, flt_mul(bm, Dd)) : equal_exact(flt_mul(Nd, bm), Dd);
    }
    return false;
}

// ---------------------------------------------------- sine, cosine

// sin and cos of |r| <= 1 (about) by bit-burst chunks; r's sign is applied.
void sin_cos_small(const Flt &r, Flt *sn, Flt *cs) {
    Flt S = flt_zero(), C = flt_int(1);
    size_t mark = scratch_mark();
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
                Flt c2 = flt_mul(c, c);
                Series ser{SERIES_SIN, c2, flt_int(1)};
                Flt sc = flt_mul(c, series_sum(ser, exp_terms(flt_log10_abs(c), 2)));
                // cos = sqrt(1 - sin^2) costs less than a second series
                // (measured); the chunks are at most pi/4, so nothing cancels.
                Flt cc = flt_sqrt(flt_sub(flt_int(1), flt_mul(sc, sc)));
                Flt nS = flt_add(flt_mul(S, cc), flt_mul(C, sc));
                Flt nC = flt_sub(flt_mul(C, cc), flt_mul(S, sc));
                S = nS;
                C = nC;
                flt_settle(mark, &S, &C);
            }
        }
        if (hi > flt_prec + 2 || r.e >= -hi) break;
        lo = hi;
        hi *= 2;
    }
    if (r.sign < 0) S = flt_neg(S);
    *sn = S;
    *cs = C;
}

// sin and cos of theta (radians, or half-turns when half_turns) at
// flt_prec; *amplify receives how many limbs of absolute error the reduction
// may have cost.
void sin_cos_value(const Flt &x, int half_turns, Flt *sn, Flt *cs) {
    int keep = flt_prec;
    int64_t guard = std::max<int64_t>(0, flt_top(x)) + 1;
    flt_prec = keep + int(guard);
    Flt pi = pi_value();
    // Quarter turns q = x / (pi/2) (or 2x for half-turns), k the nearest
    // integer, r the rest in radians, |r| <= pi/4.
    Flt q = half_turns == 1   ? flt_mul_int(x, 2)
            : half_turns == 2 ? flt_div_int(x, 90)
                              : flt_div(flt_mul_int(x, 2), pi);
    Flt k = flt_floor(flt_add(q, flt_div_int(flt_int(1), 2)));
    Flt r;
    if (half_turns) {
        r = flt_div_int(flt_mul(flt_sub(q, k), pi), 2);
    } else {
        r = flt_sub(x, flt_div_int(flt_mul(pi, k), 2));
    }
    // k mod 4 from its lowest limb (the base is a multiple of 4).
    int low = (k.n == 0 || k.e > 0) ? 0 : int(k.d[0] % 4);
    int quadrant = k.sign < 0 ? (4 - low) % 4 : low;
    flt_prec = keep + 1;
    Flt s, c;
    sin_cos_small(r, &s, &c);
    switch (quadrant) {
        case 0: *sn = s; *cs = c; break;
        case 1: *sn = c; *cs = flt_neg(s); break;
        case 2: *sn = flt_neg(s); *cs = flt_neg(c); break;
        default: *sn = flt_neg(c); *cs = s; break;
    }
    flt_prec = keep;
}

int64_t sin_cos_compute(Job *j, Flt *v) {
    Flt s, c;
    int64_t p, q;
    int keep = flt_prec;
    if (!j->flag2 && small_ratio(j->x, &p, &q) && (p < 0 ? -p : p) <= 2 * q) {
        flt_prec = keep + 1;
        Flt x = flt_div(flt_int(p), flt_int(q));
        Flt p2 = flt_int(p * p), q2 = flt_int(q * q);
        double l10 = std::log10(std::fabs(double(p) / double(q)));
        Series ss{SERIES_SIN, p2, q2}, cs{SERIES_COS, p2, q2};
        if (j->flag1 == 0 || j->flag1 == 2) s = flt_mul(x, series_sum(ss, exp_terms(l10, 2)));
        if (j->flag1 == 1 || j->flag1 == 2) c = series_sum(cs, exp_terms(l10, 2));
        flt_prec = keep;
    } else {
        // The reduction keeps only x's fraction of a turn: a large x is read
        // with as many more limbs as its integer part has, or its rounding
        // at flt_prec moves the last limbs of the result.
        Flt x = from_fraction(j->x);
        if (flt_top(x) > 0) {
            flt_prec = keep + int(flt_top(x)) + 1;
            x = from_fraction(j->x);
            flt_prec = keep;
        }
        sin_cos_value(x, j->flag2, &s, &c);
    }
    if (j->flag1 == 2) {  // tangent
        // A cosine held as exactly 0 (a pole the caller did not catch) is no
        // divisor: the value stays uncertain, attempt after attempt.
        if (c.n == 0) {
            *v = flt_int(0);
            return INT64_MAX / 4;
        }
        *v = flt_div(s, c);
        int64_t amplify = std::max<int64_t>(0, -flt_top(c));
        return relative_error(*v) + 1 + amplify;
    }
    *v = j->flag1 ? c : s;
    // The reduction's absolute error is below BASE^(3 - flt_prec).
    return std::max<int64_t>(relative_error(*v), 4 - flt_prec);
}

// ------------------------------------------------------- arctangent

// atan x for 0 < x <= 1 at flt_prec by Newton's iteration on sine and
// cosine: y += (x cos y - sin y) / (cos y + x sin y), digits doubling.
Flt atan_newton(const Flt &x) {
    int target = flt_prec;
    int64_t e;
    long double lead = flt_lead(x, &e);
    long double xd = lead * powl((long double)BASE, (long double)e);
    Flt y = flt_top(x) < -2 ? x : flt_from_ld(atanl(xd), 0);
    int steps[64], count = 0;
    for (int p = target + 1; p > 2 && count < 62; p = (p + 1) / 2 + 1) steps[count++] = p;
    size_t mark = scratch_mark();
    for (int i = count - 1; i >= 0; i--) {
        flt_prec = steps[i] + 1;
        Flt s, c;
        Flt xx = flt_trunc(x, flt_prec + 1);
        sin_cos_small(flt_trunc(y, flt_prec + 1), &s, &c);
        Flt num = flt_sub(flt_mul(xx, c), s);
        Flt den = flt_add(c, flt_mul(xx, s));
        y = flt_add(y, flt_div(num, den));
        flt_settle(mark, &y);
    }
    flt_prec = target;
    return flt_trunc(y, target);
}

// atan of a small exact ratio p/q with 0 < p <= q by Euler's series, after
// atan(p/q) = pi/4 - atan((q-p)/(q+p)) when p/q > 1/2.
Flt atan_ratio(int64_t p, int64_t q) {
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
        Flt pb = flt_u128((unsigned __int128)p2, 1), qb = flt_u128((unsigned __int128)s2, 1);
        double ratio = double(s2) / double(p2);
        int64_t terms = int64_t(8.0 * (flt_prec + 1) / std::log10(ratio)) + 2;
        Series s{SERIES_ATAN_EULER, pb, qb};
        Flt sum = series_sum(s, terms);
        r = flt_div(flt_mul(sum, flt_u128((unsigned __int128)((__int128)p * q), 1)), qb);
    }
    if (folded) r = flt_sub(flt_div_int(pi_value(), 4), r);
    return r;
}

int64_t atan_compute(Job *j, Flt *v) {
    int64_t p, q;
    int keep = flt_prec;
    flt_prec = keep + 1;
    Flt r;
    int sign = 1;
    if (small_ratio(j->x, &p, &q)) {
        if (p < 0) {
            p = -p;
            sign = -1;
        }
        r = p <= q ? atan_ratio(p, q) : flt_sub(flt_div_int(pi_value(), 2), atan_ratio(q, p));
    } else {
        Flt x = from_fraction(j->x);
        sign = x.sign;
        x.sign = 1;
        Flt one = flt_int(1);
        int c = flt_cmp_abs(x, one);
        if (c == 0) {
            r = flt_div_int(pi_value(), 4);
        } else if (c < 0) {
            r = atan_newton(x);
        } else {
            r = flt_sub(flt_div_int(pi_value(), 2), atan_newton(flt_div(one, x)));
        }
    }
    if (sign < 0) r = flt_neg(r);
    flt_prec = keep;
    *v = flt_trunc(r, keep);
    return std::max<int64_t>(relative_error(*v), 4 - keep);
}

// ------------------------------------------------------------ powers

int64_t power_compute(Job *j, Flt *v) {
    Flt x = from_fraction(j->x), y = from_fraction(j->y);
    int keep = flt_prec;
    // exp(y ln x): the error of y ln x becomes the relative error of the result.
    int64_t est_top = 1;
    {
        double l = flt_log10_abs(x);
        double ly = flt_log10_abs(y);
        double mag = std::log10(std::fabs(l * 2.302585) + 1e-300) + ly;
        est_top = std::max<int64_t>(1, int64_t(mag / 8) + 2);
    }
    flt_prec = keep + int(est_top) + 1;
    int64_t err, p, q;
    Flt l = small_positive_ratio(j->x, &p, &q) ? log_ratio(p, q, &err) : log_value(x, &err);
    Flt w = flt_mul(y, l);
    *v = exp_value(w);
    flt_prec = keep;
    *v = flt_trunc(*v, keep + 1);
    return relative_error(*v) + std::max<int64_t>(0, flt_top(w)) + std::max<int64_t>(0, flt_top(y)) + 2;
}

int64_t power_ratio_compute(Job *j, Flt *v) {
    Fraction *x = j->x;
    int64_t m = j->m, o = j->n;
    double cost = double(m < 0 ? -m : m);
    if (o <= 64 && cost * (x->num->used + x->den->used) < 4.0 * flt_prec) {
        *v = root_of_power(x, m, o);
        return relative_error(*v) + 1;
    }
    Flt X = from_fraction(x);
    int keep = flt_prec;
    int64_t mag = std::max<int64_t>(1, int64_t(std::fabs(flt_log10_abs(X) * double(m) / double(o)) / 8) + 2);
    flt_prec = keep + int(mag) + 1;
    int64_t err, p, q;
    Flt l = small_positive_ratio(x, &p, &q) ? log_ratio(p, q, &err) : log_value(X, &err);
    Flt w = flt_div_int(flt_mul_int(l, m), o);
    *v = exp_value(w);
    flt_prec = keep;
    *v = flt_trunc(*v, keep + 1);
    return relative_error(*v) + std::max<int64_t>(0, flt_top(w)) + 1;
}

Job make_job(int64_t (*compute)(Job *, Flt *), Fraction *x) {
    Job j{};
    j.compute = compute;
    j.exact = nullptr;
    j.x = x;
    return j;
}

Flt (*constant_value)();
int64_t constant_compute(Job *, Flt *v) {
    *v = constant_value();
    return relative_error(*v);
}

int constant(BigNum *out, int F, Flt (*value)()) {
    constant_value = value;
    Job j = make_job(constant_compute, nullptr);
    return run_job(&j, out, F);
}

}  // namespace

int real_reserve(int p) {
    int limbs = p / 4 + p / 16 + 4096;
    for (Cache *c : {&cache_pi, &cache_e, &cache_ln2, &cache_ln10})
        if (reserve_cache(c, limbs) != 0) return -1;
    return 0;
}

namespace {
int64_t over_pi_compute(Job *j, Flt *v) {
    *v = flt_div(from_fraction(j->x), pi_value());
    return relative_error(*v) + 1;
}
}  // namespace

int real_over_pi(BigNum *out, Fraction *x, int F) {
    if (is_zero(x)) {
        return write_zero(out, F);
    }
    Job j = make_job(over_pi_compute, x);
    return run_job(&j, out, F);
}

int exact_root(BigNum *r, BigNum *x, int n) {
    if (x->frac_limbs != 0 || x->sign < 0 || n < 2 || r->capacity < x->used + 2) return -1;
    if (bn_is_zero(x)) {
        bn_clear(r);
        return 0;
    }
    size_t mark = scratch_mark();
    BigNum one, power;
    int answer = -1;
    if (bn_from_scratch(&one, 2) && bn_from_scratch(&power, 2 * x->used + 4)) {
        bn_set_one(&one);
        Fraction xf = {x, &one, 0};
        if (real_root(r, &xf, n, 0) == 0 && r->frac_limbs == 0 && copy(&power, r) >= 0) {
            // r^n by n - 1 products, stopped as soon as it outgrows x.
            bool over = false;
            for (int k = 1; k < n && !over; k++) {
                if (multiply(&power, &power, r) < 0) over = true;
                if (power.used > x->used) over = true;
            }
            if (!over && compare_magnitude(&power, x) == 0) answer = 0;
        }
    }
    scratch_release(mark);
    return answer;
}

int real_pi(BigNum *out, int F) { return constant(out, F, pi_value); }
int real_e(BigNum *out, int F) { return constant(out, F, e_value); }

int real_root(BigNum *out, Fraction *x, int n, int F) {
    bool negative = !is_zero(x) && (x->num->sign < 0) != (x->den->sign < 0);
    if (negative && n % 2 == 0) return REAL_DOMAIN;
    if (is_zero(x)) {
        if (out->capacity < 2) return REAL_NO_ROOM;
        return write_zero(out, F);
    }
    Job j = make_job(root_compute, x);
    j.exact = root_exact;
    j.n = n;
    j.m = 1;
    j.flag1 = negative;
    return run_job(&j, out, F);
}

namespace {

// A power or exponential whose decimal exponent is about `digits` (the
// log10 of its value): beyond the room of out it is refused, far below the
// last fraction limb it is 0 (1 when handled, else 0).
int out_of_reach(BigNum *out, double digits, int F, int *rc) {
    if (digits > 8.0 * out->capacity + 16) {
        *rc = REAL_NO_ROOM;
        return 1;
    }
    if (digits < -8.0 * (F + 2) - 16) {
        *rc = write_zero(out, F);
        return 1;
    }
    return 0;
}

// log10 of the fraction's magnitude, roughly (x != 0).
double log10_of(Fraction *x) {
    size_t mark = scratch_mark();
    int saved = flt_prec;
    flt_prec = 3;
    double l = flt_log10_abs(from_fraction(x));
    flt_prec = saved;
    scratch_release(mark);
    return l;
}

}  // namespace

int real_power_ratio(BigNum *out, Fraction *x, int64_t m, int64_t o, int F) {
    if (is_zero(x) || (x->num->sign < 0) != (x->den->sign < 0)) return REAL_DOMAIN;
    int rc;
    if (out_of_reach(out, log10_of(x) * double(m) / double(o), F, &rc)) return rc;
    Job j = make_job(power_ratio_compute, x);
    j.exact = root_exact;
    j.n = o;
    j.m = m;
    return run_job(&j, out, F);
}

int real_power(BigNum *out, Fraction *x, Fraction *y, int F) {
    if (is_zero(x) || (x->num->sign < 0) != (x->den->sign < 0)) return REAL_DOMAIN;
    int rc;
    if (!is_zero(y)) {
        double ly = log10_of(y), lx = log10_of(x);
        double digits = ly > 300 ? (lx > 0 ? 1e300 : -1e300) : lx * std::pow(10.0, ly);
        if ((y->num->sign < 0) != (y->den->sign < 0)) digits = -digits;
        if (out_of_reach(out, digits, F, &rc)) return rc;
    }
    Job j = make_job(power_compute, x);
    j.y = y;
    return run_job(&j, out, F);
}

int real_exp(BigNum *out, Fraction *x, int F) {
    // Far outside the room, or so far below zero that the value truncates
    // to 0: decided from an estimate before any series runs.
    size_t mark = scratch_mark();
    int saved = flt_prec;
    flt_prec = 3;
    double l = is_zero(x) ? -1e300 : flt_log10_abs(from_fraction(x));
    bool negative = !is_zero(x) && (x->num->sign < 0) != (x->den->sign < 0);
    flt_prec = saved;
    scratch_release(mark);
    if (l > 0 && l < 300) {
        double digits = std::pow(10.0, l) * 0.4342944819;
        if (!negative && digits > 8.0 * out->capacity) return REAL_NO_ROOM;
        if (negative && digits > 8.0 * (F + 2)) {
            return write_zero(out, F);
        }
    } else if (l >= 300) {
        if (!negative) return REAL_NO_ROOM;
        return write_zero(out, F);
    }
    Job j = make_job(exp_compute, x);
    return run_job(&j, out, F);
}

int real_log(BigNum *out, Fraction *x, int64_t base, int F) {
    if (is_zero(x) || (x->num->sign < 0) != (x->den->sign < 0)) return REAL_DOMAIN;
    Job j = make_job(log_compute, x);
    j.exact = log_exact;
    j.base = base;
    // ln 1 = 0 exactly; the retries could not settle on it.
    size_t mark = scratch_mark();
    int saved = flt_prec;
    flt_prec = INT_MAX / 4;
    Flt N = from_bignum(x->num), D = from_bignum(x->den);
    N.sign = D.sign = 1;
    bool one = flt_cmp(N, D) == 0;
    flt_prec = saved;
    scratch_release(mark);
    if (one) {
        if (out->capacity < 2) return REAL_NO_ROOM;
        return write_zero(out, F);
    }
    return run_job(&j, out, F);
}

int real_atan(BigNum *out, Fraction *x, int F) {
    if (is_zero(x)) {
        return write_zero(out, F);
    }
    Job j = make_job(atan_compute, x);
    return run_job(&j, out, F);
}

int real_sin_cos(BigNum *out, Fraction *x, int cosine, int half_turns, int F) {
    if (is_zero(x)) {
        if (cosine && F >= out->capacity) return REAL_NO_ROOM;  // 1 needs F + 1 limbs
        bn_clear(out);
        if (cosine) {
            out->used = 1;
            limb(out, 0) = 1;
            if (F > 0) {
                (void)shift_limbs(out, F);  // room checked above
            }
        }
        out->frac_limbs = F;
        return 0;
    }
    Job j = make_job(sin_cos_compute, x);
    j.flag1 = cosine;
    j.flag2 = half_turns;
    return run_job(&j, out, F);
}

int real_tan(BigNum *out, Fraction *x, int half_turns, int F) {
    if (is_zero(x)) {
        return write_zero(out, F);
    }
    Job j = make_job(sin_cos_compute, x);
    j.flag1 = 2;
    j.flag2 = half_turns;
    return run_job(&j, out, F);
}

int fraction_stash(Fraction *dst, BigNum *num, BigNum *den, Fraction *src) {
    BigNum *from[2] = {src->num, src->den}, *to[2] = {num, den};
    for (int i = 0; i < 2; i++) {
        int cap = from[i]->used + 2;
        auto *limbs = reinterpret_cast<int32_t *>(scratch_take(size_t(cap)));
        if (!limbs) return -1;
        *to[i] = *from[i];
        to[i]->limbs = limbs;
        to[i]->capacity = cap;
        for (int k = 0; k < cap; k++) limbs[k] = 0;
        for (int k = 0; k < from[i]->used; k++) limb(to[i], k) = limb(from[i], k);
    }
    dst->num = num;
    dst->den = den;
    dst->num_only = src->num_only;
    return 0;
}
