// SBR encoder analysis bank: the direct double-precision sums, and the structure's lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "okvac.h"
#include "sbr/qmf_window_data.h"

namespace {

TEST(SbrEncAnalysis, MatchesTheDefiningSums) {
    void* spec = nullptr;
    ASSERT_EQ(okvsAnalysisFilterEncInitAlloc_SBR_32f(&spec), okvOk);
    std::mt19937 g(8);
    std::normal_distribution<float> n;
    double err = 0, ref = 0;
    for (int trial = 0; trial < 40; ++trial) {
        // Noise, tones and a constant window.
        std::vector<float> x(640);
        for (int t = 0; t < 640; ++t)
            x[t] = trial == 0 ? 1.0f : trial % 2 ? 3e4f * n(g) : float(2e4 * std::sin(0.01 * trial * trial * t));
        std::vector<float> out(128);
        ASSERT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), out.data(), spec), okvOk);
        for (int k = 0; k < 64; ++k) {
            double re = 0, im = 0;
            for (int m = 0; m < 128; ++m) {
                double u = 0;
                for (int j = 0; j < 5; ++j) u += double(x[639 - m - 128 * j]) * kOkvSbrQmfWindow640[m + 128 * j];
                const double ph = M_PI * (k + 0.5) * (2 * m + 1) / 128;
                re += u * std::cos(ph), im += u * std::sin(ph);
            }
            err += std::pow(out[2 * k] - re, 2) + std::pow(out[2 * k + 1] - im, 2);
            ref += re * re + im * im;
        }
    }
    EXPECT_GT(10 * std::log10(ref / err), 110.0);
    EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(spec), okvOk);
}

TEST(SbrEncAnalysis, StructureStaysInItsBlockAndRefusesStrangers) {
    int size, buf;
    ASSERT_EQ(okvsAnalysisFilterEncGetSize_SBR_32f(&size, &buf), okvOk);
    // The 64-point FFT's sizes: spec 960, init buffer 0, work 576.
    EXPECT_EQ(buf, 4);
    EXPECT_EQ(size, 976 + 592 + 95);
    std::vector<float> x(640, 1.0f), y(128), first;
    for (int off = 0; off < 16; ++off) {
        std::vector<unsigned char> block(size + 64, 0xA5), init(buf);
        ASSERT_EQ(okvsAnalysisFilterEncInit_SBR_32f(block.data() + off, init.data()), okvOk);
        for (int i = 0; i < off; ++i) ASSERT_EQ(block[i], 0xA5);
        for (int i = off + size; i < int(block.size()); ++i) ASSERT_EQ(block[i], 0xA5) << off;
        ASSERT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), block.data() + off), okvOk);
        if (off == 0) first = y;
        EXPECT_EQ(y, first);
        // Free clears the tag: the structure is refused afterwards.
        EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(block.data() + off), okvOk);
        EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), block.data() + off), okvErrContextMatch);
        EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(block.data() + off), okvErrContextMatch);
    }
    std::vector<unsigned char> other(size + 16, 0);
    EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), other.data()), okvErrContextMatch);
    EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), nullptr, other.data()), okvErrNullPtr);
    EXPECT_EQ(okvsAnalysisFilterEncInit_SBR_32f(other.data(), nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsAnalysisFilterEncGetSize_SBR_32f(&size, nullptr), okvErrNullPtr);
    EXPECT_EQ(okvsAnalysisFilterEncInitAlloc_SBR_32f(nullptr), okvErrNullPtr);
}

}  // namespace
