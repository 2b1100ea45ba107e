// Linear big-integer operations: copy, comparison, addition and subtraction,
// multiplication and division by a machine integer, limb and decimal shifts,
// and the exchange of small values with machine integers.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bignum.h"
#include "../engine/threads.h"

volatile sig_atomic_t interrupt_requested = 0;

namespace {

constexpr int64_t BASE = LIMB_BASE;
// Largest divisor for which remainder * BASE + limb stays within 64 bits.
const int32_t POW10[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Limb k of n with every position outside 0..used-1 read as 0.
inline int64_t limb_or_zero(const BigNum *n, int64_t k, int used) {
    return (k >= 0 && k < used) ? limb(n, int(k)) : 0;
}

// Moves the used limbs of n up by s positions inside its own array and
// zeroes the s lowest; the caller has checked used + s <= capacity.
void raise_limbs(BigNum *n, int s) {
    for (int k = n->used - 1; k >= 0; k--) limb(n, k + s) = limb(n, k);
    for (int k = 0; k < s; k++) limb(n, k) = 0;
    n->used += s;
}

// Limbs 0 .. n - 1 of a record into another (d != s, both with room): the
// low limbs lie at the top of each array, so they are one block, moved as
// one piece per member of the engine's team when long (team_for).
struct BlockCopy {
    int32_t *d;
    const int32_t *s;  // the blocks' lowest addresses (the records' top limbs)
};

void copy_block(void *arg, size_t lo, size_t hi) {
    const BlockCopy &j = *static_cast<const BlockCopy *>(arg);
    memcpy(j.d + lo, j.s + lo, sizeof(int32_t) * (hi - lo));
}

void copy_used_limbs(BigNum *d, const BigNum *s, int n) {
    if (n <= 0) return;
    check_limb_span(d, n);
    check_limb_span(s, n);
    BlockCopy j{d->limbs + d->capacity - n, s->limbs + s->capacity - n};
    team_for(core, size_t(n), copy_block, &j);
}

}  // namespace

// d := s with s's bookkeeping fields; d keeps its storage, elem_top, dec_den,
// elem_width and defined. STATUS_OK (also when d is s), STATUS_NO_ROOM when
// d's capacity cannot hold s's used limbs (d unchanged).
Status copy(BigNum *d, const BigNum *s) {
    assert(d && s);
    if (d == s) return STATUS_OK;
    if (s->used > d->capacity) return STATUS_NO_ROOM;
    if (s->used == 0) limb(d, 0) = 0;
    copy_used_limbs(d, s, s->used);
    d->used = s->used;
    d->sign = s->sign;
    d->last_divisor = s->last_divisor;
    d->rem = s->rem;
    d->small_den = s->small_den;
    d->offset = s->offset;
    d->frac_limbs = s->frac_limbs;
    return STATUS_OK;
}

// Orders |a| and |b| with their fraction limbs aligned: 1, 0 or -1. Signs are
// ignored and neither operand is changed. Leading zero limbs are skipped, so
// zero in any shape is smaller than every non-zero value.
int compare_magnitude(const BigNum *a, const BigNum *b) {
    assert(a && b);
    int ua = top_used(a), ub = top_used(b);
    if (ua == 0 || ub == 0) return (ua == 0 && ub == 0) ? 0 : (ua == 0 ? -1 : 1);
    int64_t ia = int64_t(ua) - a->frac_limbs, ib = int64_t(ub) - b->frac_limbs;
    if (ia != ib) return ia > ib ? 1 : -1;
    // Walk the operand with more fraction limbs; the other is aligned above.
    bool a_long = a->frac_limbs >= b->frac_limbs;
    const BigNum *lg = a_long ? a : b, *sh = a_long ? b : a;
    int ulg = a_long ? ua : ub, ush = a_long ? ub : ua;
    int64_t diff = int64_t(lg->frac_limbs) - sh->frac_limbs;
    for (int k = ulg - 1; k >= 0; k--) {
        int64_t x = limb(lg, k), y = limb_or_zero(sh, k - diff, ush);
        if (x != y) return ((x > y) == a_long) ? 1 : -1;
    }
    return 0;
}

// Signed order of a and b: 1, 0 or -1. An absent operand counts as zero; a
// present operand whose limbs are all zero is normalised to zero first.
int compare(BigNum *a, BigNum *b) {
    bool za = true, zb = true;
    if (a) { bn_normalise_zero(a); za = a->used == 0; }
    if (b) { bn_normalise_zero(b); zb = b->used == 0; }
    if (za && zb) return 0;
    if (za) return b->sign < 0 ? 1 : -1;
    if (zb) return a->sign < 0 ? -1 : 1;
    bool na = a->sign < 0, nb = b->sign < 0;
    if (na != nb) return na ? -1 : 1;
    int c = compare_magnitude(a, b);
    return na ? -c : c;
}

// r := a + b. Operands are aligned by their limb `offset` (value = limbs *
// BASE^offset); r gets the smaller offset and a's sign; frac_limbs is left to
// the caller (both operands must share it). Unlike signs go to
// subtract_magnitudes. r may be a or b. STATUS_OK, or STATUS_NO_ROOM when the
// sum would not fit r (r unchanged).
Status add(BigNum *r, BigNum *a, BigNum *b) {
    assert(r && a && b);
    (void)stop_raised(core);  // counted as a poll: the tests measure work by them
    if ((a->sign < 0) != (b->sign < 0)) return subtract_magnitudes(r, a, b);
    BigNum *lo = a, *hi = b;
    if (b->offset < a->offset) { lo = b; hi = a; }
    int64_t d = int64_t(hi->offset) - lo->offset;
    int ulo = lo->used, uhi = hi->used;
    int64_t len = ulo > uhi + d ? ulo : uhi + d;
    if (len > r->capacity) return STATUS_NO_ROOM;
    int8_t sign = a->sign;
    int32_t low_offset = lo->offset;
    if (ulo == 0 && d == 0) {
        // 0 + x, the first term of every sum: the limbs as they are.
        if (r != hi) copy_used_limbs(r, hi, uhi);
        r->used = uhi;
        r->offset = low_offset;
        r->sign = sign;
        return STATUS_OK;
    }
    if (len == r->capacity) {
        // A carry out of the top would need one limb more than r has.
        int64_t carry = 0;
        for (int64_t k = 0; k < len; k++) {
            int64_t s = limb_or_zero(lo, k, ulo) + limb_or_zero(hi, k - d, uhi) + carry;
            carry = s >= BASE ? 1 : 0;
        }
        if (carry) return STATUS_NO_ROOM;
    }
    if (r == hi && r != lo && d > 0) {
        // Writing position k would overwrite the limb needed at k + d, so the
        // shifted operand is laid out in place first.
        raise_limbs(r, int(d));
        r->offset = low_offset;
        uhi = r->used;
        d = 0;
    }
    int64_t carry = 0;
    for (int64_t k = 0; k < len; k++) {
        int64_t s = limb_or_zero(lo, k, ulo) + limb_or_zero(hi, k - d, uhi) + carry;
        carry = s >= BASE ? 1 : 0;
        limb(r, int(k)) = int32_t(carry ? s - BASE : s);
    }
    if (carry) limb(r, int(len++)) = 1;
    r->used = int(len);
    r->offset = low_offset;
    r->sign = sign;
    return STATUS_OK;
}

// r := a + b for operands of unlike sign, as the difference of magnitudes.
// An absent or zero operand makes r a copy of the other. When b has more
// fraction limbs, a is shifted up to b's scale; when a has more,
// STATUS_CROSS_SCALE is told to the sink ("((cs))") and b is aligned to a's
// scale without moving it, and r takes a's fraction-limb count. Equal
// magnitudes clear r. Otherwise r gets the sign of the larger magnitude and
// no leading zero limbs. r may be a or b. STATUS_OK, or STATUS_NO_ROOM when
// the operands or the result do not fit (r unchanged).
Status subtract_magnitudes(BigNum *r, BigNum *a, BigNum *b) {
    assert(r);
    if (!a || bn_is_zero(a)) {
        if (a) bn_normalise_zero(a);
        if (!b) { bn_clear(r); return STATUS_OK; }
        return copy(r, b);
    }
    if (!b || bn_is_zero(b)) {
        if (b) bn_normalise_zero(b);
        return copy(r, a);
    }
    if (b->frac_limbs > a->frac_limbs) {
        if (shift_limbs(a, b->frac_limbs - a->frac_limbs) != STATUS_OK) return STATUS_NO_ROOM;
        a->frac_limbs = b->frac_limbs;
    }
    int d = 0;
    if (a->frac_limbs > b->frac_limbs) d = a->frac_limbs - b->frac_limbs;
    bool cross_scale = d > 0;
    int ua = a->used, ub = b->used;
    int64_t len = ua > int64_t(ub) + d ? ua : int64_t(ub) + d;
    if (len > r->capacity) return STATUS_NO_ROOM;
    if (d > 0) report_notice(STATUS_CROSS_SCALE);
    int c = compare_magnitude(a, b);
    if (c == 0) { bn_clear(r); return STATUS_OK; }
    int8_t sign = c > 0 ? a->sign : b->sign;
    int32_t scale = a->frac_limbs;
    if (r == b && r != a && d > 0) {
        // Lay b out at a's scale in place so that no limb is overwritten
        // before it is read.
        raise_limbs(r, d);
        r->frac_limbs = scale;
        ub = r->used;
        d = 0;
    }
    int64_t borrow = 0;
    for (int64_t k = 0; k < len; k++) {
        int64_t x = limb_or_zero(a, k, ua), y = limb_or_zero(b, k - d, ub);
        int64_t v = (c > 0 ? x - y : y - x) - borrow;
        borrow = v < 0 ? 1 : 0;
        limb(r, int(k)) = int32_t(borrow ? v + BASE : v);
    }
    r->used = int(len);
    bn_strip(r);
    r->sign = sign;
    if (cross_scale) r->frac_limbs = scale;
    return STATUS_OK;
}

// r := a * m for a machine integer m. m = 0 sets r's used to 0; m = 1
// copies a. Otherwise r gets a's sign, negated for negative m; any |m| up to
// 2^31 is handled. r may be a. STATUS_OK, or STATUS_NO_ROOM when the product
// would not fit r (r unchanged).
Status mul_small(BigNum *r, BigNum *a, int32_t m) {
    assert(r && a);
    (void)stop_raised(core);  // counted as a poll: the tests measure work by them
    if (m == 0) { r->used = 0; return STATUS_OK; }
    if (m == 1) return copy(r, a);
    int64_t mag = m < 0 ? -int64_t(m) : int64_t(m);
    int8_t sign = int8_t(((a->sign < 0) != (m < 0)) ? -1 : 1);
    int ua = a->used;
    if (ua > r->capacity) return STATUS_NO_ROOM;
    if (ua + 2 > r->capacity) {
        int64_t carry = 0;
        for (int k = 0; k < ua; k++) carry = (carry + mag * limb(a, k)) / BASE;
        int extra = carry == 0 ? 0 : (carry < BASE ? 1 : 2);
        if (ua + extra > r->capacity) return STATUS_NO_ROOM;
    }
    int64_t carry = 0;
    for (int k = 0; k < ua; k++) {
        int64_t t = carry + mag * limb(a, k);
        limb(r, k) = int32_t(t % BASE);
        carry = t / BASE;
    }
    int used = ua;
    while (carry) {
        limb(r, used++) = int32_t(carry % BASE);
        carry /= BASE;
    }
    r->used = used;
    r->sign = sign;
    return STATUS_OK;
}

// n := n / d truncated toward zero; a negative d flips n's sign. The
// non-negative remainder goes to *remainder when given, and to `rem`
// (saturated to the 32-bit field) with d in `last_divisor`. STATUS_OK;
// d = 0 does nothing (STATUS_DIVISION_BY_ZERO); |d| beyond 92233720368 gives
// STATUS_TOO_LARGE with n unchanged. The quotient has no leading zeros.
Status div_small(BigNum *n, int64_t d, int64_t *remainder) {
    assert(n);
    (void)stop_raised(core);  // counted as a poll: the tests measure work by them
    if (remainder) *remainder = 0;
    int8_t original_sign = n->sign;
    uint64_t ad = uint64_t(d);
    if (d < 0) {
        n->sign = int8_t(n->sign < 0 ? 1 : -1);
        ad = 0 - uint64_t(d);
    }
    if (ad == 0) return STATUS_DIVISION_BY_ZERO;
    if (ad == 1) {
        n->last_divisor = 1;
        n->rem = 0;
        return STATUS_OK;
    }
    if (ad > uint64_t(DIV_SMALL_LIMIT)) {
        n->sign = original_sign;
        return STATUS_TOO_LARGE;
    }
    int64_t div = int64_t(ad), r = 0;
    for (int k = n->used - 1; k >= 0; k--) {
        int64_t cur = r * BASE + limb(n, k);
        limb(n, k) = int32_t(cur / div);
        r = cur % div;
    }
    bn_strip(n);
    n->last_divisor = int32_t(uint32_t(uint64_t(d)));
    n->rem = r > INT32_MAX ? INT32_MAX : int32_t(r);
    if (remainder) *remainder = r;
    return STATUS_OK;
}

// n := n * BASE^s, truncated toward zero for s < 0; frac_limbs is left to the
// caller; a zero n is normalised and not moved. STATUS_OK, or STATUS_NO_ROOM
// when a left shift would exceed the capacity (n unchanged).
Status shift_limbs(BigNum *n, int32_t s) {
    assert(n);
    if (s == 0) return STATUS_OK;
    if (bn_is_zero(n)) {
        bn_normalise_zero(n);
        return STATUS_OK;
    }
    if (s > 0) {
        if (int64_t(n->used) + s > n->capacity) return STATUS_NO_ROOM;
        raise_limbs(n, s);
        return STATUS_OK;
    }
    int64_t t = -int64_t(s);
    if (t >= n->used) {
        n->used = 0;
        return STATUS_OK;
    }
    int keep = n->used - int(t);
    for (int k = 0; k < keep; k++) limb(n, k) = limb(n, k + int(t));
    n->used = keep;
    bn_strip(n);
    return STATUS_OK;
}

// n := n * 10^s, truncated toward zero for s < 0. STATUS_OK, or
// STATUS_NO_ROOM when s > 0 and the capacity lacks used + s/8 + 1 limbs (n
// unchanged). A zero stays in the shape it has.
Status shift_decimal(BigNum *n, int32_t s) {
    assert(n);
    if (s > 0) {
        int q = s / 8, t = s % 8;
        if (bn_is_zero(n)) return STATUS_OK;
        if (int64_t(n->capacity) < int64_t(n->used) + q + 1) return STATUS_NO_ROOM;
        limb(n, n->used + q) = 0;
        raise_limbs(n, q);
        (void)mul_small(n, n, POW10[t]);  // room checked above; a factor below one limb adds at most one
        return STATUS_OK;
    }
    if (s < 0) {
        int64_t t = -int64_t(s);
        (void)div_small(n, POW10[t % 8]);  // the divisor is a power of ten below one limb
        (void)shift_limbs(n, int32_t(-(t / 8)));  // a downward shift cannot fail
    }
    return STATUS_OK;
}

// n := v in up to three limbs; zero sets used 0 and limb 0 to 0 and keeps the
// sign. frac_limbs and the other fields are untouched. A value needing more
// limbs than n's capacity leaves n unchanged.
void set_int64(BigNum *n, int64_t v) {
    assert(n);
    if (v == 0) {
        n->used = 0;
        limb(n, 0) = 0;
        return;
    }
    uint64_t mag = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
    int32_t parts[3] = {int32_t(mag % BASE), int32_t(mag / BASE % BASE), int32_t(mag / BASE / BASE)};
    int count = parts[2] ? 3 : (parts[1] ? 2 : 1);
    if (count > n->capacity) return;
    for (int k = 0; k < count; k++) limb(n, k) = parts[k];
    n->used = count;
    n->sign = int8_t(v < 0 ? -1 : 1);
}

// n := v after clearing and resetting n. A two-limb value in a one-limb record
// leaves it zero.
void set_int32(BigNum *n, int32_t v) {
    assert(n);
    bn_clear(n);
    n->sign = int8_t(v < 0 ? -1 : 1);
    int64_t mag = v < 0 ? -int64_t(v) : int64_t(v);
    if (mag == 0) return;
    if (mag < BASE) {
        limb(n, 0) = int32_t(mag);
        n->used = 1;
    } else if (n->capacity >= 2) {
        limb(n, 0) = int32_t(mag % BASE);
        limb(n, 1) = int32_t(mag / BASE);
        n->used = 2;
    }
}

// The limbs of n read as a signed integer (frac_limbs ignored). True when the
// value fits: at most three limbs, the third below 922. Otherwise *out = 0.
bool get_int64(const BigNum *n, int64_t *out) {
    assert(n && out);
    int u = top_used(n);
    if (u > 3 || (u == 3 && limb(n, 2) >= 922)) {
        *out = 0;
        return false;
    }
    int64_t v = 0;
    for (int k = u - 1; k >= 0; k--) v = v * BASE + limb(n, k);
    *out = n->sign < 0 ? -v : v;
    return true;
}

// The limbs of n as a signed 32-bit value after normalising a zero: at most
// two limbs, the upper at most 20. STATUS_OK, or STATUS_TOO_LARGE when it does
// not fit (*out = 0).
Status get_int32(BigNum *n, int32_t *out) {
    assert(n && out);
    bn_normalise_zero(n);
    int u = top_used(n);
    if (u > 2 || (u == 2 && limb(n, 1) > 20)) {
        *out = 0;
        return STATUS_TOO_LARGE;
    }
    int64_t v = 0;
    for (int k = u - 1; k >= 0; k--) v = v * BASE + limb(n, k);
    *out = int32_t(n->sign < 0 ? -v : v);
    return STATUS_OK;
}
