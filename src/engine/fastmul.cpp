// Fast multiplication of base-100000000 limb vectors: column-wise schoolbook,
// Karatsuba, and number-theoretic transforms modulo two or three primes
// near 2^62 (two or three limbs a coefficient) joined by Chinese
// remaindering; product trees and powers built on top of them.
#include "fastmul.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "limbs.h"
#include "ntt_vector.h"
#include "scratch.h"
#include "threads.h"

namespace {

constexpr uint64_t BASE = 100000000;

// ------------------------------------------------------------ scratch space

// Karatsuba only ever runs on operands shorter than the transform
// thresholds, at most KARATSUBA_MAX_LIMBS (set_thresholds), so its scratch
// has a fixed size in every context: 4h + 4 limbs per level for halves of h
// limbs, then the product of one slice and the padded top slice.
constexpr int KARA_SCRATCH = 8 * KARATSUBA_MAX_LIMBS + 512;
constexpr int CHUNK_PRODUCT = 2 * KARATSUBA_MAX_LIMBS + 8;
constexpr int CHUNK_PADDED = KARATSUBA_MAX_LIMBS + 8;
constexpr size_t KARA_WORDS = size_t(KARA_SCRATCH + CHUNK_PRODUCT + CHUNK_PADDED);

// Largest product the reserved block takes, in limbs (the block needs 43 to
// 70 bytes a limb). The primes would allow longer transforms; the presets
// never need them (56 million digits make 7 million limbs).
constexpr int MAX_PRODUCT_LIMBS = 1 << 23;

// -------------------------------------------------------- modular arithmetic

using u128 = unsigned __int128;

// Three primes p = c * 2^k + 1 just below 2^62 with k >= 26, each listed
// with a primitive root g. Below 2^62 keeps 4p below 2^64, so the lazy
// butterflies can hold residues in [0, 4p) without overflow; k >= 26 allows
// every transform length up to 2^26 (the reserve needs at most 2^22).
constexpr uint64_t PRIME[3] = {0x3ffffff960000001u, 0x3ffffffe08000001u, 0x3fffffffcc000001u};
constexpr uint64_t GENERATOR[3] = {7, 6, 5};
constexpr int PRIME_LOG2 = 26;
constexpr u128 P01 = u128(PRIME[0]) * PRIME[1];
static_assert(PRIME[0] < PRIME[1] && PRIME[1] < PRIME[2], "recombine reduces x0 < p0 modulo p1 and p2 as it is");

struct Field {
    uint64_t p;
    uint64_t pinv;  // p^-1 mod 2^64
    uint64_t r1;    // 2^64 mod p: one in Montgomery form
    uint64_t r2;    // 2^128 mod p
    uint64_t ten16;  // 10^16 in Montgomery form
    uint64_t scale[PRIME_LOG2 + 1][2];  // 2^64 / 2^l mod p, Shoup pair (see recombine)
    uint64_t *rt;    // forward roots as pairs (w, w'), tables_len / 2 of them
    uint64_t *irt;   // their inverses, as many (see build_roots)
};
Field field[3];

// Constants of the Chinese remaindering (see recombine), set with the fields.
// Each factor is a Shoup pair (value, quotient).
struct Garner {
    uint64_t inv01[2];       // p0^-1 mod p1
    uint64_t p0_mod_p2[2];   // p0 mod p2
    uint64_t inv012[2];      // (p0 p1)^-1 mod p2
    uint64_t p0_digits[3];   // p0 in base-10^8 digits, least significant first
    uint64_t p01_digits[5];  // p0 p1 likewise
};
Garner garner;

// Montgomery product x * y / 2^64 mod p, in (0, 2p). Any x below 2^64 with y
// below p, or any pair with x * y < p * 2^64: then x * y - m * p is an exact
// multiple of 2^64 (m makes the low words equal) of magnitude below p * 2^64.
inline uint64_t mont(uint64_t x, uint64_t y, uint64_t p, uint64_t pinv) {
    u128 t = u128(x) * y;
    uint64_t m = uint64_t(t) * pinv;
    uint64_t h = uint64_t((u128(m) * p) >> 64);
    return uint64_t(t >> 64) - h + p;
}

// x * w mod p in [0, 2p) for any x below 2^64 and a constant w < p given
// with w' = floor(w * 2^64 / p): the quotient estimate hi(x w') falls short
// of x w / p by less than 2. Two of its three products keep only the low
// word, which makes it cheaper than mont where w is known ahead.
inline uint64_t shoup(uint64_t x, uint64_t w, uint64_t wq, uint64_t p) {
    uint64_t q = uint64_t((u128(x) * wq) >> 64);
    return x * w - q * p;
}

// Smallest l with 2^l >= n.
int log2_of(size_t n) {
    int l = 0;
    while ((size_t(1) << l) < n) l++;
    return l;
}

// Whether the butterflies and pointwise products run eight lanes at a time
// (ntt_vector.h): set once the fields are made, when the processor has the
// vector instructions; fastmul_use_vectors turns it off for tests.
bool vectors = false;

// x in [0, 2b) reduced to [0, b). Written as a minimum (x - b wraps above x
// when x < b) so that compilers pick a conditional move: the outcome is a
// coin toss that a branch would mispredict half the time.
inline uint64_t below(uint64_t x, uint64_t b) {
    uint64_t y = x - b;
    return y < x ? y : x;
}

uint64_t mul_mod(uint64_t a, uint64_t b, uint64_t p) { return uint64_t(u128(a) * b % p); }

uint64_t pow_mod(uint64_t b, uint64_t e, uint64_t p) {
    uint64_t r = 1;
    b %= p;
    while (e) {
        if (e & 1) r = mul_mod(r, b, p);
        b = mul_mod(b, b, p);
        e >>= 1;
    }
    return r;
}

// x in Montgomery form: x * 2^64 mod p.
uint64_t to_mont(uint64_t x, const Field &f) { return uint64_t((u128(x % f.p) << 64) % f.p); }

// w' = floor(w * 2^64 / p) for w < p, without a division: w * 2^64 - m with
// m = w * 2^64 mod p (w's Montgomery form) is an exact multiple of p, so
// its quotient is that number's low word, -m, times p^-1 mod 2^64.
inline uint64_t shoup_quotient(uint64_t w, const Field &f) {
    uint64_t m = below(mont(w, f.r2, f.p, f.pinv), f.p);
    return 0 - m * f.pinv;
}

void init_fields() {
    vectors = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    for (int k = 0; k < 3; k++) {
        Field &f = field[k];
        uint64_t p = PRIME[k];
        uint64_t inv = p;  // Newton iteration: each step doubles the correct low bits
        for (int i = 0; i < 6; i++) inv *= 2 - p * inv;
        f.p = p;
        f.pinv = inv;
        f.r1 = uint64_t((u128(1) << 64) % p);
        f.r2 = mul_mod(f.r1, f.r1, p);
        f.ten16 = to_mont(BASE * BASE, f);
        // The inverse transform leaves n c 2^-64 for a coefficient c; a
        // product with 2^64 / n removes both factors.
        const uint64_t half = (p + 1) / 2;
        uint64_t v = f.r1;
        for (int l = 0; l <= PRIME_LOG2; l++) {
            f.scale[l][0] = v;
            f.scale[l][1] = shoup_quotient(v, f);
            v = mul_mod(v, half, p);
        }
    }
    const uint64_t p0 = PRIME[0], p1 = PRIME[1], p2 = PRIME[2];
    auto pair = [](uint64_t *to, uint64_t v, const Field &f) {
        to[0] = v;
        to[1] = shoup_quotient(v, f);
    };
    pair(garner.inv01, pow_mod(p0, p1 - 2, p1), field[1]);
    pair(garner.p0_mod_p2, p0 % p2, field[2]);
    pair(garner.inv012, pow_mod(mul_mod(p0 % p2, p1 % p2, p2), p2 - 2, p2), field[2]);
    u128 v = P01;
    for (int j = 0; j < 5; j++) {
        garner.p01_digits[j] = uint64_t(v % BASE);
        v /= BASE;
    }
    v = p0;
    for (int j = 0; j < 3; j++) {
        garner.p0_digits[j] = uint64_t(v % BASE);
        v /= BASE;
    }
}

// Root j (the pair rt[2j], rt[2j + 1]) for j >= 1 with 2^(L-1) <= j < 2^L is
// w^rev(j), w a primitive 2^(L+1)-th root of unity and rev(j) the L low bits
// of j reversed; root 0 is 1. Splitting a block that holds a polynomial
// modulo x^(2h) - r^2 (r = root j) leaves x^h - r and x^h + r, which are
// x^h - (root 2j)^2 and x^h - (root 2j + 1)^2, so one table, indexed by the
// block's number within its level, serves every transform length. Since rev
// gains a low bit from the top bit of j, root j + 2^(L-1) = root j * w for
// j < 2^(L-1); that fills each level from the one before. Roots are plain
// residues below p, each followed by its Shoup quotient; built up to the
// length asked for on first need (long transforms of a precision are often
// never used).
// The tables are shared by every context: they are only extended, under a
// lock, and entries once written never change, so readers need no lock.
std::mutex roots_lock;
std::atomic<size_t> roots_len{0};
size_t tables_len = 0;  // words of each rt and irt, pairs for half as many roots (reserve_tables)
void *tables_block = nullptr;

// Fills field f's table of roots from `have` pairs (0: not started) up to
// `need`, a power of two.
void fill_roots(Field &f, size_t have, size_t need) {
    const uint64_t p = f.p;
    uint64_t *t = f.rt;
    if (have == 0) {
        t[0] = 1;
        t[1] = shoup_quotient(1, f);
    }
    for (size_t half = 1; half < need; half <<= 1) {
        if (half < have) continue;
        int L = log2_of(half) + 1;  // fills [2^(L-1), 2^L)
        uint64_t w = pow_mod(GENERATOR[&f - field], (p - 1) >> (L + 1), p);
        uint64_t wq = shoup_quotient(w, f);
        for (size_t j = 0; j < half; j++) {
            uint64_t x = below(shoup(t[2 * j], w, wq, p), p);
            t[2 * (half + j)] = x;
            t[2 * (half + j) + 1] = shoup_quotient(x, f);
        }
    }
}

// Fills field f's inverse roots from its roots, over the same range. Root
// j of level L (2^(L-1) <= j < 2^L) is w^e with e = rev(j) odd, w of order
// 2^(L+1); its inverse w^-e = -w^(2^L - e), and 2^L - e = rev(j') for
// j' = 3 2^(L-1) - 1 - j, the same level read backwards. So the inverse is
// p - root j', whose Shoup quotient floor((p - x) 2^64 / p) is the
// complement of x's (x 2^64 / p is never whole): no product at all.
void invert_roots(Field &f, size_t have, size_t need) {
    const uint64_t p = f.p;
    if (have == 0) {
        f.irt[0] = 1;
        f.irt[1] = shoup_quotient(1, f);
    }
    for (size_t half = 1; half < need; half <<= 1) {
        if (half < have) continue;
        for (size_t j = half; j < 2 * half; j++) {
            size_t k = 3 * half - 1 - j;
            f.irt[2 * j] = p - f.rt[2 * k];
            f.irt[2 * j + 1] = ~f.rt[2 * k + 1];
        }
    }
}

// Transforms from this length on have the engine's blocks use large pages
// (see use_large_pages): at 10^6 digits and more their first touches of the
// buffers cost less so, at 10^5 the wider zeroing would cost more.
constexpr size_t LARGE_PAGES_LEN = size_t(1) << 16;

constexpr size_t ROOTS_TEAM_PAIRS = size_t(1) << 13;  // shorter extensions stay on the caller

// The tables of the three fields shared out over a team: the roots, then
// (a second run) their inverses.
struct RootsJob {
    size_t have, need;
    int members;
    bool inverse;
};

void roots_member(void *arg, int member) {
    const RootsJob &j = *static_cast<const RootsJob *>(arg);
    for (int t = member; t < 3; t += j.members) {
        if (j.inverse) invert_roots(field[t], j.have, j.need);
        else fill_roots(field[t], j.have, j.need);
    }
}

// Makes the tables hold `need` roots of each level (rounded up to a power
// of two). With a team of cx (members > 1, its workers idle) a long
// extension is filled on it: a long product's first transform of a new
// length otherwise spends a sixth of its time here, mostly on the system's
// zeroing of the tables' fresh pages.
void build_roots(size_t need, Context *cx = nullptr, int members = 1) {
    if (need <= roots_len.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> hold(roots_lock);
    size_t have = roots_len.load(std::memory_order_relaxed);
    if (need <= have) return;
    size_t whole = 1;
    while (whole < need) whole <<= 1;
    need = whole;
    assert(2 * need <= tables_len);
    RootsJob j{have, need, 1, false};
    bool team = cx && members > 1 && need - have >= ROOTS_TEAM_PAIRS;
    if (team) j.members = members;
    for (bool inverse : {false, true}) {
        j.inverse = inverse;
        if (team) team_run(cx->team_first, members, roots_member, &j);
        else roots_member(&j, 0);
    }
    roots_len.store(need, std::memory_order_release);
}

// Makes the shared tables hold transforms of length len: the fields once,
// and root tables of len words per prime and direction. Called while one
// thread runs (start-up); a longer table replaces the shorter one.
Status reserve_tables(size_t len) {
    std::lock_guard<std::mutex> hold(roots_lock);
    if (field[0].p == 0) init_fields();
    if (len <= tables_len) return STATUS_OK;
    size_t bytes = 6 * len * sizeof(uint64_t);
    void *p = map_zeroed(bytes);
    if (!p) return STATUS_NO_ROOM;
    if (tables_block) unmap_block(tables_block, 6 * tables_len * sizeof(uint64_t));
    tables_block = p;
    uint64_t *w = static_cast<uint64_t *>(p);
    for (Field &f : field) {
        f.rt = w;
        f.irt = w + len;
        w += 2 * len;
    }
    tables_len = len;
    roots_len.store(0, std::memory_order_release);  // the tables moved
    return STATUS_OK;
}

// ------------------------------------------------------------- transforms
//
// The forward transform takes the coefficients of a polynomial modulo
// x^n - 1 (n a power of two) to its values at the n-th roots of unity, in
// bit-reversed order: each level splits every block modulo x^(2h) - r^2
// into its residues modulo x^h - r and x^h + r, r = root (block number).
// Values are kept lazily in [0, 4p); the inverse runs the same steps
// backwards with values in [0, 2p) and leaves the coefficients times n. Two
// levels are done per pass over the data (radix 4), and long blocks are
// transformed depth first so that from some length on everything runs in
// cache.

constexpr size_t LEAF = 1 << 12;  // blocks of 32 KB run level by level in L1

// One level on a block of 2h values: (u, v) -> (u + r v, u - r v), r = w[0]
// with its quotient w[1]; the butterflies j0 <= j < j1 of it (the _part
// forms let the members of a team share one level of a long block).
inline void fwd2_part(uint64_t *a, size_t h, const uint64_t *w, uint64_t p, size_t j0, size_t j1) {
    const uint64_t p2 = 2 * p, r = w[0], rq = w[1];
    size_t j = j0;
    if (vectors) {
        j = j1 - (j1 - j0) % 8;
        ntt_vector::fwd2(a, h, r, rq, p, j0, j);
    }
    uint64_t *b = a + h;
    for (; j < j1; j++) {
        uint64_t u = below(a[j], p2);
        uint64_t t = shoup(b[j], r, rq, p);
        a[j] = u + t;
        b[j] = u + p2 - t;
    }
}

// Two levels on block number k of 4q values: halves split by root k, then
// the first half by root 2k and the second by root 2k + 1.
inline void fwd4_part(uint64_t *a, size_t q, const uint64_t *rt, size_t k, uint64_t p, size_t j0, size_t j1) {
    const uint64_t p2 = 2 * p;
    const uint64_t r1 = rt[2 * k], r1q = rt[2 * k + 1];
    const uint64_t r2 = rt[4 * k], r2q = rt[4 * k + 1], r3 = rt[4 * k + 2], r3q = rt[4 * k + 3];
    size_t j = j0;
    if (vectors) {
        const uint64_t r[6] = {r1, r1q, r2, r2q, r3, r3q};
        j = j1 - (j1 - j0) % 8;
        ntt_vector::fwd4(a, q, r, p, j0, j);
    }
    for (; j < j1; j++) {
        uint64_t x0 = below(a[j], p2), x1 = below(a[j + q], p2);
        uint64_t t2 = shoup(a[j + 2 * q], r1, r1q, p), t3 = shoup(a[j + 3 * q], r1, r1q, p);
        uint64_t y0 = below(x0 + t2, p2), y2 = below(x0 + p2 - t2, p2);
        uint64_t y1 = x1 + t3, y3 = x1 + p2 - t3;
        uint64_t s1 = shoup(y1, r2, r2q, p), s3 = shoup(y3, r3, r3q, p);
        a[j] = y0 + s1;
        a[j + q] = y0 + p2 - s1;
        a[j + 2 * q] = y2 + s3;
        a[j + 3 * q] = y2 + p2 - s3;
    }
}

// Inverse of fwd2 up to a factor 2, with w the inverse root.
inline void inv2_part(uint64_t *a, size_t h, const uint64_t *w, uint64_t p, size_t j0, size_t j1) {
    const uint64_t p2 = 2 * p, r = w[0], rq = w[1];
    size_t j = j0;
    if (vectors) {
        j = j1 - (j1 - j0) % 8;
        ntt_vector::inv2(a, h, r, rq, p, j0, j);
    }
    uint64_t *b = a + h;
    for (; j < j1; j++) {
        uint64_t u = a[j], v = b[j];
        a[j] = below(u + v, p2);
        b[j] = shoup(u + p2 - v, r, rq, p);
    }
}

// Inverse of fwd4 up to a factor 4, from the inverse roots.
inline void inv4_part(uint64_t *a, size_t q, const uint64_t *irt, size_t k, uint64_t p, size_t j0, size_t j1) {
    const uint64_t p2 = 2 * p;
    const uint64_t r1 = irt[2 * k], r1q = irt[2 * k + 1];
    const uint64_t r2 = irt[4 * k], r2q = irt[4 * k + 1], r3 = irt[4 * k + 2], r3q = irt[4 * k + 3];
    size_t j = j0;
    if (vectors) {
        const uint64_t r[6] = {r1, r1q, r2, r2q, r3, r3q};
        j = j1 - (j1 - j0) % 8;
        ntt_vector::inv4(a, q, r, p, j0, j);
    }
    for (; j < j1; j++) {
        uint64_t z0 = a[j], z1 = a[j + q], z2 = a[j + 2 * q], z3 = a[j + 3 * q];
        uint64_t y0 = below(z0 + z1, p2), y1 = shoup(z0 + p2 - z1, r2, r2q, p);
        uint64_t y2 = below(z2 + z3, p2), y3 = shoup(z2 + p2 - z3, r3, r3q, p);
        a[j] = below(y0 + y2, p2);
        a[j + q] = below(y1 + y3, p2);
        a[j + 2 * q] = shoup(y0 + p2 - y2, r1, r1q, p);
        a[j + 3 * q] = shoup(y1 + p2 - y3, r1, r1q, p);
    }
}

inline void fwd2(uint64_t *a, size_t h, const uint64_t *w, uint64_t p) { fwd2_part(a, h, w, p, 0, h); }
inline void fwd4(uint64_t *a, size_t q, const uint64_t *rt, size_t k, uint64_t p) { fwd4_part(a, q, rt, k, p, 0, q); }
inline void inv2(uint64_t *a, size_t h, const uint64_t *w, uint64_t p) { inv2_part(a, h, w, p, 0, h); }
inline void inv4(uint64_t *a, size_t q, const uint64_t *irt, size_t k, uint64_t p) {
    inv4_part(a, q, irt, k, p, 0, q);
}

// Forward levels on block number k of n values (n <= LEAF), breadth first.
void forward_leaf(uint64_t *a, size_t n, size_t k, const Field &f) {
    const uint64_t p = f.p;
    size_t s = n;  // block length of the current level
    if (log2_of(n) & 1) {
        fwd2(a, n / 2, f.rt + 2 * k, p);
        s = n / 2;
    }
    for (; s >= 4; s /= 4) {
        size_t first = k * (n / s), blocks = n / s;
        if (vectors && s == 4 && blocks % 8 == 0) {
            ntt_vector::level_blocks_of_4(a, blocks, f.rt, first, p, false);
        } else if (vectors && s == 16 && blocks % 2 == 0) {
            ntt_vector::level_blocks_of_16(a, blocks, f.rt, first, p, false);
        } else {
            for (size_t b = 0; b < blocks; b++) fwd4(a + b * s, s / 4, f.rt, first + b, p);
        }
    }
}

void forward_block(uint64_t *a, size_t n, size_t k, const Field &f) {
    if (n <= LEAF) {
        forward_leaf(a, n, k, f);
    } else if (log2_of(n) & 1) {
        fwd2(a, n / 2, f.rt + 2 * k, f.p);
        forward_block(a, n / 2, 2 * k, f);
        forward_block(a + n / 2, n / 2, 2 * k + 1, f);
    } else {
        fwd4(a, n / 4, f.rt, k, f.p);
        for (size_t i = 0; i < 4; i++) forward_block(a + i * (n / 4), n / 4, 4 * k + i, f);
    }
}

void inverse_leaf(uint64_t *a, size_t n, size_t k, const Field &f) {
    const uint64_t p = f.p;
    const bool odd = log2_of(n) & 1;
    size_t top = odd ? n / 2 : n;
    for (size_t s = 4; s <= top; s *= 4) {
        size_t first = k * (n / s), blocks = n / s;
        if (vectors && s == 4 && blocks % 8 == 0) {
            ntt_vector::level_blocks_of_4(a, blocks, f.irt, first, p, true);
        } else if (vectors && s == 16 && blocks % 2 == 0) {
            ntt_vector::level_blocks_of_16(a, blocks, f.irt, first, p, true);
        } else {
            for (size_t b = 0; b < blocks; b++) inv4(a + b * s, s / 4, f.irt, first + b, p);
        }
    }
    if (odd) inv2(a, n / 2, f.irt + 2 * k, p);
}

void inverse_block(uint64_t *a, size_t n, size_t k, const Field &f) {
    if (n <= LEAF) {
        inverse_leaf(a, n, k, f);
    } else if (log2_of(n) & 1) {
        inverse_block(a, n / 2, 2 * k, f);
        inverse_block(a + n / 2, n / 2, 2 * k + 1, f);
        inv2(a, n / 2, f.irt + 2 * k, f.p);
    } else {
        for (size_t i = 0; i < 4; i++) inverse_block(a + i * (n / 4), n / 4, 4 * k + i, f);
        inv4(a, n / 4, f.irt, k, f.p);
    }
}

// The forward transform of block k whose values from `used` on are zero:
// while the top half is zero, a level's butterflies (u + r 0, u - r 0) only
// copy the bottom half up. Operands of a balanced product fill at most half
// their transform, so this saves a level of each forward transform.
void forward_sparse(uint64_t *a, size_t n, size_t k, size_t used, const Field &f) {
    if (n >= 2 && used <= n / 2) {
        memcpy(a + n / 2, a, sizeof(uint64_t) * (n / 2));
        forward_sparse(a, n / 2, 2 * k, used, f);
        forward_sparse(a + n / 2, n / 2, 2 * k + 1, used, f);
    } else {
        forward_block(a, n, k, f);
    }
}

// Three-quarter transforms: a product of at most 3n/4 coefficients is
// determined by its residues modulo x^(n/2) - 1 (block 0 of the first
// level) and x^(n/4) - i (block 2 of the second, i = root 1 a square root
// of -1), whose degrees add up to 3n/4; block 3 is never computed. The
// forward transform leaves the values of the first in x[0 .. n/2) and of
// the second in x[n/2 .. 3n/4); x holds n coefficients, zero from `used`
// on, n >= 4.
void forward_three_quarters(uint64_t *x, size_t n, size_t used, const Field &f);

// The first level of forward_three_quarters and the second level's block
// 2, for the positions j0 <= j < j1 <= n/4 of its quarters: the residue
// modulo x^(n/4) - i into x[n/2 ..), that of x^(n/2) - 1 left in x[0 ..
// n/2) (unchanged while the top half is zero). The fourth quarter is left
// as it is: block 3 is never computed.
void three_quarters_head(uint64_t *x, size_t n, size_t used, const Field &f, size_t j0, size_t j1) {
    const uint64_t p = f.p, p2 = 2 * p, r = f.rt[2], rq = f.rt[3];
    const size_t q = n / 4;
    if (used <= 2 * q) {
        for (size_t j = j0; j < j1; j++) x[2 * q + j] = below(x[j], p2) + shoup(x[q + j], r, rq, p);
        return;
    }
    fwd2_part(x, 2 * q, f.rt, p, j0, j1);
    fwd2_part(x, 2 * q, f.rt, p, q + j0, q + j1);
    for (size_t j = j0; j < j1; j++) x[2 * q + j] = below(x[2 * q + j], p2) + shoup(x[3 * q + j], r, rq, p);
}

void forward_three_quarters(uint64_t *x, size_t n, size_t used, const Field &f) {
    three_quarters_head(x, n, used, f, 0, n / 4);
    forward_sparse(x, n / 2, 0, used, f);
    forward_block(x + n / 2, n / 4, 2, f);
}

// From the values forward_three_quarters left (through a pointwise
// product), x[0 .. 3n/4) := the coefficients times n, in [0, 4p), as the
// full inverse would leave them. With c = c0 + x^(n/4) c1 + x^(n/2) c2 (each
// part n/4 long), the residues are R0 = (c0 + c2) + x^(n/4) c1 and
// R2 = c0 - c2 + i c1, so c1 = R0's top half, c0 = (R0's bottom + R2 -
// i c1) / 2 and c2 = (R0's bottom - R2 + i c1) / 2. The inverse transforms
// leave (n/2) R0 and (n/4) R2, which makes the halvings doublings instead.
void three_quarters_tail(uint64_t *x, size_t n, const Field &f, size_t j0, size_t j1);

void inverse_three_quarters(uint64_t *x, size_t n, const Field &f) {
    inverse_block(x, n / 2, 0, f);
    inverse_block(x + n / 2, n / 4, 2, f);
    three_quarters_tail(x, n, f, 0, n / 4);
}

// The last step of inverse_three_quarters, for the positions j0 <= j < j1
// <= n/4 of its quarters, once both inverse transforms are done.
void three_quarters_tail(uint64_t *x, size_t n, const Field &f, size_t j0, size_t j1) {
    const uint64_t p = f.p, p2 = 2 * p, r = f.rt[2], rq = f.rt[3];
    const size_t q = n / 4;
    for (size_t j = j0; j < j1; j++) {
        uint64_t u0 = x[j], u1 = x[q + j], v2 = below(2 * x[2 * q + j], p2);  // all below 2p
        uint64_t t = shoup(u1, r, rq, p);
        x[j] = below(u0 + v2, p2) + p2 - t;
        x[q + j] = 2 * u1;
        x[2 * q + j] = below(u0 + p2 - v2, p2) + t;
    }
}

// a[i] := a[i] * b[i] / 2^64 (b null: a[i]^2 / 2^64), from the forward range
// [0, 4p) into the inverse's [0, 2p). Halving the inputs first keeps the
// product below 4p^2 < p * 2^64.
void pointwise(uint64_t *a, const uint64_t *b, size_t len, const Field &f) {
    const uint64_t p = f.p, pinv = f.pinv, p2 = 2 * p;
    size_t start = 0;
    if (vectors) {
        start = len - len % 8;
        ntt_vector::pointwise(a, b, start, p, pinv);
    }
    if (b) {
        for (size_t i = start; i < len; i++) a[i] = mont(below(a[i], p2), below(b[i], p2), p, pinv);
    } else {
        for (size_t i = start; i < len; i++) {
            uint64_t x = below(a[i], p2);
            a[i] = mont(x, x, p, pinv);
        }
    }
}

// ------------------------------------------------- packing and the product

// A product packs PACK limbs into each coefficient and works modulo the
// first PACK primes (2 or 3), so the transform is a PACK-th of the product's
// limbs long; plan_product weighs the two choices.
//
// Exactness: a coefficient of the product is a sum of at most `terms` =
// (coefficients of the shorter operand) products of two coefficients below
// 10^(8 PACK); Chinese remaindering recovers it when that sum stays below
// the product of the primes.
//  - PACK 2: p0 p1 = 2.1268e37 and (10^16 - 1)^2 < 10^32 allow 212676 terms
//    (computed below), products of shorter operands up to 425352 limbs.
//  - PACK 3: p0 p1 p2 = 9.8079e55 (about 2^186) and (10^24 - 1)^2 < 10^48
//    allow 9.8e7 terms; a product of at most MAX_PRODUCT_LIMBS = 2^23 limbs
//    has a shorter operand of at most 2^22 limbs, 1398102 coefficients.
constexpr u128 TEN16 = u128(10000000000000000u);
constexpr int64_t MAX_TERMS2 = int64_t((P01 - 1) / ((TEN16 - 1) * (TEN16 - 1)));
static_assert(MAX_TERMS2 == 212676, "the bound quoted above");
// terms * 10^48 < p0 p1 p2 follows from terms * 10^24 <= floor(p0 p1 / 10^24) * p2.
constexpr int64_t MAX_TERMS3 = (MAX_PRODUCT_LIMBS / 2 + 2) / 3;
static_assert(u128(MAX_TERMS3) * (TEN16 * 100000000u) <= (P01 / (TEN16 * 100000000u)) * PRIME[2],
              "three primes cover every product the reserve allows");
static_assert(PRIME_LOG2 >= 22 && (size_t(1) << 22) >= (MAX_PRODUCT_LIMBS + 1) / 3,
              "the primes have roots of unity for the longest transform");

// x[i0 .. i1) := coefficients i0 .. i1 - 1 of the n limbs of a packed PACK
// to a coefficient (least significant limb lowest), reduced below 4p, then
// zeros.
template <int PACK>
void load_part(uint64_t *x, size_t i0, size_t i1, const uint32_t *a, int n, const Field &f) {
    const size_t full = size_t(n / PACK);
    size_t i = i0, end = i1 < full ? i1 : full;
    if (PACK == 2) {
        for (; i < end; i++) x[i] = a[2 * i] + BASE * a[2 * i + 1];
    } else {
        // a2 * 10^16 mod p by a Montgomery product with 10^16 * 2^64 mod p.
        const uint64_t c16 = f.ten16;
        for (; i < end; i++)
            x[i] = a[3 * i] + BASE * a[3 * i + 1] + mont(a[3 * i + 2], c16, f.p, f.pinv);
    }
    if (n % PACK && i == full && i < i1) {
        uint64_t v = 0;
        for (int j = n - 1; j >= PACK * int(full); j--) v = v * BASE + a[j];  // below 10^16
        x[i++] = v;
    }
    if (i < i1) memset(x + i, 0, sizeof(uint64_t) * (i1 - i));
}

// Coefficients that n limbs make, PACK to one.
template <int PACK>
size_t coefficients(int n) { return size_t((n + PACK - 1) / PACK); }

// x[0 .. len) := the n limbs of a packed (load_part), then zeros. Returns
// the number of coefficients before the zeros.
template <int PACK>
size_t load(uint64_t *x, size_t len, const uint32_t *a, int n, const Field &f) {
    load_part<PACK>(x, 0, len, a, n, f);
    return coefficients<PACK>(n);
}

// Base-10^8 digits of v < 10^24, least significant first.
inline void digits3(uint64_t v, uint64_t d[3]) {
    uint64_t q = v / BASE;
    d[0] = v - q * BASE;
    d[2] = q / BASE;
    d[1] = q - d[2] * BASE;
}

// Limbs past its end that a part of a recombination may carry into: the
// pending columns and a carry below 2^37.
constexpr int SPILL = 10;

// r[0 .. nr) := the limbs of sum_i c_i 10^(8 PACK i) plus the keep limbs
// r holds on entry (keep <= nr; the sum must fit nr limbs), c_i the coefficients
// whose residues modulo the primes are res[k][i] * n * 2^-64 (what the
// inverse transform left, both factors are removed here), i < count. The
// factors of Garner's steps are constants, so they take Shoup products.
// With `spill`, a part of a longer sum (nr = PACK count): the limbs it
// carries past nr go to spill[0 .. SPILL) instead, for the caller to add.
template <int PACK>
void recombine(uint32_t *r, int nr, int keep, uint64_t *const *res, size_t count, size_t n,
               uint32_t *spill = nullptr) {
    const Field &f0 = field[0], &f1 = field[1], &f2 = field[2];
    const int log_n = log2_of(n);
    const uint64_t *s0 = f0.scale[log_n], *s1 = f1.scale[log_n], *s2 = f2.scale[log_n];
    const uint64_t p0 = f0.p, p1 = f1.p, p2 = f2.p;
    const uint64_t *inv01 = garner.inv01, *p0_2 = garner.p0_mod_p2, *inv012 = garner.inv012;
    const uint64_t *P0 = garner.p0_digits, *Q = garner.p01_digits;
    ntt_vector::GarnerConstants lanes_g;
    if (vectors) {
        for (int k = 0; k < 3; k++) {
            lanes_g.p[k] = field[k].p;
            lanes_g.scale[k][0] = field[k].scale[log_n][0];
            lanes_g.scale[k][1] = field[k].scale[log_n][1];
        }
        for (int k = 0; k < 2; k++) {
            lanes_g.inv01[k] = inv01[k];
            lanes_g.p0_mod_p2[k] = p0_2[k];
            lanes_g.inv012[k] = inv012[k];
        }
        memcpy(lanes_g.p0_digits, P0, sizeof lanes_g.p0_digits);
        memcpy(lanes_g.p01_digits, Q, sizeof lanes_g.p01_digits);
    }
    // Pending column sums of limbs pos .. pos + W - 1: x0 < 2^62 whole into
    // the lowest, and base-10^8 digit products (at most 6 * 10^16 a column)
    // of at most three coefficients each: below 2^62 + 2^58, room for the
    // carry (below 2^37) within 2^64.
    constexpr int W = PACK == 2 ? 5 : 7;
    uint64_t pend[W] = {};
    uint64_t carry = 0;
    int pos = 0;
    uint64_t block[8 * W];  // eight coefficients' columns from the vector steps
    for (size_t i = 0; i < count; i++) {
        uint64_t col[W];
        if (vectors && i % 8 == 0 && i + 8 <= count) ntt_vector::garner_columns(res, i, PACK, lanes_g, block);
        if (vectors && i - i % 8 + 8 <= count) {
            for (int j = 0; j < W; j++) col[j] = block[8 * j + i % 8];
        } else {
            // Garner: c = x0 + p0 (k1 + p1 k2), k1 < p1, k2 < p2.
            uint64_t x0 = below(shoup(res[0][i], s0[0], s0[1], p0), p0);
            uint64_t x1 = below(shoup(res[1][i], s1[0], s1[1], p1), p1);
            uint64_t k1 = below(shoup(x1 + p1 - x0, inv01[0], inv01[1], p1), p1);  // x0 < p0 < p1
            uint64_t d1[3];
            digits3(k1, d1);
            col[0] = x0 + P0[0] * d1[0];
            col[1] = P0[0] * d1[1] + P0[1] * d1[0];
            col[2] = P0[0] * d1[2] + P0[1] * d1[1] + P0[2] * d1[0];
            col[3] = P0[1] * d1[2] + P0[2] * d1[1];
            col[4] = P0[2] * d1[2];
            if (PACK == 3) {
                uint64_t x2 = below(shoup(res[2][i], s2[0], s2[1], p2), p2);
                uint64_t y = x0 + shoup(k1, p0_2[0], p0_2[1], p2);  // below 3 p2
                uint64_t k2 = below(shoup(x2 + 3 * p2 - y, inv012[0], inv012[1], p2), p2);
                uint64_t d2[3];
                digits3(k2, d2);
                col[0] += Q[0] * d2[0];
                col[1] += Q[0] * d2[1] + Q[1] * d2[0];
                col[2] += Q[0] * d2[2] + Q[1] * d2[1] + Q[2] * d2[0];
                col[3] += Q[1] * d2[2] + Q[2] * d2[1] + Q[3] * d2[0];
                col[4] += Q[2] * d2[2] + Q[3] * d2[1] + Q[4] * d2[0];
                col[W - 2] = Q[3] * d2[2] + Q[4] * d2[1];
                col[W - 1] = Q[4] * d2[2];
            }
        }
        for (int j = 0; j < W; j++) pend[j] += col[j];
        for (int j = 0; j < PACK; j++) {
            uint64_t v = pend[j] + carry + (pos < keep ? r[pos] : 0);
            carry = v / BASE;
            if (pos < nr) r[pos] = uint32_t(v - carry * BASE);
            pos++;
        }
        for (int j = 0; j < W - PACK; j++) pend[j] = pend[j + PACK];
        for (int j = W - PACK; j < W; j++) pend[j] = 0;
    }
    const int end = nr + (spill ? SPILL : 0);
    for (int j = 0; pos < end; j++, pos++) {
        uint64_t v = (j < W ? pend[j] : 0) + carry + (pos < keep ? r[pos] : 0);
        carry = v / BASE;
        (pos < nr ? r[pos] : spill[pos - nr]) = uint32_t(v - carry * BASE);
    }
}

// What an interrupted product leaves in r[0 .. n): zeros, so that the
// numbers made from it stay well-formed limb vectors.
void abandon(uint32_t *r, int n) { memset(r, 0, sizeof(uint32_t) * size_t(n)); }

// r[0 .. na+nb) := a * b through transforms modulo PACK primes of length
// len, or three quarters of it (b null: a squared, one forward transform
// per prime).
template <int PACK>
void transform_pack(Context &cx, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb,
                    size_t len, bool three_quarters) {
    size_t count = size_t((na + PACK - 1) / PACK + (nb + PACK - 1) / PACK - 1);
    size_t values = three_quarters ? len / 4 * 3 : len;  // of each transform
    assert(count <= values && len <= cx.transform_max && (!three_quarters || len >= 4));
    build_roots(len / 2 > 1 ? len / 2 : 1);
    uint64_t *res[3] = {cx.coef[0], cx.coef[1], cx.coef[2]};
    uint64_t *other = cx.coef[3];
    for (int k = 0; k < PACK; k++) {
        if (stopped(cx)) return abandon(r, na + nb);
        const Field &f = field[k];
        auto forward = [&](uint64_t *x, size_t used) {
            if (three_quarters)
                forward_three_quarters(x, len, used, f);
            else
                forward_sparse(x, len, 0, used, f);
        };
        forward(res[k], load<PACK>(res[k], len, a, na, f));
        if (b) forward(other, load<PACK>(other, len, b, nb, f));
        pointwise(res[k], b ? other : nullptr, values, f);
        if (three_quarters)
            inverse_three_quarters(res[k], len, f);
        else
            inverse_block(res[k], len, 0, f);
    }
    if (stopped(cx)) return abandon(r, na + nb);
    recombine<PACK>(r, na + nb, 0, res, count, len);
}

// r[0 .. na+nb) := a * b for a much longer than b: b is transformed once
// per prime at length len, a in slices of `slice` limbs (a multiple of
// PACK) whose products with b fit that length, each added into r as it
// comes. Needs 2 PACK len words of the transform buffers.
template <int PACK>
void sliced_pack(Context &cx, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb, size_t len,
                 int slice) {
    const size_t cb = size_t((nb + PACK - 1) / PACK);
    assert(slice % PACK == 0 && size_t(slice / PACK) + cb - 1 <= len && 6 * len <= 4 * cx.transform_max);
    build_roots(len / 2 > 1 ? len / 2 : 1);
    uint64_t *bt[PACK], *st[PACK];
    for (int k = 0; k < PACK; k++) {
        bt[k] = cx.coef[0] + 2 * k * len;
        st[k] = bt[k] + len;
        if (stopped(cx)) return abandon(r, na + nb);
        forward_sparse(bt[k], len, 0, load<PACK>(bt[k], len, b, nb, field[k]), field[k]);
    }
    for (int pos = 0; pos < na; pos += slice) {
        int m = na - pos < slice ? na - pos : slice;
        for (int k = 0; k < PACK; k++) {
            if (stopped(cx)) return abandon(r, na + nb);
            const Field &f = field[k];
            forward_sparse(st[k], len, 0, load<PACK>(st[k], len, a + pos, m, f), f);
            pointwise(st[k], bt[k], len, f);
            inverse_block(st[k], len, 0, f);
        }
        // The previous slice left its top nb limbs at r[pos ..).
        size_t count = size_t((m + PACK - 1) / PACK) + cb - 1;
        recombine<PACK>(r + pos, m + nb, pos ? nb : 0, st, count, len);
    }
}

void add_into(uint32_t *r, int n, const uint32_t *x, int nx);

// ------------------------------------------------------ products on a team
//
// A long product shares each transform among the members of a team
// (engine/threads.h). The top levels of a transform are done by all
// members, a run of a level's butterflies at a time, until the transform
// has fallen into blocks of equal length, which the members then take
// whole: forward, pointwise product and inverse of a block on one member,
// without meeting the others. The inverse's top levels are shared again,
// and the recombination is cut into runs of coefficients. Work goes out a
// chunk at a time to whichever member is free (take_chunk), so a member
// held back by other processes delays the rest by one chunk. Every value
// is computed as the single-threaded product computes it: the limbs are
// the same whatever the number of members.

// The levels of a transform the team shares: each holds the blocks 0 ..
// count - 1 of its transform level (block k holds the values at k times its
// length, len >> level), and a shared level splits each of them into
// `radix` blocks of the next.
struct TeamLevel {
    int level, radix, count;
};

// Chunks a member takes at a time: about this many per member and phase,
// of at least MIN_CHUNK values (smaller ones cost more to share than
// they balance); blocks taken whole, at least BLOCKS_EACH per member.
constexpr size_t CHUNKS_EACH = 8;
constexpr size_t MIN_CHUNK = 4096;
constexpr int BLOCKS_EACH = 8;
constexpr int TEAM_LEVELS = 16;

// How a team shares transforms of length len (three quarters of one, or
// whole) of arrays whose first used[a] coefficients may be nonzero:
// lv[0 .. levels) are the shared levels, lv[levels] lists the blocks taken
// whole.
struct TeamPlan {
    size_t len;
    bool three_quarters;
    size_t used[2];
    int levels;
    TeamLevel lv[TEAM_LEVELS + 1];
};

// Values of array a that may be nonzero in a block of `level` before it is
// transformed: a level copies while a block's nonzero values fit one child
// (see forward_sparse), so they stay the array's first ones, cut to the
// block. So does a three-quarter transform's block 2 of level 2, the sum
// of the first quarter and i times the second, zero while the second is.
size_t block_used(const TeamPlan &tp, int a, int level) {
    const size_t n = tp.len >> level;
    return tp.used[a] < n ? tp.used[a] : n;
}

// Plans the shared top of transforms of length len for a team of
// `members`. The levels split as forward_block would (two levels a pass
// where it takes two) until there are BLOCKS_EACH blocks a member or they
// are short. A three-quarter transform starts from block 0 of level 1 (the
// half three_quarters_head leaves), split once to join block 2 of level 2.
void plan_team(TeamPlan &tp, size_t len, bool three_quarters, size_t used_a, size_t used_b, int members) {
    tp.len = len;
    tp.three_quarters = three_quarters;
    tp.used[0] = used_a;
    tp.used[1] = used_b;
    tp.levels = 0;
    if (three_quarters) {
        tp.lv[0] = TeamLevel{1, 2, 1};
        tp.lv[1] = TeamLevel{2, 0, 3};
        tp.levels = 1;
    } else {
        tp.lv[0] = TeamLevel{0, 0, 1};
    }
    for (;;) {
        TeamLevel &cur = tp.lv[tp.levels];
        const size_t n = len >> cur.level;
        const int radix = log2_of(n) & 1 ? 2 : 4;
        if (cur.count >= BLOCKS_EACH * members || n / size_t(radix) < LEAF || tp.levels == TEAM_LEVELS) break;
        cur.radix = radix;
        tp.lv[tp.levels + 1] = TeamLevel{cur.level + (radix == 4 ? 2 : 1), 0, cur.count * radix};
        tp.levels++;
    }
}

// The chunks of a phase over n positions: their length (a multiple of 8
// values, a cache line, so that no two members write to one) and number.
struct Chunks {
    size_t length, count;
};

Chunks chunks_of(size_t n, int members) {
    size_t length = (n + CHUNKS_EACH * size_t(members) - 1) / (CHUNKS_EACH * size_t(members));
    length = (std::max(length, MIN_CHUNK) + 7) & ~size_t(7);
    return Chunks{length, (n + length - 1) / length};
}

// A member's part of shared level i of tp: the chunks it takes of the
// level's butterflies, forward on the arrays x[a] with bit a of `arrays`
// set (a copy where the block's values fit one child), or inverse on x[0].
void team_level(const TeamPlan &tp, int i, uint64_t *const *x, int arrays, bool inverse, const Field &f,
                Turn &turn) {
    const TeamLevel &lv = tp.lv[i];
    const size_t n = tp.len >> lv.level, per = n / size_t(lv.radix), total = per * size_t(lv.count);
    const Chunks ch = chunks_of(total, int(turn.work.barrier.size));
    for (size_t c; take_chunk(turn, ch.count, &c);) {
        for (size_t b = c * ch.length, e = std::min(total, b + ch.length); b < e;) {
            const size_t k = b / per, j0 = b % per, j1 = std::min(per, j0 + (e - b));
            for (int a = 0; a < 2; a++) {
                if (!((arrays >> a) & 1) || !x[a]) continue;
                uint64_t *y = x[a] + k * n;
                if (inverse) {
                    if (lv.radix == 2) inv2_part(y, per, f.irt + 2 * k, f.p, j0, j1);
                    else inv4_part(y, per, f.irt, k, f.p, j0, j1);
                } else if (block_used(tp, a, lv.level) <= per) {
                    for (int r = 1; r < lv.radix; r++)
                        memcpy(y + size_t(r) * per + j0, y + j0, sizeof(uint64_t) * (j1 - j0));
                } else if (lv.radix == 2) {
                    fwd2_part(y, per, f.rt + 2 * k, f.p, j0, j1);
                } else {
                    fwd4_part(y, per, f.rt, k, f.p, j0, j1);
                }
            }
            b += j1 - j0;
        }
    }
    barrier_wait(turn.work.barrier);
}

// What a member does with each whole block (team_blocks), as bits.
enum BlockWork : int {
    FORWARD_A = 1,  // forward transform of x[0]
    FORWARD_B = 2,  // forward transform of x[1]
    MULTIPLY = 4,   // x[0] := x[0] * x[1] (x[1] null: x[0]^2), inverse of x[0]
};

// A member's whole blocks of tp, the work of `work` on each.
void team_blocks(const TeamPlan &tp, uint64_t *const *x, int work, const Field &f, Turn &turn) {
    const TeamLevel &lv = tp.lv[tp.levels];
    const size_t n = tp.len >> lv.level;
    for (size_t k; take_chunk(turn, size_t(lv.count), &k);) {
        const size_t at = k * n;
        if (work & FORWARD_A) forward_sparse(x[0] + at, n, k, block_used(tp, 0, lv.level), f);
        if ((work & FORWARD_B) && x[1]) forward_sparse(x[1] + at, n, k, block_used(tp, 1, lv.level), f);
        if (work & MULTIPLY) {
            pointwise(x[0] + at, x[1] ? x[1] + at : nullptr, n, f);
            inverse_block(x[0] + at, n, k, f);
        }
    }
    barrier_wait(turn.work.barrier);
}

// A member's part of x[a] := the n limbs of src[a] packed PACK to a
// coefficient (load), for the arrays with bit a of `arrays` set.
template <int PACK>
void team_load(uint64_t *const *x, int arrays, size_t len, const uint32_t *const *src, const int *n,
               const Field &f, Turn &turn) {
    const Chunks ch = chunks_of(len, int(turn.work.barrier.size));
    for (size_t c; take_chunk(turn, ch.count, &c);)
        for (int a = 0; a < 2; a++)
            if (((arrays >> a) & 1) && x[a])
                load_part<PACK>(x[a], c * ch.length, std::min(len, (c + 1) * ch.length), src[a], n[a], f);
    barrier_wait(turn.work.barrier);
}

// A member's part of the forward transforms of the arrays x[a] with bit a
// of `arrays` set, up to the blocks taken whole.
void team_forward(const TeamPlan &tp, uint64_t *const *x, int arrays, const Field &f, Turn &turn) {
    if (tp.three_quarters) {
        const size_t q = tp.len / 4;
        const Chunks ch = chunks_of(q, int(turn.work.barrier.size));
        for (size_t c; take_chunk(turn, ch.count, &c);)
            for (int a = 0; a < 2; a++)
                if (((arrays >> a) & 1) && x[a])
                    three_quarters_head(x[a], tp.len, tp.used[a], f, c * ch.length, std::min(q, (c + 1) * ch.length));
        barrier_wait(turn.work.barrier);
    }
    for (int i = 0; i < tp.levels; i++) team_level(tp, i, x, arrays, false, f, turn);
}

// A member's part of the inverse transform of x0 after the whole blocks.
void team_inverse(const TeamPlan &tp, uint64_t *x0, const Field &f, Turn &turn) {
    uint64_t *x[2] = {x0, nullptr};
    for (int i = tp.levels - 1; i >= 0; i--) team_level(tp, i, x, 1, true, f, turn);
    if (tp.three_quarters) {
        const size_t q = tp.len / 4;
        const Chunks ch = chunks_of(q, int(turn.work.barrier.size));
        for (size_t c; take_chunk(turn, ch.count, &c);)
            three_quarters_tail(x0, tp.len, f, c * ch.length, std::min(q, (c + 1) * ch.length));
        barrier_wait(turn.work.barrier);
    }
}

// The recombination of count coefficients into nr limbs (keep of them
// already in r) cut into runs: run i is coefficients cut[i] .. cut[i + 1]
// - 1. Run 0 covers the keep limbs and no run starts past nr; runs may be
// empty. Each run but the last leaves what it carries past its end in its
// spill, which add_spills adds in order.
constexpr int RUNS_EACH = 4;
constexpr int RUNS_MAX = RUNS_EACH * THREADS_MAX;
struct Runs {
    int count;
    size_t cut[RUNS_MAX + 1];
    uint32_t spill[RUNS_MAX][SPILL];
};

void cut_runs(Runs &runs, size_t count, int nr, int keep, int pack, int members) {
    const size_t lo = size_t((keep + pack - 1) / pack), hi = size_t(nr / pack);
    runs.count = RUNS_EACH * members;
    runs.cut[0] = 0;
    for (int i = 1; i < runs.count; i++) {
        size_t c = count * size_t(i) / size_t(runs.count);
        c = lo > hi ? 0 : std::min(std::max(c, lo), hi);  // a tiny sum: all in the last run
        runs.cut[i] = std::max(c, runs.cut[i - 1]);
    }
    runs.cut[runs.count] = count;
}

// A member's runs of the recombination of res (see recombine).
template <int PACK>
void team_recombine(Runs &runs, uint32_t *r, int nr, int keep, uint64_t *const *res, size_t n, Turn &turn) {
    for (size_t i; take_chunk(turn, size_t(runs.count), &i);) {
        const size_t c0 = runs.cut[i], c1 = runs.cut[i + 1];
        const bool last = int(i) == runs.count - 1;
        if (!last && c0 == c1) continue;
        uint64_t *part[PACK];
        for (int k = 0; k < PACK; k++) part[k] = res[k] + c0;
        const int at = PACK * int(c0);
        const int limbs = (last ? nr : PACK * int(c1)) - at;
        recombine<PACK>(r + at, limbs, c0 == 0 ? keep : 0, part, c1 - c0, n, last ? nullptr : runs.spill[i]);
    }
    barrier_wait(turn.work.barrier);
}

// Adds the spills of the runs into r[0 .. nr), in order.
void add_spills(const Runs &runs, uint32_t *r, int nr, int pack) {
    for (int i = 0; i + 1 < runs.count; i++) {
        int at = pack * int(runs.cut[i + 1]);
        if (runs.cut[i] < runs.cut[i + 1] && at < nr) add_into(r + at, nr - at, runs.spill[i], SPILL);
    }
}

// transform_pack shared by a team.
template <int PACK>
struct PackJob {
    Context *cx;
    uint32_t *r;
    const uint32_t *src[2];
    int n[2];
    uint64_t *res[3];
    uint64_t *other;
    std::atomic<bool> quit{false};
    TeamWork work;
    Runs runs;
    TeamPlan plan;
};

template <int PACK>
void pack_member(void *arg, int m) {
    PackJob<PACK> &j = *static_cast<PackJob<PACK> *>(arg);
    const TeamPlan &tp = j.plan;
    Turn turn(j.work);
    for (int k = 0; k < PACK; k++) {
        const Field &f = field[k];
        uint64_t *x[2] = {j.res[k], j.src[1] ? j.other : nullptr};
        team_load<PACK>(x, 3, tp.len, j.src, j.n, f, turn);
        team_forward(tp, x, 3, f, turn);
        team_blocks(tp, x, FORWARD_A | FORWARD_B | MULTIPLY, f, turn);
        team_inverse(tp, x[0], f, turn);
        // Member 0 polls for all, so that every member leaves at one barrier.
        if (m == 0 && stopped(*j.cx)) j.quit.store(true, std::memory_order_relaxed);
        barrier_wait(j.work.barrier);
        if (j.quit.load(std::memory_order_relaxed)) return;
    }
    team_recombine<PACK>(j.runs, j.r, j.n[0] + j.n[1], 0, j.res, tp.len, turn);
}

// transform_pack (see there) on `members` threads of cx's team.
template <int PACK>
void team_pack(Context &cx, int members, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb,
               size_t len, bool three_quarters) {
    size_t count = coefficients<PACK>(na) + coefficients<PACK>(nb) - 1;
    assert(count <= (three_quarters ? len / 4 * 3 : len) && len <= cx.transform_max);
    build_roots(len / 2 > 1 ? len / 2 : 1, &cx, members);
    PackJob<PACK> j;
    j.cx = &cx;
    j.r = r;
    j.src[0] = a;
    j.src[1] = b;
    j.n[0] = na;
    j.n[1] = nb;
    for (int k = 0; k < 3; k++) j.res[k] = cx.coef[k];
    j.other = cx.coef[3];
    j.work.barrier.size = unsigned(members);
    plan_team(j.plan, len, three_quarters, coefficients<PACK>(na), b ? coefficients<PACK>(nb) : 0, members);
    cut_runs(j.runs, count, na + nb, 0, PACK, members);
    team_run(cx.team_first, members, pack_member<PACK>, &j);
    if (j.quit.load(std::memory_order_relaxed)) return abandon(r, na + nb);
    add_spills(j.runs, r, na + nb, PACK);
}

// sliced_pack shared by a team: b's transforms once, then each slice of
// a as transform_pack's team does it, its recombination cut anew.
template <int PACK>
struct SliceJob {
    Context *cx;
    uint32_t *r;
    const uint32_t *a, *b;
    int na, nb, slice;
    size_t len;
    int members;
    uint64_t *bt[PACK], *st[PACK];
    std::atomic<bool> quit{false};
    TeamWork work;
    Runs runs;  // of the slice being recombined, cut by member 0
};

template <int PACK>
void slice_member(void *arg, int m) {
    SliceJob<PACK> &j = *static_cast<SliceJob<PACK> *>(arg);
    Turn turn(j.work);
    const size_t cb = coefficients<PACK>(j.nb);
    TeamPlan tp;
    plan_team(tp, j.len, false, 0, cb, j.members);
    for (int k = 0; k < PACK; k++) {
        uint64_t *x[2] = {nullptr, j.bt[k]};
        const uint32_t *src[2] = {nullptr, j.b};
        const int n[2] = {0, j.nb};
        team_load<PACK>(x, 2, j.len, src, n, field[k], turn);
        team_forward(tp, x, 2, field[k], turn);
        team_blocks(tp, x, FORWARD_B, field[k], turn);
    }
    for (int pos = 0; pos < j.na; pos += j.slice) {
        const int slice = std::min(j.slice, j.na - pos);
        plan_team(tp, j.len, false, coefficients<PACK>(slice), cb, j.members);
        for (int k = 0; k < PACK; k++) {
            const Field &f = field[k];
            uint64_t *x[2] = {j.st[k], j.bt[k]};
            const uint32_t *src[2] = {j.a + pos, nullptr};
            const int n[2] = {slice, 0};
            team_load<PACK>(x, 1, j.len, src, n, f, turn);
            team_forward(tp, x, 1, f, turn);
            team_blocks(tp, x, FORWARD_A | MULTIPLY, f, turn);
            team_inverse(tp, x[0], f, turn);
            if (m == 0 && stopped(*j.cx)) j.quit.store(true, std::memory_order_relaxed);
            // Member 0 has added the previous slice's spills; the runs are cut anew.
            if (m == 0 && k == PACK - 1)
                cut_runs(j.runs, coefficients<PACK>(slice) + cb - 1, slice + j.nb, pos ? j.nb : 0, PACK, j.members);
            barrier_wait(j.work.barrier);
            if (j.quit.load(std::memory_order_relaxed)) return;
        }
        // The previous slice left its top nb limbs at r[pos ..).
        team_recombine<PACK>(j.runs, j.r + pos, slice + j.nb, pos ? j.nb : 0, j.st, j.len, turn);
        if (m == 0) add_spills(j.runs, j.r + pos, slice + j.nb, PACK);
    }
}

// sliced_pack (see there) on `members` threads of cx's team.
template <int PACK>
void team_sliced(Context &cx, int members, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb,
                 size_t len, int slice) {
    assert(slice % PACK == 0 && size_t(slice / PACK) + coefficients<PACK>(nb) - 1 <= len &&
           6 * len <= 4 * cx.transform_max);
    build_roots(len / 2 > 1 ? len / 2 : 1, &cx, members);
    SliceJob<PACK> j;
    j.cx = &cx;
    j.r = r;
    j.a = a;
    j.b = b;
    j.na = na;
    j.nb = nb;
    j.slice = slice;
    j.len = len;
    j.members = members;
    for (int k = 0; k < PACK; k++) {
        j.bt[k] = cx.coef[0] + 2 * k * len;
        j.st[k] = j.bt[k] + len;
    }
    j.work.barrier.size = unsigned(members);
    team_run(cx.team_first, members, slice_member<PACK>, &j);
    if (j.quit.load(std::memory_order_relaxed)) abandon(r, na + nb);
}

size_t power_of_two_from(size_t n) {
    size_t len = 1;
    while (len < n) len <<= 1;
    return len;
}

// How a product goes through the transforms: PACK limbs a coefficient
// (and as many primes), transform length len, and slices of `slice` limbs
// of the longer operand (0: the whole product in one transform).
struct Plan {
    int pack;
    size_t len;
    bool three_quarters;  // only the first 3/4 of the transform (whole products)
    int slice;
    double cost;
};

// Estimated cost, in butterflies, of a transform product modulo `pack`
// primes at length len: `transforms` transforms, and per prime and value
// the loads, the pointwise product and the recombination, which together
// weigh about as much as LINEAR butterflies.
constexpr double LINEAR = 6;
double transform_cost(int pack, size_t len, double transforms) {
    double n = double(len);
    return pack * (transforms * n / 2 * log2_of(len) + LINEAR * n);
}

// The cheapest plan for a * b, na >= nb (square: b is a), among: one
// transform of the whole product (or three quarters of one where that
// holds it), or b's transform kept and a in slices; two primes with two
// limbs a coefficient where the bound allows it, or three with three.
Plan plan_product(const Context &cx, int na, int nb, bool square) {
    Plan best{0, 0, false, 0, 1e300};
    for (int pack = 2; pack <= 3; pack++) {
        size_t ca = size_t((na + pack - 1) / pack), cb = size_t((nb + pack - 1) / pack);
        if (pack == 2 && int64_t(cb) > MAX_TERMS2) continue;
        size_t len = power_of_two_from(ca + cb - 1);
        if (len <= cx.transform_max) {
            double c = transform_cost(pack, len, square ? 2 : 3);
            if (c < best.cost) best = Plan{pack, len, false, 0, c};
            if (len >= 8 && ca + cb - 1 <= len / 4 * 3 && 0.75 * c < best.cost)
                best = Plan{pack, len, true, 0, 0.75 * c};
        }
        if (square) continue;
        size_t l = power_of_two_from(cb + 1);
        for (int i = 0; i < 4 && 2 * l <= cx.transform_max; i++, l *= 2) {
            size_t per = l - cb + 1;  // coefficients of a a slice
            if (per >= ca) break;
            double slices = double((ca + per - 1) / per);
            double c = transform_cost(pack, l, 1) + slices * transform_cost(pack, l, 2);
            if (c < best.cost) best = Plan{pack, l, false, int(per) * pack, c};
        }
    }
    assert(best.pack != 0);
    return best;
}

// r[0 .. na+nb) := a * b through the transforms (b null: a squared, nb =
// na), na >= nb, as plan_product finds cheapest.
void transform_product(Context &cx, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb) {
    assert(na + nb <= cx.product_limbs && na >= nb);
    Plan plan = plan_product(cx, na, nb, b == nullptr);
    if (plan.len >= LARGE_PAGES_LEN) use_large_pages();
    // Sliced products share out the slices' short transforms; below half the
    // threshold in the shorter operand the team's waits between them cost
    // more than the halved work saves (2^PI at 3 million digits took half as
    // long again on two threads), so those stay on this thread.
    const bool worth = na + nb >= thresholds().threaded_product &&
                       (!plan.slice || 2 * nb >= thresholds().threaded_product);
    const int members = cx.team_size > 1 && worth ? cx.team_size : 1;
    if (members > 1 && plan.slice) {
        (plan.pack == 2 ? team_sliced<2> : team_sliced<3>)(cx, members, r, a, na, b, nb, plan.len, plan.slice);
        return;
    }
    if (members > 1) {
        (plan.pack == 2 ? team_pack<2> : team_pack<3>)(cx, members, r, a, na, b, nb, plan.len, plan.three_quarters);
        return;
    }
    if (plan.slice)
        (plan.pack == 2 ? sliced_pack<2> : sliced_pack<3>)(cx, r, a, na, b, nb, plan.len, plan.slice);
    else
        (plan.pack == 2 ? transform_pack<2> : transform_pack<3>)(cx, r, a, na, b, nb, plan.len,
                                                                 plan.three_quarters);
}

// ------------------------------------------------------------ schoolbook

// r[0 .. na+nb) := a * b by columns: each column sum of at most nb limb
// products stays below 2^64 for nb up to about 1800.
void school(uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb) {
    if (na < nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    assert(nb <= 1800);
    if (vectors && nb >= 4) {
        uint64_t col[2 * 1800 + 16], b64[1800 + 24];
        if (na + nb <= 2 * 1800) {  // the Karatsuba leaves; long rows by short ones stay below
            ntt_vector::school_rows(r, a, na, b, nb, col, b64, false);
            return;
        }
    }
    uint64_t carry = 0;
    for (int k = 0; k < na + nb - 1; k++) {
        int lo = k - na + 1 > 0 ? k - na + 1 : 0;
        int hi = k < nb - 1 ? k : nb - 1;
        uint64_t acc = carry;
        for (int j = lo; j <= hi; j++) acc += uint64_t(b[j]) * a[k - j];
        r[k] = uint32_t(acc % BASE);
        carry = acc / BASE;
    }
    r[na + nb - 1] = uint32_t(carry);
}

// r[0 .. 2n) := a^2 by columns, each cross product once and doubled: half
// the products of `school`, and the same column bound.
constexpr int SQUARE_ROWS_LIMBS = 96;
void school_square(uint32_t *r, const uint32_t *a, int n) {
    assert(n <= 1800);
    if (vectors && n >= 8) {
        uint64_t col[2 * 1800 + 16], b64[1800 + 24];
        // Below about 100 limbs the diagonal blocks, taken one product at a
        // time, cost more than the vector rows of the whole product.
        ntt_vector::school_rows(r, a, n, a, n, col, b64, n >= SQUARE_ROWS_LIMBS);
        return;
    }
    uint64_t carry = 0;
    for (int k = 0; k < 2 * n - 1; k++) {
        int lo = k - n + 1 > 0 ? k - n + 1 : 0;
        int hi = (k + 1) / 2 - 1;  // the last j < k - j
        uint64_t acc = 0;
        for (int j = lo; j <= hi; j++) acc += uint64_t(a[j]) * a[k - j];
        acc = 2 * acc + carry;
        if (k % 2 == 0) acc += uint64_t(a[k / 2]) * a[k / 2];
        r[k] = uint32_t(acc % BASE);
        carry = acc / BASE;
    }
    r[2 * n - 1] = uint32_t(carry);
}

// r[0 .. n) += x[0 .. nx); the carry out of r's top is zero by construction.
void add_into(uint32_t *r, int n, const uint32_t *x, int nx) {
    uint32_t c = 0;
    int i = 0;
    for (; i < nx && i < n; i++) {
        uint32_t s = r[i] + x[i] + c;
        c = s >= BASE;
        r[i] = c ? s - uint32_t(BASE) : s;
    }
    for (; c && i < n; i++) {
        uint32_t s = r[i] + 1;
        c = s >= BASE;
        r[i] = c ? 0 : s;
    }
}

// r[0 .. n) -= x[0 .. nx), nx <= n, r >= x.
void sub_from(uint32_t *r, int n, const uint32_t *x, int nx) {
    uint32_t b = 0;
    int i = 0;
    for (; i < nx; i++) {
        uint32_t s = x[i] + b;
        b = r[i] < s;
        r[i] = b ? r[i] + uint32_t(BASE) - s : r[i] - s;
    }
    for (; b && i < n; i++) {
        b = r[i] == 0;
        r[i] = b ? uint32_t(BASE) - 1 : r[i] - 1;
    }
}

// -------------------------------------------------------------- Karatsuba

// Halves shorter than the leaf thresholds (thresholds.h) end the recursion
// in the schoolbook, whose columns beat one more Karatsuba level there.
static_assert(KARATSUBA_LEAF >= KARATSUBA_LIMBS, "kara takes over from mul_limbs' schoolbook");

// r[0 .. 2n) := a * b for two n-limb operands; s is scratch.
// s_end bounds the scratch (checked only by assertions).
void kara(uint32_t *r, const uint32_t *a, const uint32_t *b, int n, uint32_t *s, const uint32_t *s_end) {
    if (a == b && n < thresholds().square_leaf) {
        school_square(r, a, n);
        return;
    }
    if (a != b && n < thresholds().karatsuba_leaf) {
        school(r, a, n, b, n);
        return;
    }
    int h = (n + 1) / 2, t = n - h;
    kara(r, a, b, h, s, s_end);                  // low halves into r[0 .. 2h)
    kara(r + 2 * h, a + h, b + h, t, s, s_end);  // high halves into r[2h .. 2n)
    uint32_t *sa = s, *sb = s + h + 1, *mid = s + 2 * h + 2, *next = mid + 2 * h + 2;
    assert(next + 4 * (h + 1) <= s_end);
    (void)s_end;
    const bool square = a == b;
    memcpy(sa, a, sizeof(uint32_t) * h);
    sa[h] = 0;
    add_into(sa, h + 1, a + h, t);
    if (!square) {
        memcpy(sb, b, sizeof(uint32_t) * h);
        sb[h] = 0;
        add_into(sb, h + 1, b + h, t);
    }
    kara(mid, sa, square ? sa : sb, h + 1, next, s_end);
    sub_from(mid, 2 * h + 2, r, 2 * h);
    sub_from(mid, 2 * h + 2, r + 2 * h, 2 * t);
    add_into(r + h, 2 * n - h, mid, 2 * h + 2);
}

}  // namespace

// ----------------------------------------------------------------- public

namespace {

// Bytes of the product buffers for products of up to `limbs` limbs with
// transforms of length len: the coefficients, then the partial products of
// trees and powers, the staging area and the Karatsuba scratch.
size_t product_bytes(int limbs, size_t len) {
    size_t words32 = (size_t(limbs) * 2 + 256) + size_t(limbs) * 2 + KARA_WORDS;
    return 4 * len * sizeof(uint64_t) + words32 * sizeof(uint32_t);
}

// Lays the product buffers of cx out over `block` (product_bytes long,
// 8-byte aligned).
void lay_out(Context &cx, void *block, int limbs, size_t len) {
    uint64_t *w = static_cast<uint64_t *>(block);
    for (uint64_t *&c : cx.coef) {
        c = w;
        w += len;
    }
    cx.tree = reinterpret_cast<uint32_t *>(w);
    cx.stage = cx.tree + 2 * size_t(limbs) + 256;
    cx.kara = cx.stage + 2 * size_t(limbs);
    cx.transform_max = len;
    cx.product_limbs = limbs;
}

// Transform length that products of up to `limbs` limbs need at most: three
// limbs a coefficient, always a choice of plan_product, take at most
// ceil(na / 3) + ceil(nb / 3) - 1 <= (limbs + 1) / 3 coefficients;
// plan_product skips longer transforms.
size_t transform_length_for(int limbs) { return power_of_two_from(size_t(limbs + 1) / 3); }

}  // namespace

Status fastmul_reserve(Context &cx, int limbs) {
    if (limbs <= cx.product_limbs) return STATUS_OK;
    if (limbs > MAX_PRODUCT_LIMBS) return STATUS_NO_ROOM;
    size_t len = transform_length_for(limbs);
    if (reserve_tables(len) != STATUS_OK) return STATUS_NO_ROOM;
    size_t bytes = product_bytes(limbs, len);
    // Untouched pages cost nothing: the buffers of a large preset are only
    // committed as its long products first use them.
    void *block = map_zeroed(bytes);
    if (!block) return STATUS_NO_ROOM;
    if (cx.product_block) unmap_block(cx.product_block, cx.product_bytes);
    cx.product_block = block;
    cx.product_bytes = bytes;
    lay_out(cx, block, limbs, len);
    return STATUS_OK;
}

Status context_carve(Context &child, Context &parent, size_t scratch_limbs, int product_limbs) {
    child = Context();
    if (product_limbs > parent.product_limbs) return STATUS_NO_ROOM;  // the shared tables are that long
    size_t len = transform_length_for(product_limbs);
    uint32_t *block = scratch_take(parent, product_bytes(product_limbs, len) / sizeof(uint32_t) + 1);
    uint32_t *arena = block ? scratch_take(parent, scratch_limbs) : nullptr;
    if (!arena) return STATUS_NO_ROOM;
    lay_out(child, block, product_limbs, len);
    child.scratch = arena;
    child.scratch_limbs = scratch_limbs;
    child.prec = parent.prec;
    child.stop = parent.stop;
    return STATUS_OK;
}

int fastmul_capacity(const Context &cx) { return cx.product_limbs; }

uint32_t *fastmul_stage(Context &cx) { return cx.stage; }

void mul_limbs(Context &cx, uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb) {
    assert(na >= 1 && nb >= 1);
    if (stopped(cx)) return abandon(r, na + nb);
    if (a == b && na == nb) {
        sqr_limbs(cx, r, a, na);
        return;
    }
    if (na < nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    // Now nb <= na.
    const Thresholds &t = thresholds();
    if (nb < t.karatsuba) {
        school(r, a, na, b, nb);
        return;
    }
    if (nb >= t.transform || (nb >= t.transform_slice && na >= 2 * nb)) {
        assert(na + nb <= cx.product_limbs);
        transform_product(cx, r, a, na, b, nb);
        return;
    }
    // Where Karatsuba would only cut a into slices for the schoolbook, the
    // rows take the whole of a at once: no slice products added into r.
    if (nb < t.karatsuba_leaf && na + nb <= 2 * KARATSUBA_MAX_LIMBS) {
        school(r, a, na, b, nb);
        return;
    }
    uint32_t *scratch = cx.kara, *scratch_end = scratch + KARA_SCRATCH;
    if (na == nb) {
        kara(r, a, b, nb, scratch, scratch_end);
        return;
    }
    // Karatsuba on nb-limb slices of the longer operand.
    uint32_t *chunk_product = scratch_end, *chunk_padded = chunk_product + CHUNK_PRODUCT;
    memset(r, 0, sizeof(uint32_t) * (na + nb));
    for (int pos = 0; pos < na; pos += nb) {
        int len = na - pos < nb ? na - pos : nb;
        const uint32_t *chunk = a + pos;
        if (len < nb) {  // the top slice, padded with zero limbs
            memcpy(chunk_padded, chunk, sizeof(uint32_t) * len);
            memset(chunk_padded + len, 0, sizeof(uint32_t) * (nb - len));
            chunk = chunk_padded;
        }
        if (stopped(cx)) return abandon(r, na + nb);
        kara(chunk_product, chunk, b, nb, scratch, scratch_end);
        add_into(r + pos, na + nb - pos, chunk_product, len + nb);
    }
}

void sqr_limbs(Context &cx, uint32_t *r, const uint32_t *a, int n) {
    assert(n >= 1);
    if (stopped(cx)) return abandon(r, 2 * n);
    if (n < thresholds().karatsuba) {
        school_square(r, a, n);
    } else if (n < thresholds().square_transform) {
        kara(r, a, a, n, cx.kara, cx.kara + KARA_SCRATCH);
    } else {
        assert(2 * n <= cx.product_limbs);
        transform_product(cx, r, a, n, nullptr, n);
    }
}

namespace {

int strip(const uint32_t *x, int n) {
    while (n > 1 && x[n - 1] == 0) n--;
    return n;
}

int to_limbs(uint32_t *out, uint64_t v) {
    int n = 0;
    do {
        out[n++] = uint32_t(v % BASE);
        v /= BASE;
    } while (v);
    return n;
}

}  // namespace

Status falling_product_limbs(Context &cx, uint32_t *r, int room, int *written, int64_t first, int64_t count,
                             int64_t step) {
    assert(count >= 1 && step >= 0 && first - (count - 1) * step >= 1);
    assert(room >= 1 && room <= cx.product_limbs);
    uint32_t *arena = cx.tree;
    // A stack of partial products in the arena, each tagged with the number
    // of leaves it holds; equal neighbours are merged, as in a binary
    // counter, so the tree stays balanced.
    constexpr int DEPTH = 70;
    int start[DEPTH], size[DEPTH];
    int64_t leaves[DEPTH];
    int top = 0, end = 0;
    uint32_t *temp = arena + room + 2 * DEPTH;  // output of a merge, room + 1 limbs
    auto merge = [&]() -> bool {
        int x = top - 2, y = top - 1;
        int nx = size[x], ny = size[y];
        if (nx + ny - 1 > room) return false;
        mul_limbs(cx, temp, arena + start[x], nx, arena + start[y], ny);
        int n = strip(temp, nx + ny);
        if (n > room) return false;
        memcpy(arena + start[x], temp, sizeof(uint32_t) * n);
        size[x] = n;
        leaves[x] += leaves[y];
        end = start[x] + n;
        top--;
        return true;
    };
    int64_t v = first;
    for (int64_t i = 0; i < count;) {
        // A leaf: one factor of a limb or more, or several small factors
        // packed below the limb base.
        uint32_t leaf[3];
        int nl;
        if (uint64_t(v) >= BASE) {
            nl = to_limbs(leaf, uint64_t(v));
            v -= step;
            i++;
        } else {
            uint64_t acc = uint64_t(v);
            v -= step;
            i++;
            while (i < count && acc * uint64_t(v) < BASE) {
                acc *= uint64_t(v);
                v -= step;
                i++;
            }
            nl = to_limbs(leaf, acc);
        }
        // Sum of the stacked lengths bounds the product from above within
        // one limb per entry; past room + entries it cannot fit.
        if (end + nl > room + 2 * DEPTH - 4) return STATUS_NO_ROOM;
        start[top] = end;
        size[top] = nl;
        leaves[top] = 1;
        memcpy(arena + end, leaf, sizeof(uint32_t) * nl);
        end += nl;
        top++;
        while (top >= 2 && leaves[top - 2] == leaves[top - 1])
            if (!merge()) return STATUS_NO_ROOM;
        if (stopped(cx)) return STATUS_INTERRUPTED;
        assert(top < DEPTH - 1);
    }
    while (top >= 2)
        if (!merge()) return STATUS_NO_ROOM;
    if (stopped(cx)) return STATUS_INTERRUPTED;
    if (size[0] > room) return STATUS_NO_ROOM;
    memcpy(r, arena, sizeof(uint32_t) * size[0]);
    *written = size[0];
    return STATUS_OK;
}

// The power's steps alternate between r and the context's tree buffer
// rather than copying each result back: the copies were a tenth of a
// 10^7-digit power. A step whose result would not fit r (it has one limb
// less than the buffer) first moves the value back into r.
Status power_limbs(Context &cx, uint32_t *r, int room, int *written, const uint32_t *a, int n, uint64_t e) {
    assert(e >= 1 && n >= 1 && room <= cx.product_limbs);
    n = strip(a, n);
    if (n > room) return STATUS_NO_ROOM;
    uint32_t *cur = r, *other = cx.tree;  // the tree buffer has room + 1 limbs
    memcpy(r, a, sizeof(uint32_t) * n);
    int len = n;
    // Makes `other` able to take `limbs` limbs; returns it.
    auto target = [&](int limbs) {
        if (other == r && limbs > room) {
            memcpy(r, cur, sizeof(uint32_t) * len);
            other = cur;
            cur = r;
        }
        return other;
    };
    auto step_done = [&](int limbs) {
        std::swap(cur, other);
        len = strip(cur, limbs);
    };
    int bit = 63;
    while (!((e >> bit) & 1)) bit--;
    for (bit--; bit >= 0; bit--) {
        if (stopped(cx)) return STATUS_INTERRUPTED;
        if (2 * len - 1 > room) return STATUS_NO_ROOM;
        uint32_t *dst = target(2 * len);
        sqr_limbs(cx, dst, cur, len);
        step_done(2 * len);
        if (len > room) return STATUS_NO_ROOM;
        if ((e >> bit) & 1) {
            if (len + n - 1 > room) return STATUS_NO_ROOM;
            dst = target(len + n);
            if (n == 1)
                dst[len] = uint32_t(lv_mul_1(dst, cur, len, a[0]));  // below BASE: a[0] < BASE
            else
                mul_limbs(cx, dst, cur, len, a, n);
            step_done(len + n);
            if (len > room) return STATUS_NO_ROOM;
        }
    }
    if (stopped(cx)) return STATUS_INTERRUPTED;
    if (cur != r) memcpy(r, cur, sizeof(uint32_t) * len);
    *written = len;
    return STATUS_OK;
}


bool fastmul_use_vectors(bool on) {
    if (field[0].p == 0) (void)reserve_tables(0);  // makes the fields, which look at the processor
    bool had = vectors;
    vectors = on && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    return had;
}
