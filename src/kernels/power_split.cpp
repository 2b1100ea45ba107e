// Binary splitting with a table of powers.
//
// A range [a, b) of terms of sum_k c_k prod_{j <= k} x / q(j) keeps the
// product Q of its q(j) and T = sum_k x^(k-a+1) Q(k+1 .. b-1) c_k / c_a-like
// parts; two ranges join as T = T_L Q_R + x^|L| T_R, Q = Q_L Q_R. The power
// x^|L| depends only on the length of the left range, and the halving split
// gives ranges of at most two lengths at each depth (floor and ceiling of
// terms / 2^depth), so the powers come from a table made once: one product
// fewer at every join than when each range multiplies out its own power.
//
// The arctanh series sum_j (u/v)^j / (2j + 1) is kept as
//   B = prod_{a <= j < b} (2j + 1),   T = B v^(b-a) sum_{a <= j < b} (u/v)^(j-a) / (2j + 1),
// joined as B = B_L B_R, T = T_L (B_R v^|R|) + u^|L| B_L T_R: the odd
// numbers are multiplied once, not as two products (2j - 1) and (2j + 1) v.
#include "power_split.h"

#include <cmath>

#include "../engine/scratch.h"
#include "../engine/threads.h"
#include "../engine/thresholds.h"

namespace {

constexpr int MAX_DEPTH = 64;

// Powers x^s for the lengths s of the ranges at each depth.
struct Powers {
    int64_t low[MAX_DEPTH];
    Flt at_low[MAX_DEPTH], at_high[MAX_DEPTH];
    bool one;  // x = 1: every power is 1 and is never multiplied
};

int64_t span_low(int64_t terms, int depth) { return terms >> depth; }
int64_t span_high(int64_t terms, int depth) { return (terms + (int64_t(1) << depth) - 1) >> depth; }

const Flt &power_of(const Powers &p, int64_t span, int depth) {
    return span == p.low[depth] ? p.at_low[depth] : p.at_high[depth];
}

// Fills the table for x from the deepest depth up: the shorter length at
// a depth is twice the shorter one below, plus one when odd, so each depth
// costs a square and at most two products by x. Depths above `top` (the
// largest powers, which only a caller multiplying out the whole range
// needs) are left out.
void make_powers(Context &cx, Powers *p, const Flt &x, int64_t terms, int top) {
    p->one = x.n == 1 && x.d[0] == 1 && x.e == 0 && x.sign > 0;
    int deepest = 0;
    while (span_high(terms, deepest) > 1 && deepest < MAX_DEPTH - 1) deepest++;
    if (top > deepest) top = deepest;  // a single term is a leaf at depth 0
    for (int d = deepest; d >= top; d--) {
        int64_t low = span_low(terms, d), high = span_high(terms, d);
        p->low[d] = low;
        Flt &at_low = p->at_low[d];
        if (p->one || low == 0) {
            at_low = flt_int(cx, 1);
        } else if (low == 1) {
            at_low = flt_copy(cx, x);
        } else {
            const Flt &half = p->at_low[d + 1];  // x^(low / 2): low / 2 is the shorter length below
            at_low = flt_mul(cx, half, half);
            if (low % 2) at_low = flt_mul(cx, at_low, x);
        }
        if (high == low) {
            p->at_high[d] = at_low;
        } else {
            p->at_high[d] = p->one ? at_low : low == 0 ? flt_copy(cx, x) : flt_mul(cx, at_low, x);
        }
    }
}

Flt from_u128(Context &cx, unsigned __int128 v) { return flt_u128(cx, v, 1); }

// ------------------------------------------------------------ arctanh

struct OddRange {
    Flt B, T;
};

struct OddSplit {
    const Powers *u, *v;
    int b_prec;           // limbs kept of every B
    uint64_t small_u, small_uv;  // u and v when both are below 2^40, else 0
    double limbs_per_term;  // log_BASE(v / u): how far each term lies below the one before
};

// The right half's T precision of a range [a, m) + [m, b) whose whole T is
// kept to t_prec limbs (see odd_split).
int odd_right_prec(const OddSplit &s, int64_t a, int64_t m, int t_prec) {
    double below = double(m - a) * s.limbs_per_term - 1;
    return below >= t_prec - 4 ? 4 : int(t_prec - (below > 0 ? below : 0));
}

// The range [a, b) from its halves L = [a, m) and R = [m, b) at depth + 1,
// settled at `mark`; with_power as in odd_split.
OddRange odd_join(Context &cx, const OddSplit &s, const OddRange &L, const OddRange &R, int64_t a, int64_t m,
                  int64_t b, int depth, int t_prec, bool with_power, size_t mark) {
    OddRange r;
    cx.prec = t_prec;
    Flt bv = flt_mul(cx, R.B, power_of(*s.v, b - m, depth + 1));
    Flt y = flt_mul(cx, L.B, R.T);
    if (!s.u->one) y = flt_mul(cx, y, power_of(*s.u, m - a, depth + 1));
    r.T = flt_add(cx, flt_mul(cx, L.T, bv), y);
    cx.prec = s.b_prec;
    if (with_power) {
        // B v^(b-a) = (B_L v^|L|) (B_R v^|R|).
        r.B = flt_mul(cx, flt_mul(cx, L.B, power_of(*s.v, m - a, depth + 1)), bv);
    } else {
        r.B = flt_mul(cx, L.B, R.B);
    }
    flt_settle(cx, mark, &r.B, &r.T);
    return r;
}

// B and T of the terms a .. b-1 at depth `depth`, settled at the arena
// position on entry; B to s.b_prec limbs, T to t_prec. All terms are
// positive, and the right half's part u^|L| B_L T_R of T lies |L| terms, at
// least floor(|L| log_BASE(v/u)) limbs, below the whole: the right half's T
// is needed to that many limbs fewer (its B in full, as a factor of the
// left half's part). Near the top of a long split, where the values are cut
// to the precision, this shortens the right halves' products.
// With `with_power` (the whole range) B comes back times v^(b-a), the
// denominator of the sum, from the products already made.
OddRange odd_split(Context &cx, const OddSplit &s, int64_t a, int64_t b, int depth, int t_prec,
                   bool with_power = false) {
    if (b - a == 1) return OddRange{flt_int(cx, 2 * a + 1), power_of(*s.v, 1, depth)};
    if (b - a == 2 && !with_power && s.small_uv > 0 && a < (int64_t(1) << 24)) {
        // Two terms in machine integers: B = (2a+1)(2a+3), T = v((2a+3) v + u (2a+1)).
        unsigned __int128 b0 = 2 * a + 1, b1 = 2 * a + 3, u = s.small_u, v = s.small_uv;
        return OddRange{from_u128(cx, b0 * b1), from_u128(cx, v * (b1 * v + u * b0))};
    }
    if (b - a <= 4 && !with_power && s.small_u == 1 && s.small_uv < 1024 && a < (int64_t(1) << 24)) {
        // Up to four terms of an arctanh 1/k with k^2 < 2^10 in machine
        // integers: B = prod b_i, T = sum_i v^(n-i) B / b_i below 2^118.
        unsigned __int128 B = 1, T = 0, v = s.small_uv;
        for (int64_t j = a; j < b; j++) {
            unsigned __int128 bj = 2 * j + 1;
            T = T * bj * v + B * v;  // joins term j: T_L (b_j v) + B_L v
            B *= bj;
        }
        return OddRange{from_u128(cx, B), from_u128(cx, T)};
    }
    size_t mark = scratch_mark(cx);
    int64_t m = a + (b - a) / 2;
    OddRange L = odd_split(cx, s, a, m, depth + 1, t_prec);
    OddRange R = odd_split(cx, s, m, b, depth + 1, odd_right_prec(s, a, m, t_prec));
    return odd_join(cx, s, L, R, a, m, b, depth, t_prec, with_power, mark);
}

// The right half of the whole range, run by a worker of the team.
struct OddHalfJob {
    const OddSplit *s;
    Context *cx;
    int64_t m, terms;
    int t_prec;
    OddRange R;
};

void odd_half_member(void *arg) {
    OddHalfJob &j = *static_cast<OddHalfJob *>(arg);
    j.R = odd_split(*j.cx, *j.s, j.m, j.terms, 1, j.t_prec);
}

// odd_split of the whole range [0, terms) with its halves on two threads:
// the right half on the first worker of cx's team (in the worker's own
// context, from the shared tables of powers), the left half here, then the
// join here with the whole team for its products. What the worker made
// stays in its arena until the join has settled it into cx's.
OddRange odd_split_two(Context &cx, const OddSplit &s, int64_t terms) {
    size_t mark = scratch_mark(cx);
    const int slot = cx.team_first + 1, members = cx.team_size;
    Context &w = thread_context(slot);
    w.prec = cx.prec;
    w.status = STATUS_OK;
    w.stop = cx.stop;
    w.team_size = 1;
    size_t worker_mark = scratch_mark(w);
    int64_t m = terms / 2;
    OddHalfJob job{&s, &w, m, terms, odd_right_prec(s, 0, m, cx.prec), {}};
    cx.team_size = 1;  // the worker is busy until the job ends
    thread_post(slot, odd_half_member, &job);
    OddRange L = odd_split(cx, s, 0, m, 1, cx.prec);
    thread_wait(slot);
    cx.team_size = members;
    if (w.status != STATUS_OK && cx.status == STATUS_OK) cx.status = w.status;
    OddRange r = odd_join(cx, s, L, job.R, 0, m, terms, 0, cx.prec, true, mark);
    scratch_release(w, worker_mark);
    return r;
}

// ------------------------------------------------------------- powers

struct PowerRange {
    Flt Q, T;
};

struct PowerSplit {
    PowerKind kind;
    const Powers *x;
    int q_prec;       // limbs kept of every Q
    double log10_x;   // log10 |x|, x below every q(j)
};

Flt small_factor(Context &cx, PowerKind kind, int64_t k) {
    if (kind == POWER_EXP) return flt_int(cx, k);
    return from_u128(cx, (unsigned __int128)(2 * k) * (unsigned __int128)(2 * k + 1));
}

// Q and T of the terms a .. b-1 (a >= 1) at depth `depth`, settled at the
// arena position on entry; Q to s.q_prec limbs, T to t_prec. The terms fall
// (|x| < q(j)), so the right half's part x^|L| T_R of T is below the whole by
// about x^|L| / Q_L: as in the arctanh splitting, the right half's T is
// needed to that many limbs fewer, which shortens the products near the top
// of a long split.
PowerRange power_split(Context &cx, const PowerSplit &s, int64_t a, int64_t b, int depth, int t_prec) {
    if (b - a == 1) return PowerRange{small_factor(cx, s.kind, a), power_of(*s.x, 1, depth)};
    size_t mark = scratch_mark(cx);
    int64_t m = a + (b - a) / 2;
    PowerRange L = power_split(cx, s, a, m, depth + 1, t_prec);
    // (Only for |x| < 1, which bounds x / q(j) below 1 for both kinds.)
    double below = s.log10_x < 0 ? (flt_log10_abs(L.Q) - double(m - a) * s.log10_x) / 8 - 1 : 0;
    int right_prec = below >= t_prec - 4 ? 4 : int(t_prec - (below > 0 ? below : 0));
    PowerRange R = power_split(cx, s, m, b, depth + 1, right_prec);
    PowerRange r;
    cx.prec = t_prec;
    r.T = flt_add(cx, flt_mul(cx, L.T, R.Q), flt_mul(cx, power_of(*s.x, m - a, depth + 1), R.T));
    cx.prec = s.q_prec;
    r.Q = flt_mul(cx, L.Q, R.Q);
    flt_settle(cx, mark, &r.Q, &r.T);
    return r;
}

}  // namespace

void odd_series(Context &cx, unsigned __int128 u, unsigned __int128 v, int64_t terms, Flt *t, Flt *d) {
    if (terms < 1) terms = 1;
    const int target = cx.prec;
    size_t mark = scratch_mark(cx);
    cx.prec = target + 2;
    Powers pu, pv;
    make_powers(cx, &pu, from_u128(cx, u), terms, 1);
    make_powers(cx, &pv, from_u128(cx, v), terms, 1);
    bool small = v < (unsigned __int128)(uint64_t(1) << 40);
    OddSplit s{&pu, &pv, cx.prec, uint64_t(small ? u : 0), uint64_t(small ? v : 0),
               (double(log10l((long double)v)) - double(log10l((long double)u))) / 8};
    const bool two = cx.team_size > 1 && threads_ready() > cx.team_first + 1 &&
                     cx.prec >= thresholds().threaded_series && terms >= 64;
    OddRange r = two ? odd_split_two(cx, s, terms) : odd_split(cx, s, 0, terms, 0, cx.prec, true);
    *t = r.T;
    *d = terms == 1 ? r.T : r.B;  // one term: T = v = B v
    cx.prec = target;
    flt_settle(cx, mark, t, d);
}

Flt power_series(Context &cx, PowerKind kind, const Flt &x, int64_t terms) {
    if (terms < 1 || x.n == 0) return flt_int(cx, 1);
    const int target = cx.prec;
    size_t mark = scratch_mark(cx);
    cx.prec = target + 2;
    Powers px;
    make_powers(cx, &px, x, terms, 1);
    PowerSplit s{kind, &px, cx.prec, flt_log10_abs(x)};
    // Terms 1 .. terms; the first term, 1, is added after the quotient.
    PowerRange r = power_split(cx, s, 1, terms + 1, 0, cx.prec);
    Flt sum = flt_div(cx, flt_add(cx, r.Q, r.T), r.Q);
    cx.prec = target;
    sum = flt_trunc(sum, target);
    flt_settle(cx, mark, &sum);
    return sum;
}
