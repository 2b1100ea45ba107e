// Run-time binding of the multiple precision library by exact symbol names.
#include "gmp_api.h"

#include <dlfcn.h>

#ifndef VANTREL_GMP_LIBRARY
#define VANTREL_GMP_LIBRARY "libgmp.so.10"
#endif

GmpApi gmp;

template <typename T>
static void look_up(void *lib, T &slot, const char *name) {
    slot = reinterpret_cast<T>(dlsym(lib, name));
}

void bind_gmp() {
    gmp = GmpApi{};
    void *lib = dlopen(VANTREL_GMP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;  // silent: main reports the missing library once
    look_up(lib, gmp.init, "__gmpz_init");
    look_up(lib, gmp.init2, "__gmpz_init2");
    look_up(lib, gmp.inits, "__gmpz_inits");
    look_up(lib, gmp.clear, "__gmpz_clear");
    look_up(lib, gmp.clears, "__gmpz_clears");
    look_up(lib, gmp.set, "__gmpz_set");
    look_up(lib, gmp.set_ui, "__gmpz_set_ui");
    look_up(lib, gmp.init_set, "__gmpz_init_set");
    look_up(lib, gmp.init_set_ui, "__gmpz_init_set_ui");
    look_up(lib, gmp.add, "__gmpz_add");
    look_up(lib, gmp.add_ui, "__gmpz_add_ui");
    look_up(lib, gmp.sub, "__gmpz_sub");
    look_up(lib, gmp.mul, "__gmpz_mul");
    look_up(lib, gmp.mul_ui, "__gmpz_mul_ui");
    look_up(lib, gmp.divexact, "__gmpz_divexact");
    look_up(lib, gmp.fdiv_ui, "__gmpz_fdiv_ui");
    look_up(lib, gmp.get_d, "__gmpz_get_d");
    look_up(lib, gmp.mod, "__gmpz_mod");
    look_up(lib, gmp.abs, "__gmpz_abs");
    look_up(lib, gmp.gcd, "__gmpz_gcd");
    look_up(lib, gmp.lcm, "__gmpz_lcm");
    look_up(lib, gmp.tdiv_qr, "__gmpz_tdiv_qr");
    look_up(lib, gmp.tdiv_q_ui, "__gmpz_tdiv_q_ui");
    look_up(lib, gmp.cmp, "__gmpz_cmp");
    look_up(lib, gmp.cmp_ui, "__gmpz_cmp_ui");
    look_up(lib, gmp.pow_ui, "__gmpz_pow_ui");
    look_up(lib, gmp.probab_prime_p, "__gmpz_probab_prime_p");
    look_up(lib, gmp.divisible_ui_p, "__gmpz_divisible_ui_p");
    look_up(lib, gmp.perfect_power_p, "__gmpz_perfect_power_p");
    look_up(lib, gmp.sizeinbase, "__gmpz_sizeinbase");
    look_up(lib, gmp.root, "__gmpz_root");
    look_up(lib, gmp.mul_2exp, "__gmpz_mul_2exp");
    look_up(lib, gmp.set_str, "__gmpz_set_str");
    look_up(lib, gmp.get_str, "__gmpz_get_str");
    look_up(lib, gmp.printf_z, "__gmp_printf");
    look_up(lib, gmp.sprintf_z, "__gmp_sprintf");
    gmp.available = gmp.init != nullptr;
}
