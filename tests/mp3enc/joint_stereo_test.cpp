// Layer III joint-stereo encoding against a double-precision model of mid/side and intensity.
#include <gtest/gtest.h>

#include <random>

#include "mp3/mp3_test_util.h"

using namespace mp3test;

// Random granules over every band layout: mid/side below the bound ((2 (l +- r) wrapped to 32 bits) times
// 1/sqrt(2) in Q31 rounded up, >> 32), intensity from it up (the sum of magnitudes with the larger one's sign, and
// the position: how many of the midpoints tan^2(7.5 + 15k degrees) the energy ratio reaches,
// unchecked within 0.5 % of one), the bound set to all bands without intensity.
TEST(Mp3EncJointStereo, MidSideAndIntensityAgainstModel) {
    std::mt19937 rng(7);
    int positionsChecked = 0;
    const Okv64s k = Okv64s(std::ceil(std::ldexp(1.0, 31) / std::sqrt(2.0)));
    auto msLine = [&](Okv64s sum) { return Okv32s(Okv64s(Okv32s(Okv32u(2 * sum))) * k >> 32); };
    for (int it = 0; it < 4000; ++it) {
        const int id = rng() & 1, sf = rng() % 3, modeExt = rng() & 3, row = id * 3 + sf;
        const MP3FrameHeader h = header(id, 1, sf, modeExt);
        const bool ms = modeExt & 2, is = modeExt & 1, shortBlock = rng() & 1;
        MP3SideInfo si[2] = {};
        si[0].block_type = si[1].block_type = shortBlock ? 2 : int(rng() % 2) * 3;
        std::vector<Okv32s> l(576), r(576);
        const int scale = (1 << (rng() % (is ? 28 : 31))) >> 10 | 1;  // up to 2^30 without intensity: the sums wrap
        const auto draw = [&] { return Okv32s(int(rng() % 2001) - 1000) * scale; };
        for (int i = 0; i < 576; ++i) l[i] = draw(), r[i] = rng() % 5 == 0 ? 0 : draw();
        if (rng() % 8 == 0) std::fill(r.begin() + 300, r.end(), 0);
        if (rng() % 8 == 0)  // a nearly silent right channel: energy ratios past 2^44 saturate
            for (int i = 300; i < 576; ++i) r[i] = Okv32s(rng() % 3) - 1;
        if (rng() % 8 == 0) std::fill(l.begin() + 300, l.end(), 0);
        int bound[3] = {int(rng() % 23), int(rng() % 14), int(rng() % 14)};
        const int given[3] = {bound[0], bound[1], bound[2]}, bands = shortBlock ? 13 : 22;
        std::vector<Okv32s> L = l, R = r;
        Okv8s pos[39];
        memset(pos, 0x55, sizeof pos);
        ASSERT_EQ(okvsJointStereoEncode_MP3_32s_I(L.data(), R.data(), pos, &h, si, bound), okvOk);
        for (int w = 0; w < (shortBlock ? 3 : 1); ++w) {
            EXPECT_TRUE(is || bound[w] == bands);
            for (int b = 0; b < bands; ++b) {
                const int width = shortBlock ? kSfbShort[row][b + 1] - kSfbShort[row][b] : 0;
                const int from = shortBlock ? 3 * kSfbShort[row][b] + w * width : kSfbLong[row][b];
                const int to = shortBlock ? from + width : kSfbLong[row][b + 1], at = shortBlock ? 3 * b + w : b;
                if (b < (is ? given[w] : bands)) {
                    EXPECT_TRUE(!is || pos[at] == 0x55) << "no position below the bound";
                    for (int i = from; i < to; ++i)
                        ASSERT_TRUE(L[i] == (ms ? msLine(Okv64s(l[i]) + r[i]) : l[i]) &&
                                    R[i] == (ms ? msLine(Okv64s(l[i]) - r[i]) : r[i])) << i;
                    continue;
                }
                double eL = 0, eR = 0;
                for (int i = from; i < to; ++i) eL += double(l[i]) * l[i], eR += double(r[i]) * r[i];
                int p = eR == 0 ? 6 : 0;
                for (int k = 0; eR != 0 && k < 6 && p >= 0; ++k) {
                    const double t = std::tan((7.5 + 15.0 * k) * M_PI / 180.0), mid = t * t;
                    p = std::fabs(eL / eR - mid) < 0.005 * mid ? -1 : p + (eL / eR >= mid);
                }
                positionsChecked += p >= 0;
                ASSERT_TRUE(p < 0 || pos[at] == p) << "band " << b << " window " << w;
                for (int i = from; i < to; ++i) {
                    const long sum = std::labs(l[i]) + std::labs(r[i]);
                    ASSERT_EQ(L[i], (std::labs(l[i]) > std::labs(r[i]) ? l[i] < 0 : r[i] < 0) ? -sum : sum);
                    ASSERT_EQ(R[i], 0);
                }
            }
        }
    }
    EXPECT_GT(positionsChecked, 10000);
}
