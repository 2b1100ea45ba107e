// Small helpers shared by the unit tests: building a BigNum from limbs and
// reading one back.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "number/bignum.h"

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
