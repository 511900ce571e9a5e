// Layer III encoder analysis against independent models: filterbanks and forward MDCT (double-precision
// definitions), joint stereo, the psychoacoustic model's fixed arithmetic and block-type sequencing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "mp3/mp3_test_util.h"
#include "mp3/psy_model.h"

using namespace mp3test;
namespace psy = okv_u8::mp3psy;

// Random windows, full scale and quiet, through both forms (both interleaved, mode 2) against
// S[m] = sum_k cos((2m + 1)(k - 16) pi / 64) sum_j C[k + 64 j] X[k + 64 j], C = D / 32, X[0] newest.
TEST(Mp3EncAnalysis, FixedAndFloatAgainstModel) {
    const auto lines = tableLines("synthesis_window_D.txt");
    MP3_SKIP_WITHOUT_TABLES(lines.size() == 512);
    std::vector<double> c(512);
    for (const auto& w : lines) c[std::stoi(w[0])] = std::stod(w[1]) / 32;
    std::mt19937 rng(8);
    PQMFAnalysisSpec* state = nullptr;
    ASSERT_EQ(okvsAnalysisFilterInitAlloc_PQMF_MP3_32f(&state), okvOk);
    std::vector<Okv16s> pcm(512 + 32 * 400);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = Okv16s(i % 3000 < 1500 ? int(rng() % 65536) - 32768 : int(rng() % 2001) - 1000);
    double worstFixed = 0, worstFloat = 0;
    for (int call = 0; call < 400 + 16; ++call) {
        Okv32f in[64], sf[32];
        for (int t = 0; t < 32; ++t) in[2 * t] = pcm[32 * call + t], in[2 * t + 1] = 12345;
        ASSERT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(in, sf, state, 2), okvOk);
        if (call < 15) continue;  // the float history fills
        const Okv16s* win = pcm.data() + 32 * (call - 15);  // oldest first, 512 samples
        std::vector<Okv16s> inter(1024, 777);
        for (int i = 0; i < 512; ++i) inter[2 * i] = win[i];
        Okv32s s[32];
        double y[64] = {};
        ASSERT_EQ(okvsAnalysisPQMF_MP3_16s32s(inter.data(), s, 2), okvOk);
        for (int k = 0; k < 64; ++k)
            for (int j = 0; j < 8; ++j) y[k] += c[k + 64 * j] * win[511 - k - 64 * j] / 32768.0;
        for (int m = 0; m < 32; ++m) {
            double ref = 0;
            for (int k = 0; k < 64; ++k) ref += std::cos((2 * m + 1) * (k - 16) * M_PI / 64) * y[k];
            worstFixed = std::max(worstFixed, std::fabs(s[m] / 33554432.0 - ref));
            worstFloat = std::max(worstFloat, std::fabs(sf[m] - ref));
        }
    }
    EXPECT_TRUE(worstFixed < std::ldexp(1.0, -22) && worstFloat < std::ldexp(1.0, -17)) << worstFixed << " " << worstFloat;
    EXPECT_EQ(okvsAnalysisFilterFree_PQMF_MP3_32f(state), okvOk);
}

// The hybrid transform by definition: 36-point (three 12-point) MDCTs with frequency inversion, alias
// butterflies; line j of short window w in band b at 3 start + w width + j; mixed: subbands 0, 1 long.
TEST(Mp3EncMdct, EveryBlockTypeAgainstModel) {
    std::mt19937 rng(9);
    double worst = 0;
    for (int it = 0; it < 200; ++it) {
        const int type = it % 4, id = (it >> 2) & 1, sf = (it >> 3) % 3, row = id * 3 + sf;
        const bool mixed = type == 2 && (it / 24) % 2;
        const MP3FrameHeader h = header(id, 0, sf);
        std::vector<Okv32s> src(576), ov(576), out(576);
        const int amp = 1 << (10 + it % 17);
        for (int i = 0; i < 576; ++i) src[i] = int(rng() % (2 * amp + 1)) - amp, ov[i] = int(rng() % (2 * amp + 1)) - amp;
        std::vector<double> x(576);
        for (int m = 0; m < 32; ++m) {
            double z[36];
            for (int t = 0; t < 18; ++t) z[t] = (m & t & 1 ? -1 : 1) * ov[32 * t + m], z[18 + t] = (m & t & 1 ? -1 : 1) * src[32 * t + m];
            for (int k = 0; k < 18; ++k) {
                double acc = 0;
                const bool shortHere = type == 2 && !(mixed && m < 2);
                for (int i = 0; shortHere && i < 12; ++i)
                    acc += std::sin(M_PI / 12 * (i + 0.5)) * z[6 + 6 * (k / 6) + i] *
                           std::cos(M_PI / 24 * (2 * i + 7) * (2 * (k % 6) + 1)) * 3;
                for (int i = 0; !shortHere && i < 36; ++i) {
                    double w = std::sin(M_PI / 36 * (i + 0.5));
                    if (type == 1 && i >= 18) w = i < 24 ? 1 : i < 30 ? std::sin(M_PI / 12 * (i - 18 + 0.5)) : 0;
                    if (type == 3 && i < 18) w = i < 6 ? 0 : i < 12 ? std::sin(M_PI / 12 * (i - 6 + 0.5)) : 1;
                    acc += w * z[i] * std::cos(M_PI / 72 * (2 * i + 19) * (2 * k + 1));
                }
                x[18 * m + k] = acc * 2 / 9;
            }
        }
        static const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int b = 1; b < (type != 2 ? 32 : mixed ? 2 : 1); ++b)
            for (int i = 0; i < 8; ++i) {
                const double cs = 1 / std::sqrt(1 + c[i] * c[i]), ca = c[i] * cs, a = x[18 * b - 1 - i], d = x[18 * b + i];
                x[18 * b - 1 - i] = a * cs + d * ca, x[18 * b + i] = d * cs - a * ca;
            }
        std::vector<double> ref = x;
        for (int w = 0; type == 2 && w < 3; ++w)
            for (int b = mixed ? 3 : 0; b < 13; ++b) {
                const int s = kSfbShort[row][b], width = kSfbShort[row][b + 1] - s;
                for (int j = 0; j < width; ++j) ref[3 * s + w * width + j] = x[18 * ((s + j) / 6) + 6 * w + (s + j) % 6];
            }
        ASSERT_TRUE(okvsMDCTFwd_MP3_32s(src.data(), out.data(), type, mixed, &h, ov.data()) == okvOk && ov == src);
        for (int i = 0; i < 576; ++i) worst = std::max(worst, std::fabs(out[i] - ref[i]));
    }
    EXPECT_LE(worst, 0.5001);
}

// Random granules over every band layout: mid/side below the bound ((2 (l +- r) wrapped to 32 bits) times
// 1/sqrt(2) in Q31 rounded up, >> 32), intensity from it up (the sum of magnitudes with the larger one's sign, and
// the position: how many of the midpoints tan^2(7.5 + 15k degrees) the energy ratio reaches,
// unchecked within 0.5 % of one, also for right-channel band energies of 2^63 and up), the bound set to all
// bands without intensity.
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
        for (int b = 0; is && !shortBlock && it % 8 == 0 && b < 22; ++b) {  // right energies in [2^63, 2^64)
            const int n = kSfbLong[row][b + 1] - kSfbLong[row][b];
            const double v = std::sqrt(std::ldexp(1.4, 63) / n), q = std::sqrt(rng() % 1300 / 1000.0);
            for (int i = kSfbLong[row][b]; n >= 16 && i < kSfbLong[row][b + 1]; ++i)
                r[i] = Okv32s(i & 1 ? -v : v), l[i] = Okv32s(v * q);
        }
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

// Joint stereo takes M/S only where it lowers the perceptual entropy and both channels keep one block
// type: for one tone in both channels, not for two different tones, which mid and side would each carry,
// nor where a burst in the left channel alone makes its blocks short. The tones leave the top band
// without energy: a ratio of one.
TEST(Mp3Psy, MidSideWhereItLowersTheEntropy) {
    std::mt19937 rng(6);
    for (int kind = 0; kind < 3; ++kind) {
        MP3FrameHeader h{};
        h.id = 1, h.layer = 1, h.mode = 1, h.bitrate_index = 9;
        std::vector<Okv8u> state(OKV_MP3_PSY_STATE_SIZE, 0), work(OKV_MP3_PSY_WORK_SIZE);
        int differing = 0;
        for (int f = 0; f < 6; ++f) {
            Okv16s pcm[2304];
            for (int i = 0, t = 1152 * f; i < 1152; ++i, ++t) {
                const int burst = kind == 2 && f == 3 && i > 600 ? int(rng() % 20001) - 10000 : 0;
                pcm[2 * i] = Okv16s(4000 * std::sin(0.05 * t) + burst);
                pcm[2 * i + 1] = Okv16s(4000 * std::sin((kind == 1 ? 0.31 : 0.05) * t));
            }
            MP3PsyRatio ratio[4];
            MP3SideInfo si[4];
            int bound[6];
            ASSERT_EQ(okvsPsychoacousticModelTwo_MP3_16s(pcm, ratio, bound, si, &h, state.data(), nullptr, work.data()),
                      okvOk);
            const bool differ = si[0].block_type != si[1].block_type || si[2].block_type != si[3].block_type;
            differing += differ;
            ASSERT_TRUE(kind == 2 ? !(differ && h.mode_extension & 2) : h.mode_extension == (kind ? 0 : 2)) << kind << f;
            for (int r = 0; r < 4 && kind < 2; ++r) ASSERT_EQ(ratio[r].ratio[20], INT32_MAX) << "no energy in the top band";
        }
        EXPECT_EQ(differing > 0, kind == 2);
    }
}

// Channels swapped swap the records: the left and right analyses are alike. A steady tone keeps long
// blocks from past its onset to a burst. A sampling frequency index out of range analyses as 44.1 kHz.
TEST(Mp3Psy, SwappedChannelsSwapTheRecords) {
    std::mt19937 rng(5);
    MP3FrameHeader h[3] = {};
    std::vector<Okv8u> state[3], work(OKV_MP3_PSY_WORK_SIZE);
    for (int k = 0; k < 3; ++k) {
        h[k].id = 1, h[k].layer = 1, h[k].bitrate_index = 9;
        state[k].assign(OKV_MP3_PSY_STATE_SIZE, 0);
    }
    h[2].sampling_frequency = 3;
    for (int f = 0; f < 8; ++f) {
        Okv16s pcm[3][2304];
        for (int i = 0; i < 1152; ++i) {
            pcm[0][2 * i] = pcm[1][2 * i + 1] = Okv16s(8000 * std::sin(0.05 * i) + int(rng() % 2001) - 1000);
            const int side = f == 5 && i > 700 ? int(rng() % 40001) - 20000 : int(rng() % 201) - 100;
            pcm[0][2 * i + 1] = pcm[1][2 * i] = Okv16s(side);
        }
        std::copy(pcm[0], pcm[0] + 2304, pcm[2]);
        MP3PsyRatio ratio[3][4];
        MP3SideInfo si[3][4];
        int bound[3][6];
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(okvsPsychoacousticModelTwo_MP3_16s(pcm[k], ratio[k], bound[k], si[k], &h[k], state[k].data(),
                                                         nullptr, work.data()),
                      okvOk);
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(f < 2 || f > 4 || si[0][r].block_type == 0) << f << " " << r;  // the tone past its onset
            EXPECT_EQ(si[0][r].block_type, si[1][r ^ 1].block_type) << f << " " << r;
            EXPECT_EQ(memcmp(&ratio[0][r], &ratio[1][r ^ 1], sizeof(MP3PsyRatio)), 0) << f << " " << r;
            EXPECT_EQ(memcmp(&ratio[0][r], &ratio[2][r], sizeof(MP3PsyRatio)), 0) << f << " " << r;
        }
    }
}
