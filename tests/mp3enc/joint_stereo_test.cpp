// Layer III joint-stereo encoding against a double-precision model of mid/side and intensity.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "mp3/sfb_tables_data.h"
#include "mp3enc_test_util.h"

using mp3enc_test::header;

namespace {

constexpr int kSfbLong[9][23] = OKV_MP3_SFB_LONG_INIT;
constexpr int kSfbShort[9][14] = OKV_MP3_SFB_SHORT_INIT;

// Position model: how many of the midpoints tan^2(7.5 + 15k degrees) the ratio reaches; -1 when
// the ratio lies within 0.5 % of a midpoint (the reciprocal is good to 0.37 %).
int modelPosition(double eL, double eR) {
    if (eR == 0) return 6;
    const double r = eL / eR;
    int pos = 0;
    for (int k = 0; k < 6; ++k) {
        const double t = std::tan((7.5 + 15.0 * k) * M_PI / 180.0);
        const double mid = t * t;
        if (std::fabs(r - mid) < 0.005 * mid) return -1;
        pos += r >= mid;
    }
    return pos;
}

}  // namespace

// Random granules over every band layout: mid/side below the bound, intensity from it up, each
// line compared with the model, untouched lines unchanged.
TEST(Mp3EncJointStereo, MidSideAndIntensityAgainstModel) {
    std::mt19937 rng(7);
    int positionsChecked = 0;
    for (int it = 0; it < 4000; ++it) {
        const int id = rng() & 1, sf = rng() % 3, modeExt = rng() & 3;
        const MP3FrameHeader h = header(id, 1, sf, modeExt);
        const bool ms = modeExt & 2, is = modeExt & 1;
        const bool shortBlock = rng() & 1;
        MP3SideInfo si[2] = {};
        si[0].block_type = si[1].block_type = shortBlock ? 2 : (int)(rng() % 2) * 3;
        std::vector<Okv32s> l(576), r(576);
        const int scale = 1 << (rng() % 28);
        for (int i = 0; i < 576; ++i) {
            l[i] = (Okv32s)((int)(rng() % 2001) - 1000) * (scale >> 10 | 1);
            r[i] = rng() % 5 == 0 ? 0 : (Okv32s)((int)(rng() % 2001) - 1000) * (scale >> 10 | 1);
        }
        if (rng() % 8 == 0) std::fill(r.begin() + 300, r.end(), 0);
        if (rng() % 8 == 0) std::fill(l.begin() + 300, l.end(), 0);
        int bound[3] = {(int)(rng() % 23), (int)(rng() % 14), (int)(rng() % 14)};
        if (!shortBlock) bound[0] = (int)(rng() % 23);
        const int given[3] = {bound[0], bound[1], bound[2]};
        std::vector<Okv32s> L = l, R = r;
        Okv8s pos[39];
        memset(pos, 0x55, sizeof pos);
        ASSERT_EQ(okvsJointStereoEncode_MP3_32s_I(L.data(), R.data(), pos, &h, si, bound), okvOk);

        const int row = id * 3 + sf;
        // Line ranges per (band, window): long bands use window 0 only.
        const int bands = shortBlock ? 13 : 22, windows = shortBlock ? 3 : 1;
        for (int w = 0; w < windows; ++w) {
            const int bnd = is ? given[w] : bands;
            if (!is) {
                EXPECT_EQ(bound[w], bands);
            }
            for (int b = 0; b < bands; ++b) {
                int from, to;
                if (shortBlock) {
                    const int width = kSfbShort[row][b + 1] - kSfbShort[row][b];
                    from = 3 * kSfbShort[row][b] + w * width, to = from + width;
                } else {
                    from = kSfbLong[row][b], to = kSfbLong[row][b + 1];
                }
                const int posIndex = shortBlock ? 3 * b + w : b;
                if (b < bnd) {
                    if (is) {
                        EXPECT_EQ(pos[posIndex], 0x55) << "no position below the bound";
                    }
                    for (int i = from; i < to; ++i) {
                        const double m = ms ? (double(l[i]) + r[i]) / std::sqrt(2.0) : l[i];
                        const double s = ms ? (double(l[i]) - r[i]) / std::sqrt(2.0) : r[i];
                        // Rounded down, with 1/sqrt(2) rounded up in Q31.
                        ASSERT_LE(std::fabs(L[i] - m), 1.0 + 1e-9 * std::fabs(m)) << "line " << i;
                        ASSERT_LE(std::fabs(R[i] - s), 1.0 + 1e-9 * std::fabs(s)) << "line " << i;
                    }
                    continue;
                }
                double eL = 0, eR = 0;
                for (int i = from; i < to; ++i) eL += double(l[i]) * l[i], eR += double(r[i]) * r[i];
                const int p = modelPosition(eL, eR);
                if (p >= 0) {
                    ASSERT_EQ(pos[posIndex], p) << "band " << b << " window " << w << " eL " << eL << " eR " << eR;
                    ++positionsChecked;
                }
                for (int i = from; i < to; ++i) {
                    const long sum = std::labs(l[i]) + std::labs(r[i]);
                    const bool neg = std::labs(l[i]) > std::labs(r[i]) ? l[i] < 0 : r[i] < 0;
                    ASSERT_EQ(L[i], neg ? -sum : sum);
                    ASSERT_EQ(R[i], 0);
                }
            }
        }
    }
    EXPECT_GT(positionsChecked, 10000);
}

TEST(Mp3EncJointStereo, OtherModesAndMismatchedBlocks) {
    std::vector<Okv32s> l(576, 1000), r(576, -77);
    const std::vector<Okv32s> l0 = l, r0 = r;
    Okv8s pos[39];
    int bound[3] = {5, 5, 5};
    MP3SideInfo si[2] = {};
    MP3FrameHeader h = header(1, 0, 0, 3);  // plain stereo: untouched
    EXPECT_EQ(okvsJointStereoEncode_MP3_32s_I(l.data(), r.data(), pos, &h, si, bound), okvOk);
    EXPECT_EQ(l, l0);
    EXPECT_EQ(r, r0);
    h.mode = 1;
    si[1].block_type = 2;
    EXPECT_EQ(okvsJointStereoEncode_MP3_32s_I(l.data(), r.data(), pos, &h, si, bound), okvErrMp3SideInfo);
    h.mode_extension = 0;  // neither M/S nor intensity: block types may differ
    EXPECT_EQ(okvsJointStereoEncode_MP3_32s_I(l.data(), r.data(), pos, &h, si, bound), okvOk);
    EXPECT_EQ(l, l0);
}
