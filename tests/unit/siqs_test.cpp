// The own quadratic sieve called directly: the numbers of 20 to 50 digits of
// the lists made by gp, semiprimes of 52 to 62 digits, square factors,
// small factor-base primes, a multiplier above 1, the same factors on one
// and on two threads and with and without the vector units, and the stop
// by a key or Ctrl-C.
#include <gmp.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "factor/factor.h"
#include "engine/gmp_api.h"
#include "engine/threads.h"
#include "factor/search.h"
#include "number/bignum.h"

namespace {

struct FactorSiqs : ::testing::Test {
    long saved_interval = mark_interval_ms;
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_TRUE(gmp_ready());
    }
    void SetUp() override {
        mark_interval_ms = LONG_MAX;  // no progress marks among the test output
        progress_start();
    }
    void TearDown() override { mark_interval_ms = saved_interval; }
};

// The primes of a "p^e * q" text.
std::vector<std::string> primes_of(const std::string &text) {
    std::vector<std::string> primes;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_not_of("0123456789", pos);
        if (end == std::string::npos) end = text.size();
        if (end > pos && !(pos > 0 && text[pos - 1] == '^')) primes.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return primes;
}

// The sieve's divisor of `digits` (checked proper and dividing), or "" when
// it found none.
std::string split(const std::string &digits) {
    mpz_t n, d;
    mpz_init_set_str(n, digits.c_str(), 10);
    mpz_init(d);
    progress_start();  // no progress marks within a long list
    int r = siqs_search(n, d);
    EXPECT_EQ(r, SEARCH_FOUND) << digits;
    std::string text;
    if (r == SEARCH_FOUND) {
        EXPECT_GT(mpz_cmp_ui(d, 1), 0) << digits;
        EXPECT_LT(mpz_cmp(d, n), 0) << digits;
        EXPECT_TRUE(mpz_divisible_p(n, d)) << digits;
        char *t = mpz_get_str(nullptr, 10, d);
        text = t;
        free(t);
    }
    mpz_clear(n);
    mpz_clear(d);
    return text;
}

// Every composite of 20 to 50 digits in gp's lists: a semiprime splits into
// one of its two primes; the others into a proper divisor.
TEST_F(FactorSiqs, ListsOfTwentyToFiftyDigits) {
    std::string here = __FILE__;
    std::ifstream in(here.substr(0, here.rfind('/')) + "/../data/factor/factor_cases.txt");
    std::string line;
    int ran = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t a = line.find(' '), b = line.find(" = ");
        std::string number = line.substr(a + 1, b - a - 1), text = line.substr(b + 3);
        if (number.size() < 20 || number.size() > 50 || text.find(" P") != std::string::npos) continue;
        std::string d = split(number);
        std::vector<std::string> primes = primes_of(text);
        if (line.compare(0, 9, "semiprime") == 0) {
            EXPECT_TRUE(d == primes[0] || d == primes[1]) << number << ": " << d;
        }
        ran++;
    }
    EXPECT_GE(ran, 20);
}

// The benchmark's semiprimes and 2^128 + 1 (a 17-digit factor at 39 digits).
TEST_F(FactorSiqs, BenchmarkNumbers) {
    std::string d = split("131622776601696326447676124687");
    EXPECT_TRUE(d == "316227766016849" || d == "416227766016863") << d;
    d = split("340282366920938463463374607431768211457");
    EXPECT_TRUE(d == "59649589127497217" || d == "5704689200685129054721") << d;
    d = split("26363922850086253858330444028624380172616291460219");
    EXPECT_TRUE(d == "2794822760624444900485907" || d == "9433128719831873965991417") << d;
}

// Sanitizer builds run the sieve ten times slower: the largest cases
// skip themselves there.
#if defined(__SANITIZE_ADDRESS__) || defined(VANTREL_BOUNDS_CHECK)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

// Balanced semiprimes made by gp (seed 12345), with their two primes: the
// sizes where the factor base grows past the block and a single large
// prime per relation gives way to two.
struct Semiprime {
    const char *n, *p, *q;
};
const Semiprime SEMIPRIMES[] = {
    {"2261696092770838651776438460821185180443293575009963", "96340960182836083475505781",
     "23475955486416025902117023"},
    {"1737889054030372752001617759901068311482576795876812313", "881752285292725402930645247",
     "1970949305170698619158837479"},
    {"3874009339132745679943101706609790046274949028073106904769", "48129413801413994887221375413",
     "80491513050984450012651038813"},
    {"21800391923539254714784140614598256581175283020705047412110689", "4275415793227990805738211326647",
     "5099010944869924397782493829287"},
};

TEST_F(FactorSiqs, SemiprimesOfFiftyTwoToSixtyTwoDigits) {
    for (const Semiprime &c : SEMIPRIMES) {
        if (SANITIZED && strlen(c.n) > 55) continue;
        std::string d = split(c.n);
        EXPECT_TRUE(d == c.p || d == c.q) << c.n << ": " << d;
    }
}

// One thread and two find the same two primes (the divisor may be either).
TEST_F(FactorSiqs, SameFactorsOnOneAndTwoThreads) {
    int saved = engine_threads();
    for (int threads : {1, 2}) {
        set_engine_threads(threads);
        const Semiprime &c = SEMIPRIMES[SANITIZED ? 0 : 1];
        std::string d = split(c.n);
        EXPECT_TRUE(d == c.p || d == c.q) << threads << " threads: " << d;
    }
    set_engine_threads(saved);
}

// Without the vector units the sieve finds the same relations by its plain
// paths (candidates, bucket hits on them, root tests, root steps): as many
// relations and the same divisor, on numbers whose factor bases reach the
// buckets.
TEST_F(FactorSiqs, PlainPathsFindTheSameDivisor) {
    int saved = engine_threads();
    set_engine_threads(1);
    for (const Semiprime &c : {SEMIPRIMES[0], SEMIPRIMES[1]}) {
        if (SANITIZED && c.n != SEMIPRIMES[0].n) continue;
        std::string wide = split(c.n);
        long relations = siqs_relations_kept;
        siqs_vector_units = false;
        std::string plain = split(c.n);
        siqs_vector_units = true;
        EXPECT_TRUE(plain == c.p || plain == c.q) << c.n << ": " << plain;
        EXPECT_EQ(plain, wide) << c.n;
        EXPECT_EQ(siqs_relations_kept, relations) << c.n;
        EXPECT_GT(relations, 0) << c.n;
    }
    set_engine_threads(saved);
}

// Square factors: p^2 q splits, and so does p^2 q^2 r (the sieve's
// dependencies may meet p, p^2 or p q); a small factor-base prime or its
// power turns up while the factor base is made; perfect powers give their
// root. Beyond 200 bits the sieve declines.
TEST_F(FactorSiqs, SquaresAndSmallPrimes) {
    split("1000000246987785251699134718490791377");    // 100000012349^2 * 100000000000777
    split("40000164280192048048076303576180022743");  // 10000019^2 * 20000003^2 * 1000000007
    EXPECT_EQ(split("10303010000439938527001486724343"), "101");  // 101^3 * two primes
    EXPECT_EQ(split("12157665459056928801"), "3486784401");      // 3^40: the largest root, 3^20
    EXPECT_EQ(split("5474648707766831295194075475596476623289"), "73990869083737834517");
    mpz_t n, out;
    mpz_init(n);
    mpz_init(out);
    mpz_ui_pow_ui(n, 10, 61);
    mpz_nextprime(n, n);
    mpz_mul(n, n, n);
    EXPECT_EQ(siqs_search(n, out), SEARCH_EXHAUSTED);
    mpz_clear(n);
    mpz_clear(out);
}

// A number whose multiplier is above 1 (kN, not N, is sieved) splits, and
// the same number gives the same divisor again on one thread.
TEST_F(FactorSiqs, MultiplierAboveOneAndRepeatable) {
    const char *number = "1301746877907324029797242890502097443667";
    mpz_t n;
    mpz_init_set_str(n, number, 10);
    unsigned k = siqs_multiplier(n);
    mpz_clear(n);
    EXPECT_GT(k, 1u);
    int saved = engine_threads();
    set_engine_threads(1);
    std::string d = split(number);
    EXPECT_TRUE(d == "20929083552663389693" || d == "62197987534034501519") << d;
    EXPECT_EQ(split(number), d);
    set_engine_threads(saved);
}

// ------------------------------------------------------------------ stop

// Milliseconds of this thread's processor time: the sieve runs in this
// thread, and other load on the machine does not stretch it.
long cpu_ms() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return long(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

long last_poll_ms, longest_gap_ms;
int polls;
int quiet_poll() {
    long now = cpu_ms();
    if (now - last_poll_ms > longest_gap_ms) longest_gap_ms = now - last_poll_ms;
    last_poll_ms = now;
    polls++;
    return 0;
}
int key_now() {
    polls++;
    return 1;
}

struct FactorSiqsStop : FactorSiqs {
    int (*saved)() = factor_key_poll;
    mpz_t n, d;
    void SetUp() override {
        FactorSiqs::SetUp();
        polls = 0;
        // 50 digits: about a fifth of a second of sieving.
        mpz_init_set_str(n, "26363922850086253858330444028624380172616291460219", 10);
        mpz_init(d);
    }
    void TearDown() override {
        FactorSiqs::TearDown();
        factor_key_poll = saved;
        interrupt_requested = 0;
        mpz_clear(n);
        mpz_clear(d);
        progress_start();
    }
    // The sieve returns SEARCH_STOPPED and has raised the stop flag.
    void expect_stopped() {
        EXPECT_EQ(siqs_search(n, d), SEARCH_STOPPED);
        EXPECT_TRUE(stop_flag);
    }
};

// A key pressed in the middle of the sieving stops every thread: the
// search returns at the next check point (the key is polled once more).
int polls_before_key;
int key_later() {
    polls++;
    return polls > polls_before_key;
}

TEST_F(FactorSiqsStop, KeyStopsTwoThreadsMidSieve) {
    int saved = engine_threads();
    set_engine_threads(2);
    mpz_set_str(n, SEMIPRIMES[3].n, 10);  // seconds of sieving
    factor_key_poll = key_later;
    polls_before_key = 20;
    EXPECT_EQ(siqs_search(n, d), SEARCH_STOPPED);
    EXPECT_TRUE(stop_flag);
    EXPECT_EQ(polls, polls_before_key + 1);
    set_engine_threads(saved);
}

TEST_F(FactorSiqsStop, KeyStopsAtTheFirstCheckPoint) {
    // The first check point comes before any sieving: one poll, then out
    // (counted, not timed: the set-up alone takes tens of milliseconds in
    // the sanitizer build).
    factor_key_poll = key_now;
    expect_stopped();
    EXPECT_EQ(polls, 1);
}

TEST_F(FactorSiqsStop, CtrlCStops) {
    factor_key_poll = quiet_poll;
    interrupt_requested = 1;
    expect_stopped();
    EXPECT_LE(polls, 1);
    // Once stopped, a search returns at once.
    EXPECT_EQ(siqs_search(n, d), SEARCH_STOPPED);
}

// Through sieving, elimination and square roots the key is polled every few
// milliseconds of processor time (the bound of 100 allows for the sanitizer
// build, ten times slower): a poll comes once POLL_MS of the clock have
// passed, and processor time never runs ahead of the clock.
TEST_F(FactorSiqsStop, PollsThroughout) {
    factor_key_poll = quiet_poll;
    longest_gap_ms = 0;
    last_poll_ms = cpu_ms();
    EXPECT_EQ(siqs_search(n, d), SEARCH_FOUND);
    long tail = cpu_ms() - last_poll_ms;
    EXPECT_LT(longest_gap_ms, 100);
    EXPECT_LT(tail, 100);
    EXPECT_GT(polls, 5);
}

}  // namespace
