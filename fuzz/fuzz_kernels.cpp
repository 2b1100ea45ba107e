// Fuzz target: the function kernels against themselves. Each kernel gives the
// true value truncated toward zero, so its result at F + 3 fraction limbs cut
// back to F limbs must be its result at F limbs, with the same return code.
#include <gmp.h>

#include <cstring>

#include "engine/gmp_api.h"
#include "engine/scratch.h"
#include "fuzz_oracle.h"
#include "kernels/real.h"

using namespace fuzz;

namespace {

constexpr int P = 400;  // precision: the arena and the work records follow it

BigNum records[8];
int records_taken = 0;

BigNum *record(int cap) {
    BigNum *n = &records[records_taken++ % 8];
    if (!bn_from_scratch(n, cap)) fail("arena exhausted by the harness");
    return n;
}

// x := an operand over a non-zero operand, each up to 12 limbs (values from
// about 10^-96 to 10^96), with fraction limbs and a sign.
void make_argument(Reader *rd, Fraction *x, BigNum *num, BigNum *den, int most) {
    Operand n = make_operand(rd, most), d = make_operand(rd, most);
    n.frac = byte(rd) % 4 == 0 ? 1 + byte(rd) % 3 : 0;
    bool zero = true;
    for (uint32_t v : d.mag) zero = zero && v == 0;
    if (zero || byte(rd) % 2) d.mag.assign(1, 1 + byte(rd) % 12);
    d.sign = 1;
    if (byte(rd) % 8 == 0) d.frac = 1;
    *num = BigNum();
    *den = BigNum();
    if (!bn_from_scratch(num, int(n.mag.size()) + 2) || !bn_from_scratch(den, int(d.mag.size()) + 2))
        fail("arena exhausted by the harness");
    load(num, n);
    load(den, d);
    x->num = num;
    x->den = den;
    x->num_only = 0;
    x->rad = RAD_ZERO;
}

// The exact values the callers answer before the kernels (a kernel with an
// exact answer may not settle on its truncation): angles of a multiple of 15
// degrees in half-turns (mode 1) or degrees (mode 2), and a power x^y that is
// rational (x a perfect q-th power for y = p/q, or y an integer).
bool angle_special(const mpq_t x, int mode) {
    if (mode == 0) return false;
    mpq_t t;
    mpq_init(t);
    mpq_set_ui(t, mode == 1 ? 12 : 1, mode == 1 ? 1 : 15);
    mpq_mul(t, t, x);
    bool special = mpz_cmp_ui(mpq_denref(t), 1) == 0;
    mpq_clear(t);
    return special;
}

bool rational_power(const mpq_t x, const mpq_t y) {
    if (mpz_cmp_ui(mpq_denref(y), 1) == 0) return true;
    if (!mpz_fits_ulong_p(mpq_denref(y))) return mpq_cmp_ui(x, 1, 1) == 0;
    unsigned long q = mpz_get_ui(mpq_denref(y));
    mpz_t r;
    mpz_init(r);
    bool exact = mpz_root(r, mpq_numref(x), q) != 0 && mpz_root(r, mpq_denref(x), q) != 0;
    mpz_clear(r);
    return exact;
}

// The function chosen by `fn` at F fraction limbs into out.
struct Call {
    int fn, n, unit, cosine;
    int64_t base, m, o;
    Fraction *x, *y;
};

Status run(const Call &c, BigNum *out, int F) {
    switch (c.fn) {
    case 0: return real_pi(core, out, F);
    case 1: return real_e(core, out, F);
    case 2: return real_root(core, out, c.x, c.n, F);
    case 3: return real_exp(core, out, c.x, F);
    case 4: return real_log(core, out, c.x, c.base, F);
    case 5: return real_atan(core, out, c.x, F);
    case 6: return real_sin_cos(core, out, c.x, c.cosine, c.unit, F);
    case 7: return real_tan(core, out, c.x, c.unit, F);
    case 8: return real_power(core, out, c.x, c.y, F);
    case 9: return real_power_ratio(core, out, c.x, c.m, c.o, F);
    default: return real_over_pi(core, out, c.x, F);
    }
}

const char *NAMES[] = {"real_pi", "real_e", "real_root", "real_exp", "real_log", "real_atan",
                       "real_sin_cos", "real_tan", "real_power", "real_power_ratio", "real_over_pi"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!freopen("/dev/null", "w", stdout)) abort();
    bind_gmp();
    if (core_start(P) != 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader rd = reader_of(data, size);
    ScratchScope scope(core);
    records_taken = 0;
    Call c{};
    c.fn = byte(&rd) % 11;
    int F = 1 + (byte(&rd) % 2 ? byte(&rd) % 6 : byte(&rd) % 40);
    fixed_point_limbs = F;
    Fraction x, y;
    BigNum xn, xd, yn, yd;
    make_argument(&rd, &x, &xn, &xd, 12);
    make_argument(&rd, &y, &yn, &yd, 2);
    c.x = &x;
    c.y = &y;
    c.n = 2 + byte(&rd) % 6;
    c.unit = byte(&rd) % 3;
    c.cosine = byte(&rd) % 2;
    c.base = byte(&rd) % 2 ? 0 : 2 + byte(&rd) % 15;
    c.m = int64_t(byte(&rd) % 9) - 4;
    c.o = 1 + byte(&rd) % 6;
    mpq_t vx, vy;
    mpq_inits(vx, vy, nullptr);
    mpq_of_fraction(vx, &x);
    mpq_of_fraction(vy, &y);
    bool skip = false;
    if (c.fn == 6 || c.fn == 7) skip = angle_special(vx, c.unit);
    if (c.fn == 3) skip = mpq_sgn(vx) == 0;  // e^0 = 1
    if (c.fn == 8) skip = mpq_sgn(vx) > 0 && rational_power(vx, vy);
    mpq_clears(vx, vy, nullptr);
    if (skip) return 0;

    // Room: usually plenty, sometimes just around what the result needs.
    // (At least F + 2: a zero root is refused below two limbs whatever F,
    // a fixed threshold that room + 3 would cross.)
    int room = byte(&rd) % 4 == 0 ? F + 2 + byte(&rd) % 4 : F + 20 + byte(&rd) % 40;
    BigNum *out = record(room), *more = record(room + 3);
    Status rc = run(c, out, F);
    Status rc3 = run(c, more, F + 3);
    // A kernel that reached its room unsure of its last place says so; the
    // other precision may still settle, so only the outcomes of settled
    // computations must agree.
    if (rc == STATUS_UNCERTAIN || rc3 == STATUS_UNCERTAIN) return 0;
    if (rc != rc3) {
        mpq_t q;
        mpq_init(q);
        mpq_of_fraction(q, &x);
        gmp_fprintf(stderr, "%s: %s at F = %d, %s at F + 3, room %d, x = %Qd\n", NAMES[c.fn], status_name(rc), F,
                    status_name(rc3), room, q);
        fail("kernel: return codes differ");
    }
    if (rc != STATUS_OK) return 0;
    if (out->frac_limbs != F || more->frac_limbs != F + 3) fail(NAMES[c.fn], "wrong scale");
    mpz_t a, b, p;
    mpz_inits(a, b, p, nullptr);
    mpz_of(a, out);
    mpz_of(b, more);
    mpz_ui_pow_ui(p, BASE, 3);
    mpz_tdiv_q(b, b, p);
    if (mpz_cmp(a, b) != 0) {
        mpq_t q;
        mpq_init(q);
        mpq_of_fraction(q, &x);
        gmp_fprintf(stderr, "%s F = %d x = %Qd (num frac %d, den frac %d) unit %d cosine %d n %d base %lld m %lld o %lld\n"
                    "at F     %Zd\nat F + 3 %Zd (cut)\n", NAMES[c.fn], F, q, x.num->frac_limbs, x.den->frac_limbs,
                    c.unit, c.cosine, c.n, (long long)c.base, (long long)c.m, (long long)c.o, a, b);
        fail("kernel: the longer result does not truncate to the shorter");
    }
    mpz_clears(a, b, p, nullptr);
    fixed_point_limbs = 4;
    return 0;
}
