// Eight-lane versions of the transform's butterflies and pointwise products
// and of the schoolbook product (fastmul.cpp), for processors with 512-bit
// integer vectors. Their values are congruent to the scalar loops' and kept
// in the same ranges, so a product has the same limbs whichever runs;
// fastmul.cpp picks them once the processor is known to have the
// instructions.
#pragma once
// The compiler's 512-bit intrinsics start from an undefined vector that some
// versions report as "maybe uninitialized" once inlined; the report is about
// their own text, so it is silenced for that header alone (both forms).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif

#include <cstddef>
#include <cstdint>

#define NTT_VECTOR_TARGET __attribute__((target("avx512f,avx512dq")))

namespace ntt_vector {

// High words of the eight 64 x 64-bit products x * y, from four 32 x 32-bit
// products per lane (the vectors have no 64-bit high multiply).
NTT_VECTOR_TARGET inline __m512i mul_high(__m512i x, __m512i y) {
    const __m512i low32 = _mm512_set1_epi64(0xffffffffu);
    __m512i xh = _mm512_srli_epi64(x, 32), yh = _mm512_srli_epi64(y, 32);
    __m512i ll = _mm512_mul_epu32(x, y), lh = _mm512_mul_epu32(x, yh);
    __m512i hl = _mm512_mul_epu32(xh, y), hh = _mm512_mul_epu32(xh, yh);
    __m512i mid = _mm512_add_epi64(_mm512_srli_epi64(ll, 32), _mm512_and_si512(lh, low32));
    mid = _mm512_add_epi64(mid, _mm512_and_si512(hl, low32));
    __m512i high = _mm512_add_epi64(hh, _mm512_srli_epi64(lh, 32));
    high = _mm512_add_epi64(high, _mm512_srli_epi64(hl, 32));
    return _mm512_add_epi64(high, _mm512_srli_epi64(mid, 32));
}

// x in [0, 2b) reduced to [0, b).
NTT_VECTOR_TARGET inline __m512i below(__m512i x, __m512i b) {
    return _mm512_min_epu64(x, _mm512_sub_epi64(x, b));
}

// x * w mod p in [0, 2p) for a constant w < p with its quotient
// wq = floor(w 2^64 / p), as the scalar shoup (p below 2^62). The quotient
// estimate is the high word of x wq without the carries of its low 64-bit
// column: of the three 32-bit parts that column drops (the low halves of
// the two cross products and the high half of the low one) the carry is
// at most 2, so the estimate falls short of the scalar one by 0, 1 or 2
// and x w - q p lies in [0, 4p), exact in 64 bits since 4p < 2^64; one
// reduction brings it below 2p. That saves a product and six other steps
// of the exact high word.
NTT_VECTOR_TARGET inline __m512i shoup(__m512i x, __m512i w, __m512i wq, __m512i p) {
    __m512i xh = _mm512_srli_epi64(x, 32), wh = _mm512_srli_epi64(wq, 32);
    __m512i q = _mm512_add_epi64(_mm512_mul_epu32(xh, wh),
                                 _mm512_add_epi64(_mm512_srli_epi64(_mm512_mul_epu32(x, wh), 32),
                                                  _mm512_srli_epi64(_mm512_mul_epu32(xh, wq), 32)));
    __m512i r = _mm512_sub_epi64(_mm512_mullo_epi64(x, w), _mm512_mullo_epi64(q, p));
    return below(r, _mm512_add_epi64(p, p));
}

// Montgomery product x y / 2^64 mod p in (0, 2p), as the scalar mont: with
// m = lo(x y) pinv, the result is hi(x y) - hi(m p) + p.
NTT_VECTOR_TARGET inline __m512i mont(__m512i x, __m512i y, __m512i p, __m512i pinv) {
    __m512i m = _mm512_mullo_epi64(_mm512_mullo_epi64(x, y), pinv);
    return _mm512_add_epi64(_mm512_sub_epi64(mul_high(x, y), mul_high(m, p)), p);
}

NTT_VECTOR_TARGET inline __m512i load(const uint64_t *a) { return _mm512_loadu_si512(a); }
NTT_VECTOR_TARGET inline void store(uint64_t *a, __m512i v) { _mm512_storeu_si512(a, v); }
NTT_VECTOR_TARGET inline __m512i splat(uint64_t v) { return _mm512_set1_epi64(int64_t(v)); }

// One forward level on 2h values, root r with quotient rq, for the
// positions j0 <= j < j1 (j1 - j0 a multiple of 8) of the first half.
NTT_VECTOR_TARGET inline void fwd2(uint64_t *a, size_t h, uint64_t r, uint64_t rq, uint64_t p, size_t j0, size_t j1) {
    const __m512i vp = splat(p), p2 = splat(2 * p), w = splat(r), wq = splat(rq);
    uint64_t *b = a + h;
    for (size_t j = j0; j < j1; j += 8) {
        __m512i u = below(load(a + j), p2);
        __m512i t = shoup(load(b + j), w, wq, vp);
        store(a + j, _mm512_add_epi64(u, t));
        store(b + j, _mm512_sub_epi64(_mm512_add_epi64(u, p2), t));
    }
}

// Two forward levels on 4q values, for the positions j0 <= j < j1 (j1 - j0
// a multiple of 8) of the first quarter: roots r[0..5] are (r1, r1q, r2,
// r2q, r3, r3q) as the scalar fwd4 reads them.
NTT_VECTOR_TARGET inline void fwd4(uint64_t *a, size_t q, const uint64_t r[6], uint64_t p, size_t j0, size_t j1) {
    const __m512i vp = splat(p), p2 = splat(2 * p);
    const __m512i r1 = splat(r[0]), r1q = splat(r[1]), r2 = splat(r[2]), r2q = splat(r[3]);
    const __m512i r3 = splat(r[4]), r3q = splat(r[5]);
    for (size_t j = j0; j < j1; j += 8) {
        __m512i x0 = below(load(a + j), p2), x1 = below(load(a + j + q), p2);
        __m512i t2 = shoup(load(a + j + 2 * q), r1, r1q, vp), t3 = shoup(load(a + j + 3 * q), r1, r1q, vp);
        __m512i y0 = below(_mm512_add_epi64(x0, t2), p2);
        __m512i y2 = below(_mm512_sub_epi64(_mm512_add_epi64(x0, p2), t2), p2);
        __m512i y1 = _mm512_add_epi64(x1, t3), y3 = _mm512_sub_epi64(_mm512_add_epi64(x1, p2), t3);
        __m512i s1 = shoup(y1, r2, r2q, vp), s3 = shoup(y3, r3, r3q, vp);
        store(a + j, _mm512_add_epi64(y0, s1));
        store(a + j + q, _mm512_sub_epi64(_mm512_add_epi64(y0, p2), s1));
        store(a + j + 2 * q, _mm512_add_epi64(y2, s3));
        store(a + j + 3 * q, _mm512_sub_epi64(_mm512_add_epi64(y2, p2), s3));
    }
}

// One inverse level on 2h values, inverse root r, positions as fwd2.
NTT_VECTOR_TARGET inline void inv2(uint64_t *a, size_t h, uint64_t r, uint64_t rq, uint64_t p, size_t j0, size_t j1) {
    const __m512i vp = splat(p), p2 = splat(2 * p), w = splat(r), wq = splat(rq);
    uint64_t *b = a + h;
    for (size_t j = j0; j < j1; j += 8) {
        __m512i u = load(a + j), v = load(b + j);
        store(a + j, below(_mm512_add_epi64(u, v), p2));
        store(b + j, shoup(_mm512_sub_epi64(_mm512_add_epi64(u, p2), v), w, wq, vp));
    }
}

// Two inverse levels on 4q values, inverse roots and positions as fwd4.
NTT_VECTOR_TARGET inline void inv4(uint64_t *a, size_t q, const uint64_t r[6], uint64_t p, size_t j0, size_t j1) {
    const __m512i vp = splat(p), p2 = splat(2 * p);
    const __m512i r1 = splat(r[0]), r1q = splat(r[1]), r2 = splat(r[2]), r2q = splat(r[3]);
    const __m512i r3 = splat(r[4]), r3q = splat(r[5]);
    for (size_t j = j0; j < j1; j += 8) {
        __m512i z0 = load(a + j), z1 = load(a + j + q), z2 = load(a + j + 2 * q), z3 = load(a + j + 3 * q);
        __m512i y0 = below(_mm512_add_epi64(z0, z1), p2);
        __m512i y1 = shoup(_mm512_sub_epi64(_mm512_add_epi64(z0, p2), z1), r2, r2q, vp);
        __m512i y2 = below(_mm512_add_epi64(z2, z3), p2);
        __m512i y3 = shoup(_mm512_sub_epi64(_mm512_add_epi64(z2, p2), z3), r3, r3q, vp);
        store(a + j, below(_mm512_add_epi64(y0, y2), p2));
        store(a + j + q, below(_mm512_add_epi64(y1, y3), p2));
        store(a + j + 2 * q, shoup(_mm512_sub_epi64(_mm512_add_epi64(y0, p2), y2), r1, r1q, vp));
        store(a + j + 3 * q, shoup(_mm512_sub_epi64(_mm512_add_epi64(y1, p2), y3), r1, r1q, vp));
    }
}

// The forward butterfly of fwd4 on four vectors, roots given per lane.
NTT_VECTOR_TARGET inline void fwd4_lanes(__m512i &a0, __m512i &a1, __m512i &a2, __m512i &a3, __m512i r1,
                                         __m512i r1q, __m512i r2, __m512i r2q, __m512i r3, __m512i r3q, __m512i vp) {
    const __m512i p2 = _mm512_add_epi64(vp, vp);
    __m512i x0 = below(a0, p2), x1 = below(a1, p2);
    __m512i t2 = shoup(a2, r1, r1q, vp), t3 = shoup(a3, r1, r1q, vp);
    __m512i y0 = below(_mm512_add_epi64(x0, t2), p2);
    __m512i y2 = below(_mm512_sub_epi64(_mm512_add_epi64(x0, p2), t2), p2);
    __m512i y1 = _mm512_add_epi64(x1, t3), y3 = _mm512_sub_epi64(_mm512_add_epi64(x1, p2), t3);
    __m512i s1 = shoup(y1, r2, r2q, vp), s3 = shoup(y3, r3, r3q, vp);
    a0 = _mm512_add_epi64(y0, s1);
    a1 = _mm512_sub_epi64(_mm512_add_epi64(y0, p2), s1);
    a2 = _mm512_add_epi64(y2, s3);
    a3 = _mm512_sub_epi64(_mm512_add_epi64(y2, p2), s3);
}

// The inverse butterfly of inv4 on four vectors, inverse roots per lane.
NTT_VECTOR_TARGET inline void inv4_lanes(__m512i &z0, __m512i &z1, __m512i &z2, __m512i &z3, __m512i r1,
                                         __m512i r1q, __m512i r2, __m512i r2q, __m512i r3, __m512i r3q, __m512i vp) {
    const __m512i p2 = _mm512_add_epi64(vp, vp);
    __m512i y0 = below(_mm512_add_epi64(z0, z1), p2);
    __m512i y1 = shoup(_mm512_sub_epi64(_mm512_add_epi64(z0, p2), z1), r2, r2q, vp);
    __m512i y2 = below(_mm512_add_epi64(z2, z3), p2);
    __m512i y3 = shoup(_mm512_sub_epi64(_mm512_add_epi64(z2, p2), z3), r3, r3q, vp);
    z0 = below(_mm512_add_epi64(y0, y2), p2);
    z1 = below(_mm512_add_epi64(y1, y3), p2);
    z2 = shoup(_mm512_sub_epi64(_mm512_add_epi64(y0, p2), y2), r1, r1q, vp);
    z3 = shoup(_mm512_sub_epi64(_mm512_add_epi64(y1, p2), y3), r1, r1q, vp);
}

NTT_VECTOR_TARGET inline __m512i pick(__m512i x, const int64_t (&lanes)[8], __m512i y) {
    return _mm512_permutex2var_epi64(x, _mm512_loadu_si512(lanes), y);
}

static const int64_t EVEN_PAIRS[8] = {0, 4, 8, 12, 1, 5, 9, 13}, ODD_PAIRS[8] = {2, 6, 10, 14, 3, 7, 11, 15};
static const int64_t LOW[8] = {0, 1, 2, 3, 8, 9, 10, 11}, HIGH[8] = {4, 5, 6, 7, 12, 13, 14, 15};

// Transposes the 8 x 4 words v0..v3 (32 consecutive words) into x0..x3 with
// xj = words j, j + 4, ..., j + 28.
NTT_VECTOR_TARGET inline void transpose4(__m512i v0, __m512i v1, __m512i v2, __m512i v3, __m512i &x0, __m512i &x1,
                                         __m512i &x2, __m512i &x3) {
    __m512i a = pick(v0, EVEN_PAIRS, v1), b = pick(v0, ODD_PAIRS, v1);
    __m512i c = pick(v2, EVEN_PAIRS, v3), d = pick(v2, ODD_PAIRS, v3);
    x0 = pick(a, LOW, c);
    x1 = pick(a, HIGH, c);
    x2 = pick(b, LOW, d);
    x3 = pick(b, HIGH, d);
}

// The inverse of transpose4: words 4b + j := xj lane b, into v0..v3.
NTT_VECTOR_TARGET inline void untranspose4(__m512i x0, __m512i x1, __m512i x2, __m512i x3, __m512i &v0, __m512i &v1,
                                           __m512i &v2, __m512i &v3) {
    __m512i a = pick(x0, LOW, x1), b = pick(x2, LOW, x3);
    __m512i c = pick(x0, HIGH, x1), d = pick(x2, HIGH, x3);
    v0 = pick(a, EVEN_PAIRS, b);
    v1 = pick(a, ODD_PAIRS, b);
    v2 = pick(c, EVEN_PAIRS, d);
    v3 = pick(c, ODD_PAIRS, d);
}

// The eight lanes' forward (inverse) roots of blocks k .. k + 7 as fwd4 and
// inv4 read them: (root k, quotient) from rt[2k ..] and the pairs of roots
// 2k and 2k + 1 from rt[4k ..].
NTT_VECTOR_TARGET inline void roots8(const uint64_t *rt, size_t k, __m512i r[6]) {
    static const int64_t EVENS[8] = {0, 2, 4, 6, 8, 10, 12, 14}, ODDS[8] = {1, 3, 5, 7, 9, 11, 13, 15};
    __m512i l0 = load(rt + 2 * k), l1 = load(rt + 2 * k + 8);
    r[0] = pick(l0, EVENS, l1);
    r[1] = pick(l0, ODDS, l1);
    const uint64_t *m = rt + 4 * k;
    transpose4(load(m), load(m + 8), load(m + 16), load(m + 24), r[2], r[3], r[4], r[5]);
}

// The level of blocks of 4 values (fwd4 with q = 1, or inv4 with the
// inverse roots when `inverse`) on `blocks` blocks, a multiple of 8,
// numbered from k: eight blocks a step, transposed so that each vector
// holds one position of eight blocks.
NTT_VECTOR_TARGET inline void level_blocks_of_4(uint64_t *a, size_t blocks, const uint64_t *rt, size_t k, uint64_t p,
                                                bool inverse) {
    const __m512i vp = splat(p);
    for (size_t b = 0; b < blocks; b += 8, a += 32) {
        __m512i r[6], x0, x1, x2, x3;
        roots8(rt, k + b, r);
        transpose4(load(a), load(a + 8), load(a + 16), load(a + 24), x0, x1, x2, x3);
        if (inverse) inv4_lanes(x0, x1, x2, x3, r[0], r[1], r[2], r[3], r[4], r[5], vp);
        else fwd4_lanes(x0, x1, x2, x3, r[0], r[1], r[2], r[3], r[4], r[5], vp);
        __m512i v0, v1, v2, v3;
        untranspose4(x0, x1, x2, x3, v0, v1, v2, v3);
        store(a, v0);
        store(a + 8, v1);
        store(a + 16, v2);
        store(a + 24, v3);
    }
}

// Two blocks of 16 values in one set of vectors: the low four lanes from
// block b, the high four from block b + 1, position j of each.
NTT_VECTOR_TARGET inline __m512i load_pair(const uint64_t *a) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(a))),
                              _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + 16)), 1);
}
NTT_VECTOR_TARGET inline void store_pair(uint64_t *a, __m512i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(a), _mm512_castsi512_si256(v));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(a + 16), _mm512_extracti64x4_epi64(v, 1));
}
NTT_VECTOR_TARGET inline __m512i halves(uint64_t low, uint64_t high) {
    return _mm512_mask_blend_epi64(0xf0, splat(low), splat(high));
}

// The level of blocks of 16 values (q = 4) on `blocks` blocks, an even
// number, numbered from k; `inverse` picks inv4's butterfly and roots.
NTT_VECTOR_TARGET inline void level_blocks_of_16(uint64_t *a, size_t blocks, const uint64_t *rt, size_t k, uint64_t p,
                                                 bool inverse) {
    const __m512i vp = splat(p);
    for (size_t b = 0; b < blocks; b += 2, a += 32) {
        size_t j = k + b;
        __m512i r1 = halves(rt[2 * j], rt[2 * j + 2]), r1q = halves(rt[2 * j + 1], rt[2 * j + 3]);
        __m512i r2 = halves(rt[4 * j], rt[4 * j + 4]), r2q = halves(rt[4 * j + 1], rt[4 * j + 5]);
        __m512i r3 = halves(rt[4 * j + 2], rt[4 * j + 6]), r3q = halves(rt[4 * j + 3], rt[4 * j + 7]);
        __m512i x0 = load_pair(a), x1 = load_pair(a + 4), x2 = load_pair(a + 8), x3 = load_pair(a + 12);
        if (inverse) inv4_lanes(x0, x1, x2, x3, r1, r1q, r2, r2q, r3, r3q, vp);
        else fwd4_lanes(x0, x1, x2, x3, r1, r1q, r2, r2q, r3, r3q, vp);
        store_pair(a, x0);
        store_pair(a + 4, x1);
        store_pair(a + 8, x2);
        store_pair(a + 12, x3);
    }
}

// a[i] := a[i] b[i] / 2^64 (b null: a[i]^2 / 2^64) for i < len8, a multiple
// of 8, inputs in [0, 4p) halved to [0, 2p) first, as the scalar pointwise.
NTT_VECTOR_TARGET inline void pointwise(uint64_t *a, const uint64_t *b, size_t len8, uint64_t p, uint64_t pinv) {
    const __m512i vp = splat(p), p2 = splat(2 * p), vi = splat(pinv);
    for (size_t i = 0; i < len8; i += 8) {
        __m512i x = below(load(a + i), p2);
        __m512i y = b ? below(load(b + i), p2) : x;
        store(a + i, mont(x, y, vp, vi));
    }
}

// The constants of the Chinese remaindering (fastmul.cpp's recombine): the
// primes, the pairs (value, Shoup quotient) that remove the transform's
// scale and take Garner's steps, and the base-10^8 digits of p0 and p0 p1.
struct GarnerConstants {
    uint64_t p[3];
    uint64_t scale[3][2];
    uint64_t inv01[2], p0_mod_p2[2], inv012[2];
    uint64_t p0_digits[3], p01_digits[5];
};

// Lane sums and products of digits (each operand below 2^32).
NTT_VECTOR_TARGET inline __m512i add(__m512i a, __m512i b) { return _mm512_add_epi64(a, b); }
NTT_VECTOR_TARGET inline __m512i mul(__m512i a, __m512i b) { return _mm512_mul_epu32(a, b); }

// The three base-10^8 digits of each lane's v < 2^62: a quotient by 10^8 is
// the high word of v times ceil(2^90 / 10^8), shifted by 26; its error stays
// below 2^-28, less than the least distance 10^-8 of v / 10^8 to the next
// integer above it.
NTT_VECTOR_TARGET inline void digits3(__m512i v, __m512i d[3]) {
    const __m512i magic = splat(12379400392853802749u), base = splat(100000000);
    __m512i q = _mm512_srli_epi64(mul_high(v, magic), 26);
    d[0] = _mm512_sub_epi64(v, _mm512_mullo_epi64(q, base));
    d[2] = _mm512_srli_epi64(mul_high(q, magic), 26);
    d[1] = _mm512_sub_epi64(q, _mm512_mullo_epi64(d[2], base));
}

// Garner's steps for the coefficients i0 <= i < i0 + 8 of the inverse
// transforms res[0 .. pack): out[j * 8 + lane] := column j (the base-10^8
// digit products of the coefficient, and x0 whole in column 0) of
// coefficient i0 + lane, for j < 2 pack + 1, exactly as the scalar
// recombine forms them.
NTT_VECTOR_TARGET inline void garner_columns(uint64_t *const *res, size_t i0, int pack, const GarnerConstants &g,
                                             uint64_t *out) {
    const __m512i p0 = splat(g.p[0]), p1 = splat(g.p[1]), p2 = splat(g.p[2]);
    __m512i x0 = below(shoup(load(res[0] + i0), splat(g.scale[0][0]), splat(g.scale[0][1]), p0), p0);
    __m512i x1 = below(shoup(load(res[1] + i0), splat(g.scale[1][0]), splat(g.scale[1][1]), p1), p1);
    __m512i k1 = below(shoup(_mm512_sub_epi64(_mm512_add_epi64(x1, p1), x0), splat(g.inv01[0]), splat(g.inv01[1]), p1), p1);
    __m512i d1[3];
    digits3(k1, d1);
    __m512i P[3], col[7];
    for (int j = 0; j < 3; j++) P[j] = splat(g.p0_digits[j]);
    col[0] = add(x0, mul(P[0], d1[0]));
    col[1] = add(mul(P[0], d1[1]), mul(P[1], d1[0]));
    col[2] = add(add(mul(P[0], d1[2]), mul(P[1], d1[1])), mul(P[2], d1[0]));
    col[3] = add(mul(P[1], d1[2]), mul(P[2], d1[1]));
    col[4] = mul(P[2], d1[2]);
    if (pack == 3) {
        __m512i x2 = below(shoup(load(res[2] + i0), splat(g.scale[2][0]), splat(g.scale[2][1]), p2), p2);
        __m512i y = add(x0, shoup(k1, splat(g.p0_mod_p2[0]), splat(g.p0_mod_p2[1]), p2));
        __m512i t = _mm512_sub_epi64(add(x2, splat(3 * g.p[2])), y);
        __m512i k2 = below(shoup(t, splat(g.inv012[0]), splat(g.inv012[1]), p2), p2);
        __m512i d2[3], Q[5];
        digits3(k2, d2);
        for (int j = 0; j < 5; j++) Q[j] = splat(g.p01_digits[j]);
        col[0] = add(col[0], mul(Q[0], d2[0]));
        col[1] = add(col[1], add(mul(Q[0], d2[1]), mul(Q[1], d2[0])));
        col[2] = add(col[2], add(add(mul(Q[0], d2[2]), mul(Q[1], d2[1])), mul(Q[2], d2[0])));
        col[3] = add(col[3], add(add(mul(Q[1], d2[2]), mul(Q[2], d2[1])), mul(Q[3], d2[0])));
        col[4] = add(col[4], add(add(mul(Q[2], d2[2]), mul(Q[3], d2[1])), mul(Q[4], d2[0])));
        col[5] = add(mul(Q[3], d2[2]), mul(Q[4], d2[1]));
        col[6] = mul(Q[4], d2[2]);
    }
    for (int j = 0; j < 2 * pack + 1; j++) store(out + 8 * j, col[j]);
}

// r[0 .. na+nb) := a * b by rows: every product a[i] b[j] (below 10^16) is
// added to the 64-bit column i + j, then one pass carries the columns into
// base-10^8 limbs. A column takes at most min(na, nb) <= 1800 products, so
// it stays below 1.8e19 < 2^64 with the carry. Eight rows (at the end
// four) share each load and store of the columns: b is read at shifts 0 to
// 7 from a copy with zeros on both sides. col needs na + nb + 16 words,
// b64 nb + 24.
// square: a and b are the same, each cross product is taken once, doubled.
NTT_VECTOR_TARGET inline void school_rows(uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb,
                                          uint64_t *col, uint64_t *b64, bool square) {
    const uint64_t BASE = 100000000;
    uint64_t *bz = b64 + 8;
    for (int j = -8; j < 0; j++) bz[j] = 0;
    for (int j = 0; j < nb; j++) bz[j] = b[j];
    for (int j = nb; j < nb + 16; j++) bz[j] = 0;
    for (int k = 0; k < na + nb + 16; k++) col[k] = 0;
    int i = 0;
    for (; i + 8 <= na; i += 8) {
        // Rows i .. i+7 add a[i+t] b[j-t] into column i + j. A square takes
        // each cross product (i+t, m), m > i+t, once and doubled: the pairs
        // with m below i + 15 - t one by one, the rest (from j = i + 15 on,
        // where every row is past its diagonal) in the vector loop.
        const uint64_t scale = square ? 2 : 1;
        __m512i av[8];
        for (int t = 0; t < 8; t++) av[t] = splat(scale * a[i + t]);
        int j = 0;
        if (square) {
            for (int t = 0; t < 8; t++) {
                uint64_t at = a[i + t];
                col[2 * (i + t)] += at * at;
                for (int m = i + t + 1; m < i + 15 - t && m < nb; m++) col[i + t + m] += 2 * at * bz[m];
            }
            j = i + 15;
        }
        uint64_t *c = col + i;
        for (; j < nb + 7; j += 8) {
            __m512i s0 = _mm512_add_epi64(_mm512_mul_epu32(av[0], load(bz + j)), _mm512_mul_epu32(av[1], load(bz + j - 1)));
            __m512i s1 = _mm512_add_epi64(_mm512_mul_epu32(av[2], load(bz + j - 2)), _mm512_mul_epu32(av[3], load(bz + j - 3)));
            __m512i s2 = _mm512_add_epi64(_mm512_mul_epu32(av[4], load(bz + j - 4)), _mm512_mul_epu32(av[5], load(bz + j - 5)));
            __m512i s3 = _mm512_add_epi64(_mm512_mul_epu32(av[6], load(bz + j - 6)), _mm512_mul_epu32(av[7], load(bz + j - 7)));
            __m512i s = _mm512_add_epi64(_mm512_add_epi64(s0, s1), _mm512_add_epi64(s2, s3));
            store(c + j, _mm512_add_epi64(load(c + j), s));
        }
    }
    if (!square) {
        for (; i + 4 <= na; i += 4) {
            const __m512i a0 = splat(a[i]), a1 = splat(a[i + 1]), a2 = splat(a[i + 2]), a3 = splat(a[i + 3]);
            uint64_t *c = col + i;
            for (int j = 0; j < nb + 3; j += 8) {
                __m512i s = _mm512_add_epi64(_mm512_mul_epu32(a0, load(bz + j)), _mm512_mul_epu32(a1, load(bz + j - 1)));
                __m512i t = _mm512_add_epi64(_mm512_mul_epu32(a2, load(bz + j - 2)), _mm512_mul_epu32(a3, load(bz + j - 3)));
                store(c + j, _mm512_add_epi64(load(c + j), _mm512_add_epi64(s, t)));
            }
        }
    }
    for (; i < na; i++) {
        int j = square ? i + 1 : 0;
        uint64_t ai = square ? 2 * uint64_t(a[i]) : a[i];
        if (square) col[2 * i] += uint64_t(a[i]) * a[i];
        const __m512i va = splat(ai);
        uint64_t *c = col + i;
        for (; j + 8 <= nb; j += 8) store(c + j, _mm512_add_epi64(load(c + j), _mm512_mul_epu32(va, load(bz + j))));
        for (; j < nb; j++) c[j] += ai * bz[j];
    }
    uint64_t carry = 0;
    for (int k = 0; k < na + nb; k++) {
        uint64_t v = col[k] + carry;
        carry = v / BASE;
        r[k] = uint32_t(v - carry * BASE);
    }
}

}  // namespace ntt_vector
