// Fuzz target: the number core against the multiple precision library, linked
// directly as the oracle. The input decodes into a few operations on operands
// of hard shapes; every answer is checked by value, every refusal for leaving
// its result as the contract says.
#include <gmp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/fastmul.h"
#include "engine/gmp_api.h"
#include "engine/limbs.h"
#include "engine/scratch.h"
#include "fuzz_oracle.h"
#include "number/ball.h"
#include "number/power.h"

using namespace fuzz;

namespace {

constexpr int P = 1200;  // precision: work integers and numerators hold this many limbs
bool library_bound = false;
std::vector<char> text;

// Operands and results live in the arena, sized per case, so that refusals
// for want of room are reached; the whole input's records go back at its end.
BigNum records[16];
int records_taken = 0;

BigNum *record(int cap) {
    if (cap < 1) cap = 1;
    BigNum *n = &records[records_taken++ % 16];
    if (!bn_from_scratch(n, cap)) fail("arena exhausted by the harness");
    return n;
}

BigNum *record_of(const Operand &x, int spare) { 
    BigNum *n = record(int(x.mag.size()) + spare);
    load(n, x);
    return n;
}

// RAII for the harness's library numbers.
struct Z {
    mpz_t v;
    Z() { mpz_init(v); }
    ~Z() { mpz_clear(v); }
};
struct Q {
    mpq_t v;
    Q() { mpq_init(v); }
    ~Q() { mpq_clear(v); }
};

bool equal_value(const BigNum *n, const mpz_t want) {
    Z got;
    mpz_of(got.v, n);
    return mpz_cmp(got.v, want) == 0;
}

// |held - exact| <= 2^rad, exactly, with a relative slack of 1e-12 on the
// bound; an exact radius demands equality.
bool within_radius(const mpq_t held, const mpq_t exact, double rad) {
    if (rad_is_zero(rad)) return mpq_equal(held, exact) != 0;
    if (std::isinf(rad) && rad > 0) return true;
    Q diff, bound;
    mpq_sub(diff.v, held, exact);
    mpq_abs(diff.v, diff.v);
    double whole = std::floor(rad);
    mpq_set_d(bound.v, std::exp2(rad - whole) * (1 + 1e-12));
    if (whole >= 0)
        mpq_mul_2exp(bound.v, bound.v, (mp_bitcnt_t)whole);
    else
        mpq_div_2exp(bound.v, bound.v, (mp_bitcnt_t)(-whole));
    return mpq_cmp(diff.v, bound.v) <= 0;
}

// ------------------------------------------------------------- integers

// add: same scale, any aliasing of r with the operands, r's room around the
// sum's length.
void check_add(Reader *rd) {
    Operand x = make_operand(rd, 400), y = make_operand(rd, 400);
    x.frac = y.frac = byte(rd) % 4 == 0 ? byte(rd) % 3 : 0;
    int alias = byte(rd) % 5;
    BigNum *a = record_of(x, byte(rd) % 3), *b = alias >= 3 ? a : record_of(y, byte(rd) % 3);
    if (alias >= 3) y = x;
    int longer = int(x.mag.size() > y.mag.size() ? x.mag.size() : y.mag.size());
    BigNum *r = alias == 1 || alias == 4 ? a : alias == 2 ? b : record(longer + int(byte(rd) % 3) - 1);
    Z want, before;
    mpz_of(want.v, a);
    Z vb;
    mpz_of(vb.v, b);
    mpz_add(want.v, want.v, vb.v);
    mpz_of(before.v, r);
    Status rc = add(r, a, b);
    if (r->used > r->capacity) fail("add: used beyond capacity");
    if (rc == STATUS_NO_ROOM) {
        if (!equal_value(r, before.v)) fail("add: refusal changed the result");
        return;
    }
    if (rc != STATUS_OK || !equal_value(r, want.v)) fail("add: wrong sum");
}

// multiply: scales add up; r's room one limb either side of the refusal edge.
void check_multiply(Reader *rd) {
    Operand x = make_operand(rd, 400), y = make_operand(rd, 400);
    x.frac = byte(rd) % 3;
    y.frac = byte(rd) % 3;
    int alias = byte(rd) % 5;
    BigNum *a = record_of(x, byte(rd) % 3), *b = alias >= 3 ? a : record_of(y, byte(rd) % 3);
    int need = a->used + b->used;
    int spare = byte(rd) % 4;
    BigNum *r = alias == 1 || alias == 4 ? a : alias == 2 ? b : record(need + spare - 1);
    Z want, vb, before;
    mpz_of(want.v, a);
    mpz_of(vb.v, b);
    mpz_mul(want.v, want.v, vb.v);
    int frac = a->frac_limbs + b->frac_limbs;
    mpz_of(before.v, r);
    int before_frac = r->frac_limbs;
    Status rc = multiply(r, a, b);
    if (rc == STATUS_REFUSED || rc == STATUS_NO_ROOM) {
        if (!equal_value(r, before.v) || r->frac_limbs != before_frac) fail("multiply: refusal changed r");
        if (r->capacity >= need + 1) fail("multiply: refused with room");
        return;
    }
    if (rc != STATUS_OK || !equal_value(r, want.v)) fail("multiply: wrong product");
    // A zero or a factor one leaves r as the shortcut finds it; any other
    // product carries both scales.
    bool shortcut = mpz_sgn(want.v) == 0 || mpz_cmp_ui(vb.v, 1) == 0 || mpz_cmp(want.v, vb.v) == 0;
    if (!shortcut && r->frac_limbs != frac) fail("multiply: wrong scale");
}

// divide: truncated quotient and non-negative remainder of the limbs read as
// integers, under every aliasing the contract allows.
void check_divide(Reader *rd) {
    Operand x = make_operand(rd, 400), y = make_operand(rd, 400);
    x.frac = byte(rd) % 4 == 0 ? 1 + byte(rd) % 2 : 0;
    BigNum *a = record_of(x, byte(rd) % 3), *b = record_of(y, byte(rd) % 3);
    int mode = byte(rd) % 9;
    int qroom = a->used + int(byte(rd) % 4) - 1;
    int rroom = (b->used + 1 > 4 ? b->used + 1 : 4) + byte(rd) % 2;
    BigNum *q = nullptr, *r = nullptr;
    switch (mode) {
    case 0: q = record(qroom); r = record(rroom); break;
    case 1: r = record(rroom); break;
    case 2: q = record(qroom); break;
    case 3: q = a; r = record(rroom); break;
    case 4: q = record(qroom); r = a; break;
    case 5: q = b; r = record(rroom); break;
    case 6: q = record(qroom); r = b; break;
    case 7: q = a; r = b; break;
    default: q = b; r = a; break;
    }
    Z va, vb, wq, wr, qb, rb;
    mpz_of(va.v, a);
    mpz_of(vb.v, b);
    BigNum *quot = q ? q : a;
    mpz_of(qb.v, quot);
    if (r) mpz_of(rb.v, r);
    if (mpz_sgn(vb.v) == 0) {
        mpz_set(wq.v, va.v);
    } else {
        mpz_tdiv_qr(wq.v, wr.v, va.v, vb.v);
        mpz_abs(wr.v, wr.v);
    }
    Status rc = divide(q, r, a, b);
    if (rc == STATUS_NO_ROOM) {
        if (!equal_value(quot, qb.v) || (r && !equal_value(r, rb.v))) fail("divide: refusal changed a result");
        if (q && q != a && q->capacity >= a->used && mpz_sgn(vb.v) != 0 && mpz_cmpabs(va.v, vb.v) >= 0 &&
            scratch_room(core) > size_t(20 * (a->used + b->used) + 100000))
            fail("divide: refused with room");
        return;
    }
    // A remainder longer than its record less one limb is cut by contract.
    bool r_fits = !r || r->capacity > int(mpz_sizeinbase(wr.v, 10) + 7) / 8;
    if (!equal_value(quot, wq.v)) fail("divide: wrong quotient");
    if (r && r_fits && !equal_value(r, wr.v)) fail("divide: wrong remainder");
    if (quot->frac_limbs != x.frac && quot->used > 0) fail("divide: quotient lost the dividend's scale");
}

// divide_scaled: n raised by d's fraction limbs, then divided by d's limbs.
void check_divide_scaled(Reader *rd) {
    Operand x = make_operand(rd, 300), y = make_operand(rd, 300);
    y.frac = byte(rd) % 4;
    BigNum *n = record_of(x, byte(rd) % 5), *d = record_of(y, 1), *q = record(n->capacity + 1);
    Z vn, vd, want, p;
    mpz_of(vn.v, n);
    mpz_of(vd.v, d);
    mpz_ui_pow_ui(p.v, BASE, unsigned(y.frac));
    mpz_mul(vn.v, vn.v, p.v);
    if (mpz_sgn(vd.v) == 0 || mpz_sgn(vn.v) == 0)
        mpz_set(want.v, vn.v);
    else
        mpz_tdiv_q(want.v, vn.v, vd.v);
    Status rc = divide_scaled(q, n, d);
    if (d->frac_limbs != y.frac) fail("divide_scaled: divisor scale not put back");
    if (rc == STATUS_NO_ROOM) return;  // n had no room to be raised
    if (!equal_value(q, want.v)) fail("divide_scaled: wrong quotient");
}

// gcd_lcm and gcd_magnitude: the divisor and multiple of the limbs read as
// integers at one common scale; a result without room stays as it was.
void check_gcd(Reader *rd) {
    Operand x = make_operand(rd, 300), y = make_operand(rd, 300);
    int f = byte(rd) % 4 == 0 ? 1 + byte(rd) % 3 : 0;
    if (f == fixed_point_limbs) f = 0;  // integer form would change the scale of one only
    x.frac = y.frac = f;
    BigNum *a = record_of(x, byte(rd) % 3), *b = record_of(y, byte(rd) % 3);
    Z va, vb, g, l;
    mpz_of(va.v, a);
    mpz_of(vb.v, b);
    mpz_gcd(g.v, va.v, vb.v);
    if (byte(rd) & 1) {
        int mode = byte(rd) % 3;
        BigNum *out = mode == 0 ? a : mode == 1 ? b : record(int(byte(rd) % 8) + (a->used < b->used ? a->used : b->used));
        Z before;
        mpz_of(before.v, out);
        Status rc = gcd_magnitude(out, a, b);
        if (rc == STATUS_NO_ROOM) {
            if (!equal_value(out, before.v)) fail("gcd_magnitude: refusal changed g");
            if (out->capacity > int(mpz_sizeinbase(g.v, 10) + 7) / 8 + 2) fail("gcd_magnitude: refused with room");
            return;
        }
        if (rc != STATUS_OK || !equal_value(out, g.v) || out->frac_limbs != 0) fail("gcd_magnitude: wrong divisor");
        return;
    }
    if (mpz_sgn(va.v) == 0 || mpz_sgn(vb.v) == 0) {
        mpz_set_ui(l.v, 0);
    } else {
        mpz_lcm(l.v, va.v, vb.v);
        if (mpz_sgn(va.v) != mpz_sgn(vb.v) && mpz_cmpabs(va.v, vb.v) != 0) mpz_neg(l.v, l.v);
    }
    int mode = byte(rd) % 5;
    int room = a->used + b->used + int(byte(rd) % 3) - 1;
    BigNum *gr = mode == 1 ? a : mode == 3 ? nullptr : record(room);
    BigNum *lr = mode == 2 ? b : mode == 4 ? nullptr : record(room);
    Z gb, lb;
    if (gr) mpz_of(gb.v, gr);
    if (lr) mpz_of(lb.v, lr);
    int64_t rc = gcd_lcm(gr, lr, a, b);
    if (gr) {
        bool right = equal_value(gr, g.v);
        if (!right && !equal_value(gr, gb.v)) fail("gcd_lcm: wrong divisor");
        if (right && mpz_sgn(g.v) != 0 && gr->frac_limbs != f) fail("gcd_lcm: divisor at the wrong scale");
    }
    if (lr && !equal_value(lr, l.v) && !equal_value(lr, lb.v)) fail("gcd_lcm: wrong multiple");
    if (rc != 1 && mpz_cmp_si(g.v, rc) != 0) fail("gcd_lcm: wrong divisor returned");
}

// Integer powers of power.h: O^W by repeated squaring, factorials, double
// factorials, combinations and falling products; a refused product leaves 0,
// and only a result that could not fit may be refused.
void check_power(Reader *rd) {
    int which = byte(rd) % 3;
    BigNum *s = work_int(5);
    if (which == 0) {
        Operand x = make_operand(rd, 8);
        if (x.mag.empty()) x.mag.push_back(0);
        while (x.mag.size() > 1 && x.mag.back() == 0) x.mag.pop_back();
        if (x.mag.size() == 1 && x.mag[0] < 2) x.mag[0] = 2 + byte(rd) % 5;
        int64_t W = 64 + (byte(rd) << 2 | (byte(rd) & 3));
        Fraction *B = &work_frac[1], *O = &work_frac[2];
        fraction_init(B);
        bn_set_one(B->num);
        fraction_init(O);
        load(O->num, x);
        Z want;
        mpz_of(want.v, O->num);
        mpz_pow_ui(want.v, want.v, (unsigned long)W);
        if (!power_by_squaring(B, O, W)) {
            if (!bn_is_one(B->num) || !bn_is_one(B->den)) fail("power_by_squaring: declined but changed B");
            return;
        }
        if (!bn_is_one(B->den)) fail("power_by_squaring: denominator not one");
        if (bn_is_zero(B->num)) {
            if (int(mpz_sizeinbase(want.v, 10) + 7) / 8 < B->num->capacity - 2) fail("power_by_squaring: refused a power that fits");
            return;
        }
        if (!equal_value(B->num, want.v)) {
            Z o, got;
            mpz_of(o.v, O->num);
            mpz_of(got.v, B->num);
            gmp_fprintf(stderr, "O %Zd (used %d) W %lld\ngot %Zd frac %d\n", o.v, O->num->used, (long long)W, got.v, B->num->frac_limbs);
            fail("power_by_squaring: wrong power");
        }
        return;
    }
    BigNum *N = work_frac[1].num;
    bn_clear(N);
    Z want;
    bool fallen_too_long = false;
    if (which == 1) {
        int v = 1 + int(word(rd) % 4500);  // a one-limb N: 0 is the caller's
        int step = 1 + (byte(rd) & 1);
        set_int32(N, v);
        if (step == 1)
            mpz_fac_ui(want.v, unsigned(v));
        else
            mpz_2fac_ui(want.v, unsigned(v));
        factorial_in_place(N, step, s);
    } else {
        int64_t u = word(rd) % (byte(rd) & 1 ? 100 : 2000000);
        int64_t r = word(rd) % (byte(rd) & 1 ? 200 : 3000);
        bool comb = byte(rd) & 1;
        set_int64(N, u);
        N->frac_limbs = 0;
        if (comb) {
            mpz_bin_uiui(want.v, (unsigned long)u, (unsigned long)r);
            // Combinations are the falling product of min(r, u - r) factors
            // divided by its factorial: the product must fit, not only C.
            int64_t k = r > u / 2 && r <= u ? u - r : r;
            Z fall;
            mpz_set_ui(fall.v, 1);
            for (int64_t j = 0; j < k && j < u; j++) mpz_mul_ui(fall.v, fall.v, (unsigned long)(u - j));
            if (int(mpz_sizeinbase(fall.v, 10) + 7) / 8 >= N->capacity - 2) fallen_too_long = true;
        } else if (r > u) {
            mpz_set_ui(want.v, 0);
        } else {
            mpz_set_ui(want.v, 1);  // u (u - 1) ... (u - r + 1)
            for (int64_t j = 0; j < r; j++) mpz_mul_ui(want.v, want.v, (unsigned long)(u - j));
        }
        choose_in_place(N, comb, r, s);
    }
    if (bn_is_zero(N) && mpz_sgn(want.v) != 0) {
        if (int(mpz_sizeinbase(want.v, 10) + 7) / 8 < N->capacity - 2 && !fallen_too_long)
            fail("factorial/choose: refused a result that fits");
        return;
    }
    if (!equal_value(N, want.v)) fail("factorial/choose: wrong value");
}

// ------------------------------------------------------- limb vectors

std::vector<uint32_t> limbs_of(Reader *rd, int most, bool nonzero_top) {
    Operand x = make_operand(rd, most);
    if (x.mag.empty()) x.mag.push_back(1 + byte(rd) % 7);
    if (nonzero_top && x.mag.back() == 0) x.mag.back() = 1 + byte(rd) % 99;
    return x.mag;
}

bool equal_limbs(const uint32_t *v, int len, const mpz_t want) {
    Z got;
    mpz_from_limbs(got.v, v, len);
    return mpz_cmp(got.v, want) == 0;
}

void check_limb_vectors(Reader *rd) {
    int which = byte(rd) % 7;
    if (which == 0) {  // lv_divrem
        std::vector<uint32_t> b = limbs_of(rd, 300, true), a = limbs_of(rd, 400, false);
        if (a.size() < b.size()) a.resize(b.size(), 0);
        int na = int(a.size()), nb = int(b.size());
        std::vector<uint32_t> q(static_cast<size_t>(na - nb + 1)), r(static_cast<size_t>(nb));
        int mode = byte(rd) % 3;
        if (lv_divrem(core, mode == 1 ? nullptr : q.data(), mode == 2 ? nullptr : r.data(), a.data(), na, b.data(), nb) != STATUS_OK)
            return;
        Z va, vb, wq, wr;
        mpz_from_limbs(va.v, a.data(), na);
        mpz_from_limbs(vb.v, b.data(), nb);
        mpz_tdiv_qr(wq.v, wr.v, va.v, vb.v);
        if (mode != 1 && !equal_limbs(q.data(), na - nb + 1, wq.v)) fail("lv_divrem: wrong quotient");
        if (mode != 2 && !equal_limbs(r.data(), nb, wr.v)) fail("lv_divrem: wrong remainder");
    } else if (which == 1) {  // lv_reciprocal
        std::vector<uint32_t> b = limbs_of(rd, 300, true);
        int nb = int(b.size()), n = byte(rd) % 2 ? int(byte(rd) % 8) : int(word(rd) % 400);
        std::vector<uint32_t> y(static_cast<size_t>(n + 2));
        if (lv_reciprocal(core, y.data(), b.data(), nb, n) != STATUS_OK) return;
        Z vb, want;
        mpz_from_limbs(vb.v, b.data(), nb);
        mpz_ui_pow_ui(want.v, BASE, unsigned(nb + n));
        mpz_tdiv_q(want.v, want.v, vb.v);
        if (!equal_limbs(y.data(), n + 2, want.v)) fail("lv_reciprocal: wrong reciprocal");
    } else if (which == 2) {  // lv_gcd, the result over an operand or apart
        std::vector<uint32_t> a = limbs_of(rd, 400, false), b = limbs_of(rd, 400, false);
        int na = int(a.size()), nb = int(b.size()), most = na > nb ? na : nb;
        Z va, vb, want;
        mpz_from_limbs(va.v, a.data(), na);
        mpz_from_limbs(vb.v, b.data(), nb);
        mpz_gcd(want.v, va.v, vb.v);
        int mode = byte(rd) % 3;
        std::vector<uint32_t> g(static_cast<size_t>(most));
        if (mode == 1) a.resize(size_t(most), 0);
        if (mode == 2) b.resize(size_t(most), 0);
        uint32_t *out = mode == 1 ? a.data() : mode == 2 ? b.data() : g.data();
        int len = 0;
        if (lv_gcd(core, out, &len, a.data(), na, b.data(), nb) != STATUS_OK) return;
        if (len > most || (len > 0 && out[len - 1] == 0) || !equal_limbs(out, len, want.v)) fail("lv_gcd: wrong divisor");
    } else if (which == 3 || which == 4) {  // mul_limbs and sqr_limbs
        std::vector<uint32_t> a = limbs_of(rd, 500, false);
        std::vector<uint32_t> b = which == 3 && (byte(rd) & 3) ? limbs_of(rd, 500, false) : a;
        int na = int(a.size()), nb = int(b.size());
        std::vector<uint32_t> r(static_cast<size_t>(na + nb));
        if (which == 4)
            sqr_limbs(core, r.data(), a.data(), na);
        else
            mul_limbs(core, r.data(), a.data(), na, b.data(), nb);  // b may be a's own array
        Z va, vb, want;
        mpz_from_limbs(va.v, a.data(), na);
        mpz_from_limbs(vb.v, b.data(), nb);
        mpz_mul(want.v, va.v, vb.v);
        if (!equal_limbs(r.data(), na + nb, want.v)) fail(which == 4 ? "sqr_limbs: wrong square" : "mul_limbs: wrong product");
    } else if (which == 5) {  // power_limbs: refused only when the power needs more than the room
        std::vector<uint32_t> a = limbs_of(rd, 40, true);
        int n = int(a.size());
        uint64_t e = 1 + (byte(rd) % 2 ? byte(rd) % 16 : word(rd) % 3000);
        int room = 1 + int(word(rd) % 1000);
        std::vector<uint32_t> r(static_cast<size_t>(room));
        Z va, want;
        mpz_from_limbs(va.v, a.data(), n);
        mpz_pow_ui(want.v, va.v, (unsigned long)e);
        int need = int(mpz_sizeinbase(want.v, 10) + 7) / 8;
        if (mpz_sizeinbase(want.v, 10) > 8 * size_t(room) + 8) {  // far too long: refusal expected
            int ignored = 0;
            if (power_limbs(core, r.data(), room, &ignored, a.data(), n, e) == STATUS_OK) fail("power_limbs: no refusal");
            return;
        }
        int len = 0;
        if (power_limbs(core, r.data(), room, &len, a.data(), n, e) != STATUS_OK) {
            Z lim;
            mpz_ui_pow_ui(lim.v, BASE, unsigned(room));
            if (mpz_cmp(want.v, lim.v) < 0) fail("power_limbs: refused a power that fits");
            return;
        }
        if (len > room || len < need - 1 || !equal_limbs(r.data(), len, want.v)) fail("power_limbs: wrong power");
    } else {  // falling_product_limbs
        int64_t step = byte(rd) % 3;
        int64_t count = 1 + word(rd) % 300;
        int64_t first = byte(rd) % 2 ? int64_t(word(rd)) << (byte(rd) % 32) : int64_t(word(rd) % 100000);
        if (first < 1) first = 1;
        if (first > INT64_MAX / 2) first = INT64_MAX / 2;
        if (first - (count - 1) * step < 1) count = step == 0 ? count : (first - 1) / step + 1;
        int room = 1 + int(word(rd) % 1000);
        std::vector<uint32_t> r(static_cast<size_t>(room));
        Z want, f;
        mpz_set_ui(want.v, 1);
        for (int64_t j = 0; j < count; j++) {
            mpz_set_si(f.v, first - j * step);
            mpz_mul(want.v, want.v, f.v);
        }
        int len = 0;
        Status st = falling_product_limbs(core, r.data(), room, &len, first, count, step);
        Z lim;
        mpz_ui_pow_ui(lim.v, BASE, unsigned(room));
        if (st != STATUS_OK) {
            if (mpz_cmp(want.v, lim.v) < 0) fail("falling_product_limbs: refused a product that fits");
            return;
        }
        if (len > room || !equal_limbs(r.data(), len, want.v)) fail("falling_product_limbs: wrong product");
    }
}

// ------------------------------------------------------------ fractions

// f := an operand over an operand (denominator non-zero), each with a chance
// of fraction limbs, a negative denominator, or an inexact radius.
void make_fraction(Reader *rd, Fraction *f) {
    fraction_init(f);
    Operand n = make_operand(rd, 200), d = make_operand(rd, 60);
    uint8_t s = byte(rd);
    if (s % 4 == 0) n.frac = fixed_point_limbs;
    else if (s % 8 == 1) n.frac = 1 + byte(rd) % 9;
    bool zero = true;
    for (uint32_t v : d.mag) zero = zero && v == 0;
    if (zero || s % 3 == 0) d.mag.assign(1, s % 5 == 0 ? 1 : 1 + word(rd) % (s & 0x40 ? 99999999 : 1000));
    d.sign = (s & 0x80) && (s & 0x10) ? -1 : 1;
    if ((s & 0x60) == 0x60) d.frac = 1;
    load(f->num, n);
    load(f->den, d);
    f->rad = (s & 0x0c) == 0x0c ? -double(byte(rd)) * 4 : RAD_ZERO;
}

void fraction_value(mpq_t q, const Fraction *f, const char *what) {
    if (!mpq_of_fraction(q, f)) fail(what, "zero denominator");
}

// An operand that is not the result may be rewritten (a common denominator,
// fixed point) but must keep its value within its radius.
void check_kept(const Fraction *f, const mpq_t before, const char *what) {
    Q after;
    fraction_value(after.v, f, what);
    if (!within_radius(after.v, before, f->rad)) {
        gmp_fprintf(stderr, "before %Qd\nafter  %Qd\nrad %g\n", before, after.v, f->rad);
        fail(what, "an operand moved beyond its radius");
    }
}

void check_fractions(Reader *rd) {
    int which = byte(rd) % 5;
    Fraction *a = &work_frac[1], *b = &work_frac[2], *r = &work_frac[3];
    if (which <= 1) {  // fraction_add, fraction_product
        make_fraction(rd, a);
        make_fraction(rd, b);
        int alias = byte(rd) % 5;
        Fraction *x = a, *y = alias == 3 ? a : b;
        Fraction *res = alias == 1 || alias == 4 ? a : alias == 2 ? b : r;
        if (alias == 4) y = a;
        if (res == r) fraction_init(r);
        Q vx, vy, want;
        if (getenv("FUZZ_DEBUG")) {
            for (Fraction *v : {x, y}) {
                Z zn, zd;
                mpz_of(zn.v, v->num);
                mpz_of(zd.v, v->den);
                gmp_fprintf(stderr, "operand %Zd (frac %d, used %d) / %Zd (frac %d, used %d) rad %g\n", zn.v, v->num->frac_limbs,
                            v->num->used, zd.v, v->den->frac_limbs, v->den->used, v->rad);
            }
            fprintf(stderr, "which %d alias %d F %d\n", which, alias, fixed_point_limbs);
        }
        fraction_value(vx.v, x, "fraction operand");
        fraction_value(vy.v, y, "fraction operand");
        if (which == 0) mpq_add(want.v, vx.v, vy.v); else mpq_mul(want.v, vx.v, vy.v);
        const char *name = which == 0 ? "fraction_add" : "fraction_product";
        Status rc = which == 0 ? fraction_add(res, x, y) : fraction_product(res, x, y);
        Q got;
        fraction_value(got.v, res, name);
        if (rc != STATUS_OK) {
            if (mpq_sgn(got.v) != 0) fail(name, "refusal without 0/1");
            return;
        }
        if (!within_radius(got.v, want.v, res->rad)) {
            gmp_fprintf(stderr, "x %Qd\ny %Qd\nwant %Qd\ngot  %Qd\nrad %g alias %d\n", vx.v, vy.v, want.v, got.v, res->rad, alias);
            fail(name, "result outside its radius");
        }
        if (x != res) check_kept(x, vx.v, name);
        if (y != res && y != x) check_kept(y, vy.v, name);
        return;
    }
    if (which == 2) {  // to_fixed: the true value truncated toward zero
        make_fraction(rd, a);
        int s = byte(rd) % 7;
        if (getenv("FUZZ_DEBUG")) {
            Z zn, zd;
            mpz_of(zn.v, a->num);
            mpz_of(zd.v, a->den);
            gmp_fprintf(stderr, "to_fixed %d of %Zd (frac %d) / %Zd (frac %d, used %d)\n", s, zn.v, a->num->frac_limbs, zd.v,
                        a->den->frac_limbs, a->den->used);
        }
        Q before, got;
        fraction_value(before.v, a, "to_fixed");
        double rad0 = a->rad;
        to_fixed(a, s);
        fraction_value(got.v, a, "to_fixed");
        if (!bn_is_one(a->den)) fail("to_fixed: denominator not one");
        if (a->num->frac_limbs != s) fail("to_fixed: wrong scale");
        Z t;
        truncate_to(t.v, before.v, s);
        Z held;
        mpz_of(held.v, a->num);
        bool refused = mpz_sgn(held.v) == 0 && mpz_sgn(t.v) != 0;
        if (!refused && mpz_cmp(held.v, t.v) != 0) fail("to_fixed: not the truncation");
        if (!refused && rad_is_zero(rad0) && !within_radius(got.v, before.v, a->rad)) fail("to_fixed: radius misses the cut");
        return;
    }
    if (which == 3) {  // reduce_small: same value, lowest terms when one part fits 64 bits
        Operand n = make_operand(rd, 100), d = make_operand(rd, 100);
        if (byte(rd) & 1) n.mag.resize(n.mag.size() > 2 ? 2 : n.mag.size());
        else d.mag.resize(d.mag.size() > 2 ? 2 : d.mag.size());
        BigNum *bn = record_of(n, 2), *bd = record_of(d, 2);
        Z vn, vd;
        mpz_of(vn.v, bn);
        mpz_of(vd.v, bd);
        reduce_small(bn, bd);
        Z gn, gd, l, rr;
        mpz_of(gn.v, bn);
        mpz_of(gd.v, bd);
        mpz_mul(l.v, vn.v, gd.v);
        mpz_mul(rr.v, gn.v, vd.v);
        if (mpz_cmp(l.v, rr.v) != 0 || (mpz_sgn(vd.v) != 0 && mpz_sgn(gd.v) == 0)) fail("reduce_small: value changed");
        if (mpz_sgn(vn.v) != 0 && mpz_sgn(vd.v) != 0) {
            mpz_gcd(l.v, gn.v, gd.v);
            if (mpz_cmp_ui(l.v, 1) != 0) fail("reduce_small: not in lowest terms");
        }
        return;
    }
    // format_decimal: the text is the value truncated to fixed_point_limbs.
    make_fraction(rd, a);
    a->rad = RAD_ZERO;
    Q before;
    fraction_value(before.v, a, "format_decimal");
    int len = format_decimal(a, text.data());
    if (len != int(strlen(text.data()))) fail("format_decimal: wrong length");
    Z t;
    truncate_to(t.v, before.v, fixed_point_limbs);
    if (a->num->frac_limbs != fixed_point_limbs) return;  // no room for the places: fewer shown
    Z held;
    mpz_of(held.v, a->num);
    if (mpz_sgn(held.v) == 0 && mpz_sgn(t.v) != 0) return;  // refused with its notice
    if (mpz_cmp(held.v, t.v) != 0) fail("format_decimal: not the truncation");
}

// -------------------------------------------------------------- text

// q := the decimal text s exactly (an optional "-", digits, "." digits).
void mpq_of_text(mpq_t q, const char *s, int places_kept) {
    std::string digits;
    bool neg = *s == '-';
    if (neg) s++;
    while (*s == ' ') s++;
    int places = -1;
    for (; *s; s++) {
        if (*s == '.') places = 0;
        else if (*s >= '0' && *s <= '9') {
            if (places >= 0) {
                if (places >= places_kept) continue;
                places++;
            }
            digits += *s;
        } else break;
    }
    if (places < 0) places = 0;
    if (digits.empty()) digits = "0";
    Z n, d;
    mpz_set_str(n.v, digits.c_str(), 10);
    mpz_ui_pow_ui(d.v, 10, unsigned(places));
    if (neg) mpz_neg(n.v, n.v);
    mpq_set_num(q, n.v);
    mpq_set_den(q, d.v);
    mpq_canonicalize(q);
}

void check_text(Reader *rd) {
    int f = fixed_point_limbs;
    if (byte(rd) & 1) {
        // A record written and read back: exact up to 8 f places, else cut.
        Operand x = make_operand(rd, 300);
        x.frac = byte(rd) % 4 == 0 ? 0 : byte(rd) % 8;
        BigNum *n = record_of(x, 1);
        Q want;
        mpq_of(want.v, n);
        int len = format_bignum(n, text.data());
        int most = 8 * (n->used > n->frac_limbs ? n->used : n->frac_limbs) + 3;
        if (len != int(strlen(text.data())) || len > most) fail("format_bignum: wrong length");
        const char *t = text[0] == ' ' ? text.data() + 1 : text.data();
        Fraction *g = &work_frac[4];
        fraction_init(g);
        int used = parse_literal(t, g);
        if (g->num->rem == -1) return;  // too long for the record
        if (used != int(strlen(t)) - (t[0] == '-' ? 1 : 0)) fail("parse_literal: wrong count consumed", t);
        Q got, cut;
        fraction_value(got.v, g, "parse_literal");
        mpq_of_text(cut.v, t, 8 * f);
        if (!mpq_equal(got.v, cut.v)) fail("format_bignum/parse_literal: no round trip", t);
        Z tw;
        truncate_to(tw.v, want.v, f);
        Z tg;
        truncate_to(tg.v, got.v, f);
        if (mpz_cmp(tw.v, tg.v) != 0) fail("format_bignum/parse_literal: value lost", t);
        return;
    }
    // A literal made of digits, a point, leading zeros and a sign.
    std::string s;
    if (byte(rd) % 3 == 0) s += '-';
    int whole = byte(rd) % 4 == 0 ? int(word(rd) % 900) : byte(rd) % 12;
    int places = byte(rd) % 3 == 0 ? -1 : (byte(rd) % 4 == 0 ? int(word(rd) % 120) : byte(rd) % 12);
    uint8_t style = byte(rd);
    for (int i = 0; i < whole; i++) s += char('0' + (style % 3 == 0 && i < 5 ? 0 : style % 3 == 1 ? 9 : byte(rd) % 10));
    if (places >= 0) {
        s += '.';
        for (int i = 0; i < places; i++) s += char('0' + (style % 5 == 0 ? 0 : style % 5 == 1 ? 9 : byte(rd) % 10));
    }
    BigNum *n = record(byte(rd) % 2 ? 2 + byte(rd) % 8 : P);
    int used = parse_decimal(s.c_str(), n);
    int expect = whole + (places > 0 ? places + 1 : 0);
    if (used != expect) fail("parse_decimal: wrong count consumed", s.c_str());
    if (n->rem == -1) {
        if (!bn_is_zero(n)) fail("parse_decimal: refusal not zero", s.c_str());
        return;
    }
    if (whole == 0 && places <= 0) return;  // no digit: nothing read
    Q got, want, dd;
    mpq_of(got.v, n);
    mpq_set_ui(dd.v, (unsigned long)n->dec_den, 1);
    mpq_div(got.v, got.v, dd.v);
    mpq_of_text(want.v, s.c_str(), 8 * f);
    if (!mpq_equal(got.v, want.v)) fail("parse_decimal: wrong value", s.c_str());
    // Written back it reads the same.
    int len = format_bignum(n, text.data());
    (void)len;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Refusals print their notices; the checks speak on standard error.
    if (!freopen("/dev/null", "w", stdout)) abort();
    bind_gmp();
    library_bound = gmp.available;
    if (pool_start(P) != 0 || fastmul_reserve(core, 2 * P) != STATUS_OK) abort();
    text.assign(size_t(16 * P + 64), 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader rd = reader_of(data, size);
    size_t mark = scratch_mark(core);
    records_taken = 0;
    fixed_point_limbs = 1 + byte(&rd) % 6;
    // Half the inputs run without the library: lv_gcd instead of its gcd.
    gmp.available = library_bound && (byte(&rd) & 1);
    int ops = 1 + byte(&rd) % 3;
    for (int i = 0; i < ops; i++) {
        size_t op_mark = scratch_mark(core);
        records_taken = 0;
        switch (byte(&rd) % 9) {
        case 0: check_add(&rd); break;
        case 1: check_multiply(&rd); break;
        case 2: check_divide(&rd); break;
        case 3: check_divide_scaled(&rd); break;
        case 4: check_gcd(&rd); break;
        case 5: check_power(&rd); break;
        case 6: check_limb_vectors(&rd); break;
        case 7: check_fractions(&rd); break;
        default: check_text(&rd); break;
        }
        scratch_release(core, op_mark);
        if (rd.n == 0) break;
    }
    scratch_release(core, mark);
    gmp.available = library_bound;
    fixed_point_limbs = 4;
    return 0;
}
