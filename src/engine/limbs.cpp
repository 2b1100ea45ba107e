// Limb-vector primitives in base 100000000: carries out, no signs, no failure.
#include "limbs.h"

#include <cassert>
#include <cstring>

uint32_t lv_add(uint32_t *r, const uint32_t *a, int n, const uint32_t *b, int m) {
    assert(0 <= m && m <= n);
    uint32_t c = 0;
    int i = 0;
    for (; i < m; i++) {
        uint32_t s = a[i] + b[i] + c;
        c = s >= LV_BASE;
        r[i] = c ? s - LV_BASE : s;
    }
    for (; i < n; i++) {
        uint32_t s = a[i] + c;
        c = s >= LV_BASE;
        r[i] = c ? s - LV_BASE : s;
    }
    return c;
}

uint32_t lv_sub(uint32_t *r, const uint32_t *a, int n, const uint32_t *b, int m) {
    assert(0 <= m && m <= n);
    uint32_t c = 0;
    int i = 0;
    for (; i < m; i++) {
        uint32_t s = b[i] + c;
        c = a[i] < s;
        r[i] = c ? a[i] + LV_BASE - s : a[i] - s;
    }
    for (; i < n; i++) {
        uint32_t out = a[i] < c;
        r[i] = out ? a[i] + LV_BASE - c : a[i] - c;
        c = out;
    }
    return c;
}

uint32_t lv_add_1(uint32_t *r, const uint32_t *a, int n, uint32_t c) {
    assert(c < LV_BASE);
    int i = 0;
    for (; i < n && c; i++) {
        uint32_t s = a[i] + c;
        c = s >= LV_BASE;
        r[i] = c ? s - LV_BASE : s;
    }
    if (r != a && i < n) memcpy(r + i, a + i, sizeof(uint32_t) * (n - i));
    return c;
}

uint32_t lv_sub_1(uint32_t *r, const uint32_t *a, int n, uint32_t c) {
    assert(c < LV_BASE);
    int i = 0;
    for (; i < n && c; i++) {
        uint32_t b = a[i] < c;
        r[i] = b ? a[i] + LV_BASE - c : a[i] - c;
        c = b;
    }
    if (r != a && i < n) memcpy(r + i, a + i, sizeof(uint32_t) * (n - i));
    return c;
}

uint64_t lv_mul_1(uint32_t *r, const uint32_t *a, int n, uint32_t m) {
    uint64_t c = 0;
    for (int i = 0; i < n; i++) {
        uint64_t t = uint64_t(a[i]) * m + c;
        r[i] = uint32_t(t % LV_BASE);
        c = t / LV_BASE;
    }
    return c;
}

uint32_t lv_addmul_1(uint32_t *r, const uint32_t *a, int n, uint32_t m) {
    assert(m < LV_BASE);
    uint64_t c = 0;
    for (int i = 0; i < n; i++) {
        uint64_t t = uint64_t(a[i]) * m + r[i] + c;
        r[i] = uint32_t(t % LV_BASE);
        c = t / LV_BASE;
    }
    return uint32_t(c);
}

uint32_t lv_div_1(uint32_t *q, const uint32_t *a, int n, uint32_t d) {
    assert(d != 0);
    // Each partial dividend t = rem * BASE + a[i] is below 2^59, so the high
    // half of t * floor(2^64 / d) is the quotient or one less: a product and
    // a comparison instead of a hardware division per limb.
    if (d == 1) {
        lv_copy(q, a, n);
        return 0;
    }
    const uint64_t inv = uint64_t((static_cast<unsigned __int128>(1) << 64) / d);
    uint64_t rem = 0;
    for (int i = n - 1; i >= 0; i--) {
        uint64_t t = rem * LV_BASE + a[i];
        uint64_t qt = uint64_t((static_cast<unsigned __int128>(t) * inv) >> 64);
        uint64_t rt = t - qt * d;
        if (rt >= d) {
            qt++;
            rt -= d;
        }
        q[i] = uint32_t(qt);
        rem = rt;
    }
    return uint32_t(rem);
}

int lv_cmp(const uint32_t *a, const uint32_t *b, int n) {
    for (int i = n - 1; i >= 0; i--)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

int lv_top(const uint32_t *a, int n) {
    while (n > 0 && a[n - 1] == 0) n--;
    return n;
}

void lv_zero(uint32_t *a, int n) {
    if (n > 0) memset(a, 0, sizeof(uint32_t) * n);
}

void lv_copy(uint32_t *r, const uint32_t *a, int n) {
    if (n > 0 && r != a) memmove(r, a, sizeof(uint32_t) * n);
}
