// Layer III analysis filterbanks and forward MDCT against double-precision models of their definitions.
#include <gtest/gtest.h>

#include <random>

#include "mp3/mp3_test_util.h"

using namespace mp3test;

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
