// Exact fractions checked against the library's rationals: random chains of
// sums, differences, products and quotients whose denominators cross 64 bits
// and grow to the room of the result, in both operand orders and with the
// result written over an operand, with the library bound and without it.
// Every exact result must equal the reduced rational; a result may fall back
// to fixed point only when the reduced denominator (or numerator) does not
// fit its record. The seed is printed; VANTREL_SEED replays one.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "engine/gmp_api.h"
#include "number/bignum.h"
#include "support.h"

namespace {

std::mt19937_64 rng;
uint64_t seed = 20261217;
uint64_t pick(uint64_t n) { return rng() % n; }

// A random integer of 1..most limbs in runs of 0, 99999999 and uniform limbs.
void random_integer(mpz_t z, int most) {
    int n = 1 + int(pick(uint64_t(most)));
    std::string s;
    char buf[16];
    for (int k = 0; k < n;) {
        uint64_t kind = pick(3);
        for (int run = 1 + int(pick(6)); run > 0 && k < n; run--, k++) {
            unsigned v = kind == 0 ? 0u : kind == 1 ? 99999999u : unsigned(pick(100000000));
            snprintf(buf, sizeof buf, "%08u", v);
            s += buf;
        }
    }
    mpz_set_str(z, ("1" + s).c_str(), 10);  // a leading 1 keeps the length
    if (pick(3) == 0) mpz_set_ui(z, 1 + pick(1000));
}

// A random rational, denominators from one limb to about 8 limbs, shapes
// with shared factors among them (powers of small primes).
void random_rational(mpq_t q) {
    mpz_t n, d;
    mpz_inits(n, d, nullptr);
    random_integer(n, 6);
    switch (pick(4)) {
    case 0: mpz_ui_pow_ui(d, 2 + pick(11), unsigned(1 + pick(60))); break;
    case 1: random_integer(d, 8); break;
    case 2: mpz_set_ui(d, 1 + pick(100000)); break;
    default: mpz_ui_pow_ui(d, 10, unsigned(pick(40))); mpz_add_ui(d, d, pick(3) + (pick(2) ? 1 : 0));
    }
    if (mpz_sgn(d) == 0) mpz_set_ui(d, 1);
    if (pick(2)) mpz_neg(n, n);
    mpq_set_num(q, n);
    mpq_set_den(q, d);
    mpq_canonicalize(q);
    mpz_clears(n, d, nullptr);
}

void put_rational(Fraction *f, const mpq_t q) {
    fraction_init(f);
    put_mpz(f->num, mpq_numref(q));
    put_mpz(f->den, mpq_denref(q));
}

int limbs_of_mpz(const mpz_t z) { return mpz_sgn(z) == 0 ? 0 : int((mpz_sizeinbase(z, 10) + 7) / 8); }

// Limb lengths of two operands, for failure messages.
std::string shape(const mpq_t x, const mpq_t y) {
    auto one = [](const mpq_t q) {
        return std::to_string(limbs_of_mpz(mpq_numref(q))) + "/" + std::to_string(limbs_of_mpz(mpq_denref(q)));
    };
    return "(operands of " + one(x) + " and " + one(y) + " limbs)";
}

struct Rational : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(start_library_suite("rational", 200, &seed), 0);
    }
    void SetUp() override {
        rng.seed(seed);
        fixed_point_limbs = 4;
        mpq_inits(qa, qb, qr, nullptr);
        mpz_inits(zn, zd, nullptr);
    }
    void TearDown() override {
        mpq_clears(qa, qb, qr, nullptr);
        mpz_clears(zn, zd, nullptr);
        bind_gmp();
    }
    mpq_t qa, qb, qr;
    mpz_t zn, zd;
    Fraction *a = &work_frac[10], *b = &work_frac[11], *c = &work_frac[12];

    // One chain: a starts random; each step combines a with a fresh b (or
    // with itself) and the result becomes the next a. Returns the number of
    // exact results checked.
    int run_chain(int steps, int round) {
        random_rational(qa);
        put_rational(a, qa);
        int checked = 0;
        for (int step = 0; step < steps; step++) {
            bool self = pick(8) == 0;
            if (!self) random_rational(qb);
            int op = int(pick(4));  // + - * /
            bool swapped = pick(2) == 0;
            if (op == 3 && (self ? mpq_sgn(qa) : swapped ? mpq_sgn(qa) : mpq_sgn(qb)) == 0) op = 0;
            // Oracle.
            mpq_t &x = swapped && !self ? qb : qa, &y = self ? qa : swapped ? qa : qb;
            if (op == 0) mpq_add(qr, x, y);
            if (op == 1) mpq_sub(qr, x, y);
            if (op == 2) mpq_mul(qr, x, y);
            if (op == 3) mpq_div(qr, x, y);
            // Ours: r over c, or over one operand.
            if (!self) put_rational(b, qb);
            Fraction *fx = swapped && !self ? b : a, *fy = self ? a : swapped ? a : b;
            int into = int(pick(3));
            Fraction *r = into == 0 ? c : into == 1 ? fx : fy;
            if (op == 1) {
                if (self) {
                    fraction_init(c);
                    r = c;
                } else {
                    fy->num->sign = int8_t(-fy->num->sign);
                    fraction_add(r, fx, fy);
                }
            } else if (op == 0) {
                fraction_add(r, fx, fy);
            } else if (op == 2) {
                fraction_product(r, fx, fy);
            } else {
                // x / y as the evaluator does it: x times y's swapped records
                // (also written over y's own records).
                int8_t sign = int8_t(fx->num->sign * fy->num->sign);
                fy->num->sign = 1;
                Fraction recip = {fy->den, fy->num, 0};
                if (self) {
                    // a / a: the reciprocal's records are a's own.
                    r = c;
                }
                fraction_product(r, fx, &recip);
                r->num->sign = bn_is_zero(r->num) ? 1 : sign;
            }
            // A fixed-point result that truncates to zero reads as the integer 0.
            bool exact = r->num->frac_limbs == 0 && !(bn_is_zero(r->num) && mpq_sgn(qr) != 0);
            bool fits = limbs_of_mpz(mpq_denref(qr)) <= r->den->capacity &&
                        limbs_of_mpz(mpq_numref(qr)) < r->num->capacity;
            SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + " step " +
                         std::to_string(step) + " op " + std::to_string(op));
            if (!exact) {
                EXPECT_FALSE(fits) << "fell back to fixed point although the result fits " << shape(x, y);
                return checked;  // the chain cannot go on exactly
            }
            get_mpz(zn, r->num);
            get_mpz(zd, r->den);
            EXPECT_EQ(mpz_cmp(zn, mpq_numref(qr)), 0) << "numerator " << shape(x, y);
            EXPECT_EQ(mpz_cmp(zd, mpq_denref(qr)), 0) << "denominator " << shape(x, y);
            if (HasFailure()) return checked;
            checked++;
            mpq_set(qa, qr);
            if (r != a) put_rational(a, qa);
        }
        return checked;
    }
};

TEST_F(Rational, ChainsAgreeWithTheLibrary) {
    int checked = 0;
    testing::internal::CaptureStdout();  // the notices of products that fell back
    for (int round = 0; round < 400 && !HasFailure(); round++) {
        gmp.available = round % 3 != 0;  // every third chain without the library
        checked += run_chain(40, round);
    }
    testing::internal::GetCapturedStdout();
    printf("exact results checked: %d\n", checked);
    EXPECT_GT(checked, 4000);
}

}  // namespace
