// A fixture for tests that drive the calculator through run_command: the
// pool at 200 limbs, the default settings, and a line runner that returns
// what the line printed.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "number/bignum.h"
#include "kernels/real.h"

class CommandLines : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(core_start(200), 0); }
    void SetUp() override {
        fixed_point_limbs = 4;
        element_width = 6;
        apply_element_width();
        display_mode = 16;
    }

    // Runs one normalised line and returns what it printed.
    static std::string run(const char *text) {
        char line[512];
        snprintf(line, sizeof line, "%s", text);
        testing::internal::CaptureStdout();
        run_command(line);
        return testing::internal::GetCapturedStdout();
    }
};
