// Run-time binding of the elliptic curve and quadratic sieve libraries by
// exact symbol names; the file names come from build settings so that test
// builds can look for libraries that do not exist.
#include "factor_libs.h"

#include <dlfcn.h>

#ifndef VANTREL_ECM_LIBRARY
#define VANTREL_ECM_LIBRARY "libecm.so.1"
#endif
#ifndef VANTREL_FLINT_LIBRARY
#define VANTREL_FLINT_LIBRARY "libflint.so.17"
#endif

EcmApi ecm_lib;
FlintApi flint_lib;

template <typename T>
static void look_up(void *lib, T &slot, const char *name) {
    slot = reinterpret_cast<T>(dlsym(lib, name));
}

bool bind_ecm() {
    static bool tried = false;
    if (tried) return ecm_lib.available;
    tried = true;
    ecm_lib = EcmApi{};
    void *lib = dlopen(VANTREL_ECM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    look_up(lib, ecm_lib.init, "ecm_init");
    look_up(lib, ecm_lib.clear, "ecm_clear");
    look_up(lib, ecm_lib.factor, "ecm_factor");
    ecm_lib.available = ecm_lib.init && ecm_lib.clear && ecm_lib.factor;
    return ecm_lib.available;
}

bool bind_flint() {
    static bool tried = false;
    if (tried) return flint_lib.available;
    tried = true;
    flint_lib = FlintApi{};
    void *lib = dlopen(VANTREL_FLINT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    look_up(lib, flint_lib.set_str, "fmpz_set_str");
    look_up(lib, flint_lib.get_str, "fmpz_get_str");
    look_up(lib, flint_lib.factor_init, "fmpz_factor_init");
    look_up(lib, flint_lib.factor_clear, "fmpz_factor_clear");
    look_up(lib, flint_lib.qsieve_factor, "qsieve_factor");
    flint_lib.available = flint_lib.set_str && flint_lib.get_str && flint_lib.factor_init &&
                          flint_lib.factor_clear && flint_lib.qsieve_factor;
    return flint_lib.available;
}
