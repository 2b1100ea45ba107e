// Fuzz target: number text. The first byte chooses the operation: parse a
// literal into a fraction or a decimal into an integer and format the result,
// or format a record built from the input's bytes (limbs kept in range, used
// and fraction limbs within the record). Output must fit the output text.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "number/bignum.h"

namespace {

char *output;

void check_output(int n) {
    size_t len = strlen(output);
    if (len >= size_t(output_text_size)) abort();
    if (n < 0 || n >= output_text_size) abort();
}

// Fills n from the bytes (4 per limb, reduced into the limb range).
void build(BigNum *n, const uint8_t *data, size_t size, int frac) {
    bn_clear(n);
    int limbs = int(size / 4);
    if (limbs > n->capacity - 2) limbs = n->capacity - 2;
    for (int k = 0; k < limbs; k++) {
        uint32_t v;
        memcpy(&v, data + 4 * k, 4);
        limb(n, k) = int32_t(v % uint32_t(LIMB_BASE));
    }
    n->used = limbs;
    bn_strip(n);
    n->frac_limbs = frac;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!freopen("/dev/null", "w", stdout)) abort();
    if (pool_start(200) != 0) abort();
    output = output_text;  // carved by pool_start: 8 * precision bytes and a margin
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    uint8_t mode = data[0] % 4;
    uint8_t arg = data[1];
    data += 2;
    size -= 2;
    fixed_point_limbs = 1 + arg % 8;
    char *text = static_cast<char *>(malloc(size + 1));
    memcpy(text, data, size);
    text[size] = 0;
    Fraction *f = &work_frac[1];
    switch (mode) {
    case 0: {
        fraction_init(f);
        int n = parse_literal(text, f);
        if (n < 0 || size_t(n) > size) abort();
        check_output(format_decimal(f, output));
        break;
    }
    case 1: {
        BigNum *n = work_int(5);
        bn_clear(n);
        int used = parse_decimal(text, n);
        (void)used;
        if (n->used > n->capacity) abort();
        check_output(format_bignum(n, output));
        break;
    }
    case 2: {
        BigNum *n = work_int(5);
        build(n, data, size, (arg >> 3) % 8);
        if (arg & 0x80) n->sign = -1;
        check_output(format_bignum(n, output));
        break;
    }
    default: {
        fraction_init(f);
        size_t half = size / 2;
        build(f->num, data, half, (arg >> 3) % 4 == 0 ? 0 : fixed_point_limbs);
        build(f->den, data + half, size - half < 16 ? size - half : 16, 0);
        if (bn_is_zero(f->den)) bn_set_one(f->den);
        if (arg & 0x80) f->num->sign = -1;
        check_output(format_decimal(f, output));
        break;
    }
    }
    fixed_point_limbs = 4;
    free(text);
    return 0;
}
