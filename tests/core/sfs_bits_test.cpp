// The _Sfs scaling rule against an independent 128-bit reference; the bit helpers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/bits.h"
#include "core/sfs.h"

namespace {

using okv_u8::okv_sfs16;
using okv_u8::okv_sfs32;

// r * 2^-sf by floor division and an explicit tie test, then saturation.
__int128 reference(__int128 r, int sf, __int128 lo, __int128 hi) {
    __int128 v = r;
    if (sf >= 100) {
        v = 0;
    } else if (sf >= 0) {
        const __int128 d = __int128(1) << sf;
        __int128 q = r / d, m = r % d;
        if (m < 0) m += d, q -= 1;  // floor division
        v = q + (2 * m > d || (2 * m == d && (q & 1)));
    } else {
        for (int i = 0; i < -sf && v >= lo && v <= hi; ++i) v *= 2;
    }
    return v < lo ? lo : (v > hi ? hi : v);
}

// 33-bit sums of two 32-bit values, biased to the rounding and saturation edges, every tie (odd
// multiples of half a step), and shifts of 32 or more.
TEST(Sfs, MatchesReferenceForEveryScaleFactor) {
    std::mt19937_64 rng(12345);
    for (int sf : {-40, -31, -15, -1, 0, 1, 15, 31, 32, 33, 40, 64, 200})
        for (int64_t r : {int64_t{INT32_MAX} * 2, int64_t{INT32_MIN} * 2, int64_t{-1}, int64_t{0}, int64_t{1}})
        {
            ASSERT_EQ(okv_sfs32(r, sf), int32_t(reference(r, sf, INT32_MIN, INT32_MAX))) << r << " sf " << sf;
            ASSERT_EQ(okv_sfs16(r, sf), int16_t(reference(r, sf, INT16_MIN, INT16_MAX))) << r << " sf " << sf;
        }
    for (int sf = -40; sf <= 40; ++sf) {
        for (int i = 0; i < 4000; ++i) {
            int64_t a = int32_t(rng()), b = int32_t(rng());
            if (i % 4 == 1) b = 0;
            if (i % 4 == 2) a >>= rng() % 32, b >>= rng() % 32;
            if (i % 8 == 3) a = (i & 16) ? INT32_MAX : INT32_MIN;
            if (i % 8 == 7 && sf > 0 && sf < 32) a = (2 * (i % 11) - 9) * (int64_t{1} << (sf - 1)), b = 0;
            ASSERT_EQ(okv_sfs32(a + b, sf), int32_t(reference(a + b, sf, INT32_MIN, INT32_MAX))) << a + b << " " << sf;
            ASSERT_EQ(okv_sfs16(a, sf), int16_t(reference(a, sf, INT16_MIN, INT16_MAX))) << a << " sf " << sf;
        }
    }
}

TEST(Bits, BigEndianWordAndRound64) {
    const Okv8u b[4] = {0x81, 0x42, 0x24, 0x18};
    EXPECT_EQ(okv_u8::okv_load_be32(b), 0x81422418u);
    for (int x : {0, 1, 63, 64, 65, 1000}) EXPECT_EQ(okv_u8::okv_round64(x), (x + 63) / 64 * 64);
}

}  // namespace
