// Coupling gains of okvac decode against a long-double model, and the gain lists each target
// channel takes.
#include <gtest/gtest.h>

#include <cmath>

#include "../../tools/okvac/aac/aac_tables.cpp"
#include "../../tools/okvac/aac/coupling_element.cpp"

// Every step of 2^(1/8) from 2^24 down to 2^-50, both signs, on values across the 32-bit range:
// the nearest integer, within the Q30 table's rounding; larger gains stop at 2^24.
TEST(AacCouplingGain, EighthRootPowersAndTargetLists) {
    const int32_t values[] = {0, 1, -1, 3, -7, 255, 1000, -123457, 8388607, -99999999, INT32_MAX, INT32_MIN};
    for (int m = -8 * 24; m <= 400; ++m)
        for (const bool negative : {false, true})
            for (const int32_t v : values) {
                const long double exact = (negative ? -1.0L : 1.0L) * v * std::pow(2.0L, -m / 8.0L);
                const int64_t got = applyCouplingGain(v, CouplingGain{m, negative});
                ASSERT_LE(std::fabs(static_cast<long double>(got) - exact), 0.5L + std::fabs(exact) * 0x1p-29L) << v << " " << m;
            }
    EXPECT_EQ(applyCouplingGain(-5, CouplingGain{-8 * 40, false}), -5LL << 24);
    // A single channel or one side of a pair takes one list, both sides two, a pair with
    // neither side flagged shares one.
    CouplingHeader h;
    h.numTargets = 5;
    h.targets[0] = {false, 0, 2}, h.targets[1] = {true, 0, 3}, h.targets[2] = {true, 1, 1}, h.targets[3] = {true, 2, 0};
    h.targets[4] = {true, 3, 2};
    const int expected[5][2] = {{0, -1}, {1, 2}, {-1, 3}, {4, 4}, {5, -1}};
    for (int t = 0; t < 5; ++t) {
        int list[2];
        h.targetLists(t, list);
        EXPECT_TRUE(list[0] == expected[t][0] && list[1] == expected[t][1]) << t;
    }
}
