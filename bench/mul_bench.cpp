// Times mul_limbs and sqr_limbs on n x n limbs against mpz_mul of the same
// numbers, and checks every product against the library once.
//
// Built on request through CMake (not by `make`), with the core's objects:
//
//   cmake --build build --target mul_bench
//   build/mul_bench [n ...]          (default 1000 10000 100000 1000000)
//
// Times are this thread's processor time per call, the best of batches of
// at least 10 ms each (see best_time), so that other load on the machine
// counts as little as possible. The operands are
// random limbs; the library's operands are the same values converted once.
#include <gmp.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/fastmul.h"

namespace {

uint64_t state = 0x9e3779b97f4a7c15ULL;
uint32_t next_limb() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return uint32_t(state % 100000000ULL);
}

// z := the limb vector v (base 100000000, least significant first).
void to_mpz(mpz_t z, const uint32_t *v, int n) {
    std::string s;
    s.reserve(size_t(n) * 8 + 1);
    char buf[16];
    snprintf(buf, sizeof buf, "%u", v[n - 1]);
    s += buf;
    for (int i = n - 2; i >= 0; i--) {
        snprintf(buf, sizeof buf, "%08u", v[i]);
        s += buf;
    }
    mpz_set_str(z, s.c_str(), 10);
}

// Processor seconds of this thread (other processes' load does not count).
double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Seconds per call of f: the best of batches repeated for at least 1 s (and
// at least 3 times), each batch as many calls as take at least 10 ms.
template <class F>
double best_time(F f) {
    long reps = 1;
    for (;;) {
        double t0 = thread_seconds();
        for (long i = 0; i < reps; i++) f();
        if (thread_seconds() - t0 >= 0.01) break;
        reps *= 2;
    }
    double best = 1e30, start = thread_seconds();
    for (int batch = 0; batch < 3 || thread_seconds() - start < 1.0; batch++) {
        double t0 = thread_seconds();
        for (long i = 0; i < reps; i++) f();
        double dt = (thread_seconds() - t0) / double(reps);
        if (dt < best) best = dt;
    }
    return best;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; i++) sizes.push_back(atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000, 1000000};
    Context cx;  // the benchmark's own engine context
    int most = 0;
    for (int n : sizes) most = n > most ? n : most;
    if (fastmul_reserve(cx, 2 * most) != STATUS_OK) {
        fprintf(stderr, "cannot reserve %d limbs\n", 2 * most);
        return 1;
    }
    printf("%9s %13s %13s %13s %8s %8s\n", "limbs", "mul_limbs us", "sqr_limbs us", "mpz_mul us", "mul/mpz",
           "sqr/mpz");
    for (int n : sizes) {
        std::vector<uint32_t> a(n), b(n), r(2 * size_t(n));
        for (int i = 0; i < n; i++) {
            a[i] = next_limb();
            b[i] = next_limb();
        }
        a[n - 1] |= 1;
        b[n - 1] |= 1;
        mpz_t x, y, z, w;
        mpz_inits(x, y, z, w, nullptr);
        to_mpz(x, a.data(), n);
        to_mpz(y, b.data(), n);
        mul_limbs(cx, r.data(), a.data(), n, b.data(), n);
        to_mpz(w, r.data(), 2 * n);
        mpz_mul(z, x, y);
        if (mpz_cmp(z, w) != 0) printf("WRONG product at %d limbs\n", n);
        sqr_limbs(cx, r.data(), a.data(), n);
        to_mpz(w, r.data(), 2 * n);
        mpz_mul(z, x, x);
        if (mpz_cmp(z, w) != 0) printf("WRONG square at %d limbs\n", n);
        double tm = best_time([&] { mul_limbs(cx, r.data(), a.data(), n, b.data(), n); });
        double ts = best_time([&] { sqr_limbs(cx, r.data(), a.data(), n); });
        double tg = best_time([&] { mpz_mul(z, x, y); });
        printf("%9d %13.2f %13.2f %13.2f %8.2f %8.2f\n", n, tm * 1e6, ts * 1e6, tg * 1e6, tm / tg,
               ts / tg);
        fflush(stdout);
        mpz_clears(x, y, z, w, nullptr);
    }
    return 0;
}
