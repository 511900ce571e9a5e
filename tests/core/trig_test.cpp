// The library's own sin(pi x) / cos(pi x) against long double references.
#include <gtest/gtest.h>

#include <cmath>

#include "core/trig.h"

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

double ulps(double got, long double want) {
    long double ulp = std::ldexp(1.0L, std::ilogb(static_cast<double>(want == 0 ? 1e-300L : want)) - 52);
    return static_cast<double>(std::fabs(static_cast<long double>(got) - want) / ulp);
}

TEST(Trig, ExactPointsAndSymmetry) {
    EXPECT_EQ(okv_u8::okv_sinpi(0.0), 0.0);
    EXPECT_EQ(okv_u8::okv_sinpi(0.5), 1.0);
    EXPECT_EQ(okv_u8::okv_sinpi(-0.5), -1.0);
    EXPECT_EQ(okv_u8::okv_cospi(0.0), 1.0);
    EXPECT_EQ(okv_u8::okv_cospi(1.0), -1.0);
    EXPECT_EQ(okv_u8::okv_cospi(0.5), 0.0);
    EXPECT_EQ(okv_u8::okv_sinpi(1.0), 0.0);
    EXPECT_EQ(okv_u8::okv_sinpi(0.25), okv_u8::okv_cospi(0.25));
    static_assert(okv_u8::okv_cospi(2.0) == 1.0, "usable at compile time");
}

TEST(Trig, WithinOneAndAHalfUlpOnTableArguments) {
    // Arguments of the form k / N as transform tables use them.
    double worst = 0;
    for (int n : {3, 9, 12, 36, 64, 100, 1024, 4096, 65536}) {
        for (int k = -2 * n; k <= 2 * n; k += (n > 2048 ? 7 : 1)) {
            double x = static_cast<double>(k) / n;
            // Reduce whole periods in integers so that the reference keeps its precision.
            long double xr = x;
            while (xr > 1) xr -= 2;
            while (xr < -1) xr += 2;
            long double ref_s = std::sin(kPi * xr);
            long double ref_c = std::cos(kPi * xr);
            if (std::fabs(ref_s) > 1e-3L) worst = std::max(worst, ulps(okv_u8::okv_sinpi(x), ref_s));
            if (std::fabs(ref_c) > 1e-3L) worst = std::max(worst, ulps(okv_u8::okv_cospi(x), ref_c));
            ASSERT_NEAR(okv_u8::okv_sinpi(x), static_cast<double>(ref_s), 2e-16);
            ASSERT_NEAR(okv_u8::okv_cospi(x), static_cast<double>(ref_c), 2e-16);
        }
    }
    EXPECT_LE(worst, 1.5);
}

}  // namespace
