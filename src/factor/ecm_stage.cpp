// The elliptic curve stage: curves of the bound library with a first-stage
// bound B1 that grows level by level with the curves run, polled for the
// key and Ctrl-C from inside each curve.
#include "factor_libs.h"
#include "search.h"

namespace {

// B1 and the number of curves that find most factors of about 15, 20, ...
// 60 digits; the last level repeats for as long as the search runs.
struct EcmLevel {
    double b1;
    int curves;
};
const EcmLevel LEVELS[] = {
    {2000, 25},       {11000, 90},      {50000, 300},     {250000, 700},     {1000000, 1800},
    {3000000, 5100},  {11000000, 10600}, {43000000, 19300}, {110000000, 49000}, {260000000, 124000},
};
constexpr int LEVEL_COUNT = sizeof LEVELS / sizeof LEVELS[0];
constexpr long POLL_MS = 10;  // least time between two check points inside a curve

long last_poll_ms;

// Called by the library many times per curve; consults the check point at
// most every POLL_MS. Non-zero tells the curve to end at once.
int stop_asap() {
    long now = monotonic_ms();
    if (now - last_poll_ms < POLL_MS) return 0;
    last_poll_ms = now;
    return progress_check() ? 1 : 0;
}

// One curve with bound b1: 1 with 1 < divisor_out < m, 0 without, -1 when
// the library reports an error.
int one_curve(mpz_ptr m, mpz_ptr divisor_out, double b1) {
    ecm_params p;
    ecm_lib.init(p);
    p->stop_asap = stop_asap;
    int r = ecm_lib.factor(divisor_out, m, b1, p);
    ecm_lib.clear(p);
    if (r < 0) return -1;
    if (r > 0 && gmp.cmp_ui(divisor_out, 1) > 0 && gmp.cmp(divisor_out, m) < 0) return 1;
    return 0;
}

}  // namespace

// Elliptic curves on a composite m that is not a perfect power, for at least
// `seconds` of wall time (< 0: until found or stopped), level by level.
int ecm_search(mpz_ptr m, mpz_ptr divisor_out, double seconds) {
    long start = monotonic_ms();
    last_poll_ms = start;
    for (int level = 0;; level++) {
        const EcmLevel &l = LEVELS[level < LEVEL_COUNT ? level : LEVEL_COUNT - 1];
        for (int curve = 0; curve < l.curves; curve++) {
            int r = one_curve(m, divisor_out, l.b1);
            if (stop_flag || progress_check()) return SEARCH_STOPPED;
            if (r > 0) return SEARCH_FOUND;
            if (r < 0) return SEARCH_EXHAUSTED;
            if (seconds >= 0 && monotonic_ms() - start >= seconds * 1000) return SEARCH_EXHAUSTED;
        }
    }
}
