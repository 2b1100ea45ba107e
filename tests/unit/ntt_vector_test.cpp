// The eight-lane modular products of the transforms checked lane by lane
// against 128-bit arithmetic, at the operands where a shortened quotient
// estimate would leave its range: x near 2^64, w near p, and each prime.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/ntt_vector.h"

namespace {

using u128 = unsigned __int128;

// The transforms' primes (all below 2^62).
constexpr uint64_t PRIMES[3] = {0x3ffffff960000001u, 0x3ffffffe08000001u, 0x3fffffffcc000001u};

uint64_t state = 0x6a09e667f3bcc909ULL;
uint64_t next_word() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

bool have_vectors() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"); }

NTT_VECTOR_TARGET void shoup_lanes(const uint64_t x[8], uint64_t w, uint64_t p, uint64_t out[8]) {
    uint64_t wq = uint64_t((u128(w) << 64) / p);
    __m512i r = ntt_vector::shoup(ntt_vector::load(x), ntt_vector::splat(w), ntt_vector::splat(wq),
                                  ntt_vector::splat(p));
    ntt_vector::store(out, r);
}

TEST(NttVector, ShoupProductsStayBelowTwicePrimeAndCongruent) {
    if (!have_vectors()) GTEST_SKIP() << "no 512-bit integer vectors";
    for (uint64_t p : PRIMES) {
        for (int trial = 0; trial < 4000; trial++) {
            uint64_t x[8], out[8];
            for (int i = 0; i < 8; i++) {
                uint64_t v = next_word();
                switch ((trial + i) % 4) {
                case 0: x[i] = v; break;                         // any word
                case 1: x[i] = ~uint64_t(0) - (v & 0xffff); break;  // just below 2^64
                case 2: x[i] = 4 * p - 1 - (v & 0xff); break;     // top of the lazy range
                default: x[i] = v & 0xffffffffu; break;           // a low word only
                }
            }
            uint64_t w = trial % 3 == 0 ? p - 1 - (next_word() & 0xff) : next_word() % p;
            shoup_lanes(x, w, p, out);
            for (int i = 0; i < 8; i++) {
                ASSERT_LT(out[i], 2 * p) << "x " << x[i] << " w " << w << " p " << p;
                ASSERT_EQ(out[i] % p, uint64_t(u128(x[i]) * w % p)) << "x " << x[i] << " w " << w << " p " << p;
            }
        }
    }
}

}  // namespace
