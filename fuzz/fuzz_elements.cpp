// Fuzz target: storing values into variables, registers and packed elements
// and reading them back through their text references. A non-negative
// integer that leaves the element's two mark slots free must read back equal.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "expr/expr.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!freopen("/dev/null", "w", stdout)) abort();
    if (pool_start(200) != 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    int reg = data[0] % REGISTERS;
    int index = (data[1] | (data[2] << 8)) % 3000 - 1;  // -1 the register itself
    int width = 2 + data[3] % 24;                       // beyond precision / 10 too
    int frac = data[4] % 40;
    uint8_t flags = data[5];
    data += 6;
    size -= 6;
    element_width = width;
    apply_element_width();

    Fraction *v = &work_frac[2];
    fraction_init(v);
    int limbs = int(size / 4);
    if (limbs > precision - 2) limbs = precision - 2;
    for (int k = 0; k < limbs; k++) {
        uint32_t x;
        memcpy(&x, data + 4 * k, 4);
        limb(v->num, k) = int32_t(x % uint32_t(LIMB_BASE));
    }
    v->num->used = limbs;
    bn_strip(v->num);
    bool plain = (flags & 3) == 0;
    if (!plain) {
        v->num->frac_limbs = frac;
        if (flags & 4) v->num->sign = -1;
        if (flags & 8) set_int64(v->den, int64_t(flags) * 1234567 + 3);
    }
    int used = v->num->used;
    int64_t low = used > 0 ? limb(v->num, 0) : 0;
    int64_t high = used > 0 ? limb(v->num, used - 1) : 0;

    if (store_value(reg, index, v) != 0) return 0;

    char ref[16];
    int n = 0;
    if (reg < 26) {
        ref[n++] = char('A' + reg);
    } else {
        ref[n++] = '&';
        ref[n++] = char('B' + reg - 26);
    }
    if (index >= 0) n += snprintf(ref + n, sizeof ref - size_t(n), "%d", index);
    ref[n] = 0;
    Fraction *back = &work_frac[3];
    int got = read_value(ref, back);
    if (getenv("FUZZ_DEBUG")) fprintf(stderr, "ref %s got %d n %d used %d back %d low %lld back0 %d w %d\n", ref, got, n, used, back->num->used, (long long)low, back->num->used ? limb(back->num, 0) : -1, reg_num[reg]->elem_width);
    if (got != n) abort();
    if (plain && index >= 0 && used <= reg_num[reg]->elem_width - 2) {
        if (back->num->used != used) abort();
        if (used > 0 && (limb(back->num, 0) != low || limb(back->num, used - 1) != high)) abort();
    }
    for (int i = 0; i < REGISTERS; i++) fraction_init(&reg_frac[i]);
    return 0;
}
