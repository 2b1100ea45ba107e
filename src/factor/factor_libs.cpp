// Run-time binding of the elliptic curve and quadratic sieve libraries by
// exact symbol names; the file names come from build settings so that test
// builds can look for libraries that do not exist.
#include "factor_libs.h"

#include <dlfcn.h>

#include <initializer_list>

#ifndef VANTREL_ECM_LIBRARY
#define VANTREL_ECM_LIBRARY "libecm.so.1"
#endif
#ifndef VANTREL_FLINT_LIBRARY
#define VANTREL_FLINT_LIBRARY "libflint.so.17"
#endif

EcmApi ecm_lib;
FlintApi flint_lib;

// One symbol to look up: where its address goes, and its exported name.
struct Symbol {
    void **slot;
    const char *name;
};

// Opens the library `path` and looks up every symbol; true when all were
// found (the slots of those found are filled either way).
static bool bind_library(const char *path, std::initializer_list<Symbol> symbols) {
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    bool all = true;
    for (const Symbol &s : symbols) {
        *s.slot = dlsym(lib, s.name);
        all = all && *s.slot != nullptr;
    }
    return all;
}

// The address of a function-pointer field as the slot dlsym fills.
template <typename T>
static void **slot(T &field) {
    return reinterpret_cast<void **>(&field);
}

bool bind_ecm() {
    static bool tried = false;
    if (!tried) {
        tried = true;
        ecm_lib = EcmApi{};
        ecm_lib.available = bind_library(VANTREL_ECM_LIBRARY, {{slot(ecm_lib.init), "ecm_init"},
                                                               {slot(ecm_lib.clear), "ecm_clear"},
                                                               {slot(ecm_lib.factor), "ecm_factor"}});
    }
    return ecm_lib.available;
}

bool bind_flint() {
    static bool tried = false;
    if (!tried) {
        tried = true;
        flint_lib = FlintApi{};
        flint_lib.available =
            bind_library(VANTREL_FLINT_LIBRARY, {{slot(flint_lib.set_str), "fmpz_set_str"},
                                                 {slot(flint_lib.get_str), "fmpz_get_str"},
                                                 {slot(flint_lib.factor_init), "fmpz_factor_init"},
                                                 {slot(flint_lib.factor_clear), "fmpz_factor_clear"},
                                                 {slot(flint_lib.qsieve_factor), "qsieve_factor"}});
    }
    return flint_lib.available;
}
