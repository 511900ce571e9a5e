// Layer III psychoacoustic model: its fixed arithmetic against independent models; block-type sequencing.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mp3/psy_model.h"

namespace psy = okv_u8::mp3psy;

// x^1.18813 as documented: normalise, quadratic in the mantissa, scale by 2^(-0.18813 s), clamped;
// within the polynomial's accuracy of 1.1477 r^1.18813.
TEST(Mp3Psy, ThresholdFactorSweepAgainstModel) {
    std::vector<Okv64s> rs{104797999, 104798000, 1071379500, 1071379501, 0x7FFFFFFF};
    for (Okv64s r = 0; r < 0x80000000LL; r += 4099) rs.push_back(r);
    for (const Okv64s r : rs) {
        Okv64s want = r > 1071379500 ? 1078847007 : 68070644;
        if (r >= 104798000 && r <= 1071379500) {
            int s = 0;
            while ((r << s) < (1LL << 30)) ++s;
            const Okv64s m = r << s, p = (22631LL * 2147483648LL - 8791 * ((m * m) >> 32) + 14513 * m) >> 14;
            want = (((((r * p) >> 32) * std::llround(65536 * std::pow(2.0, -0.18813 * s))) >> 16) * 1232338071) >> 30;
            ASSERT_NEAR(want / 2147483648.0, 1.14771 * std::pow(r / 2147483648.0, 1.18813), 2e-3) << r;
        }
        ASSERT_EQ(psy::thresholdFactor(Okv32s(r)), want) << r;
    }
}

// Entropy near the exact sum; band ratios of the weighted sums near the quotient in double precision (zero
// exactly where every threshold is zero).
TEST(Mp3Psy, PerceptualEntropyAndBandRatiosAgainstModels) {
    std::mt19937_64 rng(3);
    for (int it = 0; it < 600; ++it) {
        const psy::BlockTables& t = psy::longTables(it % 3);
        Okv64u e[64], thr[64];
        double ref = 0;  // lines x log10 of the ratio, which the Q11 quotient holds up to 2^20
        for (int b = 0; b < t.parts; ++b) {
            e[b] = rng() % 5 ? rng() >> (14 + it % 40) : 0, thr[b] = it % 8 ? rng() >> (14 + (rng() % 45)) : 0;
            ref += (t.part[b + 1] - t.part[b]) * std::log10(std::clamp(double(e[b]) / (double(thr[b]) + 1), 1.0, 1048576.0));
        }
        ASSERT_NEAR(psy::perceptualEntropy(e, thr, t), ref, 0.02 * ref + 0.01 * t.part[t.parts] + 1) << it;
        Okv32s ratio[21];
        psy::convertToSfb(e, thr, t, 21, ratio, 1);
        for (int sb = 0; sb < 21; ++sb) {
            const int bu = t.sfbPart[sb], bo = t.sfbPart[sb + 1];
            const Okv64u w0 = Okv64u(t.sfbWeight[sb]), w1 = 0x7FFFFFFFu - Okv64u(t.sfbWeight[sb + 1]);
            unsigned __int128 en = ((unsigned __int128)e[bu] * w0 >> 31) + ((unsigned __int128)e[bo] * w1 >> 31);
            unsigned __int128 th = ((unsigned __int128)thr[bu] * w0 >> 31) + ((unsigned __int128)thr[bo] * w1 >> 31);
            for (int b = bu + 1; b < bo; ++b) en += e[b], th += thr[b];
            const double want = en ? std::min(1.0, double(th) / double(en)) : 1.0;
            ASSERT_NEAR(ratio[sb] / 2147483648.0, want, want * 5e-3 + (want ? 1e-9 : 0)) << it << " " << sb;
        }
    }
}

// Every sequence of twelve short-block wishes (the first granule long): a wished granule is short; a start block leads into
// short ones and comes where the next granule wishes; a stop block follows them; otherwise long.
TEST(Mp3Psy, BlockSequencesAreLegalAndKeepEveryShortWish) {
    for (int bits = 0; bits < 1 << 12; bits += 2)
        for (int i = 0, prev = 0; i < 11; ++i) {
            const bool wish = bits >> i & 1, next = bits >> (i + 1) & 1;
            const int t = psy::heldBlockType(prev, wish, next);
            ASSERT_TRUE(prev == 1 ? t == 2 : prev == 2 ? t == 2 || t == 3 : t == 0 || t == 1) << bits << " " << i;
            ASSERT_TRUE(wish ? t == 2 : prev == 2 ? t == (next ? 2 : 3) : t == (next ? 1 : 0)) << bits << " " << i;
            prev = t;
        }
}

// Joint stereo at bitrate indices 6..8: intensity on, and the bound from the documented tables by
// row and sampling frequency, three per short granule (noise bursts after silence bring them).
// Indices 5 and 9 on either side: intensity off.
TEST(Mp3Psy, IntensityBoundsFollowTheTables) {
    const int kLong[3][3] = {{13, 12, 13}, {15, 15, 16}, {18, 18, 18}}, kShort[3][3] = {{6, 6, 7}, {8, 8, 8}, {10, 10, 10}};
    std::mt19937 rng(4);
    for (int row = -1; row < 4; ++row)
        for (int sf = 0; sf < 3; ++sf) {
            const bool on = row >= 0 && row < 3;
            MP3FrameHeader h{};
            h.id = 1, h.layer = 1, h.mode = 1, h.bitrate_index = 6 + row, h.sampling_frequency = sf;
            std::vector<Okv8u> state(OKV_MP3_PSY_STATE_SIZE, 0), work(OKV_MP3_PSY_WORK_SIZE);
            int shortSeen = 0, bound[6];
            MP3PsyRatio ratio[4];
            MP3SideInfo si[4];
            for (int f = 0; f < 12; ++f) {
                Okv16s pcm[2304];
                for (Okv16s& v : pcm) v = Okv16s(f % 4 == 3 ? int(rng() % 40001) - 20000 : 0);
                const StatusCode st =
                    okvsPsychoacousticModelTwo_MP3_16s(pcm, ratio, bound, si, &h, state.data(), nullptr, work.data());
                ASSERT_EQ(st, okvOk);
                ASSERT_EQ(h.mode_extension & 1, on ? 1 : 0) << row;
                for (int gr = 0; gr < 2 && on; ++gr) {
                    const bool shortBlock = si[2 * gr + 1].block_type == 2;
                    for (int k = 0; k < (shortBlock ? 3 : 1); ++k)
                        EXPECT_EQ(bound[3 * gr + k], shortBlock ? kShort[row][sf] : kLong[row][sf]) << row << sf << f;
                }
                shortSeen += si[1].block_type == 2;
            }
            EXPECT_GT(shortSeen, 0) << row << " " << sf;
        }
}
