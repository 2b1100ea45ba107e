// Fast multiplication of base-100000000 limb vectors: column-wise schoolbook,
// Karatsuba, and a number-theoretic transform over three primes joined by
// Chinese remaindering; product trees and powers built on top of them.
#include <utility>
#include "fastmul.h"

#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "../factor/gmp_api.h"
#include "bignum.h"

namespace {

constexpr uint64_t BASE = 100000000;

// ------------------------------------------------------------ scratch space

// Karatsuba only ever runs on operands shorter than TRANSFORM_LIMBS, so its
// scratch is static: 4h + 4 limbs per level for halves of h limbs.
static_assert(SQUARE_TRANSFORM_LIMBS <= TRANSFORM_LIMBS, "Karatsuba scratch is sized for TRANSFORM_LIMBS");
constexpr int KARA_SCRATCH = 8 * TRANSFORM_LIMBS + 512;
uint32_t kara_scratch[KARA_SCRATCH];
uint32_t chunk_product[2 * TRANSFORM_LIMBS + 8];
uint32_t chunk_padded[TRANSFORM_LIMBS + 8];

int reserved_limbs = 0;     // largest product the buffers below can take
int transform_max = 0;      // largest transform length (a power of two)
uint32_t *fa = nullptr;     // transform of the first operand (transform_max)
uint32_t *fb = nullptr;     // transform of the second operand (transform_max)
uint32_t *res0 = nullptr;   // product modulo the first prime (reserved_limbs)
uint32_t *res1 = nullptr;   // product modulo the second prime (reserved_limbs)
uint32_t *roots[3] = {nullptr, nullptr, nullptr};  // per prime, transform_max
uint32_t *arena = nullptr;  // partial products of product trees and powers
uint32_t *stage = nullptr;  // callers' operands and products (2 * reserved_limbs)

// -------------------------------------------------------- modular arithmetic

// Three primes p = c * 2^k + 1 with 3 a primitive root; every one allows
// transforms up to 2^23 points, and their product (about 7.9e25) exceeds
// every coefficient of a product of two vectors of up to 2^22 limbs.
constexpr uint32_t PRIME[3] = {998244353u, 167772161u, 469762049u};
constexpr int MAX_LOG_LENGTH = 23;

struct Mont {
    uint32_t p;
    uint32_t nr;  // -p^-1 mod 2^32
    uint32_t r2;  // 2^64 mod p
};
Mont mont[3];

inline uint32_t reduce(uint64_t t, const Mont &m) {
    uint32_t q = uint32_t(t) * m.nr;
    uint32_t u = uint32_t((t + uint64_t(q) * m.p) >> 32);
    return u >= m.p ? u - m.p : u;
}
// x * y / 2^32 mod p
inline uint32_t mmul(uint32_t x, uint32_t y, const Mont &m) { return reduce(uint64_t(x) * y, m); }
inline uint32_t madd(uint32_t x, uint32_t y, uint32_t p) {
    uint32_t s = x + y;
    return s >= p ? s - p : s;
}
inline uint32_t msub(uint32_t x, uint32_t y, uint32_t p) { return x >= y ? x - y : x + p - y; }

uint64_t pow_mod(uint64_t b, uint64_t e, uint64_t p) {
    uint64_t r = 1;
    b %= p;
    while (e) {
        if (e & 1) r = r * b % p;
        b = b * b % p;
        e >>= 1;
    }
    return r;
}

void init_mont() {
    for (int k = 0; k < 3; k++) {
        uint32_t p = PRIME[k];
        uint32_t inv = p;  // Newton iteration for p^-1 mod 2^32
        for (int i = 0; i < 5; i++) inv *= 2 - p * inv;
        mont[k].p = p;
        mont[k].nr = 0u - inv;
        uint64_t r1 = (uint64_t(1) << 32) % p;
        mont[k].r2 = uint32_t(r1 * r1 % p);
    }
}

// roots[k][m + j] = w^j * 2^32 mod p for w a primitive 2m-th root of unity,
// m = 1, 2, 4, ..., made up to a transform length on first need (the
// longest transforms of a precision are often never used).
int roots_len = 0;

void build_roots(int len) {
    if (len <= roots_len) return;
    for (int k = 0; k < 3; k++) {
        const Mont &mo = mont[k];
        uint64_t p = PRIME[k];
        uint32_t *t = roots[k];
        uint32_t one = uint32_t((uint64_t(1) << 32) % p);
        for (int m = roots_len > 1 ? roots_len : 1; m < len; m <<= 1) {
            uint64_t w = pow_mod(3, (p - 1) / (2 * uint64_t(m)), p);
            uint32_t wm = uint32_t((w << 32) % p);  // w in Montgomery form
            uint32_t x = one;
            for (int j = 0; j < m; j++) {
                t[m + j] = x;
                x = mmul(x, wm, mo);
            }
        }
    }
    roots_len = len;
}

// Montgomery reduction without the final subtraction: for t < 2^32 * p the
// result is below 2p, which the butterflies below accept as input.
inline uint32_t reduce_lazy(uint64_t t, const Mont &m) {
    uint32_t q = uint32_t(t) * m.nr;
    return uint32_t((t + uint64_t(q) * m.p) >> 32);
}

// In-place transform, natural order in, bit-reversed order out. Inputs and
// outputs lie in [0, 2p) (p < 2^30 keeps every sum below 2^32).
void forward(uint32_t *a, int len, int k) {
    const Mont &m = mont[k];
    const uint32_t p2 = 2 * m.p;
    const uint32_t *w = roots[k];
    for (int h = len >> 1; h >= 1; h >>= 1) {
        for (int i = 0; i < len; i += 2 * h) {
            uint32_t *x = a + i, *y = a + i + h;
            const uint32_t *wh = w + h;
            for (int j = 0; j < h; j++) {
                uint32_t u = x[j], v = y[j];
                uint32_t sum = u + v;
                x[j] = sum >= p2 ? sum - p2 : sum;
                y[j] = reduce_lazy(uint64_t(u + p2 - v) * wh[j], m);
            }
        }
    }
}

// Inverse of `forward` without the division by len: bit-reversed order in,
// natural order out, values in [0, 2p). w^-j = -w^(h-j) for the 2h-th root w.
void inverse(uint32_t *a, int len, int k) {
    const Mont &m = mont[k];
    const uint32_t p2 = 2 * m.p;
    const uint32_t *w = roots[k];
    for (int h = 1; h < len; h <<= 1) {
        for (int i = 0; i < len; i += 2 * h) {
            uint32_t *x = a + i, *y = a + i + h;
            uint32_t u = x[0], v = y[0];
            uint32_t sum = u + v, dif = u + p2 - v;
            x[0] = sum >= p2 ? sum - p2 : sum;
            y[0] = dif >= p2 ? dif - p2 : dif;
            for (int j = 1; j < h; j++) {
                u = x[j];
                v = reduce_lazy(uint64_t(y[j]) * w[2 * h - j], m);
                sum = u + v;
                dif = u + p2 - v;
                x[j] = dif >= p2 ? dif - p2 : dif;
                y[j] = sum >= p2 ? sum - p2 : sum;
            }
        }
    }
}

// out[0 .. n) := coefficients of a * b modulo prime k (b null: a * a).
void convolve(uint32_t *out, int n, const uint32_t *a, int na, const uint32_t *b, int nb, int len,
              int k) {
    const Mont &m = mont[k];
    memcpy(fa, a, sizeof(uint32_t) * na);
    memset(fa + na, 0, sizeof(uint32_t) * (len - na));
    forward(fa, len, k);
    if (b) {
        memcpy(fb, b, sizeof(uint32_t) * nb);
        memset(fb + nb, 0, sizeof(uint32_t) * (len - nb));
        forward(fb, len, k);
        for (int i = 0; i < len; i++) fa[i] = reduce_lazy(uint64_t(fa[i]) * fb[i], m);
    } else {
        for (int i = 0; i < len; i++) fa[i] = reduce_lazy(uint64_t(fa[i]) * fa[i], m);
    }
    inverse(fa, len, k);
    // The products carry a factor 2^-32; scale by 2^64 / len to undo both.
    uint32_t scale = uint32_t(uint64_t(m.r2) * pow_mod(len, m.p - 2, m.p) % m.p);
    // fa < 2p and scale < p keep the product below 2^32 * p; reduce fully.
    for (int i = 0; i < n; i++) out[i] = reduce(uint64_t(fa[i]) * scale, m);
}

// r[0 .. na+nb) := a * b through the transform (b null: a squared).
void transform_product(uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb) {
    int n = na + nb;
    int len = 1;
    while (len < n - 1) len <<= 1;
    assert(len <= transform_max && len <= (1 << MAX_LOG_LENGTH));
    build_roots(len);
    // A Ctrl-C may abandon the line between the transforms: only scratch
    // space is being written here.
    convolve(res0, n - 1, a, na, b, nb, len, 0);
    poll_interrupt();
    convolve(res1, n - 1, a, na, b, nb, len, 1);
    poll_interrupt();
    convolve(fb, n - 1, a, na, b, nb, len, 2);  // fb is free again after the last forward
    const uint64_t p0 = PRIME[0], p1 = PRIME[1], p2 = PRIME[2];
    const uint64_t inv_p0_mod_p1 = pow_mod(p0 % p1, p1 - 2, p1);
    const uint64_t inv_p0p1_mod_p2 = pow_mod(p0 % p2 * (p1 % p2) % p2, p2 - 2, p2);
    const uint64_t p0_mod_p2 = p0 % p2;
    uint64_t carry = 0;
    for (int i = 0; i < n - 1; i++) {
        uint64_t x0 = res0[i], x1 = res1[i], x2 = fb[i];
        // Garner: x = x0 + p0 * (k1 + p1 * k2)
        uint64_t k1 = (x1 + p1 - x0 % p1) % p1 * inv_p0_mod_p1 % p1;
        uint64_t y = (x0 + p0_mod_p2 * k1) % p2;
        uint64_t k2 = (x2 + p2 - y) % p2 * inv_p0p1_mod_p2 % p2;
        uint64_t t = k1 + p1 * k2;
        uint64_t cur = x0 + p0 * (t % BASE) + carry;
        r[i] = uint32_t(cur % BASE);
        carry = cur / BASE + p0 * (t / BASE);
    }
    r[n - 1] = uint32_t(carry);
    assert(carry < BASE);
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

// r[0 .. 2n) := a * b for two n-limb operands; s is scratch.
void kara(uint32_t *r, const uint32_t *a, const uint32_t *b, int n, uint32_t *s) {
    if (n < KARATSUBA_LIMBS) {
        school(r, a, n, b, n);
        return;
    }
    int h = (n + 1) / 2, t = n - h;
    kara(r, a, b, h, s);                  // low halves into r[0 .. 2h)
    kara(r + 2 * h, a + h, b + h, t, s);  // high halves into r[2h .. 2n)
    uint32_t *sa = s, *sb = s + h + 1, *mid = s + 2 * h + 2, *next = mid + 2 * h + 2;
    assert(next + 4 * (h + 1) <= kara_scratch + KARA_SCRATCH);
    const bool square = a == b;
    memcpy(sa, a, sizeof(uint32_t) * h);
    sa[h] = 0;
    add_into(sa, h + 1, a + h, t);
    if (!square) {
        memcpy(sb, b, sizeof(uint32_t) * h);
        sb[h] = 0;
        add_into(sb, h + 1, b + h, t);
    }
    kara(mid, sa, square ? sa : sb, h + 1, next);
    sub_from(mid, 2 * h + 2, r, 2 * h);
    sub_from(mid, 2 * h + 2, r + 2 * h, 2 * t);
    add_into(r + h, 2 * n - h, mid, 2 * h + 2);
}

}  // namespace

// ----------------------------------------------------------------- public

int fastmul_reserve(int limbs) {
    if (limbs <= reserved_limbs) return 0;
    int len = 1;
    while (len < limbs) len <<= 1;
    if (len > (1 << MAX_LOG_LENGTH)) return -1;
    size_t words = size_t(len) * 5 + size_t(limbs) * 2 + (size_t(limbs) * 2 + 256) + size_t(limbs) * 2;
    uint32_t *block = static_cast<uint32_t *>(malloc(words * sizeof(uint32_t)));
    if (!block) return -1;
    free(fa);  // the previous block, if any, started at fa
    fa = block;
    fb = fa + len;
    roots[0] = fb + len;
    roots[1] = roots[0] + len;
    roots[2] = roots[1] + len;
    res0 = roots[2] + len;
    res1 = res0 + limbs;
    arena = res1 + limbs;
    stage = arena + 2 * size_t(limbs) + 256;
    if (mont[0].p == 0) init_mont();
    roots_len = 0;  // the tables moved with the new block
    transform_max = len;
    reserved_limbs = limbs;
    return 0;
}

int fastmul_capacity() { return reserved_limbs; }

uint32_t *fastmul_stage() { return stage; }

void mul_limbs(uint32_t *r, const uint32_t *a, int na, const uint32_t *b, int nb) {
    assert(na >= 1 && nb >= 1);
    poll_interrupt();  // only r and scratch are written below: safe to abandon
    if (a == b && na == nb) {
        sqr_limbs(r, a, na);
        return;
    }
    if (na < nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    // Now nb <= na.
    if (nb < KARATSUBA_LIMBS) {
        school(r, a, na, b, nb);
        return;
    }
    if (nb >= TRANSFORM_LIMBS) {
        assert(na + nb <= reserved_limbs);
        transform_product(r, a, na, b, nb);
        return;
    }
    // Karatsuba on nb-limb slices of the longer operand.
    memset(r, 0, sizeof(uint32_t) * (na + nb));
    for (int pos = 0; pos < na; pos += nb) {
        int len = na - pos < nb ? na - pos : nb;
        const uint32_t *chunk = a + pos;
        if (len < nb) {  // the top slice, padded with zero limbs
            memcpy(chunk_padded, chunk, sizeof(uint32_t) * len);
            memset(chunk_padded + len, 0, sizeof(uint32_t) * (nb - len));
            chunk = chunk_padded;
        }
        poll_interrupt();
        kara(chunk_product, chunk, b, nb, kara_scratch);
        add_into(r + pos, na + nb - pos, chunk_product, len + nb);
    }
}

void sqr_limbs(uint32_t *r, const uint32_t *a, int n) {
    assert(n >= 1);
    poll_interrupt();  // only r and scratch are written below: safe to abandon
    if (n < KARATSUBA_LIMBS) {
        school(r, a, n, a, n);
    } else if (n < SQUARE_TRANSFORM_LIMBS) {
        kara(r, a, a, n, kara_scratch);
    } else {
        assert(2 * n <= reserved_limbs);
        transform_product(r, a, n, nullptr, n);
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

int falling_product_limbs(uint32_t *r, int room, int64_t first, int64_t count, int64_t step) {
    assert(count >= 1 && step >= 0 && first - (count - 1) * step >= 1);
    assert(room >= 1 && room <= reserved_limbs);
    // A stack of partial products in the arena, each tagged with the number
    // of leaves it holds; equal neighbours are merged, as in a binary
    // counter, so the tree stays balanced.
    constexpr int DEPTH = 70;
    int start[DEPTH], size[DEPTH];
    int64_t leaves[DEPTH];
    int top = 0, end = 0;
    uint32_t *temp = arena + room + 2 * DEPTH;  // output of a merge, room + 1 limbs
    auto merge = [&]() -> bool {
        poll_interrupt();  // only the arena is being written
        int x = top - 2, y = top - 1;
        int nx = size[x], ny = size[y];
        if (nx + ny - 1 > room) return false;
        mul_limbs(temp, arena + start[x], nx, arena + start[y], ny);
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
        if (end + nl > room + 2 * DEPTH - 4) return -1;
        start[top] = end;
        size[top] = nl;
        leaves[top] = 1;
        memcpy(arena + end, leaf, sizeof(uint32_t) * nl);
        end += nl;
        top++;
        while (top >= 2 && leaves[top - 2] == leaves[top - 1])
            if (!merge()) return -1;
        assert(top < DEPTH - 1);
    }
    while (top >= 2)
        if (!merge()) return -1;
    if (size[0] > room) return -1;
    memcpy(r, arena, sizeof(uint32_t) * size[0]);
    return size[0];
}

int power_limbs(uint32_t *r, int room, const uint32_t *a, int n, uint64_t e) {
    assert(e >= 1 && n >= 1 && room <= reserved_limbs);
    n = strip(a, n);
    if (n > room) return -1;
    uint32_t *temp = arena;  // room + 1 limbs
    memcpy(r, a, sizeof(uint32_t) * n);
    int len = n;
    int bit = 63;
    while (!((e >> bit) & 1)) bit--;
    for (bit--; bit >= 0; bit--) {
        poll_interrupt();  // only r and the arena are being written
        if (2 * len - 1 > room) return -1;
        sqr_limbs(temp, r, len);
        len = strip(temp, 2 * len);
        if (len > room) return -1;
        memcpy(r, temp, sizeof(uint32_t) * len);
        if ((e >> bit) & 1) {
            if (len + n - 1 > room) return -1;
            mul_limbs(temp, r, len, a, n);
            len = strip(temp, len + n);
            if (len > room) return -1;
            memcpy(r, temp, sizeof(uint32_t) * len);
        }
    }
    return len;
}

bool long_division_available() { return gmp_ready(); }
