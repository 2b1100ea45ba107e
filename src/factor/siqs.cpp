// The self-initialising quadratic sieve for composites of about 20 to 60
// digits, run in the calculator's own process: multiplier and factor base,
// polynomials switched by Gray code, block sieving, relations with one large
// prime, elimination over GF(2) and the square root step.
#include <cmath>
#include <cstring>
#include <vector>

#include "search.h"

namespace {

typedef unsigned __int128 u128;
typedef __int128 i128;

constexpr int BLOCK = 32768;            // sieve block: the first-level data cache
constexpr int FB_MAX = 4096;            // largest factor base of the table below
constexpr int S_MAX = 12;               // most primes in one A
constexpr uint32_t PRIME_LIMIT = 1 << 17;  // the small primes: ample for FB_MAX
constexpr int EXTRA = 40;               // relations beyond the columns
constexpr int HASH_BITS = 17;           // table of the partial relations' large primes
constexpr uint32_t SMALL_SKIP = 30;     // primes below are trial divided, not sieved
constexpr long POLL_MS = 5;             // least time between two check points
constexpr int A_TRIES = 400;            // attempts to find an A not used before
constexpr int FACTORS_MAX = 120;        // prime factors of one relation
constexpr int DEPENDENCIES_MAX = 64;    // dependencies tried for a divisor

// Sieve parameters by the digits of the number: factor base size, sieve
// blocks over [-M, M), the large prime bound as a multiple of the largest
// factor-base prime, and the bits the threshold is lowered for the small
// primes not sieved and for rounded logarithms.
struct Params {
    int digits;
    int fb_size;
    int blocks;
    int lp_mult;
    int fudge;
};
const Params PARAMS[] = {
    {20, 100, 1, 30, 4},   {25, 150, 1, 30, 4},   {30, 220, 1, 40, 4},   {35, 400, 2, 50, 4},
    {40, 700, 2, 60, 4},   {45, 1100, 4, 70, 4},  {50, 1700, 4, 80, 4},  {55, 2400, 6, 90, 4},
    {60, 3200, 8, 100, 4}, {70, 4000, 10, 120, 4},
};
constexpr int PARAM_COUNT = sizeof PARAMS / sizeof PARAMS[0];

struct FactorBase {
    int size;
    uint32_t prime[FB_MAX];
    uint32_t root[FB_MAX];   // sqrt(kN) mod p
    uint64_t magic[FB_MAX];  // 2^64 / p rounded up, for remainders by multiplication
    uint8_t logp[FB_MAX];
    int sieve_from;          // first index with p >= SMALL_SKIP
};

// One A with its B_l terms and, per prime, A^-1, the root steps 2 B_l / A
// and the current polynomial's roots as positions in the sieve interval.
struct Poly {
    int s;
    int q_index[S_MAX];
    u128 a;
    i128 b, c;
    i128 bl[S_MAX];
    uint32_t delta[S_MAX][FB_MAX];
    uint32_t r1[FB_MAX], r2[FB_MAX];  // UINT32_MAX for the primes of A
};

// A relation (y1 y2)^2 = large^2 * prod of the listed primes (mod N), the
// sign of the product in `negative`; y2 and large are 1 for a full one.
struct Relation {
    u128 y1, y2;
    uint32_t large;
    uint32_t start;
    uint16_t len;
    bool negative;
};

struct Search {
    mpz_t n, kn, t1, t2, t3;
    unsigned k;
    Params par;
    long m;  // half the sieve interval
    uint32_t lp_bound;
    uint8_t init;  // start value of the sieve bytes: 128 - threshold
    double a_bits;
    int a_lo, a_hi;  // index range the primes of A are drawn from
    uint64_t seed;
    long polynomials;
    int target;  // relations wanted
    std::vector<Relation> fulls, partials;
    std::vector<uint32_t> pool;
    std::vector<u128> used_a;
    std::vector<int32_t> hash;
};

FactorBase fb;
Poly poly;
Search st;
uint8_t sieve[BLOCK] __attribute__((aligned(64)));
uint32_t pos1[FB_MAX], pos2[FB_MAX];
uint32_t small_primes[13000];
int small_count;

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
    return static_cast<uint32_t>((static_cast<u128>(low) * p) >> 64);
}

void set_u128(mpz_ptr z, u128 v) {
    gmp.set_ui(z, static_cast<unsigned long>(v >> 64));
    gmp.mul_2exp(z, z, 64);
    gmp.add_ui(z, z, static_cast<unsigned long>(v));
}

// The value of z when |z| < 2^127 (two limbs of 64 bits at most).
i128 get_i128(mpz_srcptr z) {
    int size = z->_mp_size, limbs = size < 0 ? -size : size;
    u128 v = 0;
    if (limbs > 0) v = z->_mp_d[0];
    if (limbs > 1) v |= static_cast<u128>(z->_mp_d[1]) << 64;
    return size < 0 ? -static_cast<i128>(v) : static_cast<i128>(v);
}

void make_small_primes() {
    if (small_count) return;
    static bool composite[PRIME_LIMIT];
    for (uint32_t i = 2; i < PRIME_LIMIT; i++) {
        if (composite[i]) continue;
        small_primes[small_count++] = i;
        for (uint64_t j = static_cast<uint64_t>(i) * i; j < PRIME_LIMIT; j += i) composite[j] = true;
    }
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
        for (int i = 1; i < small_count && small_primes[i] < 1000; i++) {
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
    if (gmp.fdiv_ui(n, 2) == 0) return 2;
    fb.size = 0;
    fb.sieve_from = -1;
    for (int i = 0; i < small_count && fb.size < size; i++) {
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
        fb.logp[j] = static_cast<uint8_t>(lround(log2(static_cast<double>(p))));
        if (fb.sieve_from < 0 && p >= SMALL_SKIP) fb.sieve_from = j;
    }
    if (fb.sieve_from < 0) fb.sieve_from = fb.size;
    return 0;
}

// Sieve interval, threshold, large prime bound and the range of primes A is
// made of, from the parameters and the size of kN.
void set_sieve_bounds() {
    double kn_bits = log2(gmp.get_d(st.kn));
    st.m = static_cast<long>(st.par.blocks) * BLOCK / 2;
    uint32_t pmax = fb.prime[fb.size - 1];
    uint64_t lp = static_cast<uint64_t>(pmax) * st.par.lp_mult;
    uint64_t square = static_cast<uint64_t>(pmax) * pmax;
    st.lp_bound = static_cast<uint32_t>(lp < square ? lp : square - 1);
    double q_bits = log2(static_cast<double>(st.m)) + kn_bits / 2 - 0.5;
    double threshold = q_bits - log2(static_cast<double>(st.lp_bound)) - st.par.fudge;
    if (threshold < 10) threshold = 10;
    st.init = static_cast<uint8_t>(128 - lround(threshold));
    // A near sqrt(2 kN) / M, from s primes a little below the largest.
    st.a_bits = (kn_bits + 1) / 2 - log2(static_cast<double>(st.m));
    double top = log2(static_cast<double>(pmax)) - 1;
    int s = static_cast<int>(ceil(st.a_bits / top));
    if (s < 1) s = 1;
    if (s > S_MAX) s = S_MAX;
    poly.s = s;
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

bool usable_in_a(int i, int taken) {
    if (fb.root[i] == 0 || i < fb.sieve_from) return false;  // primes of k
    for (int j = 0; j < taken; j++)
        if (poly.q_index[j] == i) return false;
    return true;
}

// Draws s - 1 primes of A at random from the range and the last one to bring
// the product nearest the ideal size; false when the A was used before.
bool draw_a() {
    int s = poly.s;
    double bits = 0;
    for (int j = 0; j < s - 1; j++) {
        int i, tries = 0;
        do i = st.a_lo + static_cast<int>(next_random() % (st.a_hi - st.a_lo + 1));
        while (!usable_in_a(i, j) && ++tries < 100);
        if (!usable_in_a(i, j)) return false;
        poly.q_index[j] = i;
        bits += log2(static_cast<double>(fb.prime[i]));
    }
    double want = st.a_bits - bits;
    int best = -1;
    double best_gap = 1e30;
    for (int i = fb.sieve_from; i < fb.size; i++) {
        double gap = fabs(log2(static_cast<double>(fb.prime[i])) - want);
        if (gap < best_gap && usable_in_a(i, s - 1)) best_gap = gap, best = i;
    }
    if (best < 0) return false;
    poly.q_index[s - 1] = best;
    u128 a = 1;
    for (int j = 0; j < s; j++) a *= fb.prime[poly.q_index[j]];
    for (u128 used : st.used_a)
        if (used == a) return false;
    st.used_a.push_back(a);
    poly.a = a;
    return true;
}

// C = (B^2 - kN) / A of the current A and B.
void compute_c() {
    set_u128(st.t1, static_cast<u128>(poly.b < 0 ? -poly.b : poly.b));
    gmp.mul(st.t1, st.t1, st.t1);
    gmp.sub(st.t1, st.t1, st.kn);
    set_u128(st.t2, poly.a);
    gmp.divexact(st.t3, st.t1, st.t2);
    poly.c = get_i128(st.t3);
}

// Roots and root steps of every prime for a new A and its first B.
void init_roots(const uint32_t *gamma) {
    int s = poly.s;
    for (int i = 1; i < fb.size; i++) {
        uint32_t p = fb.prime[i];
        poly.r1[i] = poly.r2[i] = UINT32_MAX;
        bool in_a = false;
        for (int j = 0; j < s; j++) in_a |= poly.q_index[j] == i;
        if (in_a) continue;
        uint32_t qm[S_MAX], amod = 1 % p;
        for (int j = 0; j < s; j++) {
            qm[j] = fb.prime[poly.q_index[j]] % p;
            amod = mul_mod(amod, qm[j], p);
        }
        uint32_t ainv = inverse_mod(amod, p), bmod = 0;
        for (int j = 0; j < s; j++) {
            uint32_t bj = gamma[j] % p;
            for (int l = 0; l < s; l++)
                if (l != j) bj = mul_mod(bj, qm[l], p);
            bmod = (bmod + bj) % p;
            poly.delta[j][i] = mul_mod(2 * bj % p, ainv, p);
        }
        uint32_t t = fb.root[i], mm = static_cast<uint32_t>(st.m % p);
        uint32_t x1 = mul_mod(ainv, (t + p - bmod) % p, p);
        uint32_t x2 = mul_mod(ainv, (2 * p - t - bmod) % p, p);
        poly.r1[i] = (x1 + mm) % p;
        poly.r2[i] = (x2 + mm) % p;
    }
}

// A new A, its B_l and the first polynomial; false when none is found.
bool new_a() {
    int tries = 0;
    while (!draw_a())
        if (++tries >= A_TRIES) return false;
    uint32_t gamma[S_MAX];
    poly.b = 0;
    for (int j = 0; j < poly.s; j++) {
        uint32_t q = fb.prime[poly.q_index[j]];
        u128 a_q = poly.a / q;
        uint32_t g = mul_mod(fb.root[poly.q_index[j]], inverse_mod(static_cast<uint32_t>(a_q % q), q), q);
        if (2 * g > q) g = q - g;
        gamma[j] = g;
        poly.bl[j] = static_cast<i128>(a_q * g);
        poly.b += poly.bl[j];
    }
    init_roots(gamma);
    compute_c();
    return true;
}

// Polynomial i (1 <= i < 2^(s-1)) of the current A from polynomial i - 1:
// one B_l changes sign, and every root moves by the step of that B_l.
void next_b(unsigned i) {
    int v = __builtin_ctz(i);
    bool minus = ((i ^ (i >> 1)) >> v) & 1;
    poly.b += minus ? -2 * poly.bl[v] : 2 * poly.bl[v];
    const uint32_t *d = poly.delta[v];
    for (int k = 1; k < fb.size; k++) {
        if (poly.r1[k] == UINT32_MAX) continue;
        uint32_t p = fb.prime[k], dk = d[k];
        if (minus) {
            uint32_t a = poly.r1[k] + dk, b = poly.r2[k] + dk;
            poly.r1[k] = a >= p ? a - p : a;
            poly.r2[k] = b >= p ? b - p : b;
        } else {
            poly.r1[k] = poly.r1[k] >= dk ? poly.r1[k] - dk : poly.r1[k] + p - dk;
            poly.r2[k] = poly.r2[k] >= dk ? poly.r2[k] - dk : poly.r2[k] + p - dk;
        }
    }
    compute_c();
}

// ---------------------------------------------------------------- relations

// Divides every power of p out of v, listing the index each time.
inline void divide_out(u128 *v, uint32_t p, int index, uint32_t *list, int *count) {
    while (*count < FACTORS_MAX) {
        if ((*v >> 64) == 0) {
            uint64_t w = static_cast<uint64_t>(*v);
            if (w % p) return;
            *v = w / p;
        } else {
            if (*v % p) return;
            *v /= p;
        }
        list[(*count)++] = static_cast<uint32_t>(index);
    }
}

void add_full(u128 y1, u128 y2, uint32_t large, bool negative, const uint32_t *a, int na, const uint32_t *b, int nb) {
    Relation r = {y1, y2, large, static_cast<uint32_t>(st.pool.size()), static_cast<uint16_t>(na + nb), negative};
    st.pool.insert(st.pool.end(), a, a + na);
    st.pool.insert(st.pool.end(), b, b + nb);
    st.fulls.push_back(r);
}

// A relation with one large prime: paired with the first one kept with the
// same prime into a full relation, or kept itself.
void add_partial(u128 y, uint32_t large, bool negative, const uint32_t *list, int count) {
    uint32_t mask = (1u << HASH_BITS) - 1, h = (large * 2654435761u) & mask;
    for (; st.hash[h] >= 0; h = (h + 1) & mask) {
        const Relation &o = st.partials[st.hash[h]];
        if (o.large != large) continue;
        if (o.y1 == y) return;  // the same relation again: nothing new
        add_full(o.y1, y, large, o.negative != negative, &st.pool[o.start], o.len, list, count);
        return;
    }
    if (st.partials.size() >= (1u << HASH_BITS) / 2) return;
    st.hash[h] = static_cast<int32_t>(st.partials.size());
    Relation r = {y, 1, large, static_cast<uint32_t>(st.pool.size()), static_cast<uint16_t>(count), negative};
    st.pool.insert(st.pool.end(), list, list + count);
    st.partials.push_back(r);
}

// Trial divides Q(x) at sieve position j (x = j - M) by the primes of A, 2
// and the factor-base primes whose roots hit j, and keeps what is smooth
// up to one large prime.
void check_candidate(uint32_t j) {
    i128 x = static_cast<i128>(j) - st.m;
    i128 ax = static_cast<i128>(poly.a) * x;
    i128 q = (ax + 2 * poly.b) * x + poly.c;
    i128 y = ax + poly.b;
    if (q == 0) return;
    bool negative = q < 0;
    u128 v = static_cast<u128>(negative ? -q : q);
    uint32_t list[FACTORS_MAX];
    int count = 0;
    for (int l = 0; l < poly.s; l++) list[count++] = static_cast<uint32_t>(poly.q_index[l]);
    int twos = __builtin_ctzll(static_cast<uint64_t>(v) | (1ULL << 63));
    while (twos-- > 0 && count < FACTORS_MAX) v >>= 1, list[count++] = 0;
    for (int l = 0; l < poly.s; l++) divide_out(&v, fb.prime[poly.q_index[l]], poly.q_index[l], list, &count);
    for (int i = 1; i < fb.size; i++) {
        uint32_t p = fb.prime[i], r = fast_mod(j, fb.magic[i], p);
        if (r != poly.r1[i] && r != poly.r2[i]) continue;
        divide_out(&v, p, i, list, &count);
    }
    if (count >= FACTORS_MAX) return;
    u128 ya = static_cast<u128>(y < 0 ? -y : y);
    if (v == 1) add_full(ya, 1, 1, negative, list, count, nullptr, 0);
    else if (v < st.lp_bound) add_partial(ya, static_cast<uint32_t>(v), negative, list, count);
}

// Sieves the current polynomial block by block and checks every position
// whose logarithm sum reaches the threshold.
void sieve_polynomial() {
    for (int i = fb.sieve_from; i < fb.size; i++) pos1[i] = poly.r1[i], pos2[i] = poly.r2[i];
    for (int block = 0; block < st.par.blocks; block++) {
        memset(sieve, st.init, BLOCK);
        for (int i = fb.sieve_from; i < fb.size; i++) {
            if (poly.r1[i] == UINT32_MAX) continue;
            uint32_t p = fb.prime[i], a = pos1[i], b = pos2[i];
            uint8_t lg = fb.logp[i];
            for (; a < BLOCK; a += p) sieve[a] += lg;
            if (poly.r1[i] != poly.r2[i])
                for (; b < BLOCK; b += p) sieve[b] += lg;
            else b = a;
            pos1[i] = a - BLOCK;
            pos2[i] = b - BLOCK;
        }
        uint32_t base = static_cast<uint32_t>(block) * BLOCK;
        for (int w = 0; w < BLOCK; w += 8) {
            uint64_t word;
            memcpy(&word, sieve + w, 8);
            if (!(word & 0x8080808080808080ULL)) continue;
            for (int b = 0; b < 8; b++)
                if (sieve[w + b] & 0x80) check_candidate(base + w + b);
        }
    }
}

// ----------------------------------------------------------- linear algebra

// Gaussian elimination over GF(2) on the exponent parities of the full
// relations, each row carrying the set of relations combined into it. Rows
// left without a pivot are dependencies; their relation sets go to `deps`
// (at most DEPENDENCIES_MAX of them, words_out words each). Returns the
// count, or -1 when the search was stopped meanwhile.
int find_dependencies(std::vector<uint64_t> &deps, int *words_out) {
    int rows = static_cast<int>(st.fulls.size()), cols = fb.size + 1;
    int w1 = (cols + 63) / 64, w2 = (rows + 63) / 64, w = w1 + w2;
    static std::vector<uint64_t> mat;  // kept: its room serves the next search
    mat.assign(static_cast<size_t>(rows) * w, 0);
    for (int r = 0; r < rows; r++) {
        uint64_t *row = &mat[static_cast<size_t>(r) * w];
        const Relation &rel = st.fulls[r];
        if (rel.negative) row[0] ^= 1;
        for (int k = 0; k < rel.len; k++) {
            uint32_t c = st.pool[rel.start + k] + 1;
            row[c / 64] ^= 1ULL << (c % 64);
        }
        row[w1 + r / 64] |= 1ULL << (r % 64);
    }
    static std::vector<char> pivot;
    pivot.assign(rows, 0);
    long last_poll = monotonic_ms();
    for (int c = 0; c < cols; c++) {
        if (c % 32 == 0 && monotonic_ms() - last_poll >= POLL_MS) {
            last_poll = monotonic_ms();
            if (progress_check()) return -1;
        }
        int cw = c / 64;
        uint64_t bit = 1ULL << (c % 64);
        int p = -1;
        for (int r = 0; r < rows && p < 0; r++)
            if (!pivot[r] && (mat[static_cast<size_t>(r) * w + cw] & bit)) p = r;
        if (p < 0) continue;
        pivot[p] = 1;
        const uint64_t *prow = &mat[static_cast<size_t>(p) * w];
        for (int r = 0; r < rows; r++) {
            uint64_t *row = &mat[static_cast<size_t>(r) * w];
            if (pivot[r] || !(row[cw] & bit)) continue;
            for (int k = cw; k < w; k++) row[k] ^= prow[k];
        }
    }
    int found = 0;
    deps.clear();
    for (int r = 0; r < rows && found < DEPENDENCIES_MAX; r++) {
        if (pivot[r]) continue;
        const uint64_t *row = &mat[static_cast<size_t>(r) * w];
        deps.insert(deps.end(), row + w1, row + w);
        found++;
    }
    *words_out = w2;
    return found;
}

// X = prod (y1 y2), Y = sqrt of the product of the relations' prime
// factors, times their large primes, both mod N, for one dependency; 1 with
// a proper divisor gcd(X - Y, N) in d.
int try_dependency(const uint64_t *set, std::vector<uint32_t> &exps, mpz_ptr d) {
    exps.assign(fb.size, 0);
    mpz_ptr x = st.t1, y = st.t2, v = st.t3;
    gmp.set_ui(x, 1);
    gmp.set_ui(y, 1);
    int rows = static_cast<int>(st.fulls.size());
    for (int r = 0; r < rows; r++) {
        if (!((set[r / 64] >> (r % 64)) & 1)) continue;
        const Relation &rel = st.fulls[r];
        set_u128(v, rel.y1);
        gmp.mul(x, x, v);
        set_u128(v, rel.y2);
        gmp.mul(x, x, v);
        gmp.mod(x, x, st.n);
        gmp.mul_ui(y, y, rel.large);
        for (int k = 0; k < rel.len; k++) exps[st.pool[rel.start + k]]++;
    }
    for (int i = 0; i < fb.size; i++) {
        if (exps[i] % 2) return 0;  // not a square: a fault, never a divisor
        for (uint32_t e = 0; e < exps[i] / 2; e++) {
            gmp.mul_ui(y, y, fb.prime[i]);
            if (gmp.sizeinbase(y, 2) > 2 * gmp.sizeinbase(st.n, 2)) gmp.mod(y, y, st.n);
        }
    }
    gmp.mod(y, y, st.n);
    gmp.sub(v, x, y);
    gmp.gcd(d, v, st.n);
    return gmp.cmp_ui(d, 1) > 0 && gmp.cmp(d, st.n) < 0 ? 1 : 0;
}

// ---------------------------------------------------------------- the search

void start_search(mpz_srcptr n) {
    static bool ready = false;
    if (!ready) {
        gmp.init(st.n), gmp.init(st.kn), gmp.init(st.t1), gmp.init(st.t2), gmp.init(st.t3);
        st.hash.assign(1u << HASH_BITS, -1);
        ready = true;
    }
    gmp.set(st.n, n);
    st.fulls.clear();
    st.partials.clear();
    st.pool.clear();
    st.used_a.clear();
    std::fill(st.hash.begin(), st.hash.end(), -1);
    st.seed = 0x5eed5eed12345ULL;
    st.polynomials = 0;
    int digits = static_cast<int>(gmp.sizeinbase(n, 10));
    int i = 0;
    while (i + 1 < PARAM_COUNT && PARAMS[i].digits < digits) i++;
    st.par = PARAMS[i];
}

// Sieves polynomial after polynomial until enough relations are found:
// SEARCH_FOUND, SEARCH_STOPPED, or SEARCH_EXHAUSTED when no new A is left.
int collect_relations() {
    long last_poll = monotonic_ms();
    st.target = fb.size + 1 + EXTRA;
    while (static_cast<int>(st.fulls.size()) < st.target) {
        if (!new_a()) return SEARCH_EXHAUSTED;
        unsigned count = 1u << (poly.s - 1);
        for (unsigned i = 0; i < count && static_cast<int>(st.fulls.size()) < st.target; i++) {
            if (i > 0) next_b(i);
            sieve_polynomial();
            st.polynomials++;
            long now = monotonic_ms();
            if (now - last_poll >= POLL_MS) {
                last_poll = now;
                if (progress_check()) return SEARCH_STOPPED;
            }
        }
    }
    return SEARCH_FOUND;
}

}  // namespace

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
    uint32_t p = build_factor_base(n, st.kn, st.k, st.par.fb_size);
    if (p) {
        gmp.set_ui(divisor_out, p);
        return SEARCH_FOUND;
    }
    set_sieve_bounds();
    int r = collect_relations();
    if (r != SEARCH_FOUND) return r;
    static std::vector<uint64_t> deps;
    static std::vector<uint32_t> exps;
    int words = 0, count = find_dependencies(deps, &words);
    if (count < 0) return SEARCH_STOPPED;
    for (int i = 0; i < count; i++) {
        if (progress_check()) return SEARCH_STOPPED;
        if (try_dependency(&deps[static_cast<size_t>(i) * words], exps, divisor_out)) {
            mpz_ptr q = st.t1, rest = st.t2;
            gmp.tdiv_qr(q, rest, n, divisor_out);
            if (gmp.cmp_ui(rest, 0) == 0) return SEARCH_FOUND;
        }
    }
    return SEARCH_EXHAUSTED;
}
