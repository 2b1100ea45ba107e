// Eight-lane versions of the transform's butterflies and pointwise products
// (fastmul.cpp), for processors with 512-bit integer vectors. They compute
// exactly what the scalar loops compute, lane by lane, so a product has the
// same limbs whichever runs; fastmul.cpp picks them once the processor is
// known to have the instructions.
#pragma once
// The compiler's 512-bit intrinsics start from an undefined vector that some
// versions report as "maybe uninitialized" once inlined; the report is about
// their own text, so it is silenced for that header alone.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
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

// x * w mod p in [0, 2p) for a constant w < p with its quotient
// wq = floor(w 2^64 / p), as the scalar shoup.
NTT_VECTOR_TARGET inline __m512i shoup(__m512i x, __m512i w, __m512i wq, __m512i p) {
    __m512i q = mul_high(x, wq);
    return _mm512_sub_epi64(_mm512_mullo_epi64(x, w), _mm512_mullo_epi64(q, p));
}

// x in [0, 2b) reduced to [0, b).
NTT_VECTOR_TARGET inline __m512i below(__m512i x, __m512i b) {
    return _mm512_min_epu64(x, _mm512_sub_epi64(x, b));
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

// One forward level on 2h values (h a multiple of 8), root r with quotient rq.
NTT_VECTOR_TARGET inline void fwd2(uint64_t *a, size_t h, uint64_t r, uint64_t rq, uint64_t p) {
    const __m512i vp = splat(p), p2 = splat(2 * p), w = splat(r), wq = splat(rq);
    uint64_t *b = a + h;
    for (size_t j = 0; j < h; j += 8) {
        __m512i u = below(load(a + j), p2);
        __m512i t = shoup(load(b + j), w, wq, vp);
        store(a + j, _mm512_add_epi64(u, t));
        store(b + j, _mm512_sub_epi64(_mm512_add_epi64(u, p2), t));
    }
}

// Two forward levels on 4q values (q a multiple of 8): roots r[0..5] are
// (r1, r1q, r2, r2q, r3, r3q) as the scalar fwd4 reads them.
NTT_VECTOR_TARGET inline void fwd4(uint64_t *a, size_t q, const uint64_t r[6], uint64_t p) {
    const __m512i vp = splat(p), p2 = splat(2 * p);
    const __m512i r1 = splat(r[0]), r1q = splat(r[1]), r2 = splat(r[2]), r2q = splat(r[3]);
    const __m512i r3 = splat(r[4]), r3q = splat(r[5]);
    for (size_t j = 0; j < q; j += 8) {
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

// One inverse level on 2h values (h a multiple of 8), inverse root r.
NTT_VECTOR_TARGET inline void inv2(uint64_t *a, size_t h, uint64_t r, uint64_t rq, uint64_t p) {
    const __m512i vp = splat(p), p2 = splat(2 * p), w = splat(r), wq = splat(rq);
    uint64_t *b = a + h;
    for (size_t j = 0; j < h; j += 8) {
        __m512i u = load(a + j), v = load(b + j);
        store(a + j, below(_mm512_add_epi64(u, v), p2));
        store(b + j, shoup(_mm512_sub_epi64(_mm512_add_epi64(u, p2), v), w, wq, vp));
    }
}

// Two inverse levels on 4q values (q a multiple of 8), inverse roots as fwd4.
NTT_VECTOR_TARGET inline void inv4(uint64_t *a, size_t q, const uint64_t r[6], uint64_t p) {
    const __m512i vp = splat(p), p2 = splat(2 * p);
    const __m512i r1 = splat(r[0]), r1q = splat(r[1]), r2 = splat(r[2]), r2q = splat(r[3]);
    const __m512i r3 = splat(r[4]), r3q = splat(r[5]);
    for (size_t j = 0; j < q; j += 8) {
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

}  // namespace ntt_vector
