// The library's own sin(pi x) / cos(pi x): exact points, and within 1.5 ulp of long double
// references on the arguments k / N that transform tables use.
#include <gtest/gtest.h>

#include <cmath>

#include "core/trig.h"

namespace {

using okv_u8::okv_cospi;
using okv_u8::okv_sinpi;

TEST(Trig, ExactPointsAndTableArguments) {
    static_assert(okv_cospi(2.0) == 1.0, "usable at compile time");
    EXPECT_TRUE(okv_sinpi(0.0) == 0.0 && okv_sinpi(0.5) == 1.0 && okv_sinpi(-0.5) == -1.0 && okv_sinpi(1.0) == 0.0);
    EXPECT_TRUE(okv_cospi(0.0) == 1.0 && okv_cospi(1.0) == -1.0 && okv_cospi(0.5) == 0.0);
    EXPECT_EQ(okv_sinpi(0.25), okv_cospi(0.25));
    EXPECT_FALSE(std::signbit(okv_sinpi(0.0)) || std::signbit(okv_sinpi(1.0)) || std::signbit(okv_sinpi(2.0)));
    const long double pi = 3.141592653589793238462643383279502884L;
    double worst = 0;
    for (int n : {3, 9, 12, 36, 64, 100, 1024, 4096, 65536})
        for (int k = -2 * n; k <= 2 * n; k += (n > 2048 ? 7 : 1)) {
            const double x = double(k) / n;
            long double xr = x;  // whole periods reduced exactly, so that the reference keeps its precision
            while (xr > 1) xr -= 2;
            while (xr < -1) xr += 2;
            const long double ref[2] = {std::sin(pi * xr), std::cos(pi * xr)};
            const double got[2] = {okv_sinpi(x), okv_cospi(x)};
            for (int f = 0; f < 2; ++f) {
                ASSERT_NEAR(got[f], double(ref[f]), 2e-16) << x;
                const long double ulp = std::ldexp(1.0L, std::ilogb(double(ref[f])) - 52);
                if (std::fabs(ref[f]) > 1e-3L) worst = std::max(worst, double(std::fabs(got[f] - ref[f]) / ulp));
            }
        }
    EXPECT_LE(worst, 1.5);
}

}  // namespace
