// Factorisation engine: one BigNum into a line of prime factors in the output
// text, by 64-bit trial division for one-limb values and through the bound
// library for larger ones (trial division, perfect powers, a probable-prime
// test, then rho, elliptic curves and the quadratic sieve), and the progress
// marks and key stop shared by those stages.
#include "factor.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "../engine/fastmul.h"
#include "../engine/threads.h"
#include "../number/library_integer.h"
#include "factor_libs.h"
#include "messages.h"
#include "search.h"

namespace {

constexpr int LIST_MAX = 256;                 // discovery list and factor list
constexpr int PRIME_REPS = 25;                // probable-prime test repetitions
constexpr unsigned long TRIAL_LIMIT = 100000;  // last trial divisor base of the library path
constexpr int SMALL_TEXT = 96;                // bound of any factor_small text
constexpr int CUT_RESERVE = 5;                // room kept for the cut marker and its end
// Rho steps before the later stages take over (when their libraries are
// there): most factors of up to 9 digits in machine words (a few ms) and up
// to 8 digits on the library's integers; the curves find larger ones sooner.
constexpr long RHO_EFFORT_WORDS = 1L << 16;
constexpr long RHO_EFFORT = 1L << 14;

mpz_t discovered[LIST_MAX];  // every prime factor in the order found, repeats included
int discovered_count;
FactorEntry found[LIST_MAX];  // distinct factors with multiplicities
int found_count;
bool factors_dropped;  // a distinct factor found no room in the factor list
long last_mark_ms;     // clock of the last progress mark (or the search start)

// ------------------------------------------------------------ bounded text

// Appends to a text of `room` bytes; once something does not fit, nothing
// more is appended and `cut` records it. CUT_RESERVE bytes stay free so the
// cut marker can always be added at the end.
struct TextOut {
    char *text;
    int room;
    int len;
    bool cut;
};

void out_start(TextOut *o, char *text, int room) {
    o->text = text;
    o->room = room;
    o->len = 0;
    o->cut = false;
    if (room > 0) text[0] = 0;
}

void out_str(TextOut *o, const char *s) {
    if (o->cut) return;
    int n = static_cast<int>(strlen(s));
    if (o->len + n + CUT_RESERVE > o->room) {
        o->cut = true;
        return;
    }
    memcpy(o->text + o->len, s, n + 1);
    o->len += n;
}

void out_mpz(TextOut *o, mpz_srcptr v) {
    if (o->cut) return;
    // sizeinbase may overstate by one digit, never understate.
    long n = static_cast<long>(gmp.sizeinbase(v, 10)) + 1;
    if (o->len + n + CUT_RESERVE > o->room) {
        o->cut = true;
        return;
    }
    o->len += gmp.sprintf_z(o->text + o->len, "%Zd", v);
}

// The cut marker goes into the reserved bytes whatever is left.
void out_finish(TextOut *o, bool incomplete) {
    if (!(o->cut || incomplete) || o->room < CUT_RESERVE) return;
    int n = static_cast<int>(strlen(FACTOR_TEXT_CUT));
    memcpy(o->text + o->len, FACTOR_TEXT_CUT, n + 1);
    o->len += n;
}

// ------------------------------------------------------------- key polling

bool tty_raw = false;
struct termios tty_saved;

// True when a key is waiting at the console; the key is read and consumed.
// Only a terminal is polled: script input from a pipe or file is never taken.
// The terminal is switched to unbuffered, silent input at the first poll of a
// search and restored by key_poll_end.
int terminal_key_pressed() {
    if (!isatty(STDIN_FILENO)) return 0;
    if (!tty_raw) {
        if (tcgetattr(STDIN_FILENO, &tty_saved) != 0) return 0;
        struct termios raw = tty_saved;
        raw.c_lflag &= ~(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return 0;
        tty_raw = true;
        // Ending the calculator during a search (two Ctrl-C) must not leave
        // the terminal silent.
        static bool restore_registered = false;
        if (!restore_registered) restore_registered = atexit(key_poll_end) == 0;
    }
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(STDIN_FILENO, &ready);
    struct timeval no_wait = {0, 0};
    if (select(STDIN_FILENO + 1, &ready, nullptr, nullptr, &no_wait) <= 0) return 0;
    char key;
    return read(STDIN_FILENO, &key, 1) == 1;
}


// ------------------------------------------------------------ factor lists

// Adds a copy of p to the discovery list (while it has room) and counts it in
// the factor list; a new distinct factor that finds the list full is dropped
// and remembered in factors_dropped.
void record_factor(mpz_srcptr p) {
    if (discovered_count < LIST_MAX) gmp.init_set(discovered[discovered_count++], p);
    for (int i = 0; i < found_count; i++) {
        if (gmp.cmp(found[i].value, p) == 0) {
            found[i].count++;
            return;
        }
    }
    if (found_count >= LIST_MAX) {
        factors_dropped = true;
        return;
    }
    gmp.init_set(found[found_count].value, p);
    found[found_count].count = 1;
    found_count++;
}

void release_lists() {
    for (int i = 0; i < discovered_count; i++) gmp.clear(discovered[i]);
    for (int i = 0; i < found_count; i++) gmp.clear(found[i].value);
    discovered_count = 0;
    found_count = 0;
}

// Divides d out of n as often as it goes, recording d each time; `scratch`
// is an initialised integer used to hold d for recording.
void trial_divide(mpz_ptr n, unsigned long d, mpz_ptr scratch) {
    while (gmp.divisible_ui_p(n, d)) {
        gmp.set_ui(scratch, d);
        record_factor(scratch);
        gmp.tdiv_q_ui(n, n, d);
    }
}

void sort_factors() {
    for (int pass = 0; pass + 1 < found_count; pass++) {
        for (int j = 0; j + 1 < found_count - pass; j++) {
            if (gmp.cmp(found[j].value, found[j + 1].value) > 0) {
                FactorEntry t = found[j];
                found[j] = found[j + 1];
                found[j + 1] = t;
            }
        }
    }
}

bool is_probable_prime(mpz_srcptr v) { return gmp.probab_prime_p(v, PRIME_REPS) != 0; }

// The library path with the text bounded to `room` bytes.
void factor_integer_into(mpz_ptr n, char *text, int room) {
    assert(gmp_ready());
    TextOut out;
    out_start(&out, text, room);
    release_lists();
    progress_start();
    factors_dropped = false;

    mpz_t scratch;
    gmp.init(scratch);
    trial_divide(n, 2, scratch);
    trial_divide(n, 3, scratch);
    for (unsigned long k = 5; k <= TRIAL_LIMIT; k += 6) {
        if (gmp.cmp_ui(n, 1) == 0 || gmp.cmp_ui(n, k * k) < 0) break;
        trial_divide(n, k, scratch);
        trial_divide(n, k + 2, scratch);
    }
    gmp.clear(scratch);
    if (gmp.cmp_ui(n, 1) > 0) split_factor(n);
    key_poll_end();

    bool verbose = mark_count > 2;
    if (verbose) {
        gmp.printf_z(FACTOR_MSG_ANALYZING, n);
        fputs(FACTOR_MSG_DISCOVERY, stdout);
        for (int i = 0; i < discovered_count; i++) {
            if (i > 0) fputs(FACTOR_MSG_ARROW, stdout);
            gmp.printf_z("%Zd", discovered[i]);
        }
    }
    if (stop_flag && discovered_count > 0 && !is_probable_prime(discovered[discovered_count - 1]))
        fputs(FACTOR_MSG_UNSURE, stdout);

    sort_factors();
    if (verbose) fputs(FACTOR_MSG_SORTED, stdout);
    for (int i = 0; i < found_count; i++) {
        bool last = i == found_count - 1;
        out_mpz(&out, found[i].value);
        if (verbose) gmp.printf_z("%Zd", found[i].value);
        if (found[i].count > 1) {
            char power[16];
            snprintf(power, sizeof power, "^%lu", static_cast<unsigned long>(found[i].count));
            out_str(&out, power);
            if (verbose) fputs(power, stdout);
        }
        if (last && stop_flag && !is_probable_prime(found[i].value)) fputs(FACTOR_MSG_UNSURE, stdout);
        if (!last) {
            out_str(&out, " * ");
            if (verbose) fputs(" * ", stdout);
        }
    }
    if (verbose) fputs(stop_flag ? FACTOR_MSG_TERMINATED : "\n", stdout);
    // A stopped search leaves an unsplit composite in the list: never call it prime.
    if (found_count == 1 && found[0].count == 1 && !stop_flag) out_str(&out, FACTOR_TEXT_PRIME);
    out_finish(&out, factors_dropped);
    fflush(stdout);
    release_lists();
}

// Writes the factorisation of value (>= 0) into text without bounds checks;
// text needs SMALL_TEXT bytes (ample for any 64-bit value).
void small_into(int64_t value, char *text) {
    char *p = text;
    *p = 0;
    if (value < 2) return;
    int64_t rest = value;
    bool divisor_found = false;
    bool done = false;
    auto put_power = [&](int64_t d, int k) {
        p += sprintf(p, "%lld", static_cast<long long>(d));
        if (k > 1) p += sprintf(p, "^%d", k);
    };
    for (int64_t d = 2; d <= 5 && !done; d++) {
        if (rest % d != 0) continue;
        int k = 0;
        while (rest % d == 0) {
            rest /= d;
            k++;
        }
        divisor_found = true;
        put_power(d, k);
        if (rest == 1) done = true;
        else *p++ = '*', *p = 0;
    }
    // Odd candidates from 7, skipping multiples of 3 and 5 (increments 4 2 4 2 4 6 2 6).
    static const int step[8] = {4, 2, 4, 2, 4, 6, 2, 6};
    int64_t quotient = rest;
    for (int64_t d = 7, s = 0; !done; d += step[s], s = (s + 1) % 8) {
        if (quotient < d) {
            if (rest != 1) p += sprintf(p, "%lld", static_cast<long long>(rest));
            break;
        }
        int k = 0;
        while (rest % d == 0) {
            rest /= d;
            k++;
        }
        quotient = rest / d;
        if (k == 0) continue;
        divisor_found = true;
        put_power(d, k);
        if (rest == 1) done = true;
        else *p++ = '*', *p = 0;
    }
    if (!divisor_found || value == 2 || value == 3 || value == 5 || value == 7) strcpy(p, FACTOR_TEXT_PRIME);
}

}  // namespace

long rho_check_every = 1000000;
long mark_interval_ms = 2000;
int (*factor_key_poll)() = terminal_key_pressed;
bool stop_flag;
int mark_count;

long monotonic_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void progress_start() {
    stop_flag = false;
    mark_count = 0;
    last_mark_ms = monotonic_ms();
}

bool progress_check() {
    if (stop_flag) return true;
    long now = monotonic_ms();
    if (now - last_mark_ms >= mark_interval_ms) {
        // The hint comes with the first mark, while the key can still stop
        // the search.
        if (mark_count == 0) fputs(FACTOR_MSG_HEAVY, stdout);
        mark_count++;
        fputs(mark_count % 3 == 0 ? FACTOR_MARK_DOT : FACTOR_MARK_BAR, stdout);
        fflush(stdout);
        last_mark_ms = now;
    }
    // Ctrl-C stops the search like a key; the result found so far is
    // reported and the calculator goes on with the next line.
    if (interrupt_requested || factor_key_poll()) stop_flag = true;
    return stop_flag;
}

void key_poll_end() {
    if (!tty_raw) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &tty_saved);
    tty_raw = false;
}

// Factorises |n| into output_text (zero-terminated, at most output_text_size
// bytes; empty when n is not an integer, is too close to its capacity, is 0
// or 1, or needs the absent library). A fixed-point integer is shifted to its
// integer form in place. Uses scratch integer 7 (slot 23).
void factor_to_text(BigNum *n) {
    assert(n);
    char *text = output_text;
    if (!text || output_text_size <= 0) return;
    text[0] = 0;
    if (n->used > n->capacity - 5) return;

    int e = n->frac_limbs;
    if (e != 0) {
        if (e != fixed_point_limbs || e < 0) return;
        for (int k = 0; k < e && k < n->used; k++)
            if (limb(n, k) != 0) return;  // a fractional part: not an integer
        int keep = n->used > e ? n->used - e : 0;
        for (int k = 0; k < keep; k++) limb(n, k) = limb(n, k + e);
        for (int k = keep; k < n->used; k++) limb(n, k) = 0;
        n->used = keep;
        n->frac_limbs = 0;
        bn_strip(n);
    }

    BigNum *c = work_int(7);
    if (n->used > c->capacity) return;
    if (c != n) {
        for (int k = 0; k < n->used; k++) limb(c, k) = limb(n, k);
        c->used = n->used;
    }
    c->sign = 1;
    c->frac_limbs = 0;

    if (c->used < 2) {
        char small[SMALL_TEXT];
        small_into(c->used == 1 ? limb(c, 0) : 0, small);
        snprintf(text, output_text_size, "%s", small);
        return;
    }
    if (bn_is_zero(c)) {
        bn_normalise_zero(c);
        return;
    }
    if (!gmp_ready()) {
        fputs(MSG_NO_GMP, stdout);
        return;
    }

    mpz_t working;
    gmp.init2(working, static_cast<mp_bitcnt_t>(c->capacity) * 32);
    load_library_integer(working, c);
    factor_integer(working, text);
    gmp.clear(working);
}

// Factorises value by trial division into text, written without blanks
// ("2^3*3^2*5", "97 P"); values below 2 give an empty text. text must hold
// 96 bytes, enough for any 64-bit value.
void factor_small(int64_t value, char *text) { small_into(value, text); }

// Factorises the working integer (> 0, divided down in place) into text, which
// must hold output_text_size bytes, and prints the console report (verbose
// after more than two progress marks). Every integer it creates is released.
void factor_integer(mpz_ptr working, char *text) {
    factor_integer_into(working, text, output_text_size);
}

// Splits `times` fresh copies of x, so that each copy records its own factors
// (x itself is left as it is).
static void split_copies(mpz_srcptr x, unsigned long times) {
    for (unsigned long j = 0; j < times; j++) {
        mpz_t part;
        gmp.init_set(part, x);
        split_factor(part);
        gmp.clear(part);
    }
}

// Says once per process that a stage is skipped because its library is missing.
static bool stage_ready(bool bound, bool *told, const char *notice) {
    if (!bound && !*told) {
        fputs(notice, stdout);
        fflush(stdout);
        *told = true;
    }
    return bound;
}

// Rough seconds the bound library's sieve needs for a number of `digits`
// digits on one core (measured: 0.03 s at 30 digits, 0.08 at 40, 0.3 at 50,
// 2 at 60; about seven times more per ten digits beyond).
static double sieve_seconds(double digits) {
    if (digits <= 40) return 0.08 * pow(2.7, (digits - 40) / 10);
    if (digits <= 50) return 0.08 * pow(3.75, (digits - 40) / 10);
    return 0.3 * pow(7.0, (digits - 50) / 10);
}

// Rough seconds of the own sieve on one thread (measured: 2.5 ms at 30
// digits, 17 ms at 40, 0.17 s at 50, 1.4 s at 60, 3.9 s at 65, 13 s at 70,
// 36 s at 75: ten times more per ten digits up to 50, about 8.5 from there).
static double siqs_seconds(double digits) {
    if (digits <= 50) return 0.017 * pow(10.0, (digits - 40) / 10);
    return 0.17 * pow(8.5, (digits - 50) / 10);
}

// The share of the sieve's time given to elliptic curves first. Before the
// own sieve: none below 40 digits, where it splits a number in a few
// milliseconds, sooner than the curves find even a 15-digit factor, and a
// tenth from 40 digits: factors up to about 15 digits next to a 45-digit
// cofactor, 20 digits next to a 65-digit one and 25 next to an 80-digit
// one are found before the sieve. Before the library's sieve (beyond the
// own sieve's 96 digits, or without it): from 0.1 at 40 digits rising to 0.4
// at 50 digits and beyond.
static double curve_share(double digits, bool own) {
    if (own) return digits < 40 ? 0 : 0.1;
    if (digits <= 50) return 0.1 + 0.3 * (digits - 40) / 10;
    return 0.4;
}

// The own sieve takes every number it can hold (up to 96 digits); the
// library's sieve runs only when it fails.
constexpr size_t SIQS_BITS = SIQS_MAX_BITS;

// Rho steps before the own sieve: a tenth or less of the sieve's time, so
// that most factors of up to 7 digits cost no sieving; on the library's
// integers (above 128 bits) a step costs ten times more, and 2^10 of them
// already take about a millisecond. From 50 digits the sieve takes seconds
// and more: 2^14 steps (up to 9 digits) and from 60 digits 2^16 (up to 10)
// cost a few hundredths of that.
static long rho_effort_before_siqs(size_t bits) {
    if (bits <= 100) return 1L << 11;
    if (bits <= 128) return 1L << 13;
    if (bits <= 165) return 1L << 10;
    return bits <= 200 ? 1L << 14 : 1L << 16;
}

// A proper divisor of the composite m (not a perfect power). Up to
// SIQS_BITS: a short rho, curves for a share of the time (from 40 digits),
// then the own sieve. Beyond: rho for a bounded effort, curves for a share
// of the time the library's sieve would need, then that sieve. A stage
// whose library is missing is skipped, and when the sieves fail the last
// stage available runs without bound. SEARCH_FOUND or SEARCH_STOPPED.
static int find_divisor(mpz_ptr m, mpz_ptr d) {
    size_t bits = gmp.sizeinbase(m, 2);
    if (bits <= 64) return rho_search(m, d, -1);  // found within milliseconds
    static bool told_ecm = false, told_sieve = false;
    bool curves = stage_ready(bind_ecm(), &told_ecm, FACTOR_MSG_NO_ECM);
    bool sieve = stage_ready(bind_flint(), &told_sieve, FACTOR_MSG_NO_SIEVE);
    bool own = bits <= SIQS_BITS;
    double digits = static_cast<double>(bits) * 0.30103;
    long rho = own ? rho_effort_before_siqs(bits) : bits <= 128 ? RHO_EFFORT_WORDS : RHO_EFFORT;
    int r = rho_search(m, d, own || curves || sieve ? rho : -1);
    if (r != SEARCH_EXHAUSTED) return r;
    double share = -1;  // no sieve after the curves: they run without bound
    // The sieve and the curves both run on every engine thread: the curves'
    // share is of the sieve's wall time, its time on one thread divided by
    // the threads, so that the curves run are as many whatever the count.
    if (own) share = curve_share(digits, true) * siqs_seconds(digits) / engine_threads();
    else if (sieve) share = curve_share(digits, false) * sieve_seconds(digits);
    if (curves && share != 0) {
        r = ecm_search(m, d, share);
        if (r != SEARCH_EXHAUSTED) return r;
    }
    if (own) {
        r = siqs_search(m, d);
        if (r != SEARCH_EXHAUSTED) return r;
    }
    if (sieve) {
        r = sieve_search(m, d);
        if (r != SEARCH_EXHAUSTED) return r;
    }
    // The sieves failed: the remaining stage runs on without bound.
    return curves ? ecm_search(m, d, -1) : rho_search(m, d, -1);
}

// Splits m into probable primes and records them; m is divided down in place.
// Returns at once when the stop flag is set.
void split_factor(mpz_ptr m) {
    if (gmp.cmp_ui(m, 1) <= 0 || stop_flag) return;
    if (is_probable_prime(m)) {
        record_factor(m);
        return;
    }
    mpz_t r;
    gmp.init(r);
    unsigned long e = perfect_power_root(r, m);
    if (e >= 2) {
        split_copies(r, e);
        gmp.clear(r);
        return;
    }
    gmp.clear(r);

    mpz_t d;
    gmp.init(d);
    if (find_divisor(m, d) != SEARCH_FOUND) {
        record_factor(m);  // stopped: the unsplit remainder stands as found
        gmp.clear(d);
        return;
    }
    mpz_t q, rest;
    gmp.init(q);
    gmp.init(rest);
    unsigned long times = 0;
    for (;;) {
        gmp.tdiv_qr(q, rest, m, d);
        if (gmp.cmp_ui(rest, 0) != 0) break;
        gmp.set(m, q);
        times++;
    }
    gmp.clear(q);
    gmp.clear(rest);
    split_copies(d, times);
    gmp.clear(d);
    split_factor(m);
}

// Largest e >= 2 with root_out^e = m, root_out set to that root; otherwise
// returns 1 with root_out = m. root_out and m must be different integers.
unsigned long perfect_power_root(mpz_ptr root_out, mpz_ptr m) {
    assert(root_out != m);
    if (gmp.cmp_ui(m, 1) > 0 && gmp.perfect_power_p(m)) {
        unsigned long bits = static_cast<unsigned long>(gmp.sizeinbase(m, 2));
        for (unsigned long e = bits; e >= 2; e--)
            if (gmp.root(root_out, m, e)) return e;  // non-zero: the root is exact
    }
    gmp.set(root_out, m);
    return 1;
}
