// SBR encoder: analysis bank, tonality-to-noise ratio and transient detector against models.
#include <gtest/gtest.h>

#include <complex>
#include <random>

#include "qmf_test_util.h"

namespace {

using cd = std::complex<double>;

// Noise, tones and a constant block through the 64-band complex analysis: 110 dB.
TEST(SbrEnc, AnalysisMatchesTheDefiningSums) {
    void* spec = nullptr;
    ASSERT_EQ(okvsAnalysisFilterEncInitAlloc_SBR_32f(&spec), okvOk);
    std::mt19937 g(8);
    std::normal_distribution<float> n;
    double err = 0, ref = 0;
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<float> x(640), out(128);
        for (int t = 0; t < 640; ++t)
            x[t] = trial == 0 ? 1.0f : trial % 2 ? 3e4f * n(g) : float(2e4 * std::sin(0.01 * trial * trial * t));
        ASSERT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), out.data(), spec), okvOk);
        for (int k = 0; k < 64; ++k) {
            cd y = 0;
            for (int m = 0; m < 128; ++m) {
                double u = 0;
                for (int j = 0; j < 5; ++j) u += double(x[639 - m - 128 * j]) * kOkvSbrQmfWindow640[m + 128 * j];
                y += u * std::polar(1.0, M_PI * (k + 0.5) * (2 * m + 1) / 128);
            }
            err += std::norm(cd(out[2 * k], out[2 * k + 1]) - y), ref += std::norm(y);
        }
    }
    EXPECT_GT(10 * std::log10(ref / err), 110.0);
    EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(spec), okvOk);
}

// Sizes; Init at every misalignment inside its bytes, same output; Free clears the tag; refusals.
TEST(SbrEnc, AnalysisStructureAndRefusals) {
    int size, buf;
    ASSERT_EQ(okvsAnalysisFilterEncGetSize_SBR_32f(&size, &buf), okvOk);
    EXPECT_TRUE(buf == 4 && size == 976 + 592 + 95);
    std::vector<float> x(640, 1.0f), y(128), first;
    std::vector<unsigned char> other(size + 16, 0), init(4);
    for (int off = 0; off < 16; ++off) {
        std::vector<unsigned char> block(size + 64, 0xA5);
        ASSERT_EQ(okvsAnalysisFilterEncInit_SBR_32f(block.data() + off, init.data()), okvOk);
        for (int i = 0; i < int(block.size()); ++i) ASSERT_TRUE(block[i] == 0xA5 || (i >= off && i < off + size)) << off;
        ASSERT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), block.data() + off), okvOk);
        if (off == 0) first = y;
        EXPECT_TRUE(y == first && okvsAnalysisFilterEncFree_SBR_32f(block.data() + off) == okvOk);
        EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), block.data() + off), okvErrContextMatch);
        EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(block.data() + off), okvErrContextMatch);
    }
    EXPECT_EQ(okvsAnalysisFilterEnc_SBR_32f32fc(x.data(), y.data(), other.data()), okvErrContextMatch);
    void* spec = nullptr;
    float t[3];
    ASSERT_EQ(okvsAnalysisFilterEncInitAlloc_SBR_32f(&spec), okvOk);
    using qmftest::firstNullNotRefused;
    const int firstNotRefused[] = {
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEnc_SBR_32f32fc(p...); }, x.data(), y.data(), spec),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncInit_SBR_32f(p...); }, (void*)&other[0], (void*)&init[0]),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncGetSize_SBR_32f(p...); }, &size, &buf),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncInitAlloc_SBR_32f(p...); }, &spec),
        firstNullNotRefused([](auto... p) { return okvsEstimateTNR_SBR_32f(p...); }, x.data(), t, t + 1, t + 2),
        firstNullNotRefused([](auto... p) { return okvsDetectTransient_SBR_32f(p...); }, x.data(), t, y.data()),
        firstNullNotRefused([](auto... p) { return okvsAnalysisFilterEncFree_SBR_32f(p...); }, spec),
    };
    EXPECT_EQ(std::vector<int>(std::begin(firstNotRefused), std::end(firstNotRefused)), std::vector<int>(7, -1));
    EXPECT_EQ(okvsAnalysisFilterEncFree_SBR_32f(spec), okvOk);
}

// TNR and energy of one half in double.
std::pair<double, double> tnrModel(const float* s) {
    cd x[16], p01 = 0, p02 = 0, p12 = 0, a1 = 0, a2 = 0;
    double p00 = 0, p11 = 0, p22 = 0;
    for (int n = 0; n < 16; ++n) x[n] = cd(s[2 * n], s[2 * n + 1]);
    for (int n = 2; n < 16; ++n) {
        p00 += std::norm(x[n]), p11 += std::norm(x[n - 1]), p22 += std::norm(x[n - 2]);
        p01 += x[n] * std::conj(x[n - 1]), p02 += x[n] * std::conj(x[n - 2]), p12 += x[n - 1] * std::conj(x[n - 2]);
    }
    const double det = p11 * p22 - std::norm(p12) * 0.99999905;
    if (det != 0) a2 = (p12 * p01 - p11 * p02) / det;
    if (det != 0 && p11 != 0) a1 = -(p01 + std::conj(p12) * a2) / p11;
    if (p00 == 0) return {0, 0};
    const double g = -((a1 * std::conj(p01)).real() + (a2 * std::conj(p02)).real()) / p00;
    return {std::abs(1 - g) > 1e-6 ? g / (1.000001 - g) : 1e6, p00};
}

// Noise mixed with a decaying tone, from noise-like to tonal halves; a zero half gives 0 and a
// single complex exponential is fully predictable.
TEST(SbrEnc, TonalityToNoiseFollowsThePredictionGain) {
    std::mt19937 gen(9);
    std::normal_distribution<float> n;
    int compared = 0;
    for (int trial = 0; trial < 2001; ++trial) {
        float s[64] = {}, t0, t1, e;
        const bool last = trial == 2000;
        const double tone = (trial % 10) / 9.0, w = 0.05 + 3 * (trial % 37) / 37.0;
        for (int k = last ? 16 : 0; k < 32; ++k) {
            const cd t = std::polar(last ? 1.0 : tone * 100, (last ? 0.3 : w) * k);
            const float noise = last ? 0 : float(1 - tone) * 100;
            s[2 * k] = float(t.real()) + noise * n(gen), s[2 * k + 1] = float(t.imag()) + noise * n(gen);
        }
        ASSERT_EQ(okvsEstimateTNR_SBR_32f(s, &t0, &t1, &e), okvOk);
        const auto h0 = tnrModel(s), h1 = tnrModel(s + 32);
        EXPECT_NEAR(e, (h0.second + h1.second) / 2, 1e-4 * e);
        EXPECT_TRUE(!last || (t0 == 0.0f && std::abs(t1) >= 1e5f));
        for (auto [got, want] : {std::pair{t0, h0.first}, std::pair{t1, h1.first}}) {
            if (std::abs(want) > 1e3) continue;  // g near 1: single precision cannot follow
            ++compared;
            EXPECT_NEAR(got, want, 1e-4 * std::max(1.0, std::abs(want))) << "trial " << trial;
        }
    }
    EXPECT_GT(compared, 3000);
}

// The detector's measures in the listed order, in single precision.
void transientModel(const float* src, float* thr, float* T) {
    double m = 0, q = 0;
    for (int i = 16; i < 64; ++i) m += src[i], q += double(src[i]) * src[i];
    const float t = std::max(128000.0f, 0.34f * float(std::sqrt(std::max(0.0, 48 * q - m * m) / (47.0 * 48))) + 0.66f * *thr);
    *thr = t;
    auto e = [&](int p) { return (src[2 * p] + src[2 * p + 1]) * 0.5f; };
    auto add = [&](float v, std::initializer_list<int> to) {
        for (int i : to) T[i] += v > t ? v * (1.0f / t) - 1.0f : 0.0f;
    };
    add(e(8) - e(7), {16});
    add(e(8) + e(9) - 2 * e(7), {16});
    add(2 * e(9) + e(8) - 2 * e(7) - e(6), {16});
    for (int p = 9, a = 17; p <= 30; ++p, a += 2) {
        add(e(p) - e(p - 1), {a, a + 1});
        add(2 * e(p) - e(p - 1) - e(p - 2), {a});
        add(2 * e(p) + e(p + 1) - e(p - 1) - 2 * e(p - 2), {a});
        add(e(p) + e(p + 1) - 2 * e(p - 1), {a + 1});
        add(2 * e(p + 1) + e(p) - 2 * e(p - 1) - e(p - 2), {a + 1});
    }
}

// Energies with steps of random size at a random slot, some flat frames, and equal energies
// with a zero threshold (which rises to its floor of 128000).
TEST(SbrEnc, TransientDetectorAddsEveryRiseAboveTheThreshold) {
    std::mt19937 gen(4);
    for (int trial = 0; trial < 501; ++trial) {
        float src[64];
        const int step = gen() % 64;
        const float base = float(gen() % 1000) * 100, jump = trial % 5 ? float(gen() % 4000000) : 0;
        for (int i = 0; i < 64; ++i) src[i] = trial == 500 ? 5e6f : base + (i >= step ? jump : 0) + float(gen() % 3000);
        float thr = trial == 500 ? 0 : float(gen() % 400000), thrModel = thr;
        std::vector<float> T(64), TModel(64);
        for (int i = 0; i < 64; ++i) T[i] = TModel[i] = float(i);
        ASSERT_EQ(okvsDetectTransient_SBR_32f(src, &thr, T.data()), okvOk);
        transientModel(src, &thrModel, TModel.data());
        ASSERT_TRUE(thr == thrModel && T == TModel && (trial != 500 || thr == 128000.0f)) << "trial " << trial;
    }
}

}  // namespace
