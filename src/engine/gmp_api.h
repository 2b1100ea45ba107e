// Run-time binding of the multiple precision library: one record of function
// pointers looked up by their exact exported names, and the flag `available`.
// A leaf module: it depends on nothing else of the calculator.
#pragma once
#include <gmp.h>  // for the mpz_t record layout only; nothing is linked

struct GmpApi {
    bool available;
    void (*init)(mpz_ptr);
    void (*init2)(mpz_ptr, mp_bitcnt_t);
    void (*inits)(mpz_ptr, ...);
    void (*clear)(mpz_ptr);
    void (*clears)(mpz_ptr, ...);
    void (*set)(mpz_ptr, mpz_srcptr);
    void (*set_ui)(mpz_ptr, unsigned long);
    void (*init_set)(mpz_ptr, mpz_srcptr);
    void (*init_set_ui)(mpz_ptr, unsigned long);
    void (*add)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    void (*add_ui)(mpz_ptr, mpz_srcptr, unsigned long);
    void (*sub)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    void (*mul)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    void (*mul_ui)(mpz_ptr, mpz_srcptr, unsigned long);
    void (*divexact)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    unsigned long (*fdiv_ui)(mpz_srcptr, unsigned long);
    double (*get_d)(mpz_srcptr);
    void (*mod)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    void (*abs)(mpz_ptr, mpz_srcptr);
    void (*gcd)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    void (*lcm)(mpz_ptr, mpz_srcptr, mpz_srcptr);
    void (*tdiv_qr)(mpz_ptr, mpz_ptr, mpz_srcptr, mpz_srcptr);
    unsigned long (*tdiv_q_ui)(mpz_ptr, mpz_srcptr, unsigned long);
    int (*cmp)(mpz_srcptr, mpz_srcptr);
    int (*cmp_ui)(mpz_srcptr, unsigned long);
    void (*pow_ui)(mpz_ptr, mpz_srcptr, unsigned long);
    int (*probab_prime_p)(mpz_srcptr, int);
    int (*divisible_ui_p)(mpz_srcptr, unsigned long);
    int (*perfect_power_p)(mpz_srcptr);
    size_t (*sizeinbase)(mpz_srcptr, int);
    int (*root)(mpz_ptr, mpz_srcptr, unsigned long);
    void (*mul_2exp)(mpz_ptr, mpz_srcptr, mp_bitcnt_t);
    int (*set_str)(mpz_ptr, const char *, int);
    char *(*get_str)(char *, int, mpz_srcptr);
    int (*printf_z)(const char *, ...);
    int (*sprintf_z)(char *, const char *, ...);
};

extern GmpApi gmp;

// Load the library named by the build setting VANTREL_GMP_LIBRARY and look up
// every symbol; silent on failure (`available` false, every pointer null).
void bind_gmp();
// True when the binding succeeded and the init entry is present.
inline bool gmp_ready() { return gmp.available && gmp.init != nullptr; }
