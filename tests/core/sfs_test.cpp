// The _Sfs scaling rule against an independent 128-bit reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/sfs.h"

namespace {

using okv_u8::okv_sfs16;
using okv_u8::okv_sfs32;

// r * 2^-sf by floor division and an explicit tie test, then saturation.
__int128 reference(__int128 r, int sf, __int128 lo, __int128 hi) {
    __int128 v;
    if (sf >= 0) {
        if (sf >= 100) {
            v = 0;
        } else {
            __int128 d = static_cast<__int128>(1) << sf;
            __int128 q = r / d, m = r % d;
            if (m < 0) { m += d; q -= 1; }  // floor division
            if (2 * m > d || (2 * m == d && (q & 1))) q += 1;
            v = q;
        }
    } else {
        v = r;
        for (int i = 0; i < -sf && v >= lo && v <= hi; ++i) v *= 2;
    }
    return v < lo ? lo : (v > hi ? hi : v);
}

// Shifts of 32 or more, and left shifts that saturate every non-zero value.
TEST(Sfs, ExtremeShifts) {
    EXPECT_EQ(okv_sfs32(int64_t{INT32_MAX} + INT32_MAX, 32), 1);  // a 33-bit sum still rounds to 1
    EXPECT_EQ(okv_sfs32(int64_t{INT32_MIN} + INT32_MIN, 32), -1);
    for (int sf : {33, 64, 200}) EXPECT_EQ(okv_sfs32(INT32_MIN, sf), 0) << sf;
    EXPECT_EQ(okv_sfs32(-1, -31), INT32_MIN);
    EXPECT_EQ(okv_sfs32(0, -31), 0);
    EXPECT_EQ(okv_sfs16(1, -15), 32767);
}

TEST(Sfs, MatchesReferenceForEveryScaleFactor) {
    std::mt19937_64 rng(12345);
    for (int sf = -40; sf <= 40; ++sf) {
        for (int i = 0; i < 4000; ++i) {
            // 33-bit sums of two 32-bit values, biased to the rounding and saturation edges.
            int64_t a = static_cast<int32_t>(rng()), b = static_cast<int32_t>(rng());
            if (i % 4 == 1) b = 0;
            if (i % 4 == 2) a >>= rng() % 32, b >>= rng() % 32;
            if (i % 8 == 3) a = (i & 16) ? INT32_MAX : INT32_MIN;
            int64_t r = a + b;
            ASSERT_EQ(okv_sfs32(r, sf), static_cast<int32_t>(reference(r, sf, INT32_MIN, INT32_MAX)))
                << "r=" << r << " sf=" << sf;
            ASSERT_EQ(okv_sfs16(a, sf), static_cast<int16_t>(reference(a, sf, INT16_MIN, INT16_MAX)))
                << "x=" << a << " sf=" << sf;
        }
        // Every tie of the rounding: odd multiples of half a step.
        if (sf > 0 && sf < 32) {
            for (int64_t k = -5; k <= 5; ++k) {
                int64_t r = (2 * k + 1) * (int64_t{1} << (sf - 1));
                EXPECT_EQ(okv_sfs32(r, sf), static_cast<int32_t>(reference(r, sf, INT32_MIN, INT32_MAX)));
            }
        }
    }
}

}  // namespace
