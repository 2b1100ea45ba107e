// Measures on this machine the operand lengths at which products, squares,
// divisions and common divisors should switch method, by forcing each method
// through the engine's threshold table, and prints each crossover.
//
//   make tune            (builds the CMake target `tune` and runs it)
//   build/tune [samples] (samples per point, odd, default 11)
//
// Times are this thread's processor time (other processes' load counts as
// little as it can), the median of `samples` batches per method and length;
// the two methods' batches alternate, so a change of load meets both. A
// batch repeats the call until it has run for at least 2 ms. The spread
// printed is the widest (upper quartile - lower quartile) / median of the
// two methods at that length, in percent: the noise of the point.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <climits>
#include <vector>

#include "engine/fastmul.h"
#include "engine/gmp_api.h"
#include "engine/limbs.h"
#include "engine/scratch.h"
#include "engine/thresholds.h"
#include "number/bignum.h"

namespace {

// Prints the load averages of the machine (Linux), a note on its quiet.
void print_load(const char *when) {
    char text[128] = "?";
    if (FILE *f = fopen("/proc/loadavg", "r")) {
        if (!fgets(text, sizeof text, f)) strcpy(text, "?");
        fclose(f);
    }
    printf("load average %s: %s", when, text);
    if (!strchr(text, '\n')) printf("\n");
}

int samples = 11;
double worst_spread = 0;  // widest spread of any point, percent

uint64_t state = 0x9e3779b97f4a7c15ULL;
uint32_t next_limb() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return uint32_t(state % LV_BASE);
}

// n random limbs, the top one not zero.
std::vector<uint32_t> random_limbs(int n) {
    std::vector<uint32_t> v(static_cast<size_t>(n));
    for (uint32_t &x : v) x = next_limb();
    if (v.back() == 0) v.back() = 1;
    return v;
}

// The record n := the limbs v (most significant last), sign 1, scale 0.
void load_record(BigNum *n, const std::vector<uint32_t> &v) {
    bn_clear(n);
    for (size_t k = 0; k < v.size(); k++) limb(n, int(k)) = int32_t(v[k]);
    n->used = int(v.size());
    n->sign = 1;
    n->frac_limbs = 0;
}

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Calls of f that make a batch of at least 2 ms.
template <class F>
long batch_calls(F &f) {
    long reps = 1;
    for (;;) {
        double t0 = thread_seconds();
        for (long i = 0; i < reps; i++) f();
        if (thread_seconds() - t0 >= 0.002) return reps;
        reps *= 2;
    }
}

struct Stats {
    double median, spread;  // seconds per call; (q3 - q1) / median
};

Stats stats_of(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    size_t n = t.size();
    double med = t[n / 2];
    return {med, med > 0 ? (t[3 * n / 4] - t[n / 4]) / med : 0};
}

struct Pair {
    Stats old_way, new_way;
};

// Times the two methods at one length: set_a / set_b install the table that
// forces each, f is the call; batches alternate between them.
template <class F>
Pair time_pair(const Thresholds &a, const Thresholds &b, F f) {
    if (!set_thresholds(a) || !set_thresholds(b)) {
        fprintf(stderr, "tune: a forced table was refused\n");
        exit(1);
    }
    (void)set_thresholds(a);
    long ra = batch_calls(f);
    (void)set_thresholds(b);
    long rb = batch_calls(f);
    std::vector<double> ta, tb;
    for (int s = 0; s < samples; s++) {
        (void)set_thresholds(a);
        double t0 = thread_seconds();
        for (long i = 0; i < ra; i++) f();
        ta.push_back((thread_seconds() - t0) / double(ra));
        (void)set_thresholds(b);
        t0 = thread_seconds();
        for (long i = 0; i < rb; i++) f();
        tb.push_back((thread_seconds() - t0) / double(rb));
    }
    (void)set_thresholds(Thresholds{});
    return {stats_of(ta), stats_of(tb)};
}

struct Point {
    int n;
    Pair p;
};

// The crossover of a sweep: the first length from which the new method is
// at least as fast at that and every longer length measured (one point of
// noise below it does not count), or -1 when it never is.
int crossover(const std::vector<Point> &pts) {
    int from = -1;
    for (size_t i = pts.size(); i-- > 0;) {
        if (pts[i].p.new_way.median > pts[i].p.old_way.median) break;
        from = pts[i].n;
    }
    return from;
}

// Runs a sweep over `lengths`, printing a row per length, and the crossover.
template <class Force, class Call>
int sweep(const char *title, const char *old_name, const char *new_name, const std::vector<int> &lengths,
          Force force, Call call) {
    printf("\n%s\n%7s %12s %12s %7s %7s\n", title, "limbs", old_name, new_name, "ratio", "spread");
    std::vector<Point> pts;
    for (int n : lengths) {
        Thresholds a, b;
        force(n, &a, &b);
        auto f = call(n);
        Pair p = time_pair(a, b, f);
        double spread = 100 * std::max(p.old_way.spread, p.new_way.spread);
        worst_spread = std::max(worst_spread, spread);
        printf("%7d %12.2f %12.2f %7.3f %6.1f%%\n", n, p.old_way.median * 1e6, p.new_way.median * 1e6,
               p.new_way.median / p.old_way.median, spread);
        fflush(stdout);
        pts.push_back({n, p});
    }
    int x = crossover(pts);
    if (x < 0)
        printf("crossover: none up to %d limbs\n", lengths.back());
    else
        printf("crossover: %d limbs\n", x);
    return x;
}

std::vector<int> range(int from, int to, int step) {
    std::vector<int> v;
    for (int n = from; n <= to; n += step) v.push_back(n);
    return v;
}

// Lengths from `from` to `to`, each about 1/8 longer than the one before.
std::vector<int> geometric(int from, int to) {
    std::vector<int> v;
    for (int n = from; n <= to; n += std::max(8, n / 8) / 8 * 8) v.push_back(n);
    return v;
}

constexpr int NEVER = INT_MAX;
// The schoolbook at every length swept (the longest it may take).
constexpr int SCHOOL_ALWAYS = KARATSUBA_MAX_LIMBS;

// A product call on fresh random operands of n and m limbs (m = n: equal).
auto product_of(int na, int nb) {
    auto a = random_limbs(na), b = random_limbs(nb);
    std::vector<uint32_t> r(size_t(na + nb));
    return [a, b, r, na, nb]() mutable { mul_limbs(core, r.data(), a.data(), na, b.data(), nb); };
}

auto square_of(int n) {
    auto a = random_limbs(n);
    std::vector<uint32_t> r(2 * size_t(n));
    return [a, r, n]() mutable { sqr_limbs(core, r.data(), a.data(), n); };
}

struct Result {
    const char *name;
    int now, measured;
};

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1) samples = atoi(argv[1]) | 1;
    if (samples < 3) samples = 3;
    bind_gmp();
    if (pool_start(4000) != 0 || fastmul_reserve(core, 8192) != STATUS_OK) {
        fprintf(stderr, "tune: cannot carve the pool\n");
        return 1;
    }
    printf("Method crossovers on this machine: thread processor time, median of %d batches a point.\n"
           "ratio = new method / old; a crossover is the first length from which the new method\n"
           "is as fast or faster at every longer length measured.\n",
           samples);
    print_load("at the start");
    const Thresholds d;
    std::vector<Result> results;

    // Products: the column schoolbook against one Karatsuba level over it
    // (a leaf of n splits n once; halves then go to the schoolbook).
    int leaf = sweep(
        "products n x n: schoolbook -> one Karatsuba level (KARATSUBA_LEAF)", "school us", "kara us",
        range(16, 200, 8),
        [&](int n, Thresholds *a, Thresholds *b) {
            a->karatsuba = SCHOOL_ALWAYS;
            b->karatsuba = 1;
            b->karatsuba_leaf = n;
            b->transform = b->transform_slice = KARATSUBA_MAX_LIMBS;
        },
        [](int n) { return product_of(n, n); });
    results.push_back({"KARATSUBA_LEAF", d.karatsuba_leaf, leaf});
    int sq_leaf = sweep(
        "squares n: schoolbook -> one Karatsuba level (KARATSUBA_SQUARE_LEAF)", "school us", "kara us",
        range(16, 400, 8),
        [&](int n, Thresholds *a, Thresholds *b) {
            a->karatsuba = SCHOOL_ALWAYS;
            b->karatsuba = 1;
            b->square_leaf = n;
            b->square_transform = KARATSUBA_MAX_LIMBS;
        },
        [](int n) { return square_of(n); });
    results.push_back({"KARATSUBA_SQUARE_LEAF", d.square_leaf, sq_leaf});
    Thresholds tuned = d;
    if (leaf > 0) tuned.karatsuba_leaf = leaf;
    if (sq_leaf > 0) tuned.square_leaf = sq_leaf;

    // Karatsuba (with the leaves just measured) against the transform.
    int transform = sweep(
        "products n x n: Karatsuba -> transform (TRANSFORM_LIMBS)", "kara us", "ntt us", geometric(64, 1536),
        [&](int, Thresholds *a, Thresholds *b) {
            *a = *b = tuned;
            a->karatsuba = b->karatsuba = 1;
            a->transform = a->transform_slice = KARATSUBA_MAX_LIMBS;
            b->transform = 1;
        },
        [](int n) { return product_of(n, n); });
    results.push_back({"TRANSFORM_LIMBS", d.transform, transform});
    int slice = sweep(
        "products 2n x n: Karatsuba on n-limb slices -> transform (TRANSFORM_SLICE_LIMBS)", "kara us", "ntt us",
        geometric(48, 1024),
        [&](int, Thresholds *a, Thresholds *b) {
            *a = *b = tuned;
            a->karatsuba = b->karatsuba = 1;
            a->transform = a->transform_slice = KARATSUBA_MAX_LIMBS;
            b->transform = KARATSUBA_MAX_LIMBS;
            b->transform_slice = 1;
        },
        [](int n) { return product_of(2 * n, n); });
    results.push_back({"TRANSFORM_SLICE_LIMBS", d.transform_slice, slice});
    int sq_transform = sweep(
        "squares n: Karatsuba -> transform (SQUARE_TRANSFORM_LIMBS)", "kara us", "ntt us", geometric(64, 1536),
        [&](int, Thresholds *a, Thresholds *b) {
            *a = *b = tuned;
            a->karatsuba = b->karatsuba = 1;
            a->square_transform = KARATSUBA_MAX_LIMBS;
            b->square_transform = 1;
        },
        [](int n) { return square_of(n); });
    results.push_back({"SQUARE_TRANSFORM_LIMBS", d.square_transform, sq_transform});

    // Record products: multiply's own loop against the limb-vector routines
    // (conversions included), n x n limbs of distinct values.
    BigNum *x = work_int(0), *y = work_int(1), *z = work_int(2);
    int records = sweep(
        "record products n x n: multiply's loop -> limb-vector routines (KARATSUBA_LIMBS)", "loop us", "fast us",
        range(2, 64, 2),
        [&](int, Thresholds *a, Thresholds *b) {
            *a = *b = tuned;
            a->karatsuba = SCHOOL_ALWAYS;
            b->karatsuba = 1;
        },
        [&](int n) {
            load_record(x, random_limbs(n));
            load_record(y, random_limbs(n));
            return [&]() { (void)multiply(z, x, y); };
        });
    results.push_back({"KARATSUBA_LIMBS", d.karatsuba, records});

    // Division 2n / n: what the code does with the threshold at n + 1
    // (schoolbook) and at n (a Newton reciprocal, itself built below n).
    int div = sweep(
        "division 2n / n: schoolbook -> Newton reciprocal (DIV_NEWTON_LIMBS)", "school us", "newton us",
        range(8, 128, 4),
        [&](int n, Thresholds *a, Thresholds *b) {
            *a = *b = tuned;
            a->div_newton = n + 1;
            b->div_newton = n;
        },
        [](int n) {
            auto a = random_limbs(2 * n), b = random_limbs(n);
            std::vector<uint32_t> q(static_cast<size_t>(n) + 1), r(static_cast<size_t>(n));
            return [a, b, q, r, n]() mutable {
                if (lv_divrem(core, q.data(), r.data(), a.data(), 2 * n, b.data(), n) != STATUS_OK) abort();
            };
        });
    results.push_back({"DIV_NEWTON_LIMBS", d.div_newton, div});

    // Common divisors of records of n limbs: lv_gcd against the library's
    // gcd with the conversions both ways.
    int gcd = -2;
    if (gmp_ready()) {
        gcd = sweep(
            "gcd n, n: lv_gcd (Lehmer) -> the library's gcd (GCD_LIBRARY_LIMBS)", "lehmer us", "library us",
            range(3, 64, 1),
            [&](int, Thresholds *a, Thresholds *b) {
                *a = *b = tuned;
                a->gcd_library = NEVER;
                b->gcd_library = 1;
            },
            [&](int n) {
                load_record(x, random_limbs(n));
                load_record(y, random_limbs(n));
                return [&]() {
                    if (gcd_magnitude(z, x, y) != STATUS_OK) abort();
                };
            });
    } else {
        printf("\ngcd: the library is not bound; GCD_LIBRARY_LIMBS not measured\n");
    }
    results.push_back({"GCD_LIBRARY_LIMBS", d.gcd_library, gcd});

    printf("\n%-24s %8s %9s\n", "constant (thresholds.h)", "now", "measured");
    for (const Result &r : results) {
        if (r.measured == -2)
            printf("%-24s %8d %9s\n", r.name, r.now, "-");
        else if (r.measured < 0)
            printf("%-24s %8d %9s\n", r.name, r.now, "none");
        else
            printf("%-24s %8d %9d\n", r.name, r.now, r.measured);
    }
    printf("widest spread of a point: %.1f%%\n", worst_spread);
    print_load("at the end");
    return 0;
}
