// The fixed pool of number records: 56 numerator and 56 denominator slots,
// carved at start-up into 16 work fractions, 8 scratch integers and the 30
// registers; also the process-wide settings that shape numbers.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "bignum.h"
#include "../engine/fastmul.h"
#include "../engine/scratch.h"
#include "../engine/threads.h"

int precision = 200;
int fixed_point_limbs = 4;
int element_width = 6;
int display_mode = 16;
Context core;
char *output_text = nullptr;
int output_text_size = 0;

BigNum num_slots[POOL_SLOTS];
BigNum den_slots[POOL_SLOTS];
Fraction work_frac[WORK_FRACTIONS];
BigNum *reg_num[REGISTERS];
BigNum *reg_den[REGISTERS];
Fraction reg_frac[REGISTERS];
BigNum *work_ptr[46];
static BigNum long_den_slots[VARIABLES];
BigNum *var_den[VARIABLES];

// Before any storage is given, every record points at its own one-limb `rem`
// field so that a stray read of an uncarved slot stays inside the record.
static int construct_slots() {
    for (BigNum *arr : {num_slots, den_slots}) {
        for (int i = 0; i < POOL_SLOTS; i++) {
            BigNum *n = &arr[i];
            *n = BigNum();
            n->limbs = &n->rem;
            n->capacity = 1;
            n->sign = 1;
            n->last_divisor = 1;
        }
    }
    return 0;
}
static int slots_constructed = construct_slots();

void bn_reset(BigNum *n) {
    n->used = 0;
    n->last_divisor = 1;
    n->offset = 0;
    n->frac_limbs = 0;
    n->sign = 1;
    n->rem = 0;
    n->defined = 1;
}

// A scratch record: `cap` limbs from the arena, the value 0, every field as
// after a reset. False (nothing taken) when the arena lacks room; the caller
// gives the limbs back with scratch_release.
bool bn_from_scratch(BigNum *n, int cap) {
    assert(cap >= 1);
    auto *limbs = reinterpret_cast<int32_t *>(scratch_take(core, size_t(cap)));
    if (!limbs) return false;
    *n = BigNum();
    n->limbs = limbs;
    n->capacity = cap;
    bn_reset(n);
    limbs[cap - 1] = 0;
    return true;
}

void bn_clear(BigNum *n) {
    int upto = n->used < n->capacity ? n->used + 1 : n->capacity;
    if (upto < 1) upto = 1;
    for (int k = 0; k < upto && k < n->capacity; k++) limb(n, k) = 0;
    bn_reset(n);
}

void bn_set_one(BigNum *n) {
    bn_clear(n);
    n->used = 1;
    limb(n, 0) = 1;
}

int refusal_count = 0;
void (*refusal_sink)(Status) = nullptr;  // installed by the console (calculator.cpp)

void fraction_init(Fraction *f) {
    f->rad = RAD_ZERO;
    bn_clear(f->num);
    bn_clear(f->den);
    bn_set_one(f->den);
}

bool bn_is_zero(const BigNum *n) {
    for (int k = 0; k < n->used; k++)
        if (limb(n, k) != 0) return false;
    return true;
}

void bn_normalise_zero(BigNum *n) {
    if (!bn_is_zero(n)) return;
    n->used = 0;
    n->frac_limbs = 0;
    n->sign = 1;
}

void bn_strip(BigNum *n) {
    while (n->used > 0 && limb(n, n->used - 1) == 0) n->used--;
}

static void give_storage(BigNum *n, int32_t *storage, int cap) {
    n->limbs = storage;
    n->capacity = cap;
}

// Zero-filled allocation: untouched pages of the large presets cost nothing.
static int32_t *take_limbs(size_t count) {
    return static_cast<int32_t *>(calloc(count ? count : 1, sizeof(int32_t)));
}

int build_work_pool(int d) {
    (void)slots_constructed;
    int p = precision;
    int32_t *fractions = take_limbs(size_t(16) * (p + d));
    int32_t *integers = take_limbs(size_t(8) * p);
    if (!fractions || !integers) {
        free(fractions);
        free(integers);
        return -1;
    }
    for (int k = 0; k < 16; k++) {
        int32_t *slice = fractions + size_t(k) * (p + d);
        give_storage(&num_slots[k], slice, p);
        give_storage(&den_slots[k], slice + p, d);
        work_frac[k].num = &num_slots[k];
        work_frac[k].den = &den_slots[k];
        work_frac[k].num_only = 0;
    }
    for (int k = 0; k < 8; k++) give_storage(work_int(k), integers + size_t(k) * p, p);
    // Work space of the long operations, sized by the precision and
    // committed only as it is touched.
    if (scratch_reserve(core, size_t(64) * p + (size_t(1) << 20)) != STATUS_OK) return -1;
    core.stop = &interrupt_requested;
    // Products of two operands of up to the precision each (long divisions
    // multiply up to p + 4 limbs), or when that much cannot be had of at
    // least the precision, for one-off allocations as fast_product does.
    // Without even that, the smaller reserve below decides whether the pool starts.
    if (fastmul_reserve(core, 2 * p) != STATUS_OK) (void)fastmul_reserve(core, p + 64);
    if (fastmul_reserve(core, p / 2 + 4096) != STATUS_OK) return -1;
    // The workers' contexts take as much as the core's: a worker computes
    // half of what the core would (engine/threads.h). Fewer workers start
    // when their space cannot be had.
    core.team_first = 0;
    core.team_size = threads_reserve(size_t(64) * p + (size_t(1) << 20), fastmul_capacity(core), &interrupt_requested);

    static const int first_six[6] = {1, 2, 5, 3, 4, 7};
    for (int i = 0; i < 46; i++) work_ptr[i] = nullptr;
    for (int i = 0; i < 6; i++) work_ptr[i] = work_int(first_six[i]);
    for (int k = 0; k < 16; k++) {
        work_ptr[6 + k] = &num_slots[k];
        work_ptr[30 + k] = &den_slots[k];
    }
    work_ptr[27] = work_int(6);
    work_ptr[28] = work_int(0);

    for (int k = 0; k < 16; k++) {
        bn_clear(&num_slots[k]);
        num_slots[k].elem_width = element_width;
    }
    for (int k : {2, 7}) {
        bn_clear(work_int(k));
        work_int(k)->elem_width = element_width;
    }
    return 0;
}

int carve_registers() {
    int p = precision;
    int dcap = p / 10;
    // precision * 240 bytes = room for 60 * precision limbs.
    int32_t *area = take_limbs(size_t(60) * p);
    int32_t *long_dens = take_limbs(size_t(VARIABLES) * dcap);
    if (!area || !long_dens) {
        free(area);
        free(long_dens);
        return -1;
    }
    for (int i = 0; i < VARIABLES; i++) {
        BigNum *d = &long_den_slots[i];
        *d = BigNum();
        give_storage(d, long_dens + size_t(i) * dcap, dcap);
        bn_clear(d);
        d->used = 0;
        var_den[i] = d;
    }
    for (int i = 0; i < REGISTERS; i++) {
        int32_t *slice = area + size_t(i) * (dcap + p);
        reg_den[i] = &den_slots[26 + i];
        reg_num[i] = &num_slots[26 + i];
        give_storage(reg_den[i], slice, dcap);
        give_storage(reg_num[i], slice + dcap, p);
        bn_clear(reg_num[i]);
        reg_num[i]->elem_width = element_width;
    }
    for (int i = 0; i < REGISTERS; i++) {
        reg_frac[i].num = reg_num[i];
        reg_frac[i].den = reg_den[i];
        reg_frac[i].num_only = 0;
        fraction_init(&reg_frac[i]);
        reg_den[i]->rem = 1;
        reg_den[i]->small_den = 1;
    }
    return 0;
}

void apply_element_width() {
    for (int i = 0; i < REGISTERS; i++)
        if (reg_num[i]) reg_num[i]->elem_width = element_width;
}

int pool_start(int p) {
    precision = p;
    if (build_work_pool(p / 5) != 0) return -1;
    if (carve_registers() != 0) return -1;
    if (!output_text || output_text_size < 8 * p + 64) {
        output_text_size = 8 * p + 64;
        output_text = static_cast<char *>(calloc(output_text_size, 1));
        if (!output_text) return -1;
    }
    return 0;
}
