// Run-time binding of the two optional factorisation libraries: the
// elliptic curve library and the number theory library whose quadratic sieve
// the engine runs in a child process. Each is looked up by its exported names
// on first use; absent means the stage it serves is skipped.
#pragma once
#include <ecm.h>  // for the parameter record layout only; nothing is linked

struct EcmApi {
    bool available;
    void (*init)(ecm_params);
    void (*clear)(ecm_params);
    int (*factor)(mpz_ptr, mpz_ptr, double, ecm_params);
};

// The number theory library's integer is one machine word (a small value or
// a tagged pointer); its factor list is mirrored here field for field.
typedef long FlintInteger;
struct FlintFactorList {
    int sign;
    FlintInteger *p;
    unsigned long *exp;
    long alloc;
    long num;
};

struct FlintApi {
    bool available;
    int (*set_str)(FlintInteger *, const char *, int);
    char *(*get_str)(char *, int, const FlintInteger *);
    void (*factor_init)(FlintFactorList *);
    void (*factor_clear)(FlintFactorList *);
    void (*qsieve_factor)(FlintFactorList *, const FlintInteger *);
};

extern EcmApi ecm_lib;
extern FlintApi flint_lib;

// Binds the library once (later calls return the first answer) and tells
// whether every entry the engine calls was found. Silent either way.
bool bind_ecm();
bool bind_flint();
