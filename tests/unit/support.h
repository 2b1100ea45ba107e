// Small helpers shared by the unit tests: building a BigNum from limbs and
// reading one back.
#pragma once
#include <gtest/gtest.h>

#include <gmp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "number/bignum.h"
#include "kernels/real.h"
#include "engine/gmp_api.h"
#include "engine/limbs.h"

using L = std::vector<int32_t>;

// n := the limbs given from the most significant down, with sign and scale.
inline void put(BigNum *n, std::initializer_list<int32_t> limbs, int sign = 1, int frac = 0) {
    bn_clear(n);
    int k = int(limbs.size());
    for (int32_t v : limbs) limb(n, --k) = v;
    n->used = int(limbs.size());
    n->sign = int8_t(sign);
    n->frac_limbs = frac;
}

// The used limbs of n, most significant first.
inline L limbs_of(BigNum *n) {
    L out;
    for (int k = n->used - 1; k >= 0; k--) out.push_back(limb(n, k));
    return out;
}

// n as a machine integer; the test fails when n does not fit.
inline int64_t value_of(BigNum *n) {
    int64_t v = 0;
    EXPECT_TRUE(get_int64(n, &v));
    return v;
}

// n := the integer z (limbs of |z|, the sign of z, frac_limbs 0).
inline void put_mpz(BigNum *n, const mpz_t z) {
    bn_clear(n);
    char *c = mpz_get_str(nullptr, 10, z);
    std::string s(c[0] == '-' ? c + 1 : c);
    free(c);
    int k = 0;
    for (int end = int(s.size()); end > 0 && s != "0"; end -= 8, k++) {
        int start = end - 8 < 0 ? 0 : end - 8;
        limb(n, k) = std::stoi(s.substr(size_t(start), size_t(end - start)));
    }
    n->used = k;
    n->sign = int8_t(mpz_sgn(z) < 0 ? -1 : 1);
}

// z := the limbs of n read as an integer, with n's sign.
inline void get_mpz(mpz_t z, BigNum *n) {
    std::string s = "0";
    char buf[16];
    for (int k = n->used - 1; k >= 0; k--) {
        snprintf(buf, sizeof buf, "%08d", limb(n, k));
        s += buf;
    }
    mpz_set_str(z, s.c_str(), 10);
    if (n->sign < 0) mpz_neg(z, z);
}

// The seed of a randomised suite: VANTREL_SEED when set, else `fallback`;
// printed so that a failing run can be replayed.
inline uint64_t replayable_seed(const char *suite, uint64_t fallback) {
    uint64_t seed = fallback;
    if (const char *env = getenv("VANTREL_SEED")) seed = strtoull(env, nullptr, 10);
    printf("%s seed %llu (replay with VANTREL_SEED)\n", suite, (unsigned long long)seed);
    return seed;
}

// Start of a differential suite against the library: binds it, carves the
// pool at `precision` limbs and settles the seed (see replayable_seed).
// Returns pool_start's result.
inline int start_library_suite(const char *suite, int precision, uint64_t *seed) {
    bind_gmp();
    int rc = core_start(precision);
    *seed = replayable_seed(suite, *seed);
    return rc;
}

// Limb vectors of n limbs with every kind of limb, different for each seed;
// seed 0 gives all 99999999, whose products carry across every cut.
inline std::vector<uint32_t> seeded_limbs(int n, uint64_t seed) {
    std::vector<uint32_t> v(size_t(n), LV_BASE - 1);
    uint64_t x = seed * 6364136223846793005u + 1442695040888963407u;
    for (auto &limb : v) {
        if (seed == 0) break;
        x = x * 6364136223846793005u + 1442695040888963407u;
        limb = uint32_t((x >> 33) % LV_BASE);
    }
    v.back() = 1 + v.back() % (LV_BASE - 1);
    return v;
}

// A number record over storage of its own (not the pool), for a thread.
struct OwnRecord {
    std::vector<int32_t> store;
    BigNum n{};
    explicit OwnRecord(int cap) : store(size_t(cap)) {
        n.limbs = store.data();
        n.capacity = cap;
        bn_clear(&n);
    }
};
