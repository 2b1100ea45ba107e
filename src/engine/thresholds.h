// The operand lengths at which products, squares, divisions and common
// divisors switch method, and the one table the code reads them from at run
// time (only the tuning program, bench/tune.cpp, replaces it, to measure).
#pragma once

// Lengths in limbs (of the shorter operand, of the divisor). Each value is
// the crossover of one recorded run of `make tune` (bench/tune.cpp): 2026-12-09,
// 2-core CI machine, load average 0.6-1.1 during the run, thread processor
// time, medians of 21 batches, widest spread of a point 9.7% (most 1-3%).
// `make tune` on another machine prints its own.
//
// From KARATSUBA_LIMBS on, record products (number/muldiv.cpp) leave their
// plain loop for the limb-vector routines of fastmul.h (conversions
// included), which also run the column schoolbook directly below it.
// Measured: the routines 0.90 of the loop at 6 limbs, 0.48 at 16; the loop
// ahead at 4 limbs and below (earlier value 48).
constexpr int KARATSUBA_LIMBS = 6;
// Halves shorter than these end the Karatsuba recursion in the column
// schoolbook (squares: their columns need half the products). Measured: one
// Karatsuba level over the schoolbook 0.98 of the schoolbook at 160 limbs,
// 0.92 at 200; squares 0.99 at 256, 0.84 at 400 (earlier 96 and 120).
constexpr int KARATSUBA_LEAF = 160;
constexpr int KARATSUBA_SQUARE_LEAF = 256;
// The transform takes over from Karatsuba (both operands this long).
// Measured: 0.99 of Karatsuba at 176 limbs, 0.71 at 240 (earlier 240).
constexpr int TRANSFORM_LIMBS = 176;
// ... already from this length when the other operand is twice as long or
// more: the transform of the shorter one is kept for every slice. Measured
// at 2n x n limbs, the least favourable such product: 0.97 of Karatsuba on
// slices at 120 limbs, 0.72 at 160 (earlier 160).
constexpr int TRANSFORM_SLICE_LIMBS = 120;
// The same for squares, where Karatsuba saves more than the one forward
// transform a square needs fewer. Measured: 0.95 at 328 limbs, 0.82 at 368
// (earlier 340).
constexpr int SQUARE_TRANSFORM_LIMBS = 328;
// Divisors from this length are divided by a Newton reciprocal built on the
// fast products rather than limb by limb (engine/division.cpp); below it the
// reciprocal itself is divided out. Measured on 2n / n limbs: 0.98 of the
// schoolbook at 36 limbs, 0.87 at 64 (earlier 32).
constexpr int DIV_NEWTON_LIMBS = 36;
// Operands from this length take the library's gcd, conversions included,
// rather than lv_gcd, when the library is bound (number/muldiv.cpp; values
// within 64 bits take Euclid before either). Measured on random operands of
// equal length: 0.90 of lv_gcd at 3 limbs, 0.78 at 4, 0.58 at 64 (earlier 14).
constexpr int GCD_LIBRARY_LIMBS = 3;

// Products of at least this many limbs (both operands) share their
// transforms among the context's team of threads (engine/threads.h), when
// it has more than one. Measured 2026-12-09 on the same machine, n x n
// limbs, clock time of 2 threads over 1, best of 9 (the machine was busy:
// the run had its scheduling group raised so that both cores were its):
// 1.03 at 10500 limbs, 1.06 at 12000, 1.57 at 13900 and 16000, 1.6-2.0
// from there to 2.5 million.
constexpr int THREADED_PRODUCT_LIMBS = 14000;

// Series summed to at least this many limbs share the top of their binary
// splitting among the context's team (kernels/real_flt.cpp). Measured as
// above on pi, e and ln 2 by their kernels: 1.00, 1.25, 1.29 at 250 limbs;
// 1.13, 1.32, 1.39 at 500; 1.5 to 1.7 at 16000.
constexpr int THREADED_SERIES_LIMBS = 500;

// The longest operands the schoolbook and Karatsuba may be given: the
// schoolbook's column sums stay below 2^64 up to 1800 limbs, and Karatsuba's
// scratch has that fixed size in every context.
constexpr int KARATSUBA_MAX_LIMBS = 1800;

struct Thresholds {
    int karatsuba = KARATSUBA_LIMBS;
    int karatsuba_leaf = KARATSUBA_LEAF;
    int square_leaf = KARATSUBA_SQUARE_LEAF;
    int transform = TRANSFORM_LIMBS;
    int transform_slice = TRANSFORM_SLICE_LIMBS;
    int square_transform = SQUARE_TRANSFORM_LIMBS;
    int div_newton = DIV_NEWTON_LIMBS;
    int gcd_library = GCD_LIBRARY_LIMBS;
    int threaded_product = THREADED_PRODUCT_LIMBS;
    int threaded_series = THREADED_SERIES_LIMBS;
};

namespace thresholds_detail {
extern Thresholds table;
}

// The table in force: the defaults above unless set_thresholds replaced it.
inline const Thresholds &thresholds() { return thresholds_detail::table; }

// Replaces the table (for the tuning program and the tests, before they
// compute; the calculator never calls it). Every length must be at least 1,
// the leaves at least 8 (shorter halves would not shrink), div_newton at
// least 8 (the Newton step needs a half shorter than the whole), karatsuba,
// the leaves, transform and square_transform at most KARATSUBA_MAX_LIMBS.
// Returns false, with the table unchanged, when t breaks one of these.
[[nodiscard]] bool set_thresholds(const Thresholds &t);
