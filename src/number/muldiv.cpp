// Multiplication of two big integers (schoolbook for short operands, the
// fast limb-vector products of fastmul.h for long ones), division (machine
// integer divisors here, longer ones by lv_divrem) and greatest common
// divisor / least common multiple (64-bit Euclid, else lv_gcd, or the bound
// library for long operands where it is faster).
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "bignum.h"
#include "../engine/fastmul.h"
#include "library_integer.h"
#include "../engine/limbs.h"
#include "../engine/scratch.h"
#include "../engine/gmp_api.h"
#include "../engine/threads.h"

namespace {

constexpr int64_t BASE = LIMB_BASE;

// Zero as multiply sees it: no used limb, or one limb equal to 0.
bool is_zero_operand(BigNum *n) {
    return n->used == 0 || (n->used == 1 && limb(n, 0) == 0);
}

bool is_one(BigNum *n) {
    return n->used == 1 && limb(n, 0) == 1 && n->sign > 0 && n->frac_limbs == 0;
}

// A fixed-point operand whose fraction limbs are all zero becomes the plain
// integer it holds (same value, frac_limbs 0).
void to_integer_form(BigNum *n) {
    int f = fixed_point_limbs;
    if (f <= 0 || n->frac_limbs != f) return;
    for (int k = 0; k < f && k < n->used; k++)
        if (limb(n, k) != 0) return;
    (void)shift_limbs(n, -f);  // a downward shift cannot fail
    n->frac_limbs = 0;
}

// A scratch integer for the product that is neither operand: the
// accumulator normally, the partial-product or multiplier slot when the
// accumulator is itself an operand.
BigNum *product_scratch(BigNum *a, BigNum *b) {
    for (int k : {2, 1, 3}) {
        BigNum *s = work_int(k);
        if (s != a && s != b) return s;
    }
    return nullptr;  // unreachable: two operands cannot cover three slots
}

// Conversions between limbs and library integers split a number at
// SPLIT_LIMBS * 2^k limbs and join or cut the parts with the powers
// BASE^(SPLIT_LIMBS * 2^k), each computed once per operation by squaring, so
// that a conversion costs a few library multiplications or divisions of the
// full size rather than one step per limb.
constexpr int SPLIT_LIMBS = 16;
constexpr int RADIX_POWERS = 32;

struct Radix {
    mpz_t base2;              // BASE^2, for leaves read two limbs at a time
    mpz_t pw[RADIX_POWERS];   // pw[k] = BASE^(SPLIT_LIMBS * 2^k) once made
    int made;                 // powers made so far
};

void radix_init(Radix *x) {
    gmp.init(x->base2);
    gmp.set_ui(x->base2, static_cast<unsigned long>(BASE * BASE));
    x->made = 0;
}

void radix_clear(Radix *x) {
    gmp.clear(x->base2);
    for (int k = 0; k < x->made; k++) gmp.clear(x->pw[k]);
}

mpz_srcptr radix_power(Radix *x, int k) {
    while (x->made <= k) {
        int j = x->made;
        gmp.init(x->pw[j]);
        if (j == 0)
            gmp.pow_ui(x->pw[0], x->base2, SPLIT_LIMBS / 2);
        else
            gmp.mul(x->pw[j], x->pw[j - 1], x->pw[j - 1]);
        x->made++;
    }
    return x->pw[k];
}

// The split of a range of len > SPLIT_LIMBS limbs: the largest
// SPLIT_LIMBS * 2^k below len; *k receives k.
int split_point(int len, int *k) {
    int half = SPLIT_LIMBS, j = 0;
    while (2 * half < len) {
        half *= 2;
        j++;
    }
    *k = j;
    return half;
}

// z := the magnitude of limbs lo..hi-1 of n read as an integer.
void load_range(mpz_ptr z, BigNum *n, int lo, int hi, Radix *x) {
    if (hi - lo <= SPLIT_LIMBS) {
        int k = hi - 1;
        gmp.set_ui(z, 0);
        if ((hi - lo) % 2 == 1) gmp.set_ui(z, static_cast<unsigned long>(limb(n, k--)));
        for (; k > lo; k -= 2) {
            gmp.mul(z, z, x->base2);
            gmp.add_ui(z, z, static_cast<unsigned long>(limb(n, k)) * BASE + limb(n, k - 1));
        }
        return;
    }
    int j;
    int mid = lo + split_point(hi - lo, &j);
    mpz_t low;
    gmp.init(low);
    load_range(z, n, mid, hi, x);
    load_range(low, n, lo, mid, x);
    gmp.mul(z, z, radix_power(x, j));
    gmp.add(z, z, low);
    gmp.clear(low);
}

// Library integer from the magnitude of n's limbs.
void load_magnitude(mpz_ptr z, BigNum *n, Radix *x) { load_range(z, n, 0, n->used, x); }

// Writes z (0 <= z < BASE^len) into limbs pos..pos+len-1 of n, dropping every
// limb at or above `limit`. z is consumed.
void store_range(BigNum *n, mpz_ptr z, int pos, int len, int limit, Radix *x) {
    if (pos >= limit) return;
    if (len <= SPLIT_LIMBS) {
        for (int k = 0; k < len && pos + k < limit; k += 2) {
            uint64_t two = gmp.tdiv_q_ui(z, z, static_cast<unsigned long>(BASE * BASE));
            limb(n, pos + k) = int32_t(two % BASE);
            if (k + 1 < len && pos + k + 1 < limit) limb(n, pos + k + 1) = int32_t(two / BASE);
        }
        return;
    }
    int j;
    int half = split_point(len, &j);
    mpz_t low;
    gmp.init(low);
    gmp.tdiv_qr(z, low, z, radix_power(x, j));
    store_range(n, low, pos, half, limit, x);
    store_range(n, z, pos + half, len - half, limit, x);
    gmp.clear(low);
}

// Writes |z| into n's limbs from the least significant up, at most
// capacity - 1 limbs (higher limbs are lost), without leading zero limbs.
// Sign and scale are the caller's.
void store_magnitude(BigNum *n, mpz_srcptr z, Radix *x) {
    for (int k = 0; k < n->used; k++) limb(n, k) = 0;
    mpz_t t;
    gmp.init(t);
    gmp.abs(t, z);
    // Decimal digits may be overestimated by one: at worst one zero limb more.
    int len = int((gmp.sizeinbase(t, 10) + 7) / 8);
    int limit = n->capacity - 1;
    store_range(n, t, 0, len, limit, x);
    n->used = len < limit ? len : (limit > 0 ? limit : 0);
    bn_strip(n);
    gmp.clear(t);
}

// The library integers of one division or common-divisor call: the
// magnitudes n = |a| and d = |b|, two results x and y, and the powers of the
// base that the conversions share. Every one is released by the close.
struct LibraryPair {
    Radix base;
    mpz_t n, d, x, y;
};

void library_pair_open(LibraryPair *p, BigNum *a, BigNum *b) {
    radix_init(&p->base);
    gmp.init(p->n);
    gmp.init(p->d);
    gmp.init(p->x);
    gmp.init(p->y);
    load_magnitude(p->n, a, &p->base);
    load_magnitude(p->d, b, &p->base);
}

void library_pair_close(LibraryPair *p) {
    radix_clear(&p->base);
    gmp.clear(p->n);
    gmp.clear(p->d);
    gmp.clear(p->x);
    gmp.clear(p->y);
}

// The limbs of a record (stored from the top of its array down) and a limb
// vector, copied one way or the other over a range of positions.
struct LimbPass {
    uint32_t *v;
    int32_t *top;  // the record's limb 0; limb k at top[-k]
    std::atomic<bool> bad{false};
};

void record_to_vector(void *arg, size_t lo, size_t hi) {
    LimbPass &j = *static_cast<LimbPass *>(arg);
    bool bad = false;
    for (size_t k = lo; k < hi; k++) {
        int32_t x = j.top[-static_cast<ptrdiff_t>(k)];
        bad |= x < 0 || x >= BASE;
        j.v[k] = uint32_t(x);
    }
    if (bad) j.bad.store(true, std::memory_order_relaxed);
}

void vector_to_record(void *arg, size_t lo, size_t hi) {
    LimbPass &j = *static_cast<LimbPass *>(arg);
    for (size_t k = lo; k < hi; k++) j.top[-static_cast<ptrdiff_t>(k)] = int32_t(j.v[k]);
}

// Copies the used limbs of n into v, least significant first (long ones on
// the engine's team). False when a limb lies outside 0..BASE-1 (a packed
// element mark), which only the schoolbook loop reproduces.
bool to_vector(uint32_t *v, BigNum *n) {
    check_limb_span(n, n->used);
    LimbPass j;
    j.v = v;
    j.top = n->limbs + n->capacity - 1;
    team_for(core, size_t(n->used), record_to_vector, &j);
    return !j.bad.load(std::memory_order_relaxed);
}

// acc's limbs 0..need-1 := a * b through the fast products. False (acc
// untouched) when the scratch cannot be had or a limb is out of range.
bool fast_product(BigNum *acc, BigNum *a, BigNum *b, int need) {
    int room = precision > need ? precision : need;
    if (room > fastmul_capacity(core)) return false;
    int ua = a->used, ub = b->used;
    uint32_t *va = fastmul_stage(core), *vb = va + ua, *vr = va + fastmul_capacity(core);
    if (!to_vector(va, a) || !to_vector(vb, b)) return false;
    bool square = a == b;
    if (!square && ua == ub) {
        square = true;
        for (int k = 0; k < ua && square; k++) square = va[k] == vb[k];
    }
    if (square)
        sqr_limbs(core, vr, va, ua);
    else
        mul_limbs(core, vr, va, ua, vb, ub);
    check_limb_span(acc, need);
    LimbPass j;
    j.v = vr;
    j.top = acc->limbs + acc->capacity - 1;
    team_for(core, size_t(need), vector_to_record, &j);
    return true;
}

// Arena room for the magnitudes of a and b as to_magnitude writes them
// (used + 1 limbs each); false, with nothing taken, when the arena lacks it.
bool take_magnitudes(BigNum *a, BigNum *b, uint32_t **va, uint32_t **vb) {
    size_t mark = scratch_mark(core);
    *va = scratch_take(core, size_t(a->used) + 1);
    *vb = scratch_take(core, size_t(b->used) + 1);
    if (*va && *vb) return true;
    scratch_release(core, mark);
    return false;
}

// v[0 .. used] := the magnitude of n's used limbs, and the length without
// leading zero limbs as the result. Limbs outside 0..BASE-1 (packed element
// marks) count as signed digits, carried into range; *negative tells when
// they add up to a value below zero. v has room for used + 1 limbs.
int to_magnitude(uint32_t *v, BigNum *n, bool *negative) {
    int u = n->used;
    check_limb_span(n, u);
    const int32_t *p = n->limbs + n->capacity - 1;
    *negative = false;
    int64_t carry = 0;
    for (int k = 0; k < u; k++) v[k] = lv_split_signed(p[-k] + carry, &carry);
    if (carry >= 0) {
        v[u] = uint32_t(carry);
        return lv_top(v, u + 1);
    }
    // carry * BASE^u + low < 0: the magnitude is |carry| BASE^u - low.
    *negative = true;
    if (lv_top(v, u) == 0) {
        v[u] = uint32_t(-carry);
    } else {
        for (int k = 0; k < u; k++) v[k] = uint32_t(BASE - 1) - v[k];
        lv_add_1(v, v, u, 1);
        v[u] = uint32_t(-carry - 1);
    }
    return lv_top(v, u + 1);
}

// n's limbs := v[0 .. len) as store_magnitude writes a library integer: the
// old used limbs zeroed, at most capacity - 1 limbs kept (one zero limb for
// zero), leading zero limbs stripped. Sign and scale are the caller's.
void store_vector(BigNum *n, const uint32_t *v, int len) {
    for (int k = 0; k < n->used; k++) limb(n, k) = 0;
    int limit = n->capacity - 1 > 0 ? n->capacity - 1 : 0;
    int keep = len < limit ? len : limit;
    if (keep == 0 && limit > 0) limb(n, 0) = 0;
    check_limb_span(n, keep);
    int32_t *p = n->limbs + n->capacity - 1;
    for (int k = 0; k < keep; k++) p[-k] = int32_t(v[k]);
    n->used = keep;
    bn_strip(n);
}

uint64_t magnitude(int64_t v) { return v < 0 ? 0 - uint64_t(v) : uint64_t(v); }

// Result of gcd_lcm at scale f: g gets frac_limbs f and sign 1.
void finish_gcd(BigNum *g, int32_t f) {
    g->frac_limbs = f;
    g->sign = 1;
    g->offset = 0;
}

}  // namespace

namespace {

// g := gcd(|a|, |b|) through the library for operands of at most `most`
// limbs. STATUS_OK, or STATUS_NO_ROOM when g or the arena has no room (g
// unchanged).
Status library_gcd(BigNum *g, BigNum *a, BigNum *b, int most) {
    size_t mark = scratch_mark(core);
    BigNum t;
    // The result is at most `most` limbs; store_magnitude keeps capacity - 1.
    if (!bn_from_scratch(&t, most + 2)) return STATUS_NO_ROOM;
    LibraryPair lib;
    library_pair_open(&lib, a, b);
    gmp.gcd(lib.x, lib.n, lib.d);
    store_magnitude(&t, lib.x, &lib.base);
    library_pair_close(&lib);
    Status rc = STATUS_NO_ROOM;
    if (t.used <= g->capacity) {
        (void)copy(g, &t);  // room checked
        rc = STATUS_OK;
    }
    scratch_release(core, mark);
    return rc;
}

}  // namespace

// g := gcd(|a|, |b|), reading the limbs of a and b as integers (fraction
// limbs and signs are not looked at; packed element marks count as signed
// digits). g gets sign 1, frac_limbs 0 and offset 0; the gcd of x and 0 is
// |x|. g may be a or b. Values within 64 bits take Euclid; others lv_gcd, or
// the library's gcd when it is bound and both are long. STATUS_OK, or
// STATUS_NO_ROOM when g cannot hold the result or the arena lacks room (g
// unchanged).
Status gcd_magnitude(BigNum *g, BigNum *a, BigNum *b) {
    assert(g && a && b);
    int64_t va = 0, vb = 0;
    if (get_int64(a, &va) && get_int64(b, &vb)) {
        uint64_t c = gcd_u64(magnitude(va), magnitude(vb));
        if (g->capacity < 3 && c >= uint64_t(BASE) * (g->capacity == 1 ? 1 : BASE)) return STATUS_NO_ROOM;
        bn_clear(g);
        set_int64(g, int64_t(c));
        finish_gcd(g, 0);
        return STATUS_OK;
    }
    int ua = top_used(a), ub = top_used(b);
    int shorter = ua < ub ? ua : ub;
    if (gmp_ready() && shorter >= thresholds().gcd_library) {
        if (library_gcd(g, a, b, shorter) != STATUS_OK) return STATUS_NO_ROOM;
        finish_gcd(g, 0);
        return STATUS_OK;
    }
    size_t mark = scratch_mark(core);
    uint32_t *v, *w;
    if (!take_magnitudes(a, b, &v, &w)) return STATUS_NO_ROOM;
    bool neg;
    int na = to_magnitude(v, a, &neg), nb = to_magnitude(w, b, &neg);
    int len = 0;
    if (lv_gcd(core, v, &len, v, na, w, nb) != STATUS_OK || len > g->capacity) {
        scratch_release(core, mark);
        return STATUS_NO_ROOM;
    }
    for (int k = 0; k < g->used && k < g->capacity; k++) limb(g, k) = 0;
    check_limb_span(g, len);
    int32_t *p = g->limbs + g->capacity - 1;
    for (int k = 0; k < len; k++) p[-k] = int32_t(v[k]);
    if (len == 0) limb(g, 0) = 0;
    g->used = len;
    finish_gcd(g, 0);
    scratch_release(core, mark);
    return STATUS_OK;
}

void load_library_integer(mpz_ptr z, BigNum *n) {
    assert(gmp_ready());
    Radix base;
    radix_init(&base);
    load_magnitude(z, n, &base);
    radix_clear(&base);
}

void bn_from_vector(BigNum *n, const uint32_t *v, int len) {
    assert(len >= 0 && len <= n->capacity);
    check_limb_span(n, len);
    bn_reset(n);
    LimbPass j;
    j.v = const_cast<uint32_t *>(v);  // only read by vector_to_record
    j.top = n->limbs + n->capacity - 1;
    team_for(core, size_t(len), vector_to_record, &j);
    n->used = len;
    bn_strip(n);
}

// A long record times one limb, in ranges of the team: each range is
// multiplied with no carry in and its carry out kept; then each carry goes
// into the range above it.
struct LimbTimes {
    const int32_t *a;  // operand's limb 0 (limb k at a[-k])
    int32_t *r;        // result's limb 0
    int64_t y;
    int64_t carry[THREADS_MAX];
    size_t n;
    int members;
    std::atomic<bool> marked{false};  // a limb outside 0 .. BASE - 1 (an element's mark)
};

void find_marks(void *arg, size_t lo, size_t hi) {
    LimbTimes &j = *static_cast<LimbTimes *>(arg);
    bool marked = false;
    for (size_t k = lo; k < hi; k++) {
        int32_t x = j.a[-static_cast<ptrdiff_t>(k)];
        marked |= x < 0 || x >= BASE;
    }
    if (marked) j.marked.store(true, std::memory_order_relaxed);
}

void times_range(void *arg, size_t lo, size_t hi) {
    LimbTimes &j = *static_cast<LimbTimes *>(arg);
    int64_t carry = 0;
    for (size_t k = lo; k < hi; k++) {
        int64_t t = j.y * j.a[-static_cast<ptrdiff_t>(k)] + carry;
        carry = t / BASE;
        j.r[-static_cast<ptrdiff_t>(k)] = int32_t(t - carry * BASE);
    }
    // team_for's range m starts at floor(n m / members): m is the least
    // whole number with n m / members >= lo.
    size_t m = (lo * size_t(j.members) + j.n - 1) / j.n;
    j.carry[m] = carry;
}

// r := a * y over a's used limbs; r may be a. The carry of the top goes to
// limb used(a); the caller checked the room. The carry out of a range is
// added into the range above it, and what runs through that whole range
// into its own carry: the sum is the carry out of both, which is below
// BASE like every prefix's. A factor or a limb outside 0 .. BASE - 1 (an
// element's mark: the product means nothing, but must be the plain loop's)
// keeps the whole pass on this thread.
void times_one_limb(BigNum *r, BigNum *a, int64_t y) {
    LimbTimes j;
    j.a = a->limbs + a->capacity - 1;
    j.r = r->limbs + r->capacity - 1;
    j.y = y;
    j.n = size_t(a->used);
    int ua = a->used;
    check_limb_span(a, ua);
    check_limb_span(r, ua + 1);
    j.members = 1;
    if (j.n >= TEAM_FOR_MIN && core.team_size > 1 && y >= 0 && y < BASE) {
        j.members = core.team_size;
        team_for(core, j.n, find_marks, &j);
        if (j.marked.load(std::memory_order_relaxed)) j.members = 1;
    }
    for (int m = 0; m < THREADS_MAX; m++) j.carry[m] = 0;
    if (j.members > 1) team_for(core, j.n, times_range, &j);
    else times_range(&j, 0, j.n);
    for (int m = 0; m + 1 < j.members; m++) {
        int64_t c = j.carry[m];
        size_t end = j.n * size_t(m + 2) / size_t(j.members);
        for (size_t k = j.n * size_t(m + 1) / size_t(j.members); c != 0 && k < end; k++) {
            int64_t t = j.r[-static_cast<ptrdiff_t>(k)] + c;
            c = t >= BASE ? 1 : 0;
            j.r[-static_cast<ptrdiff_t>(k)] = int32_t(t - c * BASE);
        }
        j.carry[m + 1] += c;
    }
    limb(r, ua) = int32_t(j.carry[j.members - 1]);
}

// The fields of a fresh product besides its limbs and used count: those of
// a reset record, with the product's scale and sign.
static void set_product_fields(BigNum *r, int32_t frac, int8_t sign) {
    r->last_divisor = 1;
    r->rem = 0;
    r->offset = 0;
    r->frac_limbs = frac;
    r->sign = sign;
}

// r := a * b; frac_limbs(r) = frac(a) + frac(b),
// sign = sign(a) * sign(b). r may be a or b. STATUS_OK when multiplied, an
// operand zero (r cleared) or r the other operand of a factor one;
// STATUS_REFUSED, reported as STATUS_NO_ROOM to the sink, when r's capacity
// is below used(a) + used(b); STATUS_NO_ROOM, not reported, when it is
// exactly that sum (r unchanged in both cases). Operands of
// KARATSUBA_LIMBS limbs or more take the fast limb-vector products, written
// straight into r; shorter ones the schoolbook loop, built in the
// accumulator scratch slot (partial-product or multiplier slot when the
// accumulator is an operand) and copied to r.
Status multiply(BigNum *r, BigNum *a, BigNum *b) {
    assert(r && a && b);
    (void)stop_raised(core);  // counted as a poll: the tests measure work by them
    int ua = a->used, ub = b->used;
    int64_t need = int64_t(ua) + ub;
    if (r->capacity < need) {
        report_refusal(STATUS_NO_ROOM);
        return STATUS_REFUSED;
    }
    if (is_zero_operand(a) || is_zero_operand(b)) {
        bn_clear(r);
        return STATUS_OK;
    }
    if ((is_one(a) && r == b) || (is_one(b) && r == a)) return STATUS_OK;
    if (r->capacity < need + 1) return STATUS_NO_ROOM;
    BigNum *acc = product_scratch(a, b);
    if (acc->capacity < need) {
        report_refusal(STATUS_NO_ROOM);
        return STATUS_REFUSED;
    }
    // The operand with fewer limbs drives the outer loop.
    BigNum *mr = ub < ua ? b : a, *md = ub < ua ? a : b;
    int umr = mr->used, umd = md->used;
    int32_t frac = a->frac_limbs + b->frac_limbs;
    int8_t sign = int8_t((a->sign < 0) != (b->sign < 0) ? -1 : 1);

    // A factor of one limb (the last step of a power of a small number):
    // one pass, which reads that limb first and may write over either
    // factor.
    if (umr == 1 && umd > 1) {
        times_one_limb(r, md, limb(mr, 0));
        r->used = int(need);
        bn_strip(r);
        set_product_fields(r, frac, sign);
        return STATUS_OK;
    }
    // The fast products read their operands into the engine's buffers
    // before writing, so they can write straight into r, a or b as it is.
    if (umr >= thresholds().karatsuba && fast_product(r, a, b, int(need))) {
        r->used = int(need);
        bn_strip(r);
        set_product_fields(r, frac, sign);
        return STATUS_OK;
    }
    bn_clear(acc);
    for (int k = 0; k < need; k++) limb(acc, k) = 0;
    for (int j = 0; j < umr; j++) {
        if (interrupted()) break;  // the caller discards the product
        int64_t y = limb(mr, j);
        if (y == 0) continue;
        int64_t carry = 0;
        for (int i = 0; i < umd; i++) {
            int64_t t = limb(acc, i + j) + y * limb(md, i) + carry;
            limb(acc, i + j) = int32_t(t % BASE);
            carry = t / BASE;
        }
        limb(acc, umd + j) = int32_t(carry);
    }
    acc->used = int(need);
    bn_strip(acc);
    (void)copy(r, acc);  // r has room for need limbs, checked above
    r->frac_limbs = frac;
    r->sign = sign;
    return STATUS_OK;
}

// Truncated division of a by b. The quotient goes to q, or over a when q is
// absent; the remainder (never negative) to r when r is present. A
// fixed-point divisor holding an integer is first brought to integer form.
// The quotient keeps the dividend's frac_limbs and gets sign(a) * sign(b)
// (sign 1 when zero). A divisor of one limb, or two limbs below 922 * BASE,
// is divided as a machine integer; larger ones by lv_divrem on the
// magnitudes of the used limbs (fraction limbs ignored), whose results keep
// at most capacity - 1 limbs and whose remainder gets sign 1 and keeps r's
// frac_limbs. A zero divisor leaves the quotient equal to the dividend and
// the remainder 0. Any record may be an operand.
// *short_remainder (when given) becomes true when a machine-integer divisor
// left a remainder, else false. STATUS_OK, or STATUS_NO_ROOM when q cannot
// hold the dividend or the scratch arena lacks room for the long division
// (nothing changed in both cases).
Status divide(BigNum *q, BigNum *r, BigNum *a, BigNum *b, bool *short_remainder) {
    assert(a && b);
    (void)stop_raised(core);  // counted as a poll: the tests measure work by them
    if (short_remainder) *short_remainder = false;
    to_integer_form(b);
    bn_normalise_zero(b);
    BigNum *quot = q ? q : a;

    if (b->used > 0 && a->frac_limbs == 0 && b->frac_limbs == 0 && compare_magnitude(a, b) < 0) {
        if (r && r != a && copy(r, a) != STATUS_OK) return STATUS_NO_ROOM;
        if (r) r->sign = 1;  // the remainder is |a|, as on every other path
        bn_clear(quot);
        return STATUS_OK;
    }
    if (quot != a && quot->capacity < a->used) return STATUS_NO_ROOM;

    int ub = top_used(b);
    if (ub == 0) {
        (void)copy(quot, a);  // room checked above
        if (r) {
            set_int64(r, 0);
            r->sign = 1;
        }
        return STATUS_OK;
    }
    if (ub == 1 || (ub == 2 && limb(b, 1) < 922)) {
        int64_t d = limb(b, 0) + (ub == 2 ? int64_t(limb(b, 1)) * BASE : 0);
        if (b->sign < 0) d = -d;
        (void)copy(quot, a);  // room checked above
        int64_t rem = 0;
        (void)div_small(quot, d, &rem);  // 0 < |d| < 922 * BASE, within the divisor limit
        if (r) {
            set_int64(r, rem);
            r->sign = 1;
        }
        if (short_remainder) *short_remainder = rem != 0;
        return STATUS_OK;
    }

    // Both magnitudes go to the arena first, so that results may be written
    // over either operand.
    size_t mark = scratch_mark(core);
    uint32_t *va, *vb;
    if (!take_magnitudes(a, b, &va, &vb)) return STATUS_NO_ROOM;
    bool neg_a, neg_b;
    int na = to_magnitude(va, a, &neg_a), nb = to_magnitude(vb, b, &neg_b);
    if (nb == 0) {  // marked limbs that add up to zero
        scratch_release(core, mark);
        (void)copy(quot, a);  // room checked above
        if (r) {
            set_int64(r, 0);
            r->sign = 1;
        }
        return STATUS_OK;
    }
    int8_t sign = int8_t((a->sign < 0) != (b->sign < 0) ? -1 : 1);
    if (neg_a != neg_b) sign = int8_t(-sign);
    const uint32_t *vq = nullptr, *vr = va;
    int nq = 0, nr = na;
    if (na >= nb) {
        nq = na - nb + 1;
        nr = nb;
        uint32_t *tq = scratch_take(core, size_t(nq));
        uint32_t *tr = r ? scratch_take(core, size_t(nb)) : nullptr;
        if (!tq || (r && !tr) || lv_divrem(core, tq, tr, va, na, vb, nb) != STATUS_OK) {
            scratch_release(core, mark);
            return STATUS_NO_ROOM;
        }
        vq = tq;
        vr = tr;
    }
    (void)copy(quot, a);  // room checked above
    store_vector(quot, vq, nq);
    quot->sign = quot->used > 0 ? sign : 1;
    if (r) {
        store_vector(r, vr, nr);
        r->sign = 1;
    }
    scratch_release(core, mark);
    return STATUS_OK;
}

Status divide_scaled(BigNum *q, BigNum *n, BigNum *d, bool *short_remainder) {
    if (short_remainder) *short_remainder = false;
    int e = d->frac_limbs;
    if (e > 0) {
        if (shift_limbs(n, e) != STATUS_OK) return STATUS_NO_ROOM;
        d->frac_limbs = 0;
    }
    Status res = divide(q, nullptr, n, d, short_remainder);
    if (e > 0) d->frac_limbs = e;
    return res;
}

// Greatest common divisor into g and least common multiple into l (either may
// be absent) of a and b. Fixed-point operands holding integers are brought to
// integer form. Operands that keep fraction limbs are brought to one scale
// (the larger, by shifting the other up) and get the divisor and multiple of
// that scale; when there is no room for that, g = 1 and l = a * b with
// (frac(a) + frac(b)) / 2 fraction limbs. g is never negative; l has the sign
// of a * b (|a| when |a| = |b|). A zero operand gives g = |other|, l = 0.
// Values that fit 64 bits use Euclid; larger ones gcd_magnitude, and the
// multiple (|a| / g) |b|; a multiple that does not fit l prints "prod_ovf"
// and leaves l unchanged. g or l may be an operand.
// Returns the divisor on the 64-bit path, else 1.
int64_t gcd_lcm(BigNum *g, BigNum *l, BigNum *a, BigNum *b) {
    assert(a && b);
    to_integer_form(a);
    to_integer_form(b);
    bn_normalise_zero(a);
    bn_normalise_zero(b);

    if (a->used == 0 || b->used == 0) {
        BigNum *other = a->used == 0 ? b : a;
        int64_t v = 0;
        bool fits = get_int64(other, &v);
        if (g && g != other && copy(g, other) != STATUS_OK) return 1;
        if (l) {
            bn_clear(l);
        }
        if (g) {
            g->sign = 1;
            g->offset = 0;
        }
        return fits ? int64_t(magnitude(v)) : 1;
    }

    if (a->frac_limbs != b->frac_limbs) {
        BigNum *low = a->frac_limbs < b->frac_limbs ? a : b;
        int32_t target = a->frac_limbs < b->frac_limbs ? b->frac_limbs : a->frac_limbs;
        if (shift_limbs(low, target - low->frac_limbs) != STATUS_OK) {
            int32_t half = (a->frac_limbs + b->frac_limbs) / 2;
            if (l && multiply(l, a, b) == STATUS_OK) l->frac_limbs = half;
            if (g) bn_set_one(g);
            return 1;
        }
        low->frac_limbs = target;
    }
    int32_t scale = a->frac_limbs;
    // Equal magnitudes have the multiple |a| whatever the signs.
    int8_t lcm_sign = int8_t((a->sign < 0) != (b->sign < 0) && compare_magnitude(a, b) != 0 ? -1 : 1);

    int64_t va = 0, vb = 0;
    if (get_int64(a, &va) && get_int64(b, &vb)) {
        uint64_t ma = magnitude(va), mb = magnitude(vb);
        uint64_t c = gcd_u64(ma, mb);
        int64_t x = int64_t(ma / c) * (va < 0 ? -1 : 1);
        int64_t y = int64_t(mb / c) * (vb < 0 ? -1 : 1);
        if (l) {
            if (ma == mb) {
                set_int64(l, int64_t(ma));
                l->frac_limbs = scale;
                l->offset = 0;
            } else if (std::log(double(c)) + std::log(double(magnitude(x))) +
                           std::log(double(magnitude(y))) <=
                       18.7 * std::log(10.0)) {
                set_int64(l, int64_t(c) * x * y);
                l->frac_limbs = scale;
                l->offset = 0;
            } else {
                // lcm = a * (b / c); the machine-integer factor sits in the
                // multiplier slot (b * (a / c) if a occupies that slot).
                BigNum *m = work_int(3);
                BigNum *big = a == m ? b : a;
                set_int32(m, 0);
                set_int64(m, big == a ? y : x);
                if (multiply(l, big, m) == STATUS_OK) l->frac_limbs = scale;
            }
        }
        if (g) {
            set_int64(g, int64_t(c));
            finish_gcd(g, scale);
        }
        return int64_t(c);
    }

    // Beyond 64 bits: the divisor by gcd_magnitude, the multiple as
    // (|a| / g) * |b|, both built in arena records so that g and l may be
    // operands.
    size_t mark = scratch_mark(core);
    int room = (a->used > b->used ? a->used : b->used) + 1;
    BigNum div, quo, prod;
    if (!bn_from_scratch(&div, room) || !bn_from_scratch(&quo, room) ||
        !bn_from_scratch(&prod, a->used + b->used + 1) || gcd_magnitude(&div, a, b) != STATUS_OK) {
        scratch_release(core, mark);
        return 1;
    }
    if (l && divide(&quo, nullptr, a, &div) != STATUS_OK) {
        report_refusal(STATUS_NO_ROOM);  // no room for |a| / g: l stays
    } else if (l) {
        quo.sign = 1;
        quo.frac_limbs = 0;
        Status rc;
        {
            PlainOperand pb(b, true);
            rc = multiply(&prod, &quo, b);
        }
        if (rc == STATUS_OK && prod.used <= l->capacity) {
            (void)copy(l, &prod);  // room checked
            l->sign = l->used > 0 ? lcm_sign : 1;
            l->frac_limbs = scale;
            l->offset = 0;
        } else if (rc == STATUS_OK) {
            report_refusal(STATUS_NO_ROOM);
        }
    }
    if (g && copy(g, &div) == STATUS_OK) finish_gcd(g, scale);
    scratch_release(core, mark);
    return 1;
}
