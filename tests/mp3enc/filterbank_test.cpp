// Layer III analysis filterbanks and forward MDCT against double-precision models of their
// definitions, and reconstruction through the decoder's inverse MDCT and synthesis.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "mp3/mp3_test_util.h"
#include "mp3/sfb_tables_data.h"
#include "mp3enc_test_util.h"

namespace {

constexpr int kSfbShort[9][14] = OKV_MP3_SFB_SHORT_INIT;

// S[m] for a window X (X[0] newest) with C[i] = D[i] / 32, straight from the definition.
void modelAnalysis(const std::vector<double>& c, const double* x, double* s) {
    double y[64] = {};
    for (int k = 0; k < 64; ++k)
        for (int j = 0; j < 8; ++j) y[k] += c[k + 64 * j] * x[k + 64 * j];
    for (int m = 0; m < 32; ++m) {
        s[m] = 0;
        for (int k = 0; k < 64; ++k) s[m] += std::cos((2 * m + 1) * (k - 16) * M_PI / 64) * y[k];
    }
}

}  // namespace

// Random windows, full scale and quiet, through both forms; the float one interleaved (mode 2).
TEST(Mp3EncAnalysis, FixedAndFloatAgainstModel) {
    const auto lines = mp3test::tableLines("synthesis_window_D.txt");
    if (lines.size() != 512) GTEST_SKIP() << "shared Layer III tables not found under " << mp3test::sharedDir();
    std::vector<double> c(512);
    for (const auto& w : lines) c[std::stoi(w[0])] = std::stod(w[1]) / 32;
    std::mt19937 rng(8);
    PQMFAnalysisSpec* spec = nullptr;
    ASSERT_EQ(okvsAnalysisFilterInitAlloc_PQMF_MP3_32f(&spec), okvOk);
    std::vector<Okv16s> pcm(512 + 32 * 400);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = (Okv16s)(i % 3000 < 1500 ? (int)(rng() % 65536) - 32768 : (int)(rng() % 2001) - 1000);
    double worstFixed = 0, worstFloat = 0;
    for (int call = 0; call < 400 + 16; ++call) {
        std::vector<Okv32f> in(64, 12345);
        for (int t = 0; t < 32; ++t) in[2 * t] = pcm[32 * call + t];
        Okv32f sf[32];
        ASSERT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(in.data(), sf, spec, 2), okvOk);
        if (call < 15) continue;  // the float history fills
        const Okv16s* win = pcm.data() + 32 * (call - 15);  // oldest first, 512 samples
        Okv32s s[32];
        std::vector<Okv16s> inter(1024, 777);
        for (int i = 0; i < 512; ++i) inter[2 * i] = win[i];
        ASSERT_EQ(okvsAnalysisPQMF_MP3_16s32s(inter.data(), s, 2), okvOk);
        double x[512], ref[32];
        for (int i = 0; i < 512; ++i) x[i] = win[511 - i] / 32768.0;
        modelAnalysis(c, x, ref);
        for (int m = 0; m < 32; ++m) {
            worstFixed = std::max(worstFixed, std::fabs(s[m] / 33554432.0 - ref[m]));
            worstFloat = std::max(worstFloat, std::fabs(sf[m] - ref[m]));
        }
    }
    std::printf("analysis max error: fixed %.3g, float %.3g (full scale 1)\n", worstFixed, worstFloat);
    EXPECT_LT(worstFixed, std::ldexp(1.0, -20));
    EXPECT_LT(worstFloat, std::ldexp(1.0, -17));
    EXPECT_EQ(okvsAnalysisFilterFree_PQMF_MP3_32f(spec), okvOk);
}

// A spec built in misaligned caller memory stays inside its size; the checks and refusals.
TEST(Mp3EncAnalysis, FloatSpecInCallerMemory) {
    int size = 0;
    ASSERT_EQ(okvsAnalysisFilterGetSize_PQMF_MP3_32f(&size), okvOk);
    std::vector<Okv8u> mem(size + 64, 0xCC);
    PQMFAnalysisSpec* spec = nullptr;
    ASSERT_EQ(okvsAnalysisFilterInit_PQMF_MP3_32f(&spec, mem.data() + 3), okvOk);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(spec) % 16, 0u);
    const Okv32f zeros[64] = {};
    Okv32f out[33];
    out[32] = 99;
    for (int call = 0; call < 20; ++call) ASSERT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(zeros, out, spec, 1), okvOk);
    for (int m = 0; m < 32; ++m) EXPECT_EQ(out[m], 0.0f);
    EXPECT_EQ(out[32], 99);
    for (size_t i = size + 3; i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i - 3 << " of " << size;
    EXPECT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(zeros, out, spec, 0), okvErrBadArg);
    EXPECT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(zeros, out, spec, 3), okvErrBadArg);
    EXPECT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(zeros, nullptr, spec, 1), okvErrNullPtr);
    const Okv16s pcm[1024] = {};
    Okv32s s[32];
    EXPECT_EQ(okvsAnalysisPQMF_MP3_16s32s(pcm, s, 0), okvErrBadArg);
    EXPECT_EQ(okvsAnalysisPQMF_MP3_16s32s(pcm, s, 3), okvErrBadArg);
    EXPECT_EQ(okvsAnalysisPQMF_MP3_16s32s(nullptr, s, 1), okvErrNullPtr);
    EXPECT_EQ(okvsAnalysisFilterFree_PQMF_MP3_32f(spec), okvOk);  // caller's memory: nothing released
    reinterpret_cast<Okv8u*>(spec)[0] ^= 1;
    EXPECT_EQ(okvsAnalysisFilterFree_PQMF_MP3_32f(spec), okvErrContextMatch);
    EXPECT_EQ(okvsAnalysisFilter_PQMF_MP3_32f(zeros, out, spec, 1), okvErrContextMatch);
}

namespace {

// The short-block reordering: line j of window w in band b sits at 3 * start + w * width + j.
template <class F> void eachShortLine(int row, F f) {
    for (int w = 0; w < 3; ++w)
        for (int b = 0; b < 13; ++b) {
            const int s = kSfbShort[row][b], width = kSfbShort[row][b + 1] - s;
            for (int j = 0; j < width; ++j) f(3 * s + w * width + j, 18 * ((s + j) / 6) + 6 * w + (s + j) % 6);
        }
}

// The forward hybrid transform from its definition: windowed 36-point (or three 12-point) MDCT
// per subband with frequency inversion, alias butterflies, short spectra in band order.
std::vector<double> modelMdct(const Okv32s* src, const Okv32s* prev, int type, int row) {
    std::vector<double> x(576);
    for (int m = 0; m < 32; ++m) {
        double z[36];
        for (int t = 0; t < 18; ++t) {
            const double s = (m & 1) && (t & 1) ? -1 : 1;
            z[t] = s * prev[32 * t + m], z[18 + t] = s * src[32 * t + m];
        }
        for (int k = 0; k < 18; ++k) {
            double acc = 0;
            if (type == 2) {  // k = 6w + k'
                const int w = k / 6;
                for (int i = 0; i < 12; ++i)
                    acc += std::sin(M_PI / 12 * (i + 0.5)) * z[6 + 6 * w + i] * std::cos(M_PI / 24 * (2 * i + 7) * (2 * (k % 6) + 1));
                x[18 * m + k] = acc * 2 / 3;
                continue;
            }
            for (int i = 0; i < 36; ++i) {
                double w = std::sin(M_PI / 36 * (i + 0.5));
                if (type == 1 && i >= 18) w = i < 24 ? 1 : i < 30 ? std::sin(M_PI / 12 * (i - 18 + 0.5)) : 0;
                if (type == 3 && i < 18) w = i < 6 ? 0 : i < 12 ? std::sin(M_PI / 12 * (i - 6 + 0.5)) : 1;
                acc += w * z[i] * std::cos(M_PI / 72 * (2 * i + 19) * (2 * k + 1));
            }
            x[18 * m + k] = acc * 2 / 9;
        }
    }
    if (type == 2) {
        std::vector<double> y(576);
        eachShortLine(row, [&](int band, int sub) { y[band] = x[sub]; });
        return y;
    }
    const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int b = 1; b < 32; ++b)
        for (int i = 0; i < 8; ++i) {
            const double cs = 1 / std::sqrt(1 + c[i] * c[i]), ca = c[i] * cs;
            const double a = x[18 * b - 1 - i], d = x[18 * b + i];
            x[18 * b - 1 - i] = a * cs + d * ca, x[18 * b + i] = d * cs - a * ca;
        }
    return x;
}

}  // namespace

TEST(Mp3EncMdct, EveryBlockTypeAgainstModel) {
    std::mt19937 rng(9);
    double worst = 0;
    for (int it = 0; it < 200; ++it) {
        const int type = it % 4, id = (it >> 2) & 1, sf = (it >> 3) % 3;
        const MP3FrameHeader h = mp3enc_test::header(id, 0, sf);
        std::vector<Okv32s> src(576), ov(576), out(576);
        const int amp = 1 << (10 + it % 17);
        for (int i = 0; i < 576; ++i) src[i] = (int)(rng() % (2 * amp + 1)) - amp, ov[i] = (int)(rng() % (2 * amp + 1)) - amp;
        const std::vector<double> ref = modelMdct(src.data(), ov.data(), type, id * 3 + sf);
        ASSERT_EQ(okvsMDCTFwd_MP3_32s(src.data(), out.data(), type, 0, &h, ov.data()), okvOk);
        EXPECT_EQ(ov, src);
        for (int i = 0; i < 576; ++i) worst = std::max(worst, std::fabs(out[i] - ref[i]));
    }
    std::printf("forward MDCT max error %.3g LSB of Q26\n", worst);
    EXPECT_LE(worst, 0.5001);  // rounded once
}

namespace {

// PCM -> analysis -> [forward MDCT -> inverse MDCT] -> synthesis with the block types of `types`
// in turn; returns the SNR and gain in dB against the input `lag` samples earlier.
std::pair<double, double> runChain(const std::vector<Okv16s>& pcm, bool hybrid, const std::vector<int>& types, int lag) {
    const int granules = (int)pcm.size() / 576 - 2;
    std::vector<Okv16s> window(512 + pcm.size(), 0), out(pcm.size(), 0);
    std::copy(pcm.begin(), pcm.end(), window.begin() + 512);
    std::vector<Okv32s> sub(576), spec(576), fov(576, 0), iov(576, 0), slots(576), hist(512, 0);
    int prev = 0, pos = 0;
    const MP3FrameHeader h = mp3enc_test::header(1, 0);
    for (int gr = 0; gr < granules; ++gr) {
        for (int t = 0; t < 18; ++t)
            okvsAnalysisPQMF_MP3_16s32s(window.data() + 576 * gr + 32 * t + 32, sub.data() + 32 * t, 1);
        if (hybrid) {
            const int type = types[gr % types.size()];
            okvsMDCTFwd_MP3_32s(sub.data(), spec.data(), type, 0, &h, fov.data());
            std::vector<Okv32s> inv = spec;  // the inverse reads short spectra in subband order
            if (type == 2) eachShortLine(3, [&](int band, int sb) { inv[sb] = spec[band]; });
            okvsMDCTInv_MP3_32s(inv.data(), slots.data(), iov.data(), 576, &prev, type, 0);
        } else {
            for (int i = 0; i < 576; ++i) slots[i] = sub[i] / 2;  // the synthesis reads Q24, the analysis gives Q25
        }
        for (int t = 0; t < 18; ++t) okvsSynthPQMF_MP3_32s16s(slots.data() + 32 * t, out.data() + 576 * gr + 32 * t, hist.data(), &pos, 1);
    }
    double sig = 0, err = 0, outE = 0;
    for (int i = 2048; i + lag < granules * 576; ++i) {
        const double a = pcm[i], b = out[i + lag];
        sig += a * a, err += (a - b) * (a - b), outE += b * b;
    }
    return {10 * std::log10(sig / std::max(err, 1e-9)), 10 * std::log10(outE / sig)};
}

}  // namespace

TEST(Mp3EncMdct, ChainReconstructsAtUnityGain) {
    std::mt19937 rng(10);
    std::normal_distribution<double> g(0, 16384 / 3.0);  // about -6 dBFS peaks, rare clipping
    std::vector<Okv16s> pcm(576 * 60);
    for (auto& s : pcm) s = (Okv16s)std::max(-32768.0, std::min(32767.0, std::nearbyint(g(rng))));
    EXPECT_GT(runChain(pcm, false, {0}, 481).first, 80);
    for (const auto& seq : std::vector<std::vector<int>>{{0}, {0, 1, 2, 2, 3}, {1, 2, 3}, {2}}) {
        const auto [snr, gain] = runChain(pcm, true, seq, 481 + 576);
        std::printf("hybrid chain, %zu-type cycle: SNR %.2f dB, gain %.4f dB\n", seq.size(), snr, gain);
        EXPECT_GT(snr, 75);
        EXPECT_LT(std::fabs(gain), 0.01);
    }
}
