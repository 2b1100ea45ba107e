// Factorisation into text: one-limb trial division, the library path with
// trial division, perfect powers and rho, fixed-point input, bounds of the
// output text and the factor list, and the absent library.
#include <gmp.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "factor/factor.h"
#include "engine/gmp_api.h"
#include "number/bignum.h"

namespace {

// Writes a decimal integer (optional '-') straight into n's limbs.
void set_decimal(BigNum *n, const char *digits, int frac_limbs = 0) {
    bn_clear(n);
    int sign = 1;
    if (*digits == '-') sign = -1, digits++;
    int len = static_cast<int>(strlen(digits));
    int k = 0;
    for (int end = len; end > 0; end -= 8, k++) {
        int start = end > 8 ? end - 8 : 0;
        int32_t v = 0;
        for (int i = start; i < end; i++) v = v * 10 + (digits[i] - '0');
        limb(n, k) = v;
    }
    n->used = k;
    bn_strip(n);
    n->sign = static_cast<int8_t>(sign);
    n->frac_limbs = frac_limbs;
}

std::string factor_of(const char *digits, int frac_limbs = 0) {
    BigNum *n = reg_num[29];
    set_decimal(n, digits, frac_limbs);
    factor_to_text(n);
    return output_text;
}

// Multiplies the factors of a "a^k*b" or "a^k * b" text back together.
void product_of_text(const std::string &text, mpz_t out) {
    mpz_set_ui(out, 1);
    std::string body = text;
    if (body.size() >= 2 && body.compare(body.size() - 2, 2, " P") == 0) body.resize(body.size() - 2);
    size_t pos = 0;
    while (pos < body.size()) {
        size_t end = body.find('*', pos);
        if (end == std::string::npos) end = body.size();
        std::string item = body.substr(pos, end - pos);
        while (!item.empty() && item.back() == ' ') item.pop_back();
        while (!item.empty() && item.front() == ' ') item.erase(0, 1);
        size_t caret = item.find('^');
        mpz_t f;
        mpz_init_set_str(f, item.substr(0, caret).c_str(), 10);
        EXPECT_NE(mpz_probab_prime_p(f, 25), 0) << item << " in " << text;
        unsigned long k = caret == std::string::npos ? 1 : std::stoul(item.substr(caret + 1));
        mpz_pow_ui(f, f, k);
        mpz_mul(out, out, f);
        mpz_clear(f);
        pos = end + 1;
    }
}

// No progress marks: a search that a busy machine slows past the mark
// interval prints what it prints on an idle one.
struct Factor : ::testing::Test {
    static void SetUpTestSuite() {
        ASSERT_EQ(pool_start(200), 0);
        bind_gmp();
        ASSERT_TRUE(gmp_ready());
    }
    void SetUp() override { mark_interval_ms = LONG_MAX; }
    void TearDown() override { mark_interval_ms = 2000; }
};

// Processor seconds of this process and of its children waited for (a
// sieve's child process), which other load on the machine does not stretch.
double processor_seconds() {
    double s = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u;
        getrusage(who, &u);
        s += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    }
    return s;
}

TEST_F(Factor, OneLimbValues) {
    EXPECT_EQ(factor_of("0"), "");
    EXPECT_EQ(factor_of("1"), "");
    EXPECT_EQ(factor_of("2"), "2 P");
    EXPECT_EQ(factor_of("4"), "2^2");
    EXPECT_EQ(factor_of("7"), "7 P");
    EXPECT_EQ(factor_of("11"), "11 P");
    EXPECT_EQ(factor_of("12"), "2^2*3");
    EXPECT_EQ(factor_of("49"), "7^2");
    EXPECT_EQ(factor_of("97"), "97 P");
    EXPECT_EQ(factor_of("360"), "2^3*3^2*5");
    EXPECT_EQ(factor_of("194"), "2*97");
    EXPECT_EQ(factor_of("99999989"), "99999989 P");
    EXPECT_EQ(factor_of("99999999"), "3^2*11*73*101*137");
    EXPECT_EQ(factor_of("-360"), "2^3*3^2*5");
}

// Every one-limb text multiplies back to its value, lists primes only and
// carries " P" exactly for primes.
TEST_F(Factor, SmallAgreesWithLibrary) {
    char text[96];
    mpz_t product, v;
    mpz_init(product);
    mpz_init(v);
    auto check = [&](int64_t value) {
        factor_small(value, text);
        std::string s = text;
        mpz_set_si(v, value);
        bool prime = mpz_probab_prime_p(v, 25) != 0;
        EXPECT_EQ(s.size() >= 2 && s.compare(s.size() - 2, 2, " P") == 0, prime) << value << " " << s;
        EXPECT_EQ(s.find(' '), prime ? s.size() - 2 : std::string::npos) << s;
        product_of_text(s, product);
        EXPECT_EQ(mpz_cmp(product, v), 0) << value << " " << s;
    };
    for (int64_t value = 2; value < 5000; value++) check(value);
    uint64_t seed = 12345;
    for (int i = 0; i < 3000; i++) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        check(static_cast<int64_t>((seed >> 20) % 99999998) + 2);
    }
    check(2147483647LL * 2);
    check(999999999989LL);  // above one limb: still sound if called directly
    mpz_clear(product);
    mpz_clear(v);
}

TEST_F(Factor, LibraryPath) {
    EXPECT_EQ(factor_of("100000000"), "2^8 * 5^8");
    EXPECT_EQ(factor_of("1000000007"), "1000000007 P");
    EXPECT_EQ(factor_of("-1000000007"), "1000000007 P");
    // Escapes trial division; split by the perfect-power step.
    EXPECT_EQ(factor_of("1000090002700027"), "100003^3");
    // Two primes above the trial bound, then a square next to one of them.
    EXPECT_EQ(factor_of("1000036000099"), "1000003 * 1000033");
    EXPECT_EQ(factor_of("10000630010800027"), "100003^2 * 1000003");
    EXPECT_EQ(factor_of("600000000"), "2^9 * 3 * 5^8");
}

TEST_F(Factor, FixedPointInput) {
    // 12 as a fixed-point decimal with four zero fraction limbs.
    EXPECT_EQ(factor_of("1200000000000000000000000000000000", 4), "2^2*3");
    EXPECT_EQ(reg_num[29]->frac_limbs, 0);
    EXPECT_EQ(factor_of("10000000000000000000000000000000000000000", 4), "2^8 * 5^8");
    // 12.5 is not an integer.
    EXPECT_EQ(factor_of("1250000000000000000000000000000000", 4), "");
    // A scale other than the fixed-point one is not an integer either.
    EXPECT_EQ(factor_of("1200000000000000", 2), "");
}

TEST_F(Factor, EmptyWhenNearCapacityOrZero) {
    BigNum *n = reg_num[29];
    set_decimal(n, "12");
    n->used = n->capacity - 4;  // leading zero limbs: too close to capacity
    for (int k = 1; k < n->used; k++) limb(n, k) = 0;
    factor_to_text(n);
    EXPECT_STREQ(output_text, "");
    set_decimal(n, "0");
    n->used = 3;  // an unnormalised multi-limb zero
    for (int k = 0; k < 3; k++) limb(n, k) = 0;
    factor_to_text(n);
    EXPECT_STREQ(output_text, "");
}

TEST_F(Factor, AbsentLibrary) {
    bool saved = gmp.available;
    gmp.available = false;
    testing::internal::CaptureStdout();
    std::string big = factor_of("100000000");
    std::string small = factor_of("360");
    std::string printed = testing::internal::GetCapturedStdout();
    gmp.available = saved;
    EXPECT_EQ(big, "");
    EXPECT_EQ(small, "2^3*3^2*5");
    EXPECT_EQ(printed, "no: gmp-10.dll \n");
}

// More than 256 distinct primes: the list keeps 256, marks the cut and
// writes nothing past the factor list or the text.
TEST_F(Factor, ManyDistinctPrimes) {
    mpz_t product, p;
    mpz_init_set_ui(product, 1);
    mpz_init_set_ui(p, 2);
    for (int i = 0; i < 300; i++) {
        mpz_mul(product, product, p);
        mpz_nextprime(p, p);
    }
    char *digits = mpz_get_str(nullptr, 10, product);
    std::string text = factor_of(digits);
    EXPECT_EQ(text.compare(0, 10, "2 * 3 * 5 "), 0);
    EXPECT_EQ(text.compare(text.size() - 4, 4, " ..."), 0);
    EXPECT_LT(static_cast<int>(text.size()), output_text_size);
    size_t stars = 0;
    for (char ch : text) stars += ch == '*';
    EXPECT_EQ(stars, 255u);

    // A small text room: the text stops at a whole factor and shows the cut.
    int saved = output_text_size;
    output_text_size = 40;
    output_text[60] = 'x';
    text = factor_of(digits);
    output_text_size = saved;
    EXPECT_LT(text.size(), 40u);
    EXPECT_EQ(text.compare(text.size() - 4, 4, " ..."), 0);
    EXPECT_EQ(text.compare(0, 10, "2 * 3 * 5 "), 0);
    EXPECT_EQ(output_text[60], 'x');
    free(digits);
    mpz_clear(product);
    mpz_clear(p);
}

// 30 digits, 300000000000089 * 700000000000051: beyond rho's share, split by
// the later stages (or by rho alone, slowly, without their libraries).
TEST_F(Factor, SemiprimeOfTwoFifteenDigitPrimes) {
    auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    std::string text = factor_of("210000000000077600000000004539");
    std::string printed = testing::internal::GetCapturedStdout();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("semiprime factorised in %.2f s; console: %s\n", seconds, printed.c_str());
    mpz_t product, v;
    mpz_init(product);
    mpz_init_set_str(v, "210000000000077600000000004539", 10);
    product_of_text(text, product);
    EXPECT_EQ(mpz_cmp(product, v), 0) << text;
    EXPECT_EQ(text.find(" P"), std::string::npos);
    mpz_clear(product);
    mpz_clear(v);
}

}  // namespace

namespace {

long live_blocks = 0;
void *count_alloc(size_t n) {
    live_blocks++;
    return malloc(n);
}
void *count_realloc(void *p, size_t, size_t n) { return realloc(p, n); }
void count_free(void *p, size_t) {
    live_blocks--;
    free(p);
}

int key_after_polls = 0;  // the poll that reports a key (1 = the first)
int polls = 0;
int scripted_key() { return ++polls == key_after_polls; }

// Shortened checks so that every rho iteration is a check and prints a mark.
struct FactorReport : Factor {
    void SetUp() override {
        rho_check_every = 1;
        mark_interval_ms = 0;
        polls = 0;
        key_after_polls = 0;
        factor_key_poll = scripted_key;
    }
    void TearDown() override {
        rho_check_every = 1000000;
        mark_interval_ms = 2000;
        factor_key_poll = saved_poll;
    }
    static int (*saved_poll)();
};
int (*FactorReport::saved_poll)() = factor_key_poll;

const std::string HINT = "(Heavy analysis phase. 5s dots. Press any key to stop)\n";

// Strips the hint and the progress marks after it, and returns how many
// marks there were; the hint comes before the first mark.
size_t skip_marks(std::string &printed) {
    EXPECT_EQ(printed.compare(0, HINT.size(), HINT), 0) << printed;
    printed.erase(0, HINT.size());
    size_t n = printed.find_first_not_of("._");
    if (n == std::string::npos) n = printed.size();
    for (size_t i = 0; i < n; i++) EXPECT_EQ(printed[i], (i + 1) % 3 == 0 ? '.' : '_') << printed;
    printed.erase(0, n);
    return n;
}

TEST_F(FactorReport, VerboseReportAfterTheSearch) {
    testing::internal::CaptureStdout();
    std::string text = factor_of("2000072000198");  // 2 * 1000003 * 1000033
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text, "2 * 1000003 * 1000033");
    EXPECT_GT(skip_marks(printed), 2u);
    // The cofactor left after the rho divisor was divided out is one prime;
    // the discovery order depends on which divisor rho met first.
    std::string first = printed.find("Analyzing: 1000003\n") != std::string::npos ? "1000033" : "1000003";
    std::string second = first == "1000003" ? "1000033" : "1000003";
    EXPECT_EQ(printed, "\nAnalyzing: " + second + "\n" +
                           "\nDiscovery Order: 2 -> " + first + " -> " + second +
                           "\nSorted Formula:  2 * 1000003 * 1000033\n");
}

TEST_F(FactorReport, KeyStopsTheSearchQuietly) {
    key_after_polls = 1;
    testing::internal::CaptureStdout();
    std::string text = factor_of("2000072000198");
    std::string printed = testing::internal::GetCapturedStdout();
    // The unsplit composite stands in the text; it is never called prime.
    EXPECT_EQ(text, "2 * 1000036000099");
    EXPECT_EQ(printed, HINT + "_??");
    polls = 0;
    testing::internal::CaptureStdout();
    text = factor_of("1000036000099");
    printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text, "1000036000099");
    EXPECT_EQ(printed, HINT + "_??");
}

TEST_F(FactorReport, KeyStopsTheSearchVerbosely) {
    key_after_polls = 3;
    testing::internal::CaptureStdout();
    std::string text = factor_of("1000036000099");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text, "1000036000099");
    EXPECT_EQ(printed,
              HINT + "__.\nAnalyzing: 1000036000099\n"
              "\nDiscovery Order: 1000036000099?\nSorted Formula:  1000036000099? [Terminated]\n");
    // The next factorisation starts afresh.
    testing::internal::CaptureStdout();
    text = factor_of("1000090002700027");
    printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text, "100003^3");
    EXPECT_EQ(printed, "");
}

// Every library integer made during a factorisation is released again.
TEST_F(Factor, ReleasesEveryInteger) {
    void *(*old_alloc)(size_t);
    void *(*old_realloc)(void *, size_t, size_t);
    void (*old_free)(void *, size_t);
    mp_get_memory_functions(&old_alloc, &old_realloc, &old_free);
    mp_set_memory_functions(count_alloc, count_realloc, count_free);
    live_blocks = 0;
    std::string a = factor_of("10000630010800027");
    std::string b = factor_of("1000090002700027");
    std::string c = factor_of("600000000");
    std::string d = factor_of("1000000007");
    long left = live_blocks;
    mp_set_memory_functions(old_alloc, old_realloc, old_free);
    EXPECT_EQ(a, "100003^2 * 1000003");
    EXPECT_EQ(b, "100003^3");
    EXPECT_EQ(c, "2^9 * 3 * 5^8");
    EXPECT_EQ(d, "1000000007 P");
    EXPECT_EQ(left, 0);
}

}  // namespace

namespace {

// A square of a 700-digit prime: found by the perfect-power step, not by rho.
TEST_F(Factor, LargePerfectPower) {
    mpz_t p, square;
    mpz_init(p);
    mpz_init(square);
    mpz_ui_pow_ui(p, 10, 700);
    mpz_nextprime(p, p);
    mpz_mul(square, p, p);
    char *digits = mpz_get_str(nullptr, 10, square);
    char *root = mpz_get_str(nullptr, 10, p);
    EXPECT_EQ(factor_of(digits), std::string(root) + "^2");
    free(digits);
    free(root);
    mpz_clear(p);
    mpz_clear(square);
}

}  // namespace

// ------------------------------------------------------------------
// Factorisations against the lists written once by gp (data/factor, made by
// make_factor_cases.gp there), with every library and with each missing.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "factor/factor_libs.h"
#include "factor/messages.h"
#include "factor/search.h"
#include "engine/threads.h"

namespace {

struct Case {
    std::string group, number, text;
};

std::vector<Case> read_cases() {
    std::string here = __FILE__;
    std::ifstream in(here.substr(0, here.rfind('/')) + "/../data/factor/factor_cases.txt");
    std::vector<Case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t a = line.find(' '), b = line.find(" = ");
        cases.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 3)});
    }
    return cases;
}

// Digits of the second largest prime of a factor text (0 for a prime power
// or a prime): the search has to find every factor but the last.
size_t second_largest_digits(const std::string &text) {
    std::vector<size_t> sizes;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_not_of("0123456789", pos);
        if (end == std::string::npos) end = text.size();
        bool exponent = pos > 0 && text[pos - 1] == '^';
        if (end > pos && !exponent) sizes.push_back(end - pos);
        pos = end + 1;
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes.size() < 2 ? 0 : sizes[sizes.size() - 2];
}

struct FactorCases : Factor {
    std::vector<Case> cases = read_cases();
    void SetUp() override {
        Factor::SetUp();
        ASSERT_GE(cases.size(), 50u);
        bind_ecm();
        bind_flint();
    }
    void TearDown() override {
        Factor::TearDown();
        bind_ecm();  // the binding is kept; only the flags were lowered
        ecm_lib.available = ecm_lib.factor != nullptr;
        flint_lib.available = flint_lib.qsieve_factor != nullptr;
    }
    // Runs the cases `pick` selects; returns what was printed meanwhile.
    template <typename Pick>
    std::string run(Pick pick) {
        testing::internal::CaptureStdout();
        int ran = 0;
        for (const Case &c : cases) {
            if (!pick(c)) continue;
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(factor_of(c.number.c_str()), c.text) << c.group << " " << c.number;
            double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (s > 1) fprintf(stderr, "%s %s: %.2f s\n", c.group.c_str(), c.number.substr(0, 20).c_str(), s);
            ran++;
        }
        EXPECT_GT(ran, 5);
        return testing::internal::GetCapturedStdout();
    }
};

size_t count_of(const std::string &text, const char *what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) n++;
    return n;
}

// Nothing printed.
TEST_F(FactorCases, EveryListWithBothLibraries) {
    ASSERT_TRUE(ecm_lib.available && flint_lib.available) << "libecm.so.1 and libflint.so.17 are needed";
    EXPECT_EQ(run([](const Case &) { return true; }), "");
}

// The chosen products of two primes above the trial bound make a batch gcd
// the number itself; the batch is walked again and still splits them.
TEST_F(FactorCases, BatchGcdThatHitsTheNumber) {
    for (const Case &c : cases) {
        if (c.group != "batchhit") continue;
        long before = rho_backtracks;
        EXPECT_EQ(factor_of(c.number.c_str()), c.text);
        EXPECT_GT(rho_backtracks, before) << c.number << " no longer exercises the walk back";
    }
}

// Nothing but the notices of missing libraries, each at most once (once per
// process: an earlier test in the same process may have printed it).
void expect_only_notices(std::string printed) {
    for (const char *notice : {FACTOR_MSG_NO_ECM, FACTOR_MSG_NO_SIEVE}) {
        EXPECT_LE(count_of(printed, notice), 1u) << notice;
        size_t at = printed.find(notice);
        if (at != std::string::npos) printed.erase(at, strlen(notice));
    }
    EXPECT_EQ(printed, "");
}

// A 15-digit prime next to a 50-digit one: the curves alone find it on
// one thread and on two, and the divisor is proper (the first found ends
// the other thread's curve).
TEST_F(FactorCases, CurvesFindASmallFactorOnOneAndTwoThreads) {
    ASSERT_TRUE(ecm_lib.available);
    int saved = engine_threads();
    mpz_t m, d, r;
    mpz_inits(m, d, r, nullptr);
    mpz_set_str(m, "100000000000031", 10);
    mpz_set_str(r, "10000000000000000000000000000000000000000000000009", 10);
    mpz_mul(m, m, r);
    for (int threads : {1, 2}) {
        set_engine_threads(threads);
        // No bound, and a bound beyond any clock (a sieve's time on a
        // 300-digit number): both run until the factor is found.
        for (double seconds : {-1.0, 1e80}) {
            progress_start();
            mpz_set_ui(d, 0);
            ASSERT_EQ(ecm_search(m, d, seconds), SEARCH_FOUND) << threads << " threads, " << seconds << " s";
            EXPECT_GT(mpz_cmp_ui(d, 1), 0);
            EXPECT_LT(mpz_cmp(d, m), 0);
            EXPECT_TRUE(mpz_divisible_p(m, d)) << threads << " threads";
        }
    }
    mpz_clears(m, d, r, nullptr);
    set_engine_threads(saved);
}

TEST_F(FactorCases, WithoutCurves) {
    ecm_lib.available = false;
    expect_only_notices(run([](const Case &c) { return c.number.size() <= 45 || second_largest_digits(c.text) <= 8; }));
}

TEST_F(FactorCases, WithoutSieve) {
    flint_lib.available = false;
    expect_only_notices(run([](const Case &c) { return second_largest_digits(c.text) <= 18; }));
}

// Without either library: rho and the own sieve.
TEST_F(FactorCases, WithoutEitherLibrary) {
    ecm_lib.available = false;
    flint_lib.available = false;
    expect_only_notices(run([](const Case &c) { return c.number.size() <= 49 || second_largest_digits(c.text) <= 11; }));
}

// A key stops the curves and the sieve within a second of processor time
// (the calculator's and its sieve child's, so that load elsewhere does not
// count); the unsplit number is reported (marked "?" on the console) and
// the sieve's child and its scratch directory are gone.
struct FactorStop : FactorCases {
    std::string tmp;
    void SetUp() override {
        FactorCases::SetUp();
        polls = 0;
        key_after_polls = 1;  // the first check point after rho, which never checks
        factor_key_poll = scripted_key;
        char dir[] = "/tmp/vantrel-stop-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = dir;
        setenv("TMPDIR", dir, 1);
    }
    void TearDown() override {
        factor_key_poll = FactorReport::saved_poll;
        unsetenv("TMPDIR");
        rmdir(tmp.c_str());
        FactorCases::TearDown();
    }
    void stop_one(const char *number) {
        double start = processor_seconds();
        testing::internal::CaptureStdout();
        std::string text = factor_of(number);
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_LT(processor_seconds() - start, 1.0);
        EXPECT_EQ(text, number);
        EXPECT_EQ(printed.substr(printed.size() - 2), "??");
        EXPECT_EQ(polls, 1);
        EXPECT_EQ(rmdir(tmp.c_str()), 0) << "the sieve left files in " << tmp;
        mkdir(tmp.c_str(), 0700);
    }
};

// 66 digits, two primes of 33: minutes of curves, seconds of sieving.
const char *const HARD = "989234667557735747402586651223134321623179241010008294358914834363";

TEST_F(FactorStop, KeyStopsTheCurves) { stop_one(HARD); }

// The curves run on every engine thread, each taking the next curve of
// the levels; the key polled by the calling thread ends them all.
TEST_F(FactorStop, KeyStopsTheCurvesOnTwoThreads) {
    int saved = engine_threads();
    set_engine_threads(2);
    stop_one(HARD);
    set_engine_threads(saved);
}

TEST_F(FactorStop, KeyStopsTheSieve) {
    ecm_lib.available = false;
    stop_one(HARD);
}

// Without either library rho runs on without bound; on a number of 1000
// digits its steps are slow, and the stop must still come at once.
TEST_F(FactorStop, KeyStopsRhoOnALargeNumber) {
    ecm_lib.available = false;
    flint_lib.available = false;
    mpz_t p, q;
    mpz_init(p);
    mpz_init(q);
    mpz_ui_pow_ui(p, 10, 499);
    mpz_nextprime(p, p);
    mpz_ui_pow_ui(q, 10, 500);
    mpz_nextprime(q, q);
    mpz_mul(p, p, q);
    char *digits = mpz_get_str(nullptr, 10, p);
    stop_one(digits);
    free(digits);
    mpz_clear(p);
    mpz_clear(q);
}

}  // namespace
