// Pollard's rho with Brent's cycle detection: one gcd per batch of products
// of differences, Montgomery arithmetic in one or two machine words while
// the number fits, the library's integers beyond.
#include <cstdint>

#include "factor.h"
#include "search.h"

long rho_backtracks = 0;

namespace {

typedef unsigned __int128 u128;
constexpr long BATCH = 100;  // differences multiplied together per gcd
constexpr long MPZ_CHECK_EVERY = 2000;

// -n^-1 mod 2^64 for odd n, by Newton's iteration (each step doubles the
// correct low bits; n is its own inverse modulo 8).
uint64_t neg_inverse(uint64_t n) {
    uint64_t x = n;
    for (int i = 0; i < 5; i++) x *= 2 - n * x;
    return ~x + 1;
}

int ctz128(u128 v) {
    uint64_t lo = static_cast<uint64_t>(v);
    return lo ? __builtin_ctzll(lo) : 64 + __builtin_ctzll(static_cast<uint64_t>(v >> 64));
}

// Binary gcd; gcd(0, b) = b.
u128 gcd128(u128 a, u128 b) {
    if (a == 0) return b;
    if (b == 0) return a;
    int shift = ctz128(a | b);
    a >>= ctz128(a);
    do {
        b >>= ctz128(b);
        if (a > b) {
            u128 t = a;
            a = b;
            b = t;
        }
        b -= a;
    } while (b != 0);
    return a << shift;
}

// Montgomery multiplication modulo an odd n < 2^64 (R = 2^64).
struct Mont64 {
    uint64_t n, ninv;
    uint64_t mul(uint64_t a, uint64_t b) const {
        u128 t = static_cast<u128>(a) * b;
        uint64_t lo = static_cast<uint64_t>(t);
        uint64_t m = lo * ninv;
        u128 r = (t >> 64) + ((static_cast<u128>(m) * n) >> 64) + (lo != 0);
        return static_cast<uint64_t>(r >= n ? r - n : r);
    }
};

// Montgomery multiplication modulo an odd n < 2^128 (R = 2^128): the 256-bit
// product in four words, reduced one word at a time.
struct Mont128 {
    uint64_t n0, n1, ninv;
    u128 n;
    u128 mul(u128 a, u128 b) const {
        uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
        uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
        u128 p00 = static_cast<u128>(a0) * b0, p01 = static_cast<u128>(a0) * b1;
        u128 p10 = static_cast<u128>(a1) * b0, p11 = static_cast<u128>(a1) * b1;
        uint64_t t0 = static_cast<uint64_t>(p00);
        u128 mid = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p10);
        uint64_t t1 = static_cast<uint64_t>(mid);
        u128 mid2 = (mid >> 64) + (p01 >> 64) + (p10 >> 64) + static_cast<uint64_t>(p11);
        uint64_t t2 = static_cast<uint64_t>(mid2);
        uint64_t t3 = static_cast<uint64_t>((p11 >> 64) + (mid2 >> 64));
        uint64_t t4 = 0;
        // Word 0: t += m n with m chosen so that the lowest word vanishes.
        uint64_t m = t0 * ninv;
        u128 c = static_cast<u128>(m) * n0 + t0;
        c = static_cast<u128>(m) * n1 + t1 + (c >> 64);
        t1 = static_cast<uint64_t>(c);
        c = static_cast<u128>(t2) + (c >> 64);
        t2 = static_cast<uint64_t>(c);
        c = static_cast<u128>(t3) + (c >> 64);
        t3 = static_cast<uint64_t>(c);
        t4 += static_cast<uint64_t>(c >> 64);
        // Word 1.
        m = t1 * ninv;
        c = static_cast<u128>(m) * n0 + t1;
        c = static_cast<u128>(m) * n1 + t2 + (c >> 64);
        t2 = static_cast<uint64_t>(c);
        c = static_cast<u128>(t3) + (c >> 64);
        t3 = static_cast<uint64_t>(c);
        t4 += static_cast<uint64_t>(c >> 64);
        u128 r = (static_cast<u128>(t3) << 64) | t2;
        if (t4 || r >= n) r -= n;  // the result is below 2n
        return r;
    }
};

// Brent's rho over a Montgomery ring M of values V: x -> x^2 + c, the
// differences |x - y| multiplied BATCH at a time before one gcd; a batch
// whose gcd is n is walked again one step at a time from its start. A cycle
// that closes on n itself moves on to the next c.
template <typename M, typename V>
int brent_words(const M &ring, V n, V *divisor_out, long max_iterations) {
    long iterations = 0;
    long until_check = rho_check_every > 0 ? rho_check_every : -1;
    // Counts one step; true when a check point stopped the search.
    auto tick = [&]() {
        iterations++;
        if (until_check < 0 || --until_check > 0) return false;
        until_check = rho_check_every;
        return progress_check();
    };
    auto step = [&](V y, V c) {
        V s = ring.mul(y, y) + c;
        return (s >= n || s < c) ? s - n : s;
    };
    auto diff = [](V a, V b) { return a > b ? a - b : b - a; };
    for (V c = 1;; c++) {
        V y = 2, x = 2, ys = 2, q = 1, g = 1;
        for (long r = 1; g == 1; r *= 2) {
            x = y;
            for (long i = 0; i < r; i++) {
                y = step(y, c);
                if (tick()) return SEARCH_STOPPED;
            }
            for (long k = 0; k < r && g == 1; k += BATCH) {
                ys = y;
                long batch = r - k < BATCH ? r - k : BATCH;
                for (long i = 0; i < batch; i++) {
                    y = step(y, c);
                    q = ring.mul(q, diff(x, y));
                    if (tick()) return SEARCH_STOPPED;
                }
                g = gcd128(q, n);
            }
            if (g == 1 && max_iterations >= 0 && iterations >= max_iterations) return SEARCH_EXHAUSTED;
        }
        if (g == n) {
            rho_backtracks++;
            do {
                ys = step(ys, c);
                g = gcd128(diff(x, ys), n);
                if (tick()) return SEARCH_STOPPED;
            } while (g == 1);
        }
        if (g != n) {
            *divisor_out = g;
            return SEARCH_FOUND;
        }
    }
}

}  // namespace

// Rho on an odd n below 2^128 in machine words; an even n gives 2 at once.
int rho_words(u128 n, u128 *divisor_out, long max_iterations) {
    if (n % 2 == 0) {
        *divisor_out = 2;
        return SEARCH_FOUND;
    }
    if ((n >> 64) == 0) {
        Mont64 ring{static_cast<uint64_t>(n), neg_inverse(static_cast<uint64_t>(n))};
        uint64_t d = 0;
        int result = brent_words(ring, static_cast<uint64_t>(n), &d, max_iterations);
        *divisor_out = d;
        return result;
    }
    Mont128 ring{static_cast<uint64_t>(n), static_cast<uint64_t>(n >> 64), neg_inverse(static_cast<uint64_t>(n)), n};
    return brent_words(ring, n, divisor_out, max_iterations);
}

namespace {

// The words of m (0 < m < 2^128) as one value.
u128 words_of(mpz_srcptr m) {
    static_assert(sizeof(mp_limb_t) == 8, "two library limbs make 128 bits");
    u128 v = m->_mp_d[0];
    if (m->_mp_size > 1) v |= static_cast<u128>(m->_mp_d[1]) << 64;
    return v;
}

void set_words(mpz_ptr z, u128 v) {
    gmp.set_ui(z, static_cast<unsigned long>(v >> 64));
    gmp.mul_2exp(z, z, 64);
    gmp.add_ui(z, z, static_cast<unsigned long>(v));
}

// Brent's rho on the library's integers, as brent_words.
int brent_mpz(mpz_ptr n, mpz_ptr divisor_out, long max_iterations) {
    mpz_t x, y, ys, q, t;
    gmp.init(x);
    gmp.init_set_ui(y, 2);
    gmp.init(ys);
    gmp.init(q);
    gmp.init(t);
    // A step on a number of thousands of digits takes microseconds: the
    // check comes at least every MPZ_CHECK_EVERY steps so a stop stays prompt.
    long every = rho_check_every > 0 && rho_check_every < MPZ_CHECK_EVERY ? rho_check_every : MPZ_CHECK_EVERY;
    long iterations = 0;
    long until_check = every;
    auto tick = [&]() {
        iterations++;
        if (--until_check > 0) return false;
        until_check = every;
        return progress_check();
    };
    unsigned long c = 1;
    auto step = [&](mpz_ptr v) {
        gmp.mul(v, v, v);
        gmp.add_ui(v, v, c);
        gmp.mod(v, v, n);
    };
    int result = SEARCH_FOUND;
    for (;; c++) {
        gmp.set_ui(y, 2);
        gmp.set_ui(q, 1);
        gmp.set_ui(divisor_out, 1);
        for (long r = 1; result == SEARCH_FOUND && gmp.cmp_ui(divisor_out, 1) == 0; r *= 2) {
            gmp.set(x, y);
            for (long i = 0; i < r && result == SEARCH_FOUND; i++) {
                step(y);
                if (tick()) result = SEARCH_STOPPED;
            }
            for (long k = 0; k < r && result == SEARCH_FOUND && gmp.cmp_ui(divisor_out, 1) == 0; k += BATCH) {
                gmp.set(ys, y);
                long batch = r - k < BATCH ? r - k : BATCH;
                for (long i = 0; i < batch && result == SEARCH_FOUND; i++) {
                    step(y);
                    gmp.sub(t, x, y);
                    gmp.mul(q, q, t);
                    gmp.mod(q, q, n);
                    if (tick()) result = SEARCH_STOPPED;
                }
                gmp.gcd(divisor_out, q, n);
            }
            if (result == SEARCH_FOUND && gmp.cmp_ui(divisor_out, 1) == 0 && max_iterations >= 0 &&
                iterations >= max_iterations)
                result = SEARCH_EXHAUSTED;
        }
        if (result != SEARCH_FOUND) break;
        if (gmp.cmp(divisor_out, n) == 0) {
            rho_backtracks++;
            do {
                step(ys);
                gmp.sub(t, x, ys);
                gmp.gcd(divisor_out, t, n);
                if (tick()) result = SEARCH_STOPPED;
            } while (result == SEARCH_FOUND && gmp.cmp_ui(divisor_out, 1) == 0);
        }
        if (result != SEARCH_FOUND || gmp.cmp(divisor_out, n) != 0) break;
    }
    gmp.clear(x);
    gmp.clear(y);
    gmp.clear(ys);
    gmp.clear(q);
    gmp.clear(t);
    return result;
}

}  // namespace

// Rho on a composite m > 1 that is not a perfect power: SEARCH_FOUND with
// 1 < divisor_out < m, SEARCH_STOPPED (stop flag set) or, after at least
// max_iterations steps (< 0: no bound), SEARCH_EXHAUSTED. Checks the clock,
// the key and Ctrl-C every rho_check_every steps.
int rho_search(mpz_ptr m, mpz_ptr divisor_out, long max_iterations) {
    if (gmp.sizeinbase(m, 2) <= 128) {
        u128 d = 0;
        int result = rho_words(words_of(m), &d, max_iterations);
        if (result == SEARCH_FOUND) set_words(divisor_out, d);
        return result;
    }
    return brent_mpz(m, divisor_out, max_iterations);
}
