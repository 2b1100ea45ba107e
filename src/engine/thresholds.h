// The operand lengths at which products, squares, divisions and common
// divisors switch method, and the one table the code reads them from at run
// time (only the tuning program, bench/tune.cpp, replaces it, to measure).
#pragma once

// Lengths in limbs (of the shorter operand, of the divisor), from timings on
// the development machine; `make tune` (bench/tune.cpp) measures them anew.
//
// From KARATSUBA_LIMBS on, record products (number/muldiv.cpp) leave their
// plain loop for the limb-vector routines of fastmul.h, which also run the
// column schoolbook directly below it.
constexpr int KARATSUBA_LIMBS = 48;
// Halves shorter than these end the Karatsuba recursion in the column
// schoolbook (squares: their columns need half the products).
constexpr int KARATSUBA_LEAF = 96;
constexpr int KARATSUBA_SQUARE_LEAF = 120;
// The transform takes over from Karatsuba (both operands this long).
constexpr int TRANSFORM_LIMBS = 240;
// ... already from this length when the other operand is twice as long or
// more: the transform of the shorter one is kept for every slice.
constexpr int TRANSFORM_SLICE_LIMBS = 160;
// The same for squares, where Karatsuba saves more than the one forward
// transform a square needs fewer.
constexpr int SQUARE_TRANSFORM_LIMBS = 340;
// Divisors from this length are divided by a Newton reciprocal built on the
// fast products rather than limb by limb (engine/division.cpp); below it the
// reciprocal itself is divided out.
constexpr int DIV_NEWTON_LIMBS = 32;
// Operands from this length take the library's gcd, conversions included,
// rather than lv_gcd, when the library is bound (number/muldiv.cpp; values
// within 64 bits take Euclid before either).
constexpr int GCD_LIBRARY_LIMBS = 14;

// The longest operands Karatsuba may be given: its scratch is static.
constexpr int KARATSUBA_MAX_LIMBS = 2048;

struct Thresholds {
    int karatsuba = KARATSUBA_LIMBS;
    int karatsuba_leaf = KARATSUBA_LEAF;
    int square_leaf = KARATSUBA_SQUARE_LEAF;
    int transform = TRANSFORM_LIMBS;
    int transform_slice = TRANSFORM_SLICE_LIMBS;
    int square_transform = SQUARE_TRANSFORM_LIMBS;
    int div_newton = DIV_NEWTON_LIMBS;
    int gcd_library = GCD_LIBRARY_LIMBS;
};

namespace thresholds_detail {
extern Thresholds table;
}

// The table in force: the defaults above unless set_thresholds replaced it.
inline const Thresholds &thresholds() { return thresholds_detail::table; }

// Replaces the table (for the tuning program and the tests, before they
// compute; the calculator never calls it). Every length must be at least 1,
// the leaves at least 8 (shorter halves would not shrink), div_newton at
// least 8 (the Newton step needs a half shorter than the whole), transform
// and square_transform at most KARATSUBA_MAX_LIMBS. Returns false, with the
// table unchanged, when t breaks one of these.
[[nodiscard]] bool set_thresholds(const Thresholds &t);
