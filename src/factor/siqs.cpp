// The self-initialising quadratic sieve for composites of about 20 to 95
// digits, run in the calculator's own process: multiplier and factor base,
// polynomials switched by Gray code, block sieving with buckets for the
// larger primes, relations with one or two large primes, the batches of
// polynomials on the engine's threads, then the matrix and the square root.
#include <algorithm>
#include <atomic>
#include <immintrin.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "../engine/threads.h"
#include "search.h"
#include "siqs_matrix.h"
#include "siqs_relations.h"
#include "siqs_words.h"

namespace {

constexpr int BLOCK_BITS = 15;          // the sieve block: 32 KiB, inside the first-level data cache
constexpr int BLOCK = 1 << BLOCK_BITS;  // the interval is counted in blocks; a bucket entry keeps 16 bits
constexpr int BLOCKS_MAX = 64;          // blocks over the sieve interval
constexpr int S_MAX = 14;               // most primes in one A
constexpr uint32_t PRIME_LIMIT = 1 << 21;  // the small primes: ample for the largest factor base
constexpr int FB_LIMIT = 65000;         // bucket entries keep the prime's index in 16 bits
constexpr int EXTRA = 64;               // relations beyond the columns
constexpr long POLL_MS = 5;             // least time between two check points
constexpr int A_TRIES = 400;            // attempts to find an A not used before
constexpr int FACTORS_MAX = 120;        // prime factors of one relation
constexpr int DEPENDENCIES_MAX = 64;    // dependencies tried for a divisor
constexpr int FLUSH_EVERY = 8;          // polynomials between two hand-overs of relations
constexpr long RHO_BATCH = 128;         // rho steps multiplied together per gcd
constexpr int BATCH = 16;               // candidates whose root tests share the loads of the roots
constexpr int HIT_ROOM = 128;           // root-test hits kept per candidate: more cannot divide Q(x)
constexpr int SPILLS = 8;               // words for the bucket hits past the interval (a power of 2)
constexpr int SPARE = 64;               // bytes past the block for the sieve hits past it

// Sieve parameters by the digits of the number: factor base size, blocks
// over the interval [-M, M), the large prime bound as a multiple of the
// largest factor-base prime, the bits the threshold is lowered for the small primes
// not sieved and for rounded logarithms, the bits of the primes of A (0:
// just below the largest of the factor base), the primes below which none
// is sieved, and the bits of the largest cofactor split into two large
// primes (0: one large prime only).
struct Params {
    int digits;
    int fb_size;
    int blocks;
    int lp_mult;
    int fudge;
    int a_bits;
    int small_skip;
    int dlp_bits;
};
const Params PARAMS[] = {
    {20, 100, 1, 30, 4, 0, 30, 0},
    {25, 150, 1, 30, 4, 0, 30, 0},
    {30, 220, 1, 40, 4, 0, 30, 0},
    {35, 400, 2, 50, 4, 0, 30, 0},
    {40, 700, 2, 60, 4, 0, 30, 0},
    {45, 1100, 4, 70, 8, 0, 30, 0},
    {50, 1700, 4, 80, 12, 0, 30, 0},
    {55, 2400, 6, 90, 12, 0, 30, 0},
    {60, 5500, 8, 100, 12, 11, 256, 38},
    {65, 8000, 12, 100, 14, 11, 256, 40},
    {70, 15000, 14, 100, 14, 11, 256, 44},
    {75, 18000, 16, 100, 16, 11, 256, 47},
    {80, 22000, 16, 100, 16, 11, 256, 49},
    {85, 32000, 20, 100, 16, 11, 256, 51},
    {90, 45000, 24, 100, 16, 11, 256, 53},
    {95, 60000, 28, 100, 16, 11, 256, 55},
};
constexpr int PARAM_COUNT = sizeof PARAMS / sizeof PARAMS[0];

// The factor base, sized per number.
struct FactorBase {
    int size;
    std::vector<uint32_t> prime;
    std::vector<uint32_t> root;   // sqrt(kN) mod p
    std::vector<uint64_t> magic;  // 2^64 / p rounded up, for remainders by multiplication
    std::vector<uint32_t> inverse;  // p^-1 mod 2^32: x * inverse <= limit exactly when p | x
    std::vector<uint64_t> inverse64;  // p^-1 mod 2^64, for exact division of Q(x) (0 for 2)
    std::vector<uint32_t> limit;    // (2^32 - 1) / p
    std::vector<uint8_t> logp;
    int sieve_from;  // first index sieved (p >= the parameters' small_skip)
    // Hits every root surely makes, from a position below p: in a block
    // (BLOCK / p, below large_from) or in the interval (interval / p, from
    // large_from on). Loops of these fixed counts end without mispredicted
    // branches; at most one more hit is added without a branch.
    std::vector<uint16_t> steps;
    // From large_from on, the first index of each run of equal logarithms,
    // then fb.size: the buckets are filled run by run, and each run is
    // added with its one logarithm.
    std::vector<int> level_from;
    int large_from;    // first index with p >= the block: sieved through buckets
};

// What the threads share: the number, the parameters, the supply of A and
// the relations (under `lock`), and the flag that ends the sieving.
struct Search {
    mpz_t n, kn;
    unsigned k;
    Params par;
    int blocks;              // blocks over the interval
    long m;                  // half the sieve interval
    uint32_t lp_bound;
    uint64_t dlp_bound;  // largest cofactor split into two large primes (0: none)
    uint64_t pmax_squared;
    uint8_t init;  // start value of the sieve bytes: 128 - threshold
    double a_bits;
    int s;           // primes of each A
    int a_lo, a_hi;  // index range the primes of A are drawn from
    uint64_t seed;
    long target;  // relations wanted
    std::unordered_set<uint64_t> used_a;
    RelationSet set;
    std::mutex lock;
    std::atomic<bool> done;
    std::atomic<int> outcome;  // SEARCH_FOUND, SEARCH_STOPPED or SEARCH_EXHAUSTED
};

// One thread's polynomials: the current A with its B_l, per prime the root
// steps 2 B_l / A and the roots as positions in the sieve interval, the
// sieve block, the buckets and the relations not yet handed over.
struct Worker {
    int q_index[S_MAX];
    mpz_t a, b, bl[S_MAX], y, v;
    uint64_t qa[Q_WORDS], qb2[Q_WORDS], qc[Q_WORDS];  // A, 2B, C = (B^2 - kN) / A modulo 2^256
    std::vector<uint32_t> delta;  // S_MAX rows of fb.size
    std::vector<uint32_t> r1, r2;  // UINT32_MAX for the primes of A
    std::vector<uint32_t> pos1, pos2;
    std::vector<uint32_t> bucket;  // blocks * bucket_room entries: index << 16 | offset
    std::vector<uint32_t> fill;
    std::vector<uint32_t> level_fill;  // per run of level_from, then per block: where its entries start
    size_t bucket_room;
    std::vector<uint32_t> hits;  // bucket entries at candidates of the current block (room for all)
    int hit_count;
    std::vector<uint32_t> candidates;  // offsets in the current block
    std::vector<int> root_room;        // root-test hits of a batch of candidates: HIT_ROOM each
    std::vector<Relation> rels;  // kept, not yet handed over
    std::vector<uint32_t> factors;
    uint8_t *sieve;
    std::vector<uint8_t> sieve_room;
};

FactorBase fb;
Search st;
std::vector<uint32_t> small_primes;

// The widest vector unit the sieve uses: 2 for 512 bits (with byte
// masks), 1 for 256, 0 for none (or when siqs_vector_units is off).
int vector_unit() {
    static const int unit = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") ? 2
                            : __builtin_cpu_supports("avx2")                                      ? 1
                                                                                                  : 0;
    return siqs_vector_units ? unit : 0;
}

// ------------------------------------------------------------ arithmetic

uint32_t mul_mod(uint32_t a, uint32_t b, uint32_t p) {
    return static_cast<uint32_t>(static_cast<uint64_t>(a) * b % p);
}

uint32_t pow_mod(uint32_t a, uint32_t e, uint32_t p) {
    uint32_t r = 1 % p;
    for (; e; e >>= 1, a = mul_mod(a, a, p))
        if (e & 1) r = mul_mod(r, a, p);
    return r;
}

// Inverse of a (0 < a < p) modulo the prime p by the extended Euclid.
uint32_t inverse_mod(uint32_t a, uint32_t p) {
    int64_t r0 = p, r1 = a, s0 = 0, s1 = 1;
    while (r1) {
        int64_t q = r0 / r1, t = r0 - q * r1;
        r0 = r1, r1 = t;
        t = s0 - q * s1;
        s0 = s1, s1 = t;
    }
    return static_cast<uint32_t>(s0 < 0 ? s0 + p : s0);
}

// Square root of a quadratic residue a modulo the odd prime p (Tonelli–Shanks).
uint32_t sqrt_mod(uint32_t a, uint32_t p) {
    if (a == 0) return 0;
    if (p % 4 == 3) return pow_mod(a, (p + 1) / 4, p);
    uint32_t q = p - 1, s = 0;
    while (q % 2 == 0) q /= 2, s++;
    uint32_t z = 2;
    while (pow_mod(z, (p - 1) / 2, p) != p - 1) z++;
    uint32_t c = pow_mod(z, q, p), r = pow_mod(a, (q + 1) / 2, p), t = pow_mod(a, q, p);
    while (t != 1) {
        uint32_t i = 0, tt = t;
        while (tt != 1) tt = mul_mod(tt, tt, p), i++;
        uint32_t b = c;
        for (uint32_t j = 0; j + i + 1 < s; j++) b = mul_mod(b, b, p);
        r = mul_mod(r, b, p);
        c = mul_mod(b, b, p);
        t = mul_mod(t, c, p);
        s = i;
    }
    return r;
}

// a mod p for a, p < 2^32 with the precomputed magic of p.
inline uint32_t fast_mod(uint32_t a, uint64_t magic, uint32_t p) {
    uint64_t low = magic * a;
    return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * p) >> 64);
}

void make_small_primes() {
    if (!small_primes.empty()) return;
    // Odd numbers only, a byte each (bit vectors cost several times more per
    // mark, and this runs before the first check point of a search).
    std::vector<uint8_t> composite(PRIME_LIMIT / 2, 0);  // entry k: 2k + 1
    small_primes.reserve(PRIME_LIMIT / 12);
    small_primes.push_back(2);
    for (uint32_t k = 1; k < PRIME_LIMIT / 2; k++) {
        if (composite[k]) continue;
        uint64_t p = 2 * uint64_t(k) + 1;
        small_primes.push_back(static_cast<uint32_t>(p));
        for (uint64_t j = p * p / 2; j < PRIME_LIMIT / 2; j += p) composite[j] = 1;
    }
}

// ------------------------------------------------- cofactors of 64 bits

typedef unsigned __int128 u128;

// Montgomery arithmetic modulo an odd n < 2^63 (R = 2^64).
struct Mont {
    uint64_t n, ninv;  // ninv = -n^-1 mod 2^64
    explicit Mont(uint64_t modulus) : n(modulus) {
        uint64_t x = n;
        for (int i = 0; i < 5; i++) x *= 2 - n * x;
        ninv = ~x + 1;
    }
    uint64_t mul(uint64_t a, uint64_t b) const {
        u128 t = static_cast<u128>(a) * b;
        uint64_t m = static_cast<uint64_t>(t) * ninv;
        u128 r = (t + static_cast<u128>(m) * n) >> 64;
        return static_cast<uint64_t>(r >= n ? r - n : r);
    }
    uint64_t to(uint64_t a) const { return static_cast<uint64_t>((static_cast<u128>(a % n) << 64) % n); }
};

// Strong probable prime to the base 2: enough to tell a cofactor worth
// splitting from a large prime (an error only loses a relation, and the
// pseudoprimes are rare), at a quarter of the cost of four bases.
bool probable_prime64(uint64_t n) {
    if (n < 2) return false;
    for (uint64_t p : {2, 3, 5, 7})
        if (n % p == 0) return n == p;
    Mont mt(n);
    uint64_t one = mt.to(1), minus_one = n - one;
    uint64_t d = n - 1;
    int r = 0;
    while (!(d & 1)) d >>= 1, r++;
    for (uint64_t base : {2}) {
        uint64_t x = one, b = mt.to(base);
        for (uint64_t e = d; e; e >>= 1, b = mt.mul(b, b))
            if (e & 1) x = mt.mul(x, b);
        if (x == one || x == minus_one) continue;
        bool witness = true;
        for (int i = 1; i < r && witness; i++) {
            x = mt.mul(x, x);
            if (x == minus_one) witness = false;
        }
        if (witness) return false;
    }
    return true;
}

// Binary gcd (no divisions); gcd(0, b) = b.
uint64_t gcd64(uint64_t a, uint64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    int shift = __builtin_ctzll(a | b);
    a >>= __builtin_ctzll(a);
    do {
        b >>= __builtin_ctzll(b);
        if (a > b) std::swap(a, b);
        b -= a;
    } while (b != 0);
    return a << shift;
}

// A factor of the odd composite n < 2^63 by rho with Brent's cycle finding
// and batched gcds (in Montgomery form, which keeps the gcds), or 0 when
// `steps` pass without one.
uint64_t split64(uint64_t n, long steps) {
    Mont mt(n);
    for (uint64_t c = 1; c < 20; c++) {
        uint64_t cm = mt.to(c);
        auto step = [&](uint64_t v) {
            uint64_t t = mt.mul(v, v) + cm;
            return t >= n ? t - n : t;
        };
        uint64_t y = mt.to(2), x = y, ys = y, q = mt.to(1), g = 1;
        long done = 0;
        for (long r = 1; g == 1 && done < steps; r *= 2) {
            x = y;
            for (long i = 0; i < r; i++) y = step(y);
            for (long k = 0; k < r && g == 1; k += RHO_BATCH) {
                ys = y;
                for (long i = 0; i < RHO_BATCH && i < r - k; i++) {
                    y = step(y);
                    q = mt.mul(q, x > y ? x - y : y - x);
                }
                g = gcd64(q, n);
                done += RHO_BATCH;
            }
        }
        if (g == n) {  // the batch went past the factor: step through it again
            do {
                ys = step(ys);
                g = gcd64(x > ys ? x - ys : ys - x, n);
            } while (g == 1);
        }
        if (g != 1 && g != n) return g;
        if (done >= steps) return 0;
    }
    return 0;
}

// --------------------------------------------------------- set-up of kN

// The Knuth–Schroeppel multiplier: the odd square-free k <= 73 under which
// the small primes divide kN + x^2 most often, weighed against the larger
// values kN brings.
unsigned choose_multiplier(mpz_srcptr n) {
    static const unsigned K[] = {1,  3,  5,  7,  11, 13, 15, 17, 19, 21, 23, 29, 31, 33, 35,
                                 37, 39, 41, 43, 47, 51, 53, 55, 57, 59, 61, 65, 67, 69, 71, 73};
    make_small_primes();
    unsigned n8 = static_cast<unsigned>(gmp.fdiv_ui(n, 8));
    unsigned best = 1;
    double best_score = -1e30;
    for (unsigned k : K) {
        double score = -0.5 * log(static_cast<double>(k));
        unsigned kn8 = k * n8 % 8;
        score += kn8 == 1 ? 2 * M_LN2 : kn8 == 5 ? M_LN2 : 0.5 * M_LN2;
        for (size_t i = 1; i < small_primes.size() && small_primes[i] < 1000; i++) {
            uint32_t p = small_primes[i];
            double lp = log(static_cast<double>(p));
            if (k % p == 0) {
                score += lp / p;
                continue;
            }
            uint32_t r = mul_mod(k % p, static_cast<uint32_t>(gmp.fdiv_ui(n, p)), p);
            if (r != 0 && pow_mod(r, (p - 1) / 2, p) == 1) score += 2 * lp / (p - 1);
        }
        if (score > best_score) best_score = score, best = k;
    }
    return best;
}

// Fills the factor base of kN with `size` primes: 2, then the odd primes p
// with (kN|p) = 1 or p | k, each with sqrt(kN) mod p. Returns a prime that
// divides n when one turns up on the way, else 0.
uint32_t build_factor_base(mpz_srcptr n, mpz_srcptr kn, unsigned k, int size) {
    make_small_primes();
    // From the block size on a root hits a block at most once: cheaper
    // listed in buckets than stepped through every block.
    int large_min = BLOCK;
    if (gmp.fdiv_ui(n, 2) == 0) return 2;
    fb.size = 0;
    fb.sieve_from = fb.large_from = -1;
    fb.prime.resize(size);
    fb.root.resize(size);
    fb.magic.resize(size);
    fb.logp.resize(size);
    // Room for the root test's last group of 16 (the extra entries never hit).
    fb.inverse.assign(size + 16, 0);
    fb.limit.assign(size + 16, 0);
    fb.inverse64.assign(size, 0);
    for (size_t i = 0; i < small_primes.size() && fb.size < size; i++) {
        uint32_t p = small_primes[i], root = 1;
        if (p > 2) {
            if (gmp.fdiv_ui(n, p) == 0) return p;
            uint32_t a = static_cast<uint32_t>(gmp.fdiv_ui(kn, p));
            if (k % p == 0) root = 0;
            else if (pow_mod(a, (p - 1) / 2, p) != 1) continue;
            else root = sqrt_mod(a, p);
        }
        int j = fb.size++;
        fb.prime[j] = p;
        fb.root[j] = root;
        fb.magic[j] = ~0ULL / p + 1;
        uint32_t inv = p;  // Newton's iteration: each step doubles the correct low bits
        for (int step = 0; step < 4; step++) inv *= 2 - p * inv;
        fb.inverse[j] = inv;
        fb.inverse64[j] = p > 2 ? word_inverse(p) : 0;
        fb.limit[j] = UINT32_MAX / p;
        fb.logp[j] = static_cast<uint8_t>(lround(log2(static_cast<double>(p))));
        if (fb.sieve_from < 0 && p >= static_cast<uint32_t>(st.par.small_skip)) fb.sieve_from = j;
        if (fb.large_from < 0 && p >= static_cast<uint32_t>(large_min)) fb.large_from = j;
    }
    if (fb.sieve_from < 0) fb.sieve_from = fb.size;
    if (fb.large_from < 0) fb.large_from = fb.size;
    return 0;
}

// Sieve interval, threshold, large prime bounds and the range of primes A
// is made of, from the parameters and the size of kN.
void set_sieve_bounds() {
    double kn_bits = log2(gmp.get_d(st.kn));
    st.m = static_cast<long>(st.blocks) * BLOCK / 2;
    fb.level_from.clear();
    for (int i = fb.large_from; i < fb.size; i++)
        if (i == fb.large_from || fb.logp[i] != fb.logp[i - 1]) fb.level_from.push_back(i);
    fb.level_from.push_back(fb.size);
    fb.steps.assign(fb.size, 0);
    for (int i = 0; i < fb.size; i++)
        fb.steps[i] = static_cast<uint16_t>((i < fb.large_from ? BLOCK : st.blocks * BLOCK) / fb.prime[i]);
    uint32_t pmax = fb.prime[fb.size - 1];
    uint64_t lp = static_cast<uint64_t>(pmax) * st.par.lp_mult;
    st.pmax_squared = static_cast<uint64_t>(pmax) * pmax;
    st.lp_bound = static_cast<uint32_t>(lp < st.pmax_squared ? lp : st.pmax_squared - 1);
    st.dlp_bound = 0;
    double cofactor_bits = log2(static_cast<double>(st.lp_bound));
    if (st.par.dlp_bits > 0) {
        // Below 2^62 for the Montgomery arithmetic, below lp_bound^2 for use.
        int dlp_bits = st.par.dlp_bits < 62 ? st.par.dlp_bits : 62;
        uint64_t square = static_cast<uint64_t>(st.lp_bound) * st.lp_bound;
        st.dlp_bound = square < (1ULL << dlp_bits) ? square : (1ULL << dlp_bits);
        cofactor_bits = st.par.dlp_bits;
    }
    double q_bits = log2(static_cast<double>(st.m)) + kn_bits / 2 - 0.5;
    // The primes not sieved from 30 on: their expected share of the bits
    // lowers the threshold (those below 30 are in the fudge bits).
    double unsieved = 0;
    for (int i = 1; i < fb.sieve_from; i++) {
        uint32_t p = fb.prime[i];
        if (p >= 30) unsieved += (fb.root[i] == 0 ? 1 : 2) * log2(static_cast<double>(p)) / (p - 1);
    }
    double threshold = q_bits - cofactor_bits - st.par.fudge - unsieved;
    if (threshold < 10) threshold = 10;
    st.init = static_cast<uint8_t>(128 - lround(threshold));
    // A near sqrt(2 kN) / M, from s primes of the chosen size.
    st.a_bits = (kn_bits + 1) / 2 - log2(static_cast<double>(st.m));
    double top = log2(static_cast<double>(pmax)) - 1;
    if (st.par.a_bits > 0 && st.par.a_bits < top) top = st.par.a_bits;
    int s = static_cast<int>(ceil(st.a_bits / top));
    if (s < 1) s = 1;
    if (s > S_MAX) s = S_MAX;
    st.s = s;
    double each = st.a_bits / s;
    st.a_lo = st.a_hi = -1;
    for (int i = fb.sieve_from; i < fb.size; i++) {
        double b = log2(static_cast<double>(fb.prime[i]));
        if (b >= each - 0.7 && st.a_lo < 0) st.a_lo = i;
        if (b <= each + 0.7) st.a_hi = i;
    }
    if (st.a_lo < 0 || st.a_lo > st.a_hi) st.a_lo = fb.sieve_from, st.a_hi = fb.size - 1;
    // Enough primes around the ideal size for many different A.
    while (st.a_hi - st.a_lo < 3 * s + 8) {
        if (st.a_lo > fb.sieve_from) st.a_lo--;
        if (st.a_hi < fb.size - 1) st.a_hi++;
        if (st.a_lo == fb.sieve_from && st.a_hi == fb.size - 1) break;
    }
}

// ------------------------------------------------------------ polynomials

uint32_t next_random() {
    st.seed = st.seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(st.seed >> 33);
}

bool usable_in_a(const Worker &w, int i, int taken) {
    if (fb.root[i] == 0 || i < fb.sieve_from) return false;  // primes of k
    for (int j = 0; j < taken; j++)
        if (w.q_index[j] == i) return false;
    return true;
}

// Draws s - 1 primes of A at random from the range and the last one to bring
// the product nearest the ideal size; false when the A was used before.
// Called under the search's lock.
bool draw_a(Worker &w) {
    int s = st.s;
    double bits = 0;
    for (int j = 0; j < s - 1; j++) {
        int i, tries = 0;
        do i = st.a_lo + static_cast<int>(next_random() % (st.a_hi - st.a_lo + 1));
        while (!usable_in_a(w, i, j) && ++tries < 100);
        if (!usable_in_a(w, i, j)) return false;
        w.q_index[j] = i;
        bits += log2(static_cast<double>(fb.prime[i]));
    }
    double want = st.a_bits - bits;
    int best = -1;
    double best_gap = 1e30;
    for (int i = fb.sieve_from; i < fb.size; i++) {
        double gap = fabs(log2(static_cast<double>(fb.prime[i])) - want);
        if (gap < best_gap && usable_in_a(w, i, s - 1)) best_gap = gap, best = i;
    }
    if (best < 0) return false;
    w.q_index[s - 1] = best;
    uint64_t key = 1;  // the product modulo 2^64 names the A
    for (int j = 0; j < s; j++) key *= fb.prime[w.q_index[j]];
    return st.used_a.insert(key).second;
}

// a * b mod p for a, b < p < 2^26 by the reciprocal of p in double
// precision: the product is exact, the quotient off by at most one, and
// the remainder corrected by one p either way.
inline uint32_t mul_mod_fast(uint32_t a, uint32_t b, uint32_t p, double reciprocal) {
    uint64_t ab = static_cast<uint64_t>(a) * b;
    uint64_t q = static_cast<uint64_t>(static_cast<double>(ab) * reciprocal);
    int64_t r = static_cast<int64_t>(ab - q * p);
    r += r < 0 ? p : 0;
    r -= r >= static_cast<int64_t>(p) ? p : 0;
    return static_cast<uint32_t>(r);
}

// a + b mod p for a, b < p.
inline uint32_t add_mod(uint32_t a, uint32_t b, uint32_t p) { return a + b >= p ? a + b - p : a + b; }

// Roots and root steps of every prime for a new A and its first B (the
// factor base's primes are below 2^21, in reach of mul_mod_fast).
void init_roots(Worker &w, const uint32_t *gamma) {
    int s = st.s;
    for (int i = 1; i < fb.size; i++) {
        uint32_t p = fb.prime[i];
        uint64_t magic = fb.magic[i];
        double reciprocal = 1.0 / p;
        w.r1[i] = w.r2[i] = UINT32_MAX;
        bool in_a = false;
        for (int j = 0; j < s; j++) in_a |= w.q_index[j] == i;
        if (in_a) continue;
        // (A / q_j) mod p as the product of the q_l before j and of those after.
        uint32_t qm[S_MAX], before[S_MAX + 1], after = 1 % p;
        before[0] = 1 % p;
        for (int j = 0; j < s; j++) {
            qm[j] = fast_mod(fb.prime[w.q_index[j]], magic, p);
            before[j + 1] = mul_mod_fast(before[j], qm[j], p, reciprocal);
        }
        uint32_t ainv = inverse_mod(before[s], p), bmod = 0;
        for (int j = s - 1; j >= 0; j--) {
            uint32_t bj = mul_mod_fast(fast_mod(gamma[j], magic, p), mul_mod_fast(before[j], after, p, reciprocal), p,
                                       reciprocal);
            after = mul_mod_fast(after, qm[j], p, reciprocal);
            bmod = add_mod(bmod, bj, p);
            w.delta[static_cast<size_t>(j) * fb.size + i] = mul_mod_fast(add_mod(bj, bj, p), ainv, p, reciprocal);
        }
        uint32_t t = fb.root[i], mm = fast_mod(static_cast<uint32_t>(st.m), magic, p);
        uint32_t x1 = mul_mod_fast(ainv, add_mod(t, p - bmod == p ? 0 : p - bmod, p), p, reciprocal);
        uint32_t x2 = mul_mod_fast(ainv, add_mod(t == 0 ? 0 : p - t, bmod == 0 ? 0 : p - bmod, p), p, reciprocal);
        w.r1[i] = add_mod(x1, mm, p);
        w.r2[i] = add_mod(x2, mm, p);
    }
}

// A new A, its B_l and the first polynomial; false when none is found.
bool new_a(Worker &w) {
    {
        std::lock_guard<std::mutex> hold(st.lock);
        int tries = 0;
        while (!draw_a(w))
            if (++tries >= A_TRIES) return false;
    }
    gmp.set_ui(w.a, 1);
    for (int j = 0; j < st.s; j++) gmp.mul_ui(w.a, w.a, fb.prime[w.q_index[j]]);
    uint32_t gamma[S_MAX];
    gmp.set_ui(w.b, 0);
    for (int j = 0; j < st.s; j++) {
        uint32_t q = fb.prime[w.q_index[j]];
        gmp.tdiv_q_ui(w.bl[j], w.a, q);  // A / q
        uint32_t aq = static_cast<uint32_t>(gmp.fdiv_ui(w.bl[j], q));
        uint32_t g = mul_mod(fb.root[w.q_index[j]], inverse_mod(aq, q), q);
        if (2 * g > q) g = q - g;
        gamma[j] = g;
        gmp.mul_ui(w.bl[j], w.bl[j], g);
        gmp.add(w.b, w.b, w.bl[j]);
    }
    init_roots(w, gamma);
    return true;
}

// Every root r of the primes from index 1 moves to r + d (minus) or r - d
// modulo p; the primes of A (UINT32_MAX) stay as they are.
void step_roots_plain(uint32_t *r1, uint32_t *r2, const uint32_t *d, bool minus) {
    const uint32_t *prime = fb.prime.data();
    for (int k = 1; k < fb.size; k++) {
        if (r1[k] == UINT32_MAX) continue;
        uint32_t p = prime[k], dk = d[k];
        if (minus) {
            uint32_t a = r1[k] + dk, b = r2[k] + dk;
            r1[k] = a >= p ? a - p : a;
            r2[k] = b >= p ? b - p : b;
        } else {
            r1[k] = r1[k] >= dk ? r1[k] - dk : r1[k] + p - dk;
            r2[k] = r2[k] >= dk ? r2[k] - dk : r2[k] + p - dk;
        }
    }
}

// The same sixteen roots at a time: of r + d and r + d - p (or r - d and
// r - d + p) the unsigned minimum, as the wrong one wraps above the right
// (the masked form of the minimum: the plain one trips a false warning of
// an uninitialised value in the compiler's header).
__attribute__((target("avx512f"))) void step_roots_512(uint32_t *r1, uint32_t *r2, const uint32_t *d, bool minus) {
    const uint32_t *prime = fb.prime.data();
    const __m512i none = _mm512_set1_epi32(-1);
    for (int k = 1; k < fb.size; k += 16) {
        __mmask16 live = fb.size - k >= 16 ? 0xffff : static_cast<__mmask16>((1u << (fb.size - k)) - 1);
        __m512i p = _mm512_maskz_loadu_epi32(live, prime + k), dk = _mm512_maskz_loadu_epi32(live, d + k);
        __m512i a = _mm512_maskz_loadu_epi32(live, r1 + k), b = _mm512_maskz_loadu_epi32(live, r2 + k);
        __mmask16 roots = _mm512_mask_cmpneq_epu32_mask(live, a, none);
        if (minus) {
            a = _mm512_add_epi32(a, dk), b = _mm512_add_epi32(b, dk);
            a = _mm512_mask_min_epu32(a, roots, a, _mm512_sub_epi32(a, p));
            b = _mm512_mask_min_epu32(b, roots, b, _mm512_sub_epi32(b, p));
        } else {
            a = _mm512_sub_epi32(a, dk), b = _mm512_sub_epi32(b, dk);
            a = _mm512_mask_min_epu32(a, roots, a, _mm512_add_epi32(a, p));
            b = _mm512_mask_min_epu32(b, roots, b, _mm512_add_epi32(b, p));
        }
        _mm512_mask_storeu_epi32(r1 + k, roots, a);
        _mm512_mask_storeu_epi32(r2 + k, roots, b);
    }
}

// Polynomial i (1 <= i < 2^(s-1)) of the current A from polynomial i - 1:
// one B_l changes sign, and every root moves by the step of that B_l.
void next_b(Worker &w, unsigned i) {
    bool wide = vector_unit() == 2;
    int v = __builtin_ctz(i);
    bool minus = ((i ^ (i >> 1)) >> v) & 1;
    gmp.mul_2exp(w.v, w.bl[v], 1);
    if (minus) gmp.sub(w.b, w.b, w.v);
    else gmp.add(w.b, w.b, w.v);
    const uint32_t *d = &w.delta[static_cast<size_t>(v) * fb.size];
    if (wide) step_roots_512(w.r1.data(), w.r2.data(), d, minus);
    else step_roots_plain(w.r1.data(), w.r2.data(), d, minus);
}

// ---------------------------------------------------------------- relations

// ---------------------------------------------------- Q(x) in machine words

// The value of z modulo 2^256 in two's complement words.
void words_of(mpz_srcptr z, uint64_t *out) {
    int limbs = z->_mp_size < 0 ? -z->_mp_size : z->_mp_size;
    uint64_t borrow = z->_mp_size < 0;  // negation: complement plus one
    for (int i = 0; i < Q_WORDS; i++) {
        uint64_t v = i < limbs ? z->_mp_d[i] : 0;
        if (z->_mp_size < 0) {
            v = ~v + borrow;
            borrow = borrow && v == 0;
        }
        out[i] = v;
    }
}

// Divides every power of fb prime `index` (odd) out of v, listing the index
// each time.
inline void divide_out(uint64_t *v, int *n, int index, uint32_t *list, int *count) {
    uint32_t p = fb.prime[index];
    uint64_t inverse = fb.inverse64[index];
    while (*count < FACTORS_MAX && divide_words(v, n, p, inverse)) list[(*count)++] = static_cast<uint32_t>(index);
}

// The words of A, 2B and C for the current polynomial (C = (B^2 - kN) / A
// exactly, as B^2 = kN modulo A).
void set_q_words(Worker &w) {
    gmp.mul(w.v, w.b, w.b);
    gmp.sub(w.v, w.v, st.kn);
    gmp.divexact(w.v, w.v, w.a);
    words_of(w.v, w.qc);
    words_of(w.a, w.qa);
    gmp.mul_2exp(w.v, w.b, 1);
    words_of(w.v, w.qb2);
}

// The indices i in [1, fb.large_from) whose roots r1[i] or r2[i] position j
// hits, p | j - r: tested by the inverse modulo 2^32 (a wrapped difference
// may pass too, rarely; the division itself checks). At most `room` go to
// `out`; returns how many.
int root_hits_plain(uint32_t j, const uint32_t *r1, const uint32_t *r2, int *out, int room) {
    const uint32_t *inv = fb.inverse.data(), *lim = fb.limit.data();
    int found = 0;
    for (int i = 1; i < fb.large_from && found < room; i++)
        if (((j - r1[i]) * inv[i] <= lim[i]) | ((j - r2[i]) * inv[i] <= lim[i])) out[found++] = i;
    return found;
}

// The same eight primes at a time with the vector unit (x <= limit tested
// as max(x, limit) == limit).
__attribute__((target("avx2"))) int root_hits_wide(uint32_t j, const uint32_t *r1, const uint32_t *r2, int *out,
                                                    int room) {
    const uint32_t *inv = fb.inverse.data(), *lim = fb.limit.data();
    __m256i jj = _mm256_set1_epi32(static_cast<int>(j));
    int found = 0;
    for (int i0 = 1; i0 < fb.large_from && found < room; i0 += 8) {
        __m256i iv = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(inv + i0));
        __m256i lv = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lim + i0));
        __m256i a = _mm256_sub_epi32(jj, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(r1 + i0)));
        __m256i b = _mm256_sub_epi32(jj, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(r2 + i0)));
        a = _mm256_mullo_epi32(a, iv);
        b = _mm256_mullo_epi32(b, iv);
        __m256i ha = _mm256_cmpeq_epi32(_mm256_max_epu32(a, lv), lv);
        __m256i hb = _mm256_cmpeq_epi32(_mm256_max_epu32(b, lv), lv);
        unsigned mask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(ha, hb))));
        for (; mask && found < room; mask &= mask - 1) {
            int i = i0 + __builtin_ctz(mask);
            if (i < fb.large_from) out[found++] = i;
        }
    }
    return found;
}

// The root tests of up to BATCH candidates at once, each group of sixteen
// primes' roots and inverses loaded once for all of them (loaded again for
// each, they came from the second-level cache: the block has just filled
// the first). Candidate c's indices go to out + c * HIT_ROOM, their number
// to found[c]; hits beyond the room are dropped (they cannot all divide).
__attribute__((target("avx512f"))) void root_hits_batch_512(const uint32_t *js, int count, const uint32_t *r1,
                                                             const uint32_t *r2, int *out, int *found) {
    const uint32_t *inv = fb.inverse.data(), *lim = fb.limit.data();
    __m512i jj[BATCH];
    for (int c = 0; c < count; c++) jj[c] = _mm512_set1_epi32(static_cast<int>(js[c])), found[c] = 0;
    __m512i index = _mm512_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const __m512i sixteen = _mm512_set1_epi32(16);
    int last = fb.large_from;
    for (int i0 = 1; i0 < last; i0 += 16, index = _mm512_add_epi32(index, sixteen)) {
        __m512i iv = _mm512_loadu_si512(inv + i0), lv = _mm512_loadu_si512(lim + i0);
        __m512i ra = _mm512_loadu_si512(r1 + i0), rb = _mm512_loadu_si512(r2 + i0);
        __mmask16 within = last - i0 < 16 ? static_cast<__mmask16>((1u << (last - i0)) - 1) : 0xffff;
        for (int c = 0; c < count; c++) {
            __m512i a = _mm512_mullo_epi32(_mm512_sub_epi32(jj[c], ra), iv);
            __m512i b = _mm512_mullo_epi32(_mm512_sub_epi32(jj[c], rb), iv);
            __mmask16 mask = (_mm512_cmple_epu32_mask(a, lv) | _mm512_cmple_epu32_mask(b, lv)) & within;
            if (found[c] + 16 > HIT_ROOM) continue;
            _mm512_mask_compressstoreu_epi32(out + c * HIT_ROOM + found[c], mask, index);
            found[c] += __builtin_popcount(mask);
        }
    }
}

// The root tests of `count` <= BATCH candidates, as root_hits_batch_512.
void root_hits_batch(const uint32_t *js, int count, const uint32_t *r1, const uint32_t *r2, int *out, int *found) {
    int unit = vector_unit();
    if (unit == 2) return root_hits_batch_512(js, count, r1, r2, out, found);
    for (int c = 0; c < count; c++)
        found[c] = unit ? root_hits_wide(js[c], r1, r2, out + c * HIT_ROOM, HIT_ROOM)
                        : root_hits_plain(js[c], r1, r2, out + c * HIT_ROOM, HIT_ROOM);
}

// Keeps a relation in the worker's list until the next hand-over.
void keep_relation(Worker &w, mpz_srcptr y, bool negative, uint32_t l1, uint32_t l2, const uint32_t *list,
                   int count) {
    Relation r;
    int limbs = y->_mp_size < 0 ? -y->_mp_size : y->_mp_size;
    if (limbs > Y_WORDS) return;
    for (int i = 0; i < Y_WORDS; i++) r.y[i] = i < limbs ? y->_mp_d[i] : 0;
    r.l1 = l1 < l2 ? l1 : l2;
    r.l2 = l1 < l2 ? l2 : l1;
    r.start = static_cast<uint32_t>(w.factors.size());
    r.len = static_cast<uint16_t>(count);
    r.negative = negative;
    w.factors.insert(w.factors.end(), list, list + count);
    w.rels.push_back(r);
}

// Trial divides Q(x) at sieve position j (x = j - M) by the primes of A, 2,
// the `found` primes whose roots hit j (indices in `hits`) and the bucketed
// primes listed at j, and keeps what is smooth up to one or two large primes.
void check_candidate(Worker &w, uint32_t j, uint32_t offset, const int *hits, int found) {
    long x = static_cast<long>(j) - st.m;
    uint64_t v[Q_WORDS];
    int n;
    bool negative;
    words_q(w.qa, w.qb2, w.qc, x, v, &n, &negative);
    if (n == 0) return;
    uint32_t list[FACTORS_MAX];
    int count = 0;
    for (int l = 0; l < st.s; l++) list[count++] = static_cast<uint32_t>(w.q_index[l]);
    for (int twos = words_strip_twos(v, &n); twos > 0 && count < FACTORS_MAX; twos--) list[count++] = 0;
    for (int l = 0; l < st.s; l++) divide_out(v, &n, w.q_index[l], list, &count);
    for (int h = 0; h < found; h++) divide_out(v, &n, hits[h], list, &count);
    // The hits are sorted by their offset in the block.
    const uint32_t *end = w.hits.data() + w.hit_count;
    const uint32_t *at = std::lower_bound(static_cast<const uint32_t *>(w.hits.data()), end, offset,
                                          [](uint32_t h, uint32_t want) { return (h & 0xffff) < want; });
    for (; at != end && (*at & 0xffff) == offset; ++at)
        divide_out(v, &n, static_cast<int>(*at >> 16), list, &count);
    if (count >= FACTORS_MAX || n > 1) return;
    uint64_t rest = v[0];
    uint32_t l1 = 1, l2 = 1;
    if (rest == 1) {
    } else if (rest < st.lp_bound) {
        l2 = static_cast<uint32_t>(rest);
    } else if (rest > st.pmax_squared && rest < st.dlp_bound && !probable_prime64(rest)) {
        uint64_t f = split64(rest, 1L << 16);
        if (f == 0) return;
        uint64_t g = rest / f;
        if (f >= st.lp_bound || g >= st.lp_bound) return;
        l1 = static_cast<uint32_t>(f), l2 = static_cast<uint32_t>(g);
    } else {
        return;
    }
    // y = |A x + B|, kept with the relation.
    gmp.mul_ui(w.y, w.a, static_cast<unsigned long>(x < 0 ? -x : x));
    if (x < 0) gmp.sub(w.y, w.b, w.y);
    else gmp.add(w.y, w.y, w.b);
    gmp.abs(w.y, w.y);
    keep_relation(w, w.y, negative, l1, l2, list, count);
}

// Hands the worker's relations to the search; ends the sieving when enough
// are there.
void hand_over(Worker &w) {
    if (w.rels.empty()) return;
    std::lock_guard<std::mutex> hold(st.lock);
    for (const Relation &r : w.rels)
        relations_add(st.set, r.y, r.negative, r.l1, r.l2, &w.factors[r.start], r.len);
    w.rels.clear();
    w.factors.clear();
    if (relations_usable(st.set) >= st.target) st.done = true;
}

// ------------------------------------------------------------------ sieving

// Lists, for every block, the hits of the primes from the block size on: each
// root steps through the whole interval once per polynomial.
void fill_buckets(Worker &w) {
    int blocks = st.blocks, bits = BLOCK_BITS;
    uint32_t interval = static_cast<uint32_t>(blocks) * BLOCK, low = BLOCK - 1;
    // Where the hits outside the interval go, overwritten: eight words, so
    // that one such store seldom waits on the cursor of the one before.
    uint32_t *cursor[BLOCKS_MAX + SPILLS], spill[SPILLS];
    for (int b = 0; b < blocks; b++) cursor[b] = &w.bucket[b * w.bucket_room];
    for (int k = 0; k < SPILLS; k++) cursor[blocks + k] = &spill[k];
    const uint32_t *r1 = w.r1.data(), *r2 = w.r2.data(), *prime = fb.prime.data();
    const uint16_t *steps = fb.steps.data();
    // A last hit written without branches, past the interval into a spill word.
    auto put = [&](uint32_t r, uint32_t tag) {
        uint32_t b = r < interval ? r >> bits : static_cast<uint32_t>(blocks) + (r & (SPILLS - 1));
        *cursor[b] = tag | (r & low);
        cursor[b] += b < static_cast<uint32_t>(blocks);
    };
    for (size_t level = 0; level + 1 < fb.level_from.size(); level++) {
        for (int b = 0; b < blocks; b++)
            w.level_fill[level * blocks + b] = static_cast<uint32_t>(cursor[b] - &w.bucket[b * w.bucket_room]);
        int i = fb.level_from[level], last = fb.level_from[level + 1];
        for (; i < last && prime[i] < interval; i++) {
            if (r1[i] == UINT32_MAX) continue;  // p | A
            uint32_t p = prime[i], tag = static_cast<uint32_t>(i) << 16, a = r1[i], b = r2[i];
            if (a == b) {  // p | k: one root
                for (; a < interval; a += p) *cursor[a >> bits]++ = tag | (a & low);
                continue;
            }
            // One root after the other: p >= BLOCK puts a root's hits in
            // different blocks, so no store waits on the cursor just written.
            int k = steps[i];
            for (int n = k; n > 0; n--, a += p) *cursor[a >> bits]++ = tag | (a & low);
            for (int n = k; n > 0; n--, b += p) *cursor[b >> bits]++ = tag | (b & low);
            put(a, tag), put(b, tag);
        }
        for (; i < last; i++) {
            uint32_t tag = static_cast<uint32_t>(i) << 16, a = r1[i], b = r2[i];
            put(a, tag), put(b == a ? UINT32_MAX : b, tag);
        }
    }
    for (int b = 0; b < blocks; b++) w.fill[b] = static_cast<uint32_t>(cursor[b] - &w.bucket[b * w.bucket_room]);
}

// Adds the logarithms of the primes below the block size to one block,
// carrying each root's next position over to the following block: the
// hits every root surely makes in a loop of fixed count, the one more it
// may make added to a spare byte past `end` when it falls outside (one of
// SPARE, so that these adds seldom wait on each other).
void sieve_medium(Worker &w) {
    // Everything in locals: the byte stores could alias the vectors' fields.
    uint8_t *sieve = w.sieve;
    const uint32_t end = static_cast<uint32_t>(BLOCK);
    const uint32_t *r1 = w.r1.data(), *prime = fb.prime.data();
    uint32_t *pos1 = w.pos1.data(), *pos2 = w.pos2.data();
    const uint8_t *logp = fb.logp.data();
    const uint16_t *steps = fb.steps.data();
    for (int i = fb.sieve_from, last = fb.large_from; i < last; i++) {
        if (r1[i] == UINT32_MAX) continue;
        uint32_t p = prime[i], a = pos1[i], b = pos2[i];
        uint8_t lg = logp[i];
        if (a == b) {  // p | k: one root
            for (; a < end; a += p) sieve[a] += lg;
            pos1[i] = pos2[i] = a - end;
            continue;
        }
        for (int k = steps[i]; k > 0; k--, a += p, b += p) sieve[a] += lg, sieve[b] += lg;
        // All-ones masks where the root is inside: selects without branches
        // (the compiler made branches of conditional expressions here).
        uint32_t in_a = 0u - (a < end), in_b = 0u - (b < end);
        uint32_t spare = end + (static_cast<uint32_t>(i) & (SPARE / 2 - 1));
        sieve[(a & in_a) | (spare & ~in_a)] += lg;
        sieve[(b & in_b) | ((spare + SPARE / 2) & ~in_b)] += lg;
        pos1[i] = a + (p & in_a) - end;
        pos2[i] = b + (p & in_b) - end;
    }
}

// The offsets in the sieved block whose byte reached the threshold (its top
// bit set), in increasing order, to `out`; returns how many.
int list_candidates_plain(const uint8_t *sieve, uint32_t *out) {
    int count = 0;
    for (int k = 0; k < BLOCK; k += 8) {
        uint64_t word;
        memcpy(&word, sieve + k, 8);
        if (!(word & 0x8080808080808080ULL)) continue;
        for (int b = 0; b < 8; b++)
            if (sieve[k + b] & 0x80) out[count++] = static_cast<uint32_t>(k + b);
    }
    return count;
}

// The same 64 bytes at a time (the block is 64-byte aligned).
__attribute__((target("avx512f,avx512bw"))) int list_candidates_512(const uint8_t *sieve, uint32_t *out) {
    int count = 0;
    for (int k = 0; k < BLOCK; k += 64) {
        uint64_t mask = _mm512_movepi8_mask(_mm512_load_si512(sieve + k));
        for (; mask; mask &= mask - 1) out[count++] = static_cast<uint32_t>(k + __builtin_ctzll(mask));
    }
    return count;
}

// The bucket entries of the block that fall on candidates, in bucket
// order, to `out`; returns how many.
int list_hits_plain(const uint8_t *sieve, const uint32_t *bucket, uint32_t filled, uint32_t *out) {
    int count = 0;
    for (uint32_t e = 0; e < filled; e++)
        if (sieve[bucket[e] & 0xffff] & 0x80) out[count++] = bucket[e];
    return count;
}

// The same sixteen entries at a time: their bytes gathered (four read from
// each offset: the block has spare bytes past its end), the entries on
// candidates stored compressed.
__attribute__((target("avx512f"))) int list_hits_512(const uint8_t *sieve, const uint32_t *bucket, uint32_t filled,
                                                      uint32_t *out) {
    const __m512i low = _mm512_set1_epi32(0xffff), top = _mm512_set1_epi32(0x80);
    int count = 0;
    for (uint32_t e = 0; e < filled; e += 16) {
        __mmask16 live = filled - e >= 16 ? 0xffff : static_cast<__mmask16>((1u << (filled - e)) - 1);
        __m512i entries = _mm512_maskz_loadu_epi32(live, bucket + e);
        __m512i bytes = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), live, _mm512_and_si512(entries, low),
                                                    sieve, 1);
        __mmask16 on = _mm512_mask_test_epi32_mask(live, bytes, top);
        _mm512_mask_compressstoreu_epi32(out + count, on, entries);
        count += __builtin_popcount(on);
    }
    return count;
}

// Sieves the current polynomial block by block and checks every position
// whose logarithm sum reaches the threshold.
void sieve_polynomial(Worker &w) {
    bool wide = vector_unit() == 2;
    set_q_words(w);
    for (int i = fb.sieve_from; i < fb.large_from; i++) w.pos1[i] = w.r1[i], w.pos2[i] = w.r2[i];
    fill_buckets(w);
    const uint8_t *logp = fb.logp.data();
    for (int block = 0; block < st.blocks; block++) {
        uint8_t *sieve = w.sieve;
        memset(sieve, st.init, BLOCK);
        sieve_medium(w);
        const uint32_t *bucket = &w.bucket[block * w.bucket_room];
        uint32_t filled = w.fill[block];
        // Run by run, each with its one logarithm.
        for (size_t level = 0; level + 1 < fb.level_from.size(); level++) {
            uint32_t from = w.level_fill[level * st.blocks + block];
            uint32_t to = level + 2 < fb.level_from.size() ? w.level_fill[(level + 1) * st.blocks + block] : filled;
            uint8_t lg = logp[fb.level_from[level]];
            for (uint32_t e = from; e < to; e++) sieve[bucket[e] & 0xffff] += lg;
        }
        uint32_t *candidates = w.candidates.data();
        int count = wide ? list_candidates_512(sieve, candidates) : list_candidates_plain(sieve, candidates);
        if (count == 0) continue;
        w.hit_count = wide ? list_hits_512(sieve, bucket, filled, w.hits.data())
                           : list_hits_plain(sieve, bucket, filled, w.hits.data());
        std::sort(w.hits.data(), w.hits.data() + w.hit_count,
                  [](uint32_t x, uint32_t y) { return (x & 0xffff) < (y & 0xffff); });
        uint32_t base = static_cast<uint32_t>(block) * BLOCK;
        for (int c0 = 0; c0 < count; c0 += BATCH) {
            int n = count - c0 < BATCH ? count - c0 : BATCH, found[BATCH];
            uint32_t js[BATCH];
            for (int c = 0; c < n; c++) js[c] = base + candidates[c0 + c];
            int *room = w.root_room.data();
            root_hits_batch(js, n, w.r1.data(), w.r2.data(), room, found);
            for (int c = 0; c < n; c++) check_candidate(w, js[c], candidates[c0 + c], room + c * HIT_ROOM, found[c]);
        }
    }
}

void worker_start(Worker &w) {
    gmp.init(w.a), gmp.init(w.b), gmp.init(w.y), gmp.init(w.v);
    for (int j = 0; j < S_MAX; j++) gmp.init(w.bl[j]);
    w.delta.assign(static_cast<size_t>(st.s) * fb.size, 0);
    w.r1.assign(fb.size + 16, UINT32_MAX);
    w.r2.assign(fb.size + 16, UINT32_MAX);
    w.pos1.assign(fb.size, 0);
    w.pos2.assign(fb.size, 0);
    // A root of p hits a block at most ceil(block / p) times.
    w.bucket_room = 1;
    for (int i = fb.large_from; i < fb.size; i++) w.bucket_room += 2 * ((BLOCK + fb.prime[i] - 1) / fb.prime[i]);
    w.bucket.assign(w.bucket_room * st.blocks, 0);
    w.hits.assign(w.bucket_room + 16, 0);
    w.hit_count = 0;
    w.candidates.assign(BLOCK, 0);
    w.root_room.assign(BATCH * HIT_ROOM, 0);
    w.fill.assign(st.blocks, 0);
    w.level_fill.assign(fb.level_from.size() * st.blocks, 0);
    w.sieve_room.assign(BLOCK + SPARE + 64, 0);
    w.sieve = w.sieve_room.data() + (64 - reinterpret_cast<uintptr_t>(w.sieve_room.data()) % 64) % 64;
}

void worker_end(Worker &w) {
    gmp.clear(w.a), gmp.clear(w.b), gmp.clear(w.y), gmp.clear(w.v);
    for (int j = 0; j < S_MAX; j++) gmp.clear(w.bl[j]);
}

// Sieves A after A until the search is done. The worker `polls` (the
// calling thread) checks the key and Ctrl-C every POLL_MS; the others only
// watch the flag.
void run_worker(Worker &w, bool polls) {
    long last_poll = monotonic_ms();
    while (!st.done) {
        if (!new_a(w)) {
            st.outcome = SEARCH_EXHAUSTED;
            st.done = true;
            break;
        }
        unsigned count = 1u << (st.s - 1);
        for (unsigned i = 0; i < count && !st.done; i++) {
            if (i > 0) next_b(w, i);
            sieve_polynomial(w);
            if (i % FLUSH_EVERY == FLUSH_EVERY - 1) hand_over(w);
            if (!polls) continue;
            long now = monotonic_ms();
            if (now - last_poll >= POLL_MS) {
                last_poll = now;
                if (progress_check()) {
                    st.outcome = SEARCH_STOPPED;
                    st.done = true;
                }
            }
        }
        hand_over(w);
    }
}

// Sieves on engine_threads() threads (the caller is one of them) until
// enough relations are found: SEARCH_FOUND, SEARCH_STOPPED, or
// SEARCH_EXHAUSTED when no new A is left.
int collect_relations() {
    st.target = fb.size + 1 + EXTRA;
    st.done = false;
    st.outcome = SEARCH_FOUND;
    int threads = engine_threads();
    std::vector<Worker> workers(threads);
    for (Worker &w : workers) worker_start(w);
    std::vector<std::thread> others;
    for (int t = 1; t < threads; t++) others.emplace_back(run_worker, std::ref(workers[t]), false);
    run_worker(workers[0], true);
    for (std::thread &t : others) t.join();
    for (Worker &w : workers) worker_end(w);
    siqs_relations_kept = static_cast<long>(st.set.rels.size());
    return st.outcome;
}

// ------------------------------------------------------------- square root

bool poll_search() { return progress_check(); }

void set_words(mpz_ptr z, const uint64_t *y) {
    gmp.set_ui(z, 0);
    for (int i = Y_WORDS - 1; i >= 0; i--) {
        gmp.mul_2exp(z, z, 64);
        gmp.add_ui(z, z, static_cast<unsigned long>(y[i]));
    }
}

// X = prod y, Y = sqrt of the product of the relations' primes, large ones
// included, both mod N, over the relations of one dependency (each counted
// modulo 2); 1 with a proper divisor gcd(X - Y, N) in d.
int try_dependency(const std::vector<char> &odd, mpz_ptr d) {
    std::vector<uint32_t> exps(fb.size, 0);
    std::unordered_map<uint32_t, uint32_t> large;
    mpz_t x, y, v;
    gmp.init_set_ui(x, 1), gmp.init_set_ui(y, 1), gmp.init(v);
    for (size_t r = 0; r < odd.size(); r++) {
        if (!odd[r]) continue;
        const Relation &rel = st.set.rels[r];
        set_words(v, rel.y);
        gmp.mul(x, x, v);
        gmp.mod(x, x, st.n);
        if (rel.l1 > 1) large[rel.l1]++;
        if (rel.l2 > 1) large[rel.l2]++;
        for (int k = 0; k < rel.len; k++) exps[st.set.factors[rel.start + k]]++;
    }
    bool square = true;
    for (auto &e : large) {
        square &= e.second % 2 == 0;
        for (uint32_t i = 0; i < e.second / 2; i++) gmp.mul_ui(y, y, e.first);
        gmp.mod(y, y, st.n);
    }
    for (int i = 0; i < fb.size && square; i++) {
        square &= exps[i] % 2 == 0;
        for (uint32_t e = 0; e < exps[i] / 2; e++) {
            gmp.mul_ui(y, y, fb.prime[i]);
            if (gmp.sizeinbase(y, 2) > 2 * gmp.sizeinbase(st.n, 2)) gmp.mod(y, y, st.n);
        }
    }
    int found = 0;
    if (square) {  // otherwise a fault, never a divisor
        gmp.mod(y, y, st.n);
        gmp.sub(v, x, y);
        gmp.gcd(d, v, st.n);
        found = gmp.cmp_ui(d, 1) > 0 && gmp.cmp(d, st.n) < 0 ? 1 : 0;
    }
    gmp.clear(x), gmp.clear(y), gmp.clear(v);
    return found;
}

// The combined relations as matrix columns: row 0 the sign, row 1 + i the
// prime of index i; `members` and `offsets` list each column's relations.
void build_columns(std::vector<uint32_t> &members, std::vector<uint32_t> &offsets, SparseColumns &m) {
    relations_combine(st.set, members, offsets);
    int combos = static_cast<int>(offsets.size()) - 1;
    m.rows = fb.size + 1;
    m.entries.clear();
    m.offsets.assign(1, 0);
    std::vector<uint32_t> parity(fb.size + 1, 0), touched;
    for (int c = 0; c < combos; c++) {
        touched.clear();
        for (uint32_t k = offsets[c]; k < offsets[c + 1]; k++) {
            const Relation &rel = st.set.rels[members[k]];
            if (rel.negative) parity[0] ^= 1, touched.push_back(0);
            for (int f = 0; f < rel.len; f++) {
                uint32_t row = st.set.factors[rel.start + f] + 1;
                parity[row] ^= 1;
                touched.push_back(row);
            }
        }
        for (uint32_t row : touched)
            if (parity[row]) m.entries.push_back(row), parity[row] = 0;
        m.offsets.push_back(static_cast<uint32_t>(m.entries.size()));
    }
}

// The dependencies of the combined relations tried one by one.
int find_divisor_from_relations(mpz_srcptr n, mpz_ptr divisor_out) {
    std::vector<uint32_t> members, offsets;
    SparseColumns m;
    build_columns(members, offsets, m);
    int combos = static_cast<int>(offsets.size()) - 1;
    std::vector<uint64_t> deps;
    int words = 0, count = matrix_dependencies(m, DEPENDENCIES_MAX, deps, &words, poll_search);
    if (count < 0) return SEARCH_STOPPED;
    std::vector<char> odd;
    for (int i = 0; i < count; i++) {
        if (progress_check()) return SEARCH_STOPPED;
        odd.assign(st.set.rels.size(), 0);
        const uint64_t *set = &deps[static_cast<size_t>(i) * words];
        for (int c = 0; c < combos; c++)
            if ((set[c / 64] >> (c % 64)) & 1)
                for (uint32_t k = offsets[c]; k < offsets[c + 1]; k++) odd[members[k]] ^= 1;
        if (try_dependency(odd, divisor_out)) {
            mpz_t q, rest;
            gmp.init(q), gmp.init(rest);
            gmp.tdiv_qr(q, rest, n, divisor_out);
            bool divides = gmp.cmp_ui(rest, 0) == 0;
            gmp.clear(q), gmp.clear(rest);
            if (divides) return SEARCH_FOUND;
        }
    }
    return SEARCH_EXHAUSTED;
}

// ---------------------------------------------------------------- the search

void start_search(mpz_srcptr n) {
    static bool ready = false;
    if (!ready) {
        gmp.init(st.n), gmp.init(st.kn);
        ready = true;
    }
    gmp.set(st.n, n);
    relations_clear(st.set);
    st.used_a.clear();
    st.seed = 0x5eed5eed12345ULL;
    // sizeinbase may count one digit too many.
    int digits = static_cast<int>(floor(log10(gmp.get_d(n)))) + 1;
    int i = 0;
    while (i + 1 < PARAM_COUNT && PARAMS[i].digits < digits) i++;
    st.par = PARAMS[i];
    st.blocks = st.par.blocks < BLOCKS_MAX ? st.par.blocks : BLOCKS_MAX;
}

}  // namespace

bool siqs_vector_units = true;
long siqs_relations_kept = 0;

unsigned siqs_multiplier(mpz_srcptr n) { return choose_multiplier(n); }

// The self-initialising quadratic sieve on an odd composite n of 40 to
// SIQS_MAX_BITS bits that is not a perfect power. SEARCH_FOUND with a proper
// divisor (checked to divide n), SEARCH_STOPPED by a key or Ctrl-C, or
// SEARCH_EXHAUSTED when no dependency gives a divisor.
int siqs_search(mpz_srcptr n, mpz_ptr divisor_out) {
    if (stop_flag) return SEARCH_STOPPED;
    size_t bits = gmp.sizeinbase(n, 2);
    if (bits < 40 || bits > SIQS_MAX_BITS) return SEARCH_EXHAUSTED;
    if (gmp.perfect_power_p(n)) {
        for (unsigned long e = 2; e < bits; e++)
            if (gmp.root(divisor_out, n, e)) return SEARCH_FOUND;
    }
    start_search(n);
    st.k = choose_multiplier(n);
    gmp.mul_ui(st.kn, n, st.k);
    int size = st.par.fb_size < FB_LIMIT ? st.par.fb_size : FB_LIMIT;
    uint32_t p = build_factor_base(n, st.kn, st.k, size);
    if (p) {
        gmp.set_ui(divisor_out, p);
        return SEARCH_FOUND;
    }
    set_sieve_bounds();
    // The factor base's set-up takes tens of milliseconds at the largest
    // sizes (ten times that in a sanitizer build): a check point before the
    // sieve's own set-up and first polynomial.
    if (progress_check()) return SEARCH_STOPPED;
    int r = collect_relations();
    if (r != SEARCH_FOUND) return r;
    return find_divisor_from_relations(n, divisor_out);
}
